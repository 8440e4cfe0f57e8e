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
        {keyword(word(word_id::not_operator).text), condition_kind::negation, true, false, 1},
        {keyword(word(word_id::and_operator).text), condition_kind::conjunction, false, false, unbounded},
        {keyword(word(word_id::or_operator).text), condition_kind::disjunction, true, true, unbounded},
        {keyword(nullptr), condition_kind::negation, false, false, 0},
    };
    return table;
}

namespace {
comparator_function comparator_of(comparison_operator meaning)
{
    switch (meaning) {
    case comparison_operator::eq:
        return compare_eq;
    case comparison_operator::neq:
        return compare_neq;
    case comparison_operator::lte:
        return compare_lte;
    case comparison_operator::lt:
        return compare_lt;
    case comparison_operator::gte:
        return compare_gte;
    case comparison_operator::gt:
        return compare_gt;
    }
    return nullptr;
}
} // namespace

const arithmetic_operator* arithmetic_operators()
{
    // The comparisons in the word table's order, which is their trial order
    // (LTE before LT, GTE before GT), ended by an empty entry.
    static const std::vector<arithmetic_operator> table = [] {
        std::vector<arithmetic_operator> made;
        for (const language_word& each : language_words)
            if (each.role == word_role::comparison)
                made.push_back({keyword(each.text), each.meaning, comparator_of(each.meaning)});
        made.push_back({keyword(nullptr), comparison_operator::eq, nullptr});
        return made;
    }();
    return table.data();
}

comparison_operator mirrored(comparison_operator op) noexcept
{
    switch (op) {
    case comparison_operator::lt:
        return comparison_operator::gt;
    case comparison_operator::lte:
        return comparison_operator::gte;
    case comparison_operator::gt:
        return comparison_operator::lt;
    case comparison_operator::gte:
        return comparison_operator::lte;
    case comparison_operator::eq:
    case comparison_operator::neq:
        return op;
    }
    return op;
}

bool comparison_holds(comparison_operator op, int order) noexcept
{
    switch (op) {
    case comparison_operator::eq:
        return order == 0;
    case comparison_operator::neq:
        return order != 0;
    case comparison_operator::lte:
        return order <= 0;
    case comparison_operator::lt:
        return order < 0;
    case comparison_operator::gte:
        return order >= 0;
    case comparison_operator::gt:
        return order > 0;
    }
    return false;
}

const std::vector<shared<condition>>& condition::arguments() const noexcept
{
    static const std::vector<shared<condition>> none;
    return none;
}

const std::vector<shared<value>>& condition::comparands() const noexcept
{
    static const std::vector<shared<value>> none;
    return none;
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

namespace {
// A logical operator over bound arguments: the arguments are tested in
// order until one's result is the operator's stop_on.
class bound_logical final : public bound_condition {
public:
    bound_logical(const logical_operator& op, std::vector<std::unique_ptr<bound_condition>> arguments, bool may_raise)
        : bound_condition(may_raise), op_(op), arguments_(std::move(arguments))
    {
    }

    bool test(const row& tested) const override
    {
        for (const auto& argument : arguments_)
            if (argument->test(tested) == op_.stop_on)
                return op_.result_on_stop;
        return !op_.result_on_stop;
    }

private:
    const logical_operator& op_;
    std::vector<std::unique_ptr<bound_condition>> arguments_;
};
} // namespace

std::unique_ptr<bound_condition> logical_condition::bind(const shared<schema>& row_schema) const
{
    std::vector<std::unique_ptr<bound_condition>> bound;
    bound.reserve(arguments_.size());
    bool may_raise = false;
    for (const auto& argument : arguments_) {
        bound.push_back(argument->bind(row_schema));
        may_raise = may_raise || bound.back()->may_raise();
    }
    return std::make_unique<bound_logical>(*op_, std::move(bound), may_raise);
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
        std::vector<source_range> places;
        parse_sequence(arithmetic_arguments, working, recording_places(parsing<value>::try_parse, places), arguments);
        position = working;
        auto* made = new arithmetic_condition(op, std::move(arguments));
        made->comparand_places_ = std::move(places);
        return shared<condition>(made);
    }
    return shared<condition>();
}

