// Whether two results are the same: as many columns, the same kinds (int or
// char, widths ignored) in the same order, and the same set of rows. Column
// names count only when asked for; otherwise a difference in names is a note.
#pragma once

#include "algebra/expression.h"

#include <string>
#include <vector>

namespace qorvantel {

struct sameness {
    bool same = true;
    // Why they differ, or what differs without counting (the names).
    std::vector<std::string> notes;
};

sameness compare_results(const relation& reference, const relation& answer, bool strict_names);

// What one expression gives on one database: a relation, or the
// interpreter's message when it fails (parse, evaluation, memory).
struct outcome {
    shared<relation> result;
    std::string error;
    bool failed() const noexcept { return result.empty(); }
    // The relation as the console writes it, or the message and a newline.
    std::string text() const;
};

outcome evaluate_safely(const expression& query, const shared<environment>& on);

// The two outcomes differ: the answer fails, or both give results that are
// not the same. A failing reference never makes a difference.
bool outcomes_differ(const outcome& reference, const outcome& answer, bool strict_names);

} // namespace qorvantel
