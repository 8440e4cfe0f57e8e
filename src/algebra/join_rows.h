// The rows a join makes, and the join that tests every combination: what
// both ways of pairing the operands of a product share.
#pragma once

#include "algebra/condition.h"
#include "algebra/join_conjuncts.h"
#include "algebra/product_operands.h"
#include "relations/row.h"

#include <vector>

namespace qorvantel {

// The operands' rows of one combination, one per operand.
using part_list = std::vector<const row*>;

// Makes the rows of the result from the operands' rows: all their values,
// or only the columns a projection keeps.
class row_maker {
public:
    explicit row_maker(std::size_t width) : width_(width) {}
    explicit row_maker(std::vector<column_place> kept) : width_(kept.size()), kept_(std::move(kept)) {}

    shared<row> make(const part_list& parts) const
    {
        if (kept_.empty())
            return row::make(width_, [&parts](shared<value>* slots) {
                for (const row* part : parts)
                    slots = std::copy(part->begin(), part->end(), slots);
            });
        return row::make(width_, [this, &parts](shared<value>* slots) {
            for (const column_place& place : kept_)
                *slots++ = (*parts[place.operand])[place.column];
        });
    }

private:
    std::size_t width_;
    std::vector<column_place> kept_;
};

// Every combination in the product's order, each tested by every condition
// in turn on one row refilled as the combination changes: the order in
// which a condition that may raise must meet the combinations.
row_list pair_in_order(const product_operands& operands, const std::vector<const bound_condition*>& tests,
                       const row_maker& maker);

} // namespace qorvantel
