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

#include "algebra/join_conjuncts.h"
#include "algebra/join_rows.h"
#include "algebra/product_operands.h"
#include "relations/key_index.h"
#include "text/interrupt.h"

#include <algorithm>

namespace qorvantel {

namespace {
// One operand in the walk: the rows that pass its own conjuncts, how the
// rows of earlier operands lead to them, and what to test once one is chosen.
struct level {
    part_list rows;
    std::vector<std::size_t> key_columns;
    std::vector<column_place> probe_places;
    std::vector<const value*> probe; // their values for the rows chosen, refilled for each probe
    std::unique_ptr<key_index> index;
    std::vector<const conjunct_test*> filters;
    std::vector<const conjunct_test*> residual;
};

class planned_pairing {
public:
    planned_pairing(const product_operands& operands, std::vector<compiled_conjunct> conjuncts, const row_maker& maker)
        : conjuncts_(std::move(conjuncts)),
          levels_(operands.relations.size()),
          parts_(levels_.size(), nullptr),
          maker_(maker)
    {
        for (const compiled_conjunct& each : conjuncts_) {
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
        for (const conjunct_test* each : constant_)
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
        const std::vector<const conjunct_test*>& filters = levels_[operand].filters;
        auto keep = [this, operand, &filters](const shared<row>& each) {
            parts_[operand] = each.get();
            for (const conjunct_test* filter : filters)
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
            result_.push_back(maker_.make(parts_));
            return;
        }
        level& current = levels_[at];
        auto visit = [this, at, &current](const row* candidate) {
            check_interrupt_every(++steps_);
            parts_[at] = candidate;
            for (const conjunct_test* each : current.residual)
                if (!each->test(parts_.data()))
                    return;
            descend(at + 1);
        };
        if (!current.index) {
            // The rows lie scattered in memory: their handles and values are
            // fetched ahead, and so is where the next operand's probe for
            // them starts, when only these rows give that probe its values.
            const part_list& rows = current.rows;
            level* next = at + 1 < levels_.size() && levels_[at + 1].index ? &levels_[at + 1] : nullptr;
            bool probe_ahead = next != nullptr;
            if (next != nullptr)
                for (const column_place& place : next->probe_places)
                    probe_ahead = probe_ahead && place.operand == at;
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (i + 16 < rows.size())
                    rows[i + 16]->prefetch_handles();
                if (i + 8 < rows.size())
                    rows[i + 8]->prefetch_values();
                if (probe_ahead && i + 4 < rows.size()) {
                    std::vector<const value*>& ahead = next->probe;
                    ahead.clear();
                    for (const column_place& place : next->probe_places)
                        ahead.push_back((*rows[i + 4])[place.column].get());
                    next->index->prefetch(ahead);
                }
                visit(rows[i]);
            }
            return;
        }
        std::vector<const value*>& probe = current.probe;
        probe.clear();
        for (const column_place& place : current.probe_places)
            probe.push_back((*parts_[place.operand])[place.column].get());
        current.index->for_each_match(probe, visit);
    }

