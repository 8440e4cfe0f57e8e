// project(argument, a, b, ...): the listed columns of the argument's
// relation, in the listed order, as a set: sorted and without repeated rows.
#pragma once

#include "algebra/expression.h"

#include <vector>

namespace qorvantel {

using symbol_list = std::vector<shared<value>>;

class project_expression final : public expression {
public:
    project_expression() = default;
    project_expression(shared<expression> argument, shared<symbol_list> projected_columns)
        : argument_(std::move(argument)), projected_columns_(std::move(projected_columns))
    {
    }

    shared<expression> parse(text::iterator& position) const override;
    shared<relation> evaluate(const shared<environment>& environment) const override;
    std::ostream& operator>>(std::ostream& out) const override;

    expression_kind kind() const noexcept override { return expression_kind::project; }
    expression_list operands() const override { return {argument_}; }
    // The operator over its argument's result, the one element of
    // operand_results.
    shared<relation> apply(const relation_list& operand_results, const shared<environment>& environment) const override;

    const std::vector<shared<value>>& listed_columns() const noexcept override { return *projected_columns_; }
    const std::vector<source_range>& listed_column_places() const noexcept override { return column_places_; }

private:
    shared<expression> argument_;
    shared<symbol_list> projected_columns_;
    std::vector<source_range> column_places_;
};

} // namespace qorvantel
