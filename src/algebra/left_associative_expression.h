// Union, minus and product: operators over one or more terms, combined from
// left to right. The shared base holds the terms; each operator computes the
// result of the left fold over all of them at once, so that many operands
// cost no more than their rows.
#pragma once

#include "algebra/expression.h"

#include <vector>

namespace qorvantel {

using expression_list = std::vector<shared<expression>>;

class left_associative_expression : public expression {
public:
    const expression_list& terms() const noexcept { return terms_; }

protected:
    left_associative_expression() = default;
    explicit left_associative_expression(expression_list terms) : terms_(std::move(terms)) {}

    // Reads keyword "(" terms ")" into terms; false when the keyword is absent.
    static bool parse_terms(const char* keyword, const char* description, text::iterator& position,
                            expression_list& terms);
    // The operator X over the terms read, or an empty handle.
    template <class X>
    static shared<expression> parse_operator(const char* keyword, const char* description, text::iterator& position)
    {
        expression_list terms;
        if (!parse_terms(keyword, description, position, terms))
            return shared<expression>();
        return shared<expression>(new X(std::move(terms)));
    }
    std::ostream& write(std::ostream& out, const char* keyword) const;

private:
    expression_list terms_;
};

class union_expression final : public left_associative_expression {
public:
    union_expression() = default;
    explicit union_expression(expression_list terms) : left_associative_expression(std::move(terms)) {}

    shared<expression> parse(text::iterator& position) const override;
    // The first term's relation, combined with each further term in order.
    // The terms are evaluated in order, and each one's schema checked
    // against the result so far before the next is evaluated.
    shared<relation> evaluate(const shared<environment>& environment) const override;
    std::ostream& operator>>(std::ostream& out) const override;
};

class minus_expression final : public left_associative_expression {
public:
    minus_expression() = default;
    explicit minus_expression(expression_list terms) : left_associative_expression(std::move(terms)) {}

    shared<expression> parse(text::iterator& position) const override;
    // The first term's relation, combined with each further term in order.
    // The terms are evaluated in order, and each one's schema checked
    // against the result so far before the next is evaluated.
    shared<relation> evaluate(const shared<environment>& environment) const override;
    std::ostream& operator>>(std::ostream& out) const override;
};

class product_expression final : public left_associative_expression {
public:
    product_expression() = default;
    explicit product_expression(expression_list terms) : left_associative_expression(std::move(terms)) {}

    shared<expression> parse(text::iterator& position) const override;
    // The first term's relation, combined with each further term in order.
    // The terms are evaluated in order, and each one's schema checked
    // against the result so far before the next is evaluated.
    shared<relation> evaluate(const shared<environment>& environment) const override;
    std::ostream& operator>>(std::ostream& out) const override;
};

} // namespace qorvantel