namespace {
// The kind of the values a column of the type holds.
value_kind kind_of_values(const type& column_type)
{
    switch (column_type.kind()) {
    case type_kind::integer:
        return value_kind::integer;
    case type_kind::string:
        return value_kind::string;
    case type_kind::symbol:
        return value_kind::symbol;
    }
    return value_kind::symbol;
}

// A chain of comparisons whose operands are literals or column indexes.
class bound_comparison final : public bound_condition {
public:
    // Where an operand's value comes from: the literal itself, or the
    // tested row's value at a column index.
    static constexpr std::size_t literal_operand = static_cast<std::size_t>(-1);
    static constexpr std::size_t missing_column = static_cast<std::size_t>(-2);

    bound_comparison(const arithmetic_operator& op, const std::vector<shared<value>>& arguments,
                     shared<schema> row_schema, std::vector<std::size_t> columns, bool may_raise)
        : bound_condition(may_raise),
          op_(op),
          arguments_(arguments),
          schema_(std::move(row_schema)),
          columns_(std::move(columns))
    {
    }

    bool test(const row& tested) const override
    {
        for (std::size_t i = 0; i + 1 < arguments_.size(); ++i) {
            // The right operand is resolved before the left one, so that of
            // two missing columns the right one is named.
            const shared<value>& right = resolve(i + 1, tested);
            const shared<value>& left = resolve(i, tested);
            if (!op_.comparator(left, right))
                return false;
        }
        return true;
    }

private:
    const shared<value>& resolve(std::size_t operand, const row& tested) const
    {
        std::size_t column = columns_[operand];
        if (column == literal_operand)
            return arguments_[operand];
        if (column == missing_column)
            throw_column_not_found(*arguments_[operand], *schema_);
        return tested[column];
    }

    const arithmetic_operator& op_;
    // The condition's own operands, which outlive every binding of it.
    const std::vector<shared<value>>& arguments_;
    shared<schema> schema_;
    std::vector<std::size_t> columns_;
};
} // namespace

std::unique_ptr<bound_condition> arithmetic_condition::bind(const shared<schema>& row_schema) const
{
    // A symbol operand names a column of the tested row; any other operand
    // stands for itself. The names are looked up together, once per binding.
    std::vector<shared<value>> names;
    for (const auto& argument : arguments_)
        if (argument->kind() == value_kind::symbol)
            names.push_back(argument);
    std::vector<std::optional<std::size_t>> found = find_columns(*row_schema, names);

    std::vector<std::size_t> columns(arguments_.size(), bound_comparison::literal_operand);
    std::vector<value_kind> kinds(arguments_.size());
    bool may_raise = false;
    std::size_t next_name = 0;
    for (std::size_t i = 0; i < arguments_.size(); ++i) {
        kinds[i] = arguments_[i]->kind();
        if (kinds[i] != value_kind::symbol)
            continue;
        const std::optional<std::size_t>& index = found[next_name++];
        if (index) {
            columns[i] = *index;
            kinds[i] = kind_of_values(*row_schema->columns()[*index]->column_type());
        } else {
            columns[i] = bound_comparison::missing_column;
            may_raise = true;
        }
    }
    // Neighbours of different kinds raise a type mismatch when compared.
    for (std::size_t i = 0; i + 1 < kinds.size(); ++i)
        may_raise = may_raise || kinds[i] != kinds[i + 1];
    return std::make_unique<bound_comparison>(*op_, arguments_, row_schema, std::move(columns), may_raise);
}

std::ostream& arithmetic_condition::operator>>(std::ostream& out) const
{
    return out << op_->word.word() << '(' << separated(arguments_) << ')';
}

} // namespace qorvantel
