// A select over a product, the textbook join, evaluated without building the
// product: the operands' rows are paired in the product's row order and only
// the combinations that satisfy the condition become rows.
#pragma once

#include "algebra/condition.h"
#include "algebra/expression.h"

#include <vector>

namespace qorvantel {

// The result of select(... select(product(terms), conditions[0]) ...,
// conditions.back()): terms holds at least two expressions and conditions
// runs from the innermost select out. The result, its row order and every
// error are those of evaluating the product and then each select in turn.
shared<relation> select_over_product(const expression_list& terms, const std::vector<shared<condition>>& conditions,
                                     const shared<environment>& environment);

} // namespace qorvantel
