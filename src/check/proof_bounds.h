// The bounds that make the exhaustive check a proof. Both expressions
// without minus: a row of either result that the other lacks comes from at
// most as many rows of R as R occurs in one branch of the unions
// (occurrences in a product add up, the operands of a union take the
// larger), and every such sub-database keeps the difference, since both
// expressions are monotone and raise on a sub-database only where they
// raise on the whole. References add to each referenced relation one row
// per referring row; a cycle of references gives no bound.
#pragma once

#include "algebra/expression.h"
#include "check/constraints.h"
#include "check/database.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace qorvantel {

// Rows per relation of shape, by index, or nothing.
std::optional<std::vector<std::size_t>> proof_bounds(const database& shape, const expression& reference,
                                                     const expression& answer, const resolved_constraints& constraints);

// The relations (by index of shape) that either expression reads.
std::vector<bool> relations_read(const database& shape, const std::vector<const expression*>& queries);

} // namespace qorvantel
