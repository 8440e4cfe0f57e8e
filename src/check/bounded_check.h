// The exhaustive check: both expressions encoded for the Z3 SMT solver over
// symbolic relations of at most N rows each (a presence flag per row), so
// that one solver call decides whether any database of that size tells them
// apart. Set semantics as the interpreter has it; int as 32-bit two's
// complement bit-vectors (-2147483648 excluded, as no environment can hold
// it); char(n) as n bytes, each a tab, a space or a graphic character but
// the apostrophe, padded with zero bytes after the string's end, so that
// the unsigned order of the bytes taken as one number is the interpreter's
// order (bytes compared unsigned, the shorter string first on a tie).
//
// Errors as the interpreter raises them: a comparison whose operand names a
// column the rows lack, or whose neighbours are of different kinds, raises
// when a row reaches it (NOT, AND and OR stop as the interpreter does); a
// select raises when any row of its argument raises, and an expression
// raises when any part of it does. A database on which the reference raises
// shows no difference; one on which only the answer raises does.
//
// Without Z3 (a build without QORVANTEL_HAVE_Z3, such as the page's) every
// call answers unknown.
#pragma once

#include "algebra/expression.h"
#include "check/constraints.h"
#include "check/database.h"
#include "check/proof_bounds.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace qorvantel {

enum class bounded_status : unsigned char { same, differs, unknown };

struct bounded_outcome {
    bounded_status status = bounded_status::unknown;
    // differs: a database, within the bounds, on which the two differ.
    database counterexample;
    // A database within the bounds on which the reference raises, when
    // one was looked for and exists.
    std::optional<database> reference_fails;
};

bool bounded_check_available() noexcept;

// bounds: the most rows of each relation of shape, by index (0 leaves a
// relation empty). The constraints hold on every database considered.
bounded_outcome bounded_compare(const database& shape, const expression& reference, const expression& answer,
                                const resolved_constraints& constraints, const std::vector<std::size_t>& bounds,
                                unsigned steps, unsigned milliseconds, bool look_for_reference_failure);

} // namespace qorvantel
