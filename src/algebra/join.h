// A select over a product, the textbook join, evaluated without building the
// product: the operands' rows are paired in the product's row order and only
// the combinations that satisfy the condition become rows.
#pragma once

#include "algebra/condition.h"
#include "algebra/expression.h"
#include "algebra/product_operands.h"

#include <vector>

namespace qorvantel {

// A select over a product, possibly through further selects: the product's
// terms (at least two) and the conditions from the innermost select out,
// with the nodes they come from.
struct join_request {
    expression_list terms;
    std::vector<shared<condition>> conditions;
    const expression* product = nullptr;
    std::vector<const expression*> selects; // innermost first, as conditions
};

// Fills request when the expression is such a select.
bool find_join(const expression& select, join_request& request);

struct join_result {
    shared<relation> result;
    // The result is already the projection asked for.
    bool projected = false;
    // The combinations the conditions tested together kept: the row count
    // of the select they end with, whether or not the rows were projected.
    std::size_t combinations = 0;
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

// The steps of evaluate_join after its terms are evaluated, for a walk that
// reports each node (observed_evaluation.h).
//
// How many of the conditions, innermost first, the join tests together on
// each combination of the product of this schema: up to and including the
// first that may raise, so that only the last of them can raise. Each
// further condition is then a select over the result.
std::size_t conditions_tested_together(const std::vector<shared<condition>>& conditions,
                                       const shared<schema>& product_schema);
// The operands' rows paired under conditions, all tested together (as
// conditions_tested_together counts them), projected as evaluate_join
// projects: its result before the further selects.
join_result pair_operands(const product_operands& operands, const std::vector<shared<condition>>& conditions,
                          const std::vector<shared<value>>* projected_names);

} // namespace qorvantel
