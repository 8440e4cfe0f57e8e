// rename(argument, S(x, y, ...)): the argument's relation under a new schema
// name and new column names, with its types and its very table.
#pragma once

#include "algebra/expression.h"

namespace qorvantel {

class rename_expression final : public expression {
public:
    rename_expression() = default;
    rename_expression(shared<expression> argument, shared<name_schema> new_names)
        : argument_(std::move(argument)), new_names_(std::move(new_names))
    {
    }

    shared<expression> parse(text::iterator& position) const override;
    shared<relation> evaluate(const shared<environment>& environment) const override;
    std::ostream& operator>>(std::ostream& out) const override;

    expression_kind kind() const noexcept override { return expression_kind::rename; }
    expression_list operands() const override { return {argument_}; }
    // The operator over its argument's result, the one element of
    // operand_results.
    shared<relation> apply(const relation_list& operand_results, const shared<environment>& environment) const override;

    const shared<name_schema>& new_names() const noexcept override { return new_names_; }
    const std::vector<source_range>& new_name_places() const noexcept override { return name_places_; }

private:
    shared<expression> argument_;
    shared<name_schema> new_names_;
    std::vector<source_range> name_places_;
};

} // namespace qorvantel
