// A select over a product, the textbook join, evaluated without building the
// product: the operands' rows are paired in the product's row order and only
// the combinations that satisfy the condition become rows.
#pragma once

#include "algebra/condition.h"
#include "algebra/expression.h"

#include <vector>

namespace qorvantel {

// A select over a product, possibly through further selects: the product's
// terms (at least two) and the conditions from the innermost select out.
struct join_request {
    expression_list terms;
    std::vector<shared<condition>> conditions;
};

// Fills request when the expression is such a select.
bool find_join(const expression& select, join_request& request);

struct join_result {
    shared<relation> result;
    // The result is already the projection asked for.
    bool projected = false;
};

// The join's result, its row order and every error being those of
// evaluating the product and then each select in turn. With projected
// names, when they name distinct columns of the product (and not all of
// them in order), the join makes only the projected rows, each once, rather
// than the joined ones, and the result is the projection itself: a join
// projected to a few columns then takes the memory of those. Otherwise the
// projection, and its errors, are left to the caller.
join_result evaluate_join(const join_request& request, const std::vector<shared<value>>* projected_names,
                          const shared<environment>& environment);

} // namespace qorvantel
