// Selects over a product, without the product.
//
// When the conditions cannot raise, the order in which combinations are
// tested cannot be seen, and neither can which conjunct is tested first. The
// conjuncts that read one operand then filter that operand's rows before any
// pairing; each EQ between a column of an operand and a column of an earlier
// one makes the later operand's rows reachable through a hashed index on
// that column; the other conjuncts are tested as soon as every operand they
// read has its row chosen. The operands are still walked first to last, and
// an index hands out its rows in their order, so the result comes out in the
// product's row order with no sort, at a cost of about the operands' rows
// plus the result's rather than their product.
//
// When a condition may raise, the first combination in the product's order
// that raises must be the one named, so every combination is tested in that
// order, on one row that is refilled as the combination changes.
#include "algebra/join.h"

#include "algebra/combined_condition.h"
#include "algebra/product_operands.h"
#include "text/interrupt.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>

namespace qorvantel {

namespace {
using part_list = std::vector<const row*>;

shared<row> combined_row(std::size_t width, const part_list& parts)
{
    return row::make(width, [&parts](shared<value>* slots) {
        for (const row* part : parts)
            slots = std::copy(part->begin(), part->end(), slots);
    });
}

std::uint64_t mix(std::uint64_t h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

// A hash that agrees with value_compare on values of one kind: equal
// values hash alike.
std::uint64_t value_hash(const value& hashed)
{
    switch (hashed.kind()) {
    case value_kind::integer:
        return mix(static_cast<std::uint32_t>(static_cast<const integer_value&>(hashed).number()) + 1);
    case value_kind::string:
        return std::hash<std::string_view>()(static_cast<const string_value&>(hashed).content());
    case value_kind::symbol:
        return std::hash<std::string_view>()(static_cast<const symbol_value&>(hashed).content());
    }
    return 0;
}

// An operand's rows reachable by the values of some of their columns. Each
// chain holds its rows in ascending position, so the rows with one key come
// out in the operand's row order.
class key_index {
public:
    key_index(const part_list& rows, std::vector<std::size_t> columns) : rows_(rows), columns_(std::move(columns))
    {
        std::size_t buckets = 16;
        while (buckets < 2 * rows.size())
            buckets *= 2;
        mask_ = buckets - 1;
        head_.assign(buckets, none);
        next_.resize(rows.size());
        hashes_.resize(rows.size());
        for (std::size_t i = rows.size(); i > 0; --i) {
            check_interrupt_every(i);
            std::uint64_t h = 0;
            for (std::size_t column : columns_)
                h = combine(h, value_hash(*(*rows[i - 1])[column]));
            hashes_[i - 1] = h;
            std::uint32_t& first = head_[h & mask_];
            next_[i - 1] = first;
            first = static_cast<std::uint32_t>(i - 1);
        }
    }

    // Calls visit(row) for each row whose key columns equal the probe's
    // values, in the operand's row order.
    template <class Visit>
    void for_each_match(const std::vector<const value*>& probe, Visit visit) const
    {
        std::uint64_t h = 0;
        for (const value* each : probe)
            h = combine(h, value_hash(*each));
        for (std::uint32_t i = head_[h & mask_]; i != none; i = next_[i]) {
            if (hashes_[i] != h || !equal_key(*rows_[i], probe))
                continue;
            visit(rows_[i]);
        }
    }

private:
    static constexpr std::uint32_t none = 0xffffffffU;

    static std::uint64_t combine(std::uint64_t h, std::uint64_t v) { return mix(h * 0x9e3779b97f4a7c15ULL + v); }

    bool equal_key(const row& candidate, const std::vector<const value*>& probe) const
    {
        for (std::size_t k = 0; k < columns_.size(); ++k)
            if (value_compare(*candidate[columns_[k]], *probe[k]) != 0)
                return false;
        return true;
    }

    const part_list& rows_;
    std::vector<std::size_t> columns_;
    std::uint64_t mask_ = 0;
    std::vector<std::uint32_t> head_;
    std::vector<std::uint32_t> next_;
    std::vector<std::uint64_t> hashes_;
};

// One operand in the walk: the rows that pass its own conjuncts, how the
// rows of earlier operands lead to them, and what to test once one is chosen.
struct level {
    part_list rows;
    std::vector<std::size_t> key_columns;
    std::vector<column_place> probe_places;
    std::unique_ptr<key_index> index;
    std::vector<const combined_test*> filters;
    std::vector<const combined_test*> residual;
};

class planned_pairing {
public:
    planned_pairing(const product_operands& operands, std::vector<combined_conjunct> conjuncts)
        : conjuncts_(std::move(conjuncts)), levels_(operands.relations.size()), parts_(levels_.size(), nullptr)
    {
        for (const auto& each : operands.relations)
            width_ += each->relation_schema()->columns().size();
        for (const combined_conjunct& each : conjuncts_) {
            if (!each.reads_columns)
                constant_.push_back(each.test.get());
            else if (each.first_operand == each.last_operand)
                levels_[each.last_operand].filters.push_back(each.test.get());
            else if (each.pairs_operands) {
                levels_[each.later.operand].key_columns.push_back(each.later.column);
                levels_[each.later.operand].probe_places.push_back(each.earlier);
            } else
                levels_[each.last_operand].residual.push_back(each.test.get());
        }
        for (std::size_t i = 0; i < levels_.size(); ++i)
            levels_[i].rows = filtered_rows(i, *operands.relations[i]->relation_table());
    }

    row_list pair()
    {
        for (const combined_test* each : constant_)
            if (!each->test(parts_.data()))
                return result_;
        for (const level& each : levels_)
            if (each.rows.empty())
                return result_;
        for (level& each : levels_)
            if (!each.key_columns.empty())
                each.index = std::make_unique<key_index>(each.rows, each.key_columns);
        descend(0);
        return std::move(result_);
    }

private:
    // The operand's rows that pass its own conjuncts, in row order. A table
    // not sorted yet is filtered first and then sorts only the rows kept.
    part_list filtered_rows(std::size_t operand, const table& rows)
    {
        const std::vector<const combined_test*>& filters = levels_[operand].filters;
        auto keep = [this, operand, &filters](const shared<row>& each) {
            parts_[operand] = each.get();
            for (const combined_test* filter : filters)
                if (!filter->test(parts_.data()))
                    return false;
            return true;
        };
        kept_.push_back(filters.empty() ? shared<table>() : rows.filtered(keep, false));
        const row_list& source = filters.empty() ? rows.rows() : kept_.back()->rows();
        part_list parts;
        parts.reserve(source.size());
        for (const auto& each : source)
            parts.push_back(each.get());
        return parts;
    }

    void descend(std::size_t at)
    {
        if (at == levels_.size()) {
            result_.push_back(combined_row(width_, parts_));
            return;
        }
        level& current = levels_[at];
        auto visit = [this, at, &current](const row* candidate) {
            check_interrupt_every(++steps_);
            parts_[at] = candidate;
            for (const combined_test* each : current.residual)
                if (!each->test(parts_.data()))
                    return;
            descend(at + 1);
        };
        if (!current.index) {
            for (const row* candidate : current.rows)
                visit(candidate);
            return;
        }
        std::vector<const value*> probe;
        probe.reserve(current.probe_places.size());
        for (const column_place& place : current.probe_places)
            probe.push_back((*parts_[place.operand])[place.column].get());
        current.index->for_each_match(probe, visit);
    }

    std::vector<combined_conjunct> conjuncts_;
    std::vector<level> levels_;
    part_list parts_;
    std::vector<const combined_test*> constant_;
    std::vector<shared<table>> kept_; // the filtered operands, alive while their rows are used
    std::size_t width_ = 0;
    std::size_t steps_ = 0;
    row_list result_;
};

// Every combination in the product's order, each tested by every condition
// in turn on one row refilled as the combination changes.
row_list pair_in_order(const product_operands& operands, const std::vector<const bound_condition*>& tests)
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
            result.push_back(combined_row(width, parts));
        std::size_t j = count;
        while (j > 0 && ++at[j - 1] == lists[j - 1]->size())
            at[--j] = 0;
        if (j == 0)
            return result;
        for (std::size_t changed = j - 1; changed < count; ++changed)
            place(changed);
    }
}
} // namespace

