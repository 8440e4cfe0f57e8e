// Conditions, the predicates of select: NOT, AND and OR over conditions, and
// chained comparisons EQ, NEQ, LT, LTE, GT and GTE over literals and column
// names. A condition knows no schema until a row is tested.
#pragma once

#include "parsing/parsing.h"
#include "relations/relation.h"
#include "relations/schema.h"
#include "text/dumpable.h"

#include <cstdint>
#include <vector>

namespace qorvantel {

class condition : public parsing<condition>, public dumpable {
public:
    virtual bool test(const shared<row>& tested, const shared<schema>& row_schema) const = 0;
};

struct logical_operator {
    keyword word;
    bool stop_on;        // the argument result that ends the evaluation
    bool result_on_stop; // the result then returned
    std::int32_t max_arguments;
};

using comparator_function = bool (*)(const shared<value>& left, const shared<value>& right);

struct arithmetic_operator {
    keyword word;
    comparator_function comparator;
};

// The operator tables, each ended by an empty entry; built on first use.
const logical_operator* logical_operators();
const arithmetic_operator* arithmetic_operators();

class logical_condition final : public condition {
public:
    logical_condition() = default;
    logical_condition(const logical_operator* op, std::vector<shared<condition>> arguments)
        : op_(op), arguments_(std::move(arguments))
    {
    }

    shared<condition> parse(text::iterator& position) const override;
    bool test(const shared<row>& tested, const shared<schema>& row_schema) const override;
    std::ostream& operator>>(std::ostream& out) const override;

private:
    const logical_operator* op_ = nullptr;
    std::vector<shared<condition>> arguments_;
};

class arithmetic_condition final : public condition {
public:
    arithmetic_condition() = default;
    arithmetic_condition(const arithmetic_operator* op, std::vector<shared<value>> arguments)
        : op_(op), arguments_(std::move(arguments))
    {
    }

    shared<condition> parse(text::iterator& position) const override;
    bool test(const shared<row>& tested, const shared<schema>& row_schema) const override;
    std::ostream& operator>>(std::ostream& out) const override;

private:
    // The operand's value in the tested row: the operand itself, or the row's
    // value in the column it names.
    const shared<value>& resolve(std::size_t operand, const shared<row>& tested,
                                 const shared<schema>& row_schema) const;

    const arithmetic_operator* op_ = nullptr;
    std::vector<shared<value>> arguments_;
    // Where each operand stands in the schema last tested against, which is
    // the same for every row of a select: a column index, or one of the two
    // marks below. Looking names up once per schema rather than once per
    // row keeps a select over a wide schema linear in its rows.
    static constexpr std::size_t literal_operand = static_cast<std::size_t>(-1);
    static constexpr std::size_t missing_column = static_cast<std::size_t>(-2);
    mutable shared<schema> resolved_for_;
    mutable std::vector<std::size_t> operand_columns_;
};

} // namespace qorvantel
