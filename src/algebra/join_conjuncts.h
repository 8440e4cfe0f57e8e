// The join's conjunct compiler: the conjuncts of a select's condition over a
// product, compiled to tests on the operands' rows as they stand, one row per
// operand, without building the row of the product, each with the operands
// it reads, so that the join can pair rows before it makes any.
#pragma once

#include "algebra/condition.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace qorvantel {

// A column of the product: which operand holds it, and where in its rows.
struct column_place {
    std::size_t operand;
    std::size_t column;
};

// A test over a combination: parts[i] is the row of operand i, set at least
// for every operand the test reads.
class conjunct_test {
public:
    virtual ~conjunct_test() = default;
    virtual bool test(const row* const* parts) const = 0;
};

// One argument of the condition's top AND (or the whole condition when it
// is no AND), with the operands it reads.
struct compiled_conjunct {
    std::unique_ptr<conjunct_test> test;
    bool reads_columns = false;
    std::size_t first_operand = 0; // the lowest operand it reads
    std::size_t last_operand = 0;  // the highest: it can be tested once that one's row is chosen
    // EQ between one column of an operand and one of a later operand: rows
    // can be paired through an index on the later one's column.
    bool pairs_operands = false;
    column_place earlier;
    column_place later;
};

// The conjuncts of the conditions, all of which must bind to the product's
// schema with no way to raise (every column found, operands of one kind):
// only then may their conjuncts be tested apart and in any order.
// operand_offsets[i] is the index of operand i's first column.
std::vector<compiled_conjunct> compile_conjuncts(const std::vector<shared<condition>>& conditions,
                                                 const schema& product_schema,
                                                 const std::vector<std::size_t>& operand_offsets);

} // namespace qorvantel
