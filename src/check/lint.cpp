// Lint: the expression walked over its environment's schemas, with no rows.
//
// Lint is an observer of the one walk (algebra/observed_evaluation.h) over
// the environment without its rows, which gives every node's schema and
// raises the errors that need no row (a missing relation, a union of
// different schemas, a project of a missing column). Conditions, which the
// interpreter checks only when a row reaches them, are checked here against
// their operand's schema. Every note stands at the place the parser
// recorded on the node it is about.
#include "check/lint.h"

#include "text/messages.h"

#include "algebra/condition.h"
#include "algebra/expression.h"
#include "algebra/observed_evaluation.h"
#include "check/lint_conditions.h"

#include <map>
#include <new>
#include <set>
#include <stdexcept>
#include <utility>

namespace qorvantel {

namespace {
using column_pairs = std::set<std::pair<std::string, std::string>>;

// The pairs of column names a condition compares with each other, both ways.
void pairs_in(const condition& of, column_pairs& into)
{
    for (const shared<condition>& argument : of.arguments())
        pairs_in(*argument, into);
    const auto& values = of.comparands();
    for (std::size_t i = 0; i + 1 < values.size(); ++i)
        if (values[i]->kind() == value_kind::symbol && values[i + 1]->kind() == value_kind::symbol) {
            into.insert({written(*values[i]), written(*values[i + 1])});
            into.insert({written(*values[i + 1]), written(*values[i])});
        }
}

std::string spelling_of(const expression& node)
{
    return node.kind() == expression_kind::relation ? written(*node.relation_name()) : node.keyword();
}

// What lint needs to know of each product before the walk: the column
// pairs that the conditions of the selects above it relate, and whether a
// minus consumes it as a division (the product is the minus's first term,
// as in minus(product(project(A, x), B), A): there every pair is meant).
struct product_context {
    column_pairs related;
    bool divided = false;
};

void gather_products(const expression& node, const column_pairs& above, bool first_of_minus,
                     std::map<const expression*, product_context>& into)
{
    column_pairs related = above;
    if (!node.predicate().empty())
        pairs_in(*node.predicate(), related);
    if (node.kind() == expression_kind::product)
        into[&node] = {related, first_of_minus};
    const expression_list operands = node.operands();
    for (std::size_t i = 0; i < operands.size(); ++i)
        gather_products(*operands[i], related, node.kind() == expression_kind::minus && i == 0, into);
}

std::set<std::string> column_names(const schema& of)
{
    std::set<std::string> names;
    for (const shared<column>& each : of.columns())
        names.insert(written(*each->name()));
    return names;
}

class lint_observer final : public expression_observer {
public:
    lint_observer(lint_notes& notes, std::map<const expression*, product_context> products)
        : notes_(notes), products_(std::move(products))
    {
    }

    void enter(const expression& node) override
    {
        // The terms of union, minus and product may leave out their commas,
        // and so may the names of a rename after the first.
        if (node.kind() == expression_kind::union_of || node.kind() == expression_kind::minus
            || node.kind() == expression_kind::product) {
            const expression_list terms = node.operands();
            for (std::size_t i = 1; i < terms.size(); ++i)
                notes_.separator_between(terms[i - 1]->place(), terms[i]->place(), spelling_of(*terms[i]));
        }
        const std::vector<source_range>& names = node.new_name_places();
        for (std::size_t i = 2; i < names.size(); ++i)
            notes_.separator_between(names[i - 1], names[i], written(*node.new_names()->column_names()[i - 1]));
    }

    void evaluated(const expression& node, const node_step& step, const std::vector<node_result>& operands,
                   const node_result&) override
    {
        if (node.kind() == expression_kind::select) {
            std::optional<bool> always = lint_condition(*node.predicate(), *operands[0].result_schema(), notes_);
            if (always.has_value())
                notes_.note(node.place(),
                            "the condition " + written(*node.predicate()) + " is always " + (*always ? "true" : "false")
                                + " on its own literals: the select keeps " + (*always ? "every row." : "no row."));
        }
        if (node.kind() == expression_kind::product && step.term > 0)
            check_related(node, *operands[0].result_schema(), *operands[1].result_schema());
    }

    void failed(const expression& node, const node_step&, const std::exception& error) override
    {
        notes_.note(node.place(),
                    dynamic_cast<const std::bad_alloc*>(&error) != nullptr ? messages::out_of_memory : error.what());
    }

private:
    lint_notes& notes_;
    std::map<const expression*, product_context> products_;

    // A term of a product that no condition above relates to the terms
    // before it.
    void check_related(const expression& product, const schema& before, const schema& term)
    {
        auto found = products_.find(&product);
        if (found == products_.end() || found->second.divided)
            return;
        std::set<std::string> earlier = column_names(before), added = column_names(term);
        for (const auto& [a, b] : found->second.related)
            if (earlier.count(a) > 0 && added.count(b) > 0)
                return;
        notes_.note(product.place(),
                    "no condition relates the columns of " + written(term)
                        + " to those before it in this product: a Cartesian product, where a join "
                          "condition may be missing.");
    }
};
} // namespace

std::vector<lint_note> lint_expression(const environment& schemas, const std::string& source)
{
    shared<expression> query;
    try {
        query = parse_whole<expression>("expression", source);
    } catch (const std::bad_alloc&) {
        return {{0, 0, messages::out_of_memory}};
    } catch (const std::runtime_error& error) {
        return {{0, 0, error.what()}};
    }
    lint_notes notes(source);
    std::map<const expression*, product_context> products;
    gather_products(*query, {}, false, products);
    lint_observer observer(notes, std::move(products));
    evaluate_observed(query, schemas.without_rows(), observer, walk_errors::continue_past);
    return std::move(notes).sorted();
}

} // namespace qorvantel
