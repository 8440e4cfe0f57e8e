// Union, minus and product: the n-ary set operators, over one or more terms
// combined from left to right (hence the class name). The shared base holds
// the terms; each operator computes the result of the left fold over all of
// them at once, so that many operands cost no more than their rows.
#pragma once

#include "algebra/expression.h"

#include <functional>
#include <vector>

namespace qorvantel {

// The n-ary set operators (union, minus, product), folded from the left.
class left_associative_expression : public expression {
public:
    const expression_list& terms() const noexcept { return terms_; }

    expression_list operands() const override { return terms_; }
    // The terms are evaluated in order, and each one's schema is checked
    // against the result so far before the next is evaluated, so the first
    // error met in that order is the one raised.
    shared<relation> evaluate(const shared<environment>& environment) const final;
    shared<relation> apply(const relation_list& operand_results, const shared<environment>& environment) const final;

    // One pairwise step of the fold over schemas alone: the schema of the
    // result so far combined with a further term's, raising what the fold
    // raises at that step. The walk that reports each step uses it.
    virtual shared<schema> step_schema(const shared<schema>& so_far, const shared<schema>& next) const = 0;

protected:
    // Where the terms' relations come from: evaluated from the terms, or
    // given already computed. Each term is asked for once, in order.
    using term_source = std::function<shared<relation>(std::size_t term)>;

    left_associative_expression() = default;
    explicit left_associative_expression(expression_list terms) : terms_(std::move(terms)) {}

    // The operator over count terms (at least one) whose relations term
    // gives: the one place where each operator computes its result.
    virtual shared<relation> fold(std::size_t count, const term_source& term) const = 0;

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

// The rows of every term, each once, under the first term's schema with
// each further term's coerced into it.
class union_expression final : public left_associative_expression {
public:
    union_expression() = default;
    explicit union_expression(expression_list terms) : left_associative_expression(std::move(terms)) {}

    shared<expression> parse(text::iterator& position) const override;
    std::ostream& operator>>(std::ostream& out) const override;
    expression_kind kind() const noexcept override { return expression_kind::union_of; }
    shared<schema> step_schema(const shared<schema>& so_far, const shared<schema>& next) const override;

protected:
    shared<relation> fold(std::size_t count, const term_source& term) const override;
};

// The rows of the first term that no further term holds: the first term
// minus the union of the rest, which is what taking each away in turn gives.
class minus_expression final : public left_associative_expression {
public:
    minus_expression() = default;
    explicit minus_expression(expression_list terms) : left_associative_expression(std::move(terms)) {}

    shared<expression> parse(text::iterator& position) const override;
    std::ostream& operator>>(std::ostream& out) const override;
    expression_kind kind() const noexcept override { return expression_kind::minus; }
    shared<schema> step_schema(const shared<schema>& so_far, const shared<schema>& next) const override;

protected:
    shared<relation> fold(std::size_t count, const term_source& term) const override;
};

// Every combination of one row of each term, the first term's row varying
// slowest; the terms' column names must all differ.
class product_expression final : public left_associative_expression {
public:
    product_expression() = default;
    explicit product_expression(expression_list terms) : left_associative_expression(std::move(terms)) {}

    shared<expression> parse(text::iterator& position) const override;
    std::ostream& operator>>(std::ostream& out) const override;
    expression_kind kind() const noexcept override { return expression_kind::product; }
    shared<schema> step_schema(const shared<schema>& so_far, const shared<schema>& next) const override;

protected:
    shared<relation> fold(std::size_t count, const term_source& term) const override;
};

} // namespace qorvantel
