// Lint: what a query gets wrong before any row is read. The interpreter
// checks columns and kinds row by row, so a broken condition over rows that
// never reach it goes unnoticed; lint walks the expression over the
// schemas alone and reports each problem with its line and column.
#pragma once

#include "relations/environment.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qorvantel {

struct lint_note {
    std::size_t line;
    std::size_t column;
    std::string message;
};

// The notes on an expression's source over an environment's schemas, in
// source order. A source that does not parse gives the one note of its
// parse error, at line 0: its message holds its position.
std::vector<lint_note> lint_expression(const environment& schemas, const std::string& source);

} // namespace qorvantel
