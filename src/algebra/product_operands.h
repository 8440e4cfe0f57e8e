// The operands of a product, evaluated in order and checked to have
// disjoint column names: shared by the product itself and by a select over
// a product, which pairs the operands' rows without building the product.
#pragma once

#include "relations/relation.h"
#include "relations/schema.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace qorvantel {

struct product_operands {
    std::vector<shared<relation>> relations;
    // The operands' columns in order: the columns of the product.
    column_list columns;
};

// Asks term for each of count relations (at least two) in order, and raises
// the non-disjoint schemas error as soon as one shares a column name with
// the ones before it, before the next term is asked for.
product_operands gather_product_operands(std::size_t count, const std::function<shared<relation>(std::size_t)>& term);

// The error of a product step whose further term shares a column name with
// the result so far (the first term's schema, or after that the unnamed
// schema of the product so far); the message does not name the column.
[[noreturn]] void throw_non_disjoint(const schema& so_far, const schema& next);

} // namespace qorvantel
