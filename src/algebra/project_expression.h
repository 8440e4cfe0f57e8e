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

    const shared<expression>& argument() const noexcept { return argument_; }
    const shared<symbol_list>& projected_columns() const noexcept { return projected_columns_; }

private:
    shared<expression> argument_;
    shared<symbol_list> projected_columns_;
};

} // namespace qorvantel
