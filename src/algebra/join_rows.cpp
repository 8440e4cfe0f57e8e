// The join that tests every combination in the product's order.
#include "algebra/join_rows.h"

#include "text/interrupt.h"

#include <algorithm>

namespace qorvantel {

row_list pair_in_order(const product_operands& operands, const std::vector<const bound_condition*>& tests,
                       const row_maker& maker)
{
    std::size_t count = operands.relations.size();
    std::vector<const row_list*> lists;
    std::vector<std::size_t> offsets;
    std::size_t width = 0;
    for (const auto& each : operands.relations) {
        lists.push_back(&each->relation_table()->rows());
        offsets.push_back(width);
        width += each->relation_schema()->columns().size();
        if (lists.back()->empty())
            return row_list();
    }
    shared<value>* slots = nullptr;
    shared<row> scratch = row::make(width, [&slots](shared<value>* made) { slots = made; });
    std::vector<std::size_t> at(count, 0);
    part_list parts(count, nullptr);
    auto place = [&](std::size_t j) {
        parts[j] = (*lists[j])[at[j]].get();
        std::copy(parts[j]->begin(), parts[j]->end(), slots + offsets[j]);
    };
    for (std::size_t j = 0; j < count; ++j)
        place(j);
    row_list result;
    for (std::size_t steps = 0;; ++steps) {
        check_interrupt_every(steps);
        bool kept = true;
        for (const bound_condition* each : tests)
            if (!each->test(*scratch)) {
                kept = false;
                break;
            }
        if (kept)
            result.push_back(maker.make(parts));
        std::size_t j = count;
        while (j > 0 && ++at[j - 1] == lists[j - 1]->size())
            at[--j] = 0;
        if (j == 0)
            return result;
        for (std::size_t changed = j - 1; changed < count; ++changed)
            place(changed);
    }
}

} // namespace qorvantel
