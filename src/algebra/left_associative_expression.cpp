// Union, minus and product.
//
// Union and minus merge their operands in one pass each over the rows in row
// order: every table is a set in that order (one read from an environment is
// sorted when it is first needed so), and the merge then computes the exact
// set union or difference, again in row order, without sorting its result.
#include "algebra/left_associative_expression.h"

#include "algebra/product_operands.h"
#include "parsing/keywords.h"
#include "parsing/syntax.h"
#include "text/diagnostics.h"
#include "text/interrupt.h"
#include "text/memory.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace qorvantel {

bool left_associative_expression::parse_terms(const char* keyword, const char* description, text::iterator& position,
                                              expression_list& terms)
{
    text::iterator working = position;
    match(working, keyword);
    if (!working.valid())
        return false;
    const sequence_syntax terms_syntax{description, 1, unbounded, "(", ",", ")"};
    parse_sequence(terms_syntax, working, parsing<expression>::try_parse, terms);
    position = working;
    return true;
}

shared<relation> left_associative_expression::evaluate(const shared<environment>& environment) const
{
    return fold(terms_.size(), [this, &environment](std::size_t i) { return terms_[i]->evaluate(environment); });
}

shared<relation> left_associative_expression::apply(const relation_list& operand_results,
                                                    const shared<environment>&) const
{
    return fold(operand_results.size(), [&operand_results](std::size_t i) { return operand_results[i]; });
}

std::ostream& left_associative_expression::write(std::ostream& out, const char* keyword) const
{
    return out << keyword << '(' << separated(terms_) << ')';
}

shared<expression> union_expression::parse(text::iterator& position) const
{
    return parse_operator<union_expression>(keywords().union_word.word(), "union expression terms", position);
}

shared<expression> minus_expression::parse(text::iterator& position) const
{
    return parse_operator<minus_expression>(keywords().minus_word.word(), "minus expression terms", position);
}

shared<expression> product_expression::parse(text::iterator& position) const
{
    return parse_operator<product_expression>(keywords().product_word.word(), "product expression terms", position);
}

std::ostream& union_expression::operator>>(std::ostream& out) const { return write(out, keywords().union_word.word()); }

std::ostream& minus_expression::operator>>(std::ostream& out) const { return write(out, keywords().minus_word.word()); }

std::ostream& product_expression::operator>>(std::ostream& out) const
{
    return write(out, keywords().product_word.word());
}

namespace {
// One merging pass over two row lists in row order. Rows only in the left
// list are always kept, rows in both keep the left list's row object when
// keep_common is set, and rows only in the right list are kept when
// keep_right is set: union keeps all three, minus only the first.
row_list merge(const row_list& l, const row_list& r, bool keep_common, bool keep_right)
{
    row_list rows;
    rows.reserve(keep_right ? l.size() + r.size() : l.size());
    std::size_t i = 0, j = 0;
    for (std::size_t steps = 0; i < l.size() && j < r.size(); ++steps) {
        check_interrupt_every(steps);
        prefetch_ahead(l, i);
        prefetch_ahead(r, j);
        // One comparison decides all three cases.
        int order = row_compare(*l[i], *r[j]);
        if (order < 0) {
            rows.push_back(l[i++]);
        } else if (order > 0) {
            if (keep_right)
                rows.push_back(r[j]);
            ++j;
        } else {
            if (keep_common)
                rows.push_back(l[i]);
            ++i;
            ++j;
        }
    }
    rows.insert(rows.end(), l.begin() + static_cast<std::ptrdiff_t>(i), l.end());
    if (keep_right)
        rows.insert(rows.end(), r.begin() + static_cast<std::ptrdiff_t>(j), r.end());
    return rows;
}

// The union of the rows of many relations, added one at a time. Runs are
// merged as a binary counter carries: two runs are merged when they hold
// as many operands each, so every row takes part in about log2(operands)
// merges, and only that many runs are alive at once. Merging the operands
// one by one into a growing result would copy that result once per operand.
class row_union {
public:
    void add(shared<relation> operand)
    {
        runs_.push_back(run{std::move(operand), row_list(), 1});
        while (runs_.size() >= 2 && runs_[runs_.size() - 2].operands == runs_.back().operands)
            merge_last_two();
    }

    // The rows of every relation added, in row order and each once; at
    // least one relation must have been added.
    const row_list& rows()
    {
        while (runs_.size() >= 2)
            merge_last_two();
        return runs_.back().rows_of();
    }

    // The same rows, taken out of the union where they were merged.
    row_list take()
    {
        const row_list& all = rows();
        return runs_.back().source.empty() ? std::move(runs_.back().merged) : all;
    }

private:
    struct run {
        shared<relation> source; // an operand not merged yet, or empty
        row_list merged;
        std::size_t operands;

        const row_list& rows_of() const { return source.empty() ? merged : source->relation_table()->rows(); }
    };

