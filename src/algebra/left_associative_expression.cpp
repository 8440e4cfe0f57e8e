// Union, minus and product.
//
// Union and minus merge their operands in one pass each over the rows in row
// order: every table is a set in that order (one read from an environment is
// sorted when it is first needed so), and the merge then computes the exact
// set union or difference, again in row order, without sorting its result.
#include "algebra/left_associative_expression.h"

#include "parsing/keywords.h"
#include "parsing/syntax.h"
#include "text/diagnostics.h"
#include "text/interrupt.h"

#include <algorithm>

namespace qorvantel {

shared<relation> left_associative_expression::evaluate(const shared<environment>& environment) const
{
    shared<relation> accumulator = terms_.front()->evaluate(environment);
    for (std::size_t i = 1; i < terms_.size(); ++i) {
        shared<relation> next = terms_[i]->evaluate(environment);
        accumulator = combine(accumulator, next);
    }
    return accumulator;
}

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
// One merging pass over two tables in row order. Rows only in the left
// operand are always kept, rows in both keep the left operand's row object
// when keep_common is set, and rows only in the right operand are kept when
// keep_right is set: union keeps all three, minus only the first.
shared<relation> merge(shared<schema> result_schema, const shared<relation>& left, const shared<relation>& right,
                       bool keep_common, bool keep_right)
{
    const row_list& l = left->relation_table()->rows();
    const row_list& r = right->relation_table()->rows();
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
    return shared<relation>(new relation(std::move(result_schema), shared<table>(new table(std::move(rows)))));
}
} // namespace

shared<relation> union_expression::combine(const shared<relation>& left, const shared<relation>& right) const
{
    return merge(coerce(left->relation_schema(), right->relation_schema()), left, right, true, true);
}

shared<relation> minus_expression::combine(const shared<relation>& left, const shared<relation>& right) const
{
    return merge(coerce(left->relation_schema(), right->relation_schema()), left, right, false, false);
}

shared<relation> product_expression::combine(const shared<relation>& left, const shared<relation>& right) const
{
    const schema& left_schema = *left->relation_schema();
    const schema& right_schema = *right->relation_schema();
    // Any common name makes the schemas non-disjoint; the message does not
    // name it.
    std::vector<shared<value>> left_names;
    left_names.reserve(left_schema.columns().size());
    for (const auto& a : left_schema.columns())
        left_names.push_back(a->name());
    for (const auto& found : find_columns(right_schema, left_names)) {
        if (found) {
            error_message message;
            message << "Cannot product non-disjoint schemas: " << left_schema << " and " << right_schema << ".";
            throw_message(message);
        }
    }
    column_list columns;
    columns.reserve(left_schema.columns().size() + right_schema.columns().size());
    columns.insert(columns.end(), left_schema.columns().begin(), left_schema.columns().end());
    columns.insert(columns.end(), right_schema.columns().begin(), right_schema.columns().end());

    const row_list& l = left->relation_table()->rows();
    const row_list& r = right->relation_table()->rows();
    row_list rows;
    rows.reserve(l.size() * r.size());
    for (const auto& a : l) {
        for (const auto& b : r) {
            check_interrupt_every(rows.size());
            rows.push_back(row::make(a->size() + b->size(), [&a, &b](shared<value>* slots) {
                std::copy(a->begin(), a->end(), slots);
                std::copy(b->begin(), b->end(), slots + a->size());
            }));
        }
    }
    return shared<relation>(new relation(shared<schema>(new schema(shared<value>(), std::move(columns))),
                                         shared<table>(new table(std::move(rows)))));
}

} // namespace qorvantel
