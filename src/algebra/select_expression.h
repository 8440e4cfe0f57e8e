// select(argument, condition): the argument's rows that satisfy the
// condition, in their order, under the argument's very schema.
#pragma once

#include "algebra/condition.h"
#include "algebra/expression.h"

namespace qorvantel {

class select_expression final : public expression {
public:
    select_expression() = default;
    select_expression(shared<expression> argument, shared<condition> predicate)
        : argument_(std::move(argument)), condition_(std::move(predicate))
    {
    }

    shared<expression> parse(text::iterator& position) const override;
    shared<relation> evaluate(const shared<environment>& environment) const override;
    std::ostream& operator>>(std::ostream& out) const override;

    expression_kind kind() const noexcept override { return expression_kind::select; }
    expression_list operands() const override { return {argument_}; }
    // The operator over its argument's result, the one element of
    // operand_results.
    shared<relation> apply(const relation_list& operand_results, const shared<environment>& environment) const override;

    const shared<condition>& predicate() const noexcept override { return condition_; }

private:
    shared<expression> argument_;
    shared<condition> condition_;
};

} // namespace qorvantel