    void merge_last_two()
    {
        run& left = runs_[runs_.size() - 2];
        run& right = runs_.back();
        row_list rows = merge(left.rows_of(), right.rows_of(), true, true);
        left.source = shared<relation>();
        left.merged = std::move(rows);
        left.operands += right.operands;
        runs_.pop_back();
    }

    std::vector<run> runs_;
};

shared<relation> make_relation(shared<schema> result_schema, row_list rows)
{
    return shared<relation>(new relation(std::move(result_schema), shared<table>(new table(std::move(rows)))));
}

// The row count of a product, refused before anything is built when its
// rows cannot fit in the memory the process may use.
std::size_t product_row_count(const std::vector<shared<relation>>& operands, std::size_t columns)
{
    constexpr std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t count = 1;
    bool overflow = false;
    for (const auto& each : operands) {
        std::uint64_t size = each->relation_table()->rows().size();
        if (size == 0)
            return 0;
        if (count > most / size)
            overflow = true;
        else
            count *= size;
    }
    // A row object with its value handles, and its handle in the table.
    std::uint64_t row_bytes = sizeof(row) + columns * sizeof(shared<value>) + sizeof(shared<row>);
    if (overflow || count > usable_memory() / row_bytes || count > std::numeric_limits<std::size_t>::max()) {
        error_message message;
        message << "Product of ";
        if (overflow)
            message << "more than " << most;
        else
            message << count;
        message << " rows does not fit in memory.";
        throw_message(message);
    }
    return static_cast<std::size_t>(count);
}

} // namespace

shared<schema> union_expression::step_schema(const shared<schema>& so_far, const shared<schema>& next) const
{
    return coerce(so_far, next);
}

shared<schema> minus_expression::step_schema(const shared<schema>& so_far, const shared<schema>& next) const
{
    return coerce(so_far, next);
}

shared<schema> product_expression::step_schema(const shared<schema>& so_far, const shared<schema>& next) const
{
    std::vector<shared<value>> names;
    names.reserve(next->columns().size());
    for (const auto& each : next->columns())
        names.push_back(each->name());
    for (const auto& found : find_columns(*so_far, names))
        if (found)
            throw_non_disjoint(*so_far, *next);
    column_list columns = so_far->columns();
    columns.insert(columns.end(), next->columns().begin(), next->columns().end());
    return shared<schema>(new schema(shared<value>(), std::move(columns)));
}

shared<relation> union_expression::fold(std::size_t count, const term_source& term) const
{
    shared<relation> first = term(0);
    if (count == 1)
        return first;
    shared<schema> result_schema = first->relation_schema();
    row_union rows;
    rows.add(std::move(first));
    for (std::size_t i = 1; i < count; ++i) {
        shared<relation> next = term(i);
        result_schema = coerce(result_schema, next->relation_schema());
        rows.add(std::move(next));
    }
    return make_relation(std::move(result_schema), rows.take());
}

shared<relation> minus_expression::fold(std::size_t count, const term_source& term) const
{
    // Taking each further operand away in turn takes away their union.
    shared<relation> first = term(0);
    if (count == 1)
        return first;
    shared<schema> result_schema = first->relation_schema();
    row_union removed;
    for (std::size_t i = 1; i < count; ++i) {
        shared<relation> next = term(i);
        result_schema = coerce(result_schema, next->relation_schema());
        removed.add(std::move(next));
    }
    return make_relation(std::move(result_schema),
                         merge(first->relation_table()->rows(), removed.rows(), false, false));
}

shared<relation> product_expression::fold(std::size_t count, const term_source& term) const
{
    if (count == 1)
        return term(0);
    product_operands gathered = gather_product_operands(count, term);
    const std::vector<shared<relation>>& operands = gathered.relations;
    column_list& columns = gathered.columns;

    // The rows in the order of the fold: the first operand's row varies
    // slowest, the last one's fastest, as an odometer counts.
    std::size_t width = columns.size();
    std::size_t rows_made = product_row_count(operands, width);
    std::vector<const row_list*> lists;
    lists.reserve(operands.size());
    for (const auto& each : operands)
        lists.push_back(&each->relation_table()->rows());
    std::vector<std::size_t> at(operands.size(), 0);
    row_list rows;
    rows.reserve(rows_made);
    for (std::size_t made = 0; made < rows_made; ++made) {
        check_interrupt_every(made);
        rows.push_back(row::make(width, [&lists, &at](shared<value>* slots) {
            for (std::size_t j = 0; j < lists.size(); ++j) {
                const row& part = *(*lists[j])[at[j]];
                slots = std::copy(part.begin(), part.end(), slots);
            }
        }));
        for (std::size_t j = lists.size(); j > 0; --j) {
            if (++at[j - 1] < lists[j - 1]->size())
                break;
            at[j - 1] = 0;
        }
    }
    return make_relation(shared<schema>(new schema(shared<value>(), std::move(columns))), std::move(rows));
}

} // namespace qorvantel
