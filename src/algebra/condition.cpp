// Conditions: parsing, testing rows, writing.
#include "algebra/condition.h"

#include "parsing/syntax.h"

namespace qorvantel {

namespace {
// Each comparator compares in a fixed order; the order decides which value
// a type mismatch names first.
bool compare_eq(const shared<value>& l, const shared<value>& r) { return value_compare(*l, *r) == 0; }
bool compare_neq(const shared<value>& l, const shared<value>& r) { return value_compare(*l, *r) != 0; }
bool compare_lte(const shared<value>& l, const shared<value>& r) { return !value_less(*r, *l); }
bool compare_lt(const shared<value>& l, const shared<value>& r) { return value_less(*l, *r); }
bool compare_gte(const shared<value>& l, const shared<value>& r) { return !value_less(*l, *r); }
bool compare_gt(const shared<value>& l, const shared<value>& r) { return value_less(*r, *l); }
} // namespace

const logical_operator* logical_operators()
{
    static const logical_operator table[] = {
        {keyword("NOT"), true, false, 1},
        {keyword("AND"), false, false, 2147483647},
        {keyword("OR"), true, true, 2147483647},
        {keyword(nullptr), false, false, 0},
    };
    return table;
}

const arithmetic_operator* arithmetic_operators()
{
    // Keywords match as prefixes, so "LTE" must be tried before "LT" and
    // "GTE" before "GT", or LTE( would read as LT and a stray E.
    static const arithmetic_operator table[] = {
        {keyword("EQ"), compare_eq}, {keyword("NEQ"), compare_neq}, {keyword("LTE"), compare_lte},
        {keyword("LT"), compare_lt}, {keyword("GTE"), compare_gte}, {keyword("GT"), compare_gt},
        {keyword(nullptr), nullptr},
    };
    return table;
}

shared<condition> logical_condition::parse(text::iterator& position) const
{
    for (const logical_operator* op = logical_operators(); op->word.word() != nullptr; ++op) {
        text::iterator working = position;
        match(working, op->word.word());
        if (!working.valid())
            continue;
        std::vector<shared<condition>> arguments;
        parse_sequence("arguments of logical condition", working, parsing<condition>::try_parse, arguments, 1,
                       op->max_arguments, "(", ",", ")");
        position = working;
        return shared<condition>(new logical_condition(op, std::move(arguments)));
    }
    return shared<condition>();
}

bool logical_condition::test(const shared<row>& tested, const shared<schema>& row_schema) const
{
    for (const auto& argument : arguments_)
        if (argument->test(tested, row_schema) == op_->stop_on)
            return op_->result_on_stop;
    return !op_->result_on_stop;
}

std::ostream& logical_condition::operator>>(std::ostream& out) const
{
    return out << op_->word.word() << '(' << separated(arguments_) << ')';
}

shared<condition> arithmetic_condition::parse(text::iterator& position) const
{
    for (const arithmetic_operator* op = arithmetic_operators(); op->comparator != nullptr; ++op) {
        text::iterator working = position;
        match(working, op->word.word());
        if (!working.valid())
            continue;
        std::vector<shared<value>> arguments;
        parse_sequence("arguments of arithmetic condition", working, parsing<value>::try_parse, arguments, 2,
                       2147483647, "(", ",", ")");
        position = working;
        return shared<condition>(new arithmetic_condition(op, std::move(arguments)));
    }
    return shared<condition>();
}

namespace {
// A symbol operand names a column of the tested row; any other operand
// stands for itself.
const shared<value>& resolve(const shared<value>& operand, const shared<row>& tested, const schema& row_schema)
{
    if (operand->kind() != value_kind::symbol)
        return operand;
    auto index = find_column(row_schema, *operand);
    if (!index)
        throw_column_not_found(*operand, row_schema);
    return (*tested)[*index];
}
} // namespace

bool arithmetic_condition::test(const shared<row>& tested, const shared<schema>& row_schema) const
{
    const schema& columns = *row_schema;
    for (std::size_t i = 0; i + 1 < arguments_.size(); ++i) {
        // The right operand is resolved before the left one.
        const shared<value>& right = resolve(arguments_[i + 1], tested, columns);
        const shared<value>& left = resolve(arguments_[i], tested, columns);
        if (!op_->comparator(left, right))
            return false;
    }
    return true;
}

std::ostream& arithmetic_condition::operator>>(std::ostream& out) const
{
    return out << op_->word.word() << '(' << separated(arguments_) << ')';
}

} // namespace qorvantel
