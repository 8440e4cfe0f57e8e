// Lint's checks of what the nodes' places show and of conditions: a comma
// left out between two members (the parser allows it), and what a
// condition gets wrong on the schema of the rows it tests.
#pragma once

#include "algebra/condition.h"
#include "check/lint.h"
#include "relations/schema.h"
#include "text/text.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qorvantel {

// The notes of one lint, each at the place it is about.
class lint_notes {
public:
    explicit lint_notes(const std::string& source);

    void note(const source_range& at, std::string message);
    // A note when no comma stands between the member read at before and the
    // next one, read at member and spelled spelling.
    void separator_between(const source_range& before, const source_range& member, const std::string& spelling);

    // The notes in source order (stable: notes at one place keep theirs).
    std::vector<lint_note> sorted() &&;

private:
    // The offset of a line and column of the source, or npos.
    std::size_t offset_of(std::size_t line, std::size_t column) const;

    const std::string& source_;
    std::vector<std::size_t> line_starts_;
    std::vector<lint_note> notes_;
};

// The notes on a condition tested on rows of row_schema: columns it names
// that the rows lack, comparisons of values of different kinds, commas left
// out, decimal numbers, parts that hold whatever the row (reported where
// they stand inside a condition that does not) and comparisons on one
// column that contradict each other. The result: whether the whole
// condition holds on every row (true), on none (false), or depends on the
// row, judged on its own literals.
std::optional<bool> lint_condition(const condition& of, const schema& row_schema, lint_notes& notes);

} // namespace qorvantel