    std::vector<compiled_conjunct> conjuncts_;
    std::vector<level> levels_;
    part_list parts_;
    std::vector<const conjunct_test*> constant_;
    std::vector<shared<table>> kept_; // the filtered operands, alive while their rows are used
    const row_maker& maker_;
    std::size_t steps_ = 0;
    row_list result_;
};

} // namespace

bool find_join(const expression& select, join_request& request)
{
    if (select.kind() != expression_kind::select)
        return false;
    std::vector<const expression*> selects{&select};
    shared<expression> inner = select.operands().front();
    while (inner->kind() == expression_kind::select) {
        selects.push_back(inner.get());
        inner = inner->operands().front();
    }
    if (inner->kind() != expression_kind::product)
        return false;
    expression_list terms = inner->operands();
    if (terms.size() < 2)
        return false;
    request.terms = std::move(terms);
    request.product = inner.get();
    request.selects.assign(selects.rbegin(), selects.rend());
    request.conditions.clear();
    for (const expression* each : request.selects)
        request.conditions.push_back(each->predicate());
    return true;
}

namespace {
using bound_list = std::vector<std::unique_ptr<bound_condition>>;

bound_list bound_to(const std::vector<shared<condition>>& conditions, const shared<schema>& product_schema)
{
    bound_list bound;
    bound.reserve(conditions.size());
    for (const auto& each : conditions)
        bound.push_back(each->bind(product_schema));
    return bound;
}

// The innermost selects up to the first whose condition may raise are
// tested together on each combination: the ones before it cannot raise, so
// a combination reaches it exactly when the selects one after the other
// would have given it that row. The selects after it filter the result as
// usual.
std::size_t tested_together(const bound_list& bound)
{
    std::size_t together = 0;
    bool may_raise = false;
    while (together < bound.size() && !may_raise)
        may_raise = bound[together++]->may_raise();
    return together;
}

// The first together conditions tested on each combination.
join_result pair_bound(const product_operands& operands, const shared<schema>& product_schema,
                       const std::vector<shared<condition>>& conditions, const bound_list& bound, std::size_t together,
                       const std::vector<shared<value>>* projected_names)
{
    std::vector<std::size_t> offsets;
    std::size_t width = 0;
    for (const auto& each : operands.relations) {
        offsets.push_back(width);
        width += each->relation_schema()->columns().size();
    }
    bool may_raise = together > 0 && bound[together - 1]->may_raise();

    // A projection the join can make itself: every name found, no name
    // twice, and not every column in order (which keeps the joined rows).
    std::vector<column_place> kept;
    column_list kept_columns;
    if (projected_names != nullptr) {
        std::vector<std::optional<std::size_t>> found = find_columns(*product_schema, *projected_names);
        bool all_in_order = found.size() == operands.columns.size();
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (!found[i]) {
                kept_columns.clear();
                break;
            }
            all_in_order = all_in_order && *found[i] == i;
            kept_columns.push_back(operands.columns[*found[i]]);
        }
        if (!kept_columns.empty() && has_distinct_names(kept_columns) && !all_in_order) {
            for (const auto& index : found) {
                std::size_t operand = static_cast<std::size_t>(std::upper_bound(offsets.begin(), offsets.end(), *index)
                                                               - offsets.begin() - 1);
                kept.push_back(column_place{operand, *index - offsets[operand]});
            }
        }
    }
    bool projects = !kept.empty();
    row_maker maker = projects ? row_maker(std::move(kept)) : row_maker(width);

    row_list rows;
    if (may_raise) {
        std::vector<const bound_condition*> tests;
        for (std::size_t i = 0; i < together; ++i)
            tests.push_back(bound[i].get());
        rows = pair_in_order(operands, tests, maker);
    } else {
        std::vector<shared<condition>> combined(conditions.begin(),
                                                conditions.begin() + static_cast<std::ptrdiff_t>(together));
        rows = planned_pairing(operands, compile_conjuncts(combined, *product_schema, offsets), maker).pair();
    }
    join_result made;
    made.combinations = rows.size();
    if (projects) {
        // Projected rows may repeat and stand out of order: sorted on use.
        made.result = shared<relation>(new relation(
            shared<schema>(new schema(shared<value>(), std::move(kept_columns))), table::unsorted(std::move(rows))));
        made.projected = true;
        return made;
    }
    // A subsequence of the product's rows, which are in row order.
    made.result = shared<relation>(new relation(product_schema, shared<table>(new table(std::move(rows)))));
    return made;
}
} // namespace

std::size_t conditions_tested_together(const std::vector<shared<condition>>& conditions,
                                       const shared<schema>& product_schema)
{
    return tested_together(bound_to(conditions, product_schema));
}

join_result pair_operands(const product_operands& operands, const std::vector<shared<condition>>& conditions,
                          const std::vector<shared<value>>* projected_names)
{
    shared<schema> product_schema(new schema(shared<value>(), operands.columns));
    bound_list bound = bound_to(conditions, product_schema);
    return pair_bound(operands, product_schema, conditions, bound, bound.size(), projected_names);
}

join_result evaluate_join(const join_request& request, const std::vector<shared<value>>* projected_names,
                          const shared<environment>& environment)
{
    const expression_list& terms = request.terms;
    const std::vector<shared<condition>>& conditions = request.conditions;
    product_operands operands = gather_product_operands(
        terms.size(), [&terms, &environment](std::size_t i) { return terms[i]->evaluate(environment); });
    shared<schema> product_schema(new schema(shared<value>(), operands.columns));
    bound_list bound = bound_to(conditions, product_schema);
    std::size_t together = tested_together(bound);
    join_result made = pair_bound(operands, product_schema, conditions, bound, together,
                                  together == bound.size() ? projected_names : nullptr);
    if (made.projected)
        return made;
    shared<table> result = made.result->relation_table();
    for (std::size_t i = together; i < bound.size(); ++i) {
        const bound_condition& test = *bound[i];
        result = result->filtered([&test](const shared<row>& each) { return test.test(*each); }, test.may_raise());
    }
    made.result = shared<relation>(new relation(std::move(product_schema), std::move(result)));
    return made;
}

} // namespace qorvantel
