// Conditions: parsing, testing rows, writing.
#include "algebra/condition.h"

#include "parsing/syntax.h"

namespace qorvantel {

namespace {
// A chain of two or more operands.
constexpr sequence_syntax arithmetic_arguments{"arguments of arithmetic condition", 2, unbounded, "(", ",", ")"};

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
        {keyword("AND"), false, false, unbounded},
        {keyword("OR"), true, true, unbounded},
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
        const sequence_syntax syntax{"arguments of logical condition", 1, op->max_arguments, "(", ",", ")"};
        parse_sequence(syntax, working, parsing<condition>::try_parse, arguments);
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
        parse_sequence(arithmetic_arguments, working, parsing<value>::try_parse, arguments);
        position = working;
        return shared<condition>(new arithmetic_condition(op, std::move(arguments)));
    }
    return shared<condition>();
}

const shared<value>& arithmetic_condition::resolve(std::size_t operand, const shared<row>& tested,
                                                   const shared<schema>& row_schema) const
{
    if (resolved_for_.get() != row_schema.get()) {
        // A symbol operand names a column of the tested row; any other
        // operand stands for itself.
        operand_columns_.assign(arguments_.size(), literal_operand);
        for (std::size_t i = 0; i < arguments_.size(); ++i) {
            if (arguments_[i]->kind() != value_kind::symbol)
                continue;
            auto index = find_column(*row_schema, *arguments_[i]);
            operand_columns_[i] = index ? *index : missing_column;
        }
        resolved_for_ = row_schema;
    }
    std::size_t column = operand_columns_[operand];
    if (column == literal_operand)
        return arguments_[operand];
    if (column == missing_column)
        throw_column_not_found(*arguments_[operand], *row_schema);
    return (*tested)[column];
}

bool arithmetic_condition::test(const shared<row>& tested, const shared<schema>& row_schema) const
{
    for (std::size_t i = 0; i + 1 < arguments_.size(); ++i) {
        // The right operand is resolved before the left one.
        const shared<value>& right = resolve(i + 1, tested, row_schema);
        const shared<value>& left = resolve(i, tested, row_schema);
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
