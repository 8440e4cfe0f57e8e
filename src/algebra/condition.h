// Conditions, the predicates of select: NOT, AND and OR over conditions, and
// chained comparisons EQ, NEQ, LT, LTE, GT and GTE over literals and column
// names. A condition knows no schema until it is bound to the schema of the
// rows it is to test.
#pragma once

#include "parsing/parsing.h"
#include "parsing/words.h"
#include "relations/row.h"
#include "relations/schema.h"
#include "text/dumpable.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace qorvantel {

// A condition resolved against the schema of the rows it tests: its column
// names are column indexes, and whether a test can raise is known before
// the first row is tested.
class bound_condition {
public:
    virtual ~bound_condition() = default;
    virtual bool test(const row& tested) const = 0;

    // False when no row can make test raise: every column named exists and
    // every comparison is between operands of one kind. Only then is the
    // result the same whatever order the rows are tested in; otherwise the
    // first row in row order that raises must be the one to raise.
    bool may_raise() const noexcept { return may_raise_; }

protected:
    explicit bound_condition(bool may_raise) noexcept : may_raise_(may_raise) {}

private:
    bool may_raise_;
};

// What a condition node is, for tools that walk a condition: NOT, AND and
// OR over conditions, or a chained comparison over values.
enum class condition_kind : unsigned char { negation, conjunction, disjunction, comparison };

// True when two values whose order value_compare gives as order (negative,
// zero or positive) stand in the relation op: what each comparison means.
bool comparison_holds(comparison_operator op, int order) noexcept;
// The comparison with its operands swapped: a < b is b > a. EQ and NEQ are
// their own mirrors.
comparison_operator mirrored(comparison_operator op) noexcept;

class condition : public parsing<condition>, public dumpable {
public:
    // This condition over rows of the schema. Binding raises nothing: a
    // column the schema lacks raises when a test reaches it, so that a
    // relation with no rows selects without error.
    virtual std::unique_ptr<bound_condition> bind(const shared<schema>& row_schema) const = 0;

    virtual condition_kind kind() const noexcept = 0;
    // The operator's keyword as written: "NOT", "AND", "EQ", ...
    virtual const char* keyword() const noexcept = 0;
    // NOT, AND and OR: their argument conditions in order; none for a
    // comparison.
    virtual const std::vector<shared<condition>>& arguments() const noexcept;
    // A comparison: its operator, and its operands in order, each compared
    // with the next. A symbol names a column of the tested row; an integer
    // or a string stands for itself. No operands for NOT, AND and OR, whose
    // comparison() is meaningless.
    virtual comparison_operator comparison() const noexcept { return comparison_operator::eq; }
    virtual const std::vector<shared<value>>& comparands() const noexcept;

    // Where the condition was read, from its first character to its last;
    // not known for a condition a tool built.
    const source_range& place() const noexcept { return place_; }
    // A comparison: where each comparand was read, in order; empty when
    // not known and for NOT, AND and OR.
    const std::vector<source_range>& comparand_places() const noexcept { return comparand_places_; }

protected:
    // The registry records place_; a comparison's parse, comparand_places_.
    friend class parsing<condition>;
    source_range place_;
    std::vector<source_range> comparand_places_;
};

struct logical_operator {
    keyword word;
    condition_kind kind;
    bool stop_on;        // the argument result that ends the evaluation
    bool result_on_stop; // the result then returned
    std::int32_t max_arguments;
};

using comparator_function = bool (*)(const shared<value>& left, const shared<value>& right);

// A comparison operator: its keyword, its meaning and its comparator.
struct arithmetic_operator {
    keyword word;
    comparison_operator meaning;
    comparator_function comparator;
};

// The operator tables, each ended by an empty entry; built on first use.
const logical_operator* logical_operators();
const arithmetic_operator* arithmetic_operators();

// NOT, AND and OR over conditions.
class logical_condition final : public condition {
public:
    logical_condition() = default;
    logical_condition(const logical_operator* op, std::vector<shared<condition>> arguments)
        : op_(op), arguments_(std::move(arguments))
    {
    }

    shared<condition> parse(text::iterator& position) const override;
    std::unique_ptr<bound_condition> bind(const shared<schema>& row_schema) const override;
    std::ostream& operator>>(std::ostream& out) const override;

    condition_kind kind() const noexcept override { return op_->kind; }
    const char* keyword() const noexcept override { return op_->word.word(); }
    const std::vector<shared<condition>>& arguments() const noexcept override { return arguments_; }

private:
    const logical_operator* op_ = nullptr;
    std::vector<shared<condition>> arguments_;
};

// The comparison: EQ, NEQ, LT, LTE, GT or GTE over a chain of comparands.
class arithmetic_condition final : public condition {
public:
    arithmetic_condition() = default;
    arithmetic_condition(const arithmetic_operator* op, std::vector<shared<value>> arguments)
        : op_(op), arguments_(std::move(arguments))
    {
    }

    shared<condition> parse(text::iterator& position) const override;
    std::unique_ptr<bound_condition> bind(const shared<schema>& row_schema) const override;
    std::ostream& operator>>(std::ostream& out) const override;

    condition_kind kind() const noexcept override { return condition_kind::comparison; }
    const char* keyword() const noexcept override { return op_->word.word(); }
    comparison_operator comparison() const noexcept override { return op_->meaning; }
    const std::vector<shared<value>>& comparands() const noexcept override { return arguments_; }

private:
    const arithmetic_operator* op_ = nullptr;
    std::vector<shared<value>> arguments_;
};

} // namespace qorvantel