shared<relation> select_over_product(const expression_list& terms, const std::vector<shared<condition>>& conditions,
                                     const shared<environment>& environment)
{
    product_operands operands = gather_product_operands(
        terms.size(), [&terms, &environment](std::size_t i) { return terms[i]->evaluate(environment); });
    shared<schema> product_schema(new schema(shared<value>(), operands.columns));
    std::vector<std::unique_ptr<bound_condition>> bound;
    for (const auto& each : conditions)
        bound.push_back(each->bind(product_schema));

    // The innermost selects up to the first whose condition may raise are
    // tested together on each combination: the ones before it cannot raise,
    // so a combination reaches it exactly when the selects one after the
    // other would have given it that row. The selects after it filter the
    // result as usual.
    std::size_t together = 0;
    bool may_raise = false;
    while (together < bound.size() && !may_raise)
        may_raise = bound[together++]->may_raise();

    row_list rows;
    if (may_raise) {
        std::vector<const bound_condition*> tests;
        for (std::size_t i = 0; i < together; ++i)
            tests.push_back(bound[i].get());
        rows = pair_in_order(operands, tests);
    } else {
        std::vector<std::size_t> offsets;
        std::size_t width = 0;
        for (const auto& each : operands.relations) {
            offsets.push_back(width);
            width += each->relation_schema()->columns().size();
        }
        std::vector<shared<condition>> combined(conditions.begin(),
                                                conditions.begin() + static_cast<std::ptrdiff_t>(together));
        rows = planned_pairing(operands, combine_conjuncts(combined, *product_schema, offsets)).pair();
    }
    // A subsequence of the product's rows, which are in row order.
    shared<table> result(new table(std::move(rows)));
    for (std::size_t i = together; i < bound.size(); ++i) {
        const bound_condition& test = *bound[i];
        result = result->filtered([&test](const shared<row>& each) { return test.test(*each); }, test.may_raise());
    }
    return shared<relation>(new relation(std::move(product_schema), std::move(result)));
}

} // namespace qorvantel
