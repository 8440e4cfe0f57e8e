// The one walk: each node evaluated over its operands' results, in the
// order expression::evaluate takes, with the join where evaluate joins.
//
// Union and minus check each pairwise step's schema as its term arrives
// and compute their rows once, over all the terms, at the last step, as
// their fold does; a product checks its steps the same way and is built at
// its last step, unless a select over it joins its terms, which are then
// paired by the join without the product. Each node's own errors are
// caught where it computes, told to the observer and raised again (or, past
// errors, not).
#include "algebra/observed_evaluation.h"

#include "algebra/join.h"
#include "algebra/left_associative_expression.h"
#include "algebra/product_operands.h"
#include "text/interrupt.h"

#include <limits>

namespace qorvantel {

node_result::node_result(shared<relation> built)
    : schema_(built->relation_schema()), rows_(built->relation_table()->rows().size()), built_(std::move(built))
{
}

node_result::node_result(shared<schema> result_schema, std::optional<std::uint64_t> rows)
    : schema_(std::move(result_schema)), rows_(rows)
{
}

namespace {

// The row count of a product step, at most the largest count.
std::optional<std::uint64_t> times(const std::optional<std::uint64_t>& a, const std::optional<std::uint64_t>& b)
{
    if (!a || !b)
        return std::nullopt;
    if (*a == 0 || *b == 0)
        return 0;
    constexpr std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    return *a > most / *b ? most : *a * *b;
}

bool failed_or_skipped(const node_result& result) { return result.result_schema().empty(); }

class walker {
public:
    walker(const shared<environment>& environment, expression_observer& observer, walk_errors errors)
        : environment_(environment), observer_(observer), errors_(errors)
    {
    }

    // The node's result; past errors, an empty one (no schema) when the
    // node failed or was skipped.
    node_result walk(const shared<expression>& node)
    {
        observer_.enter(*node);
        if (const auto* n_ary = dynamic_cast<const left_associative_expression*>(node.get()))
            return walk_terms(*n_ary, true, nullptr);
        join_request join;
        if (node->kind() == expression_kind::select && find_join(*node, join))
            return walk_join(join, nullptr);
        if (node->kind() == expression_kind::project && find_join(*node->operands().front(), join))
            return walk_join(join, node.get());
        std::vector<node_result> operands;
        bool complete = true;
        for (const shared<expression>& operand : node->operands()) {
            operands.push_back(walk(operand));
            complete = complete && !failed_or_skipped(operands.back());
        }
        if (!complete) {
            observer_.skipped(*node);
            return {};
        }
        return applied(*node, operands);
    }

private:
    // Runs one step of the node's own computation into out; an error it
    // raises is told to the observer and raised again, or, past errors,
    // makes the result false. An interruption always ends the walk.
    template <class Step>
    bool attempt(const expression& node, const node_step& step, Step&& compute, node_result& out)
    {
        try {
            out = compute();
            return true;
        } catch (const interrupted& error) {
            observer_.failed(node, step, error);
            throw;
        } catch (const std::exception& error) {
            observer_.failed(node, step, error);
            if (errors_ == walk_errors::stop)
                throw;
            return false;
        }
    }

    // The node over its operands' results, all built.
    node_result applied(const expression& node, const std::vector<node_result>& operands)
    {
        relation_list built;
        built.reserve(operands.size());
        for (const node_result& each : operands)
            built.push_back(each.built());
        node_result result;
        const node_step step;
        if (!attempt(
                node, step, [&] { return node_result(node.apply(built, environment_)); }, result))
            return {};
        observer_.evaluated(node, step, operands, result);
        return result;
    }

    // Union, minus and product: each term walked, then the step that
    // combines it with the result so far. The last step builds the whole
    // result from every term at once, unless build_last is false (a
    // product whose terms a join pairs), when it gives the schema and count
    // alone. terms, when given, receives each term's result.
    node_result walk_terms(const left_associative_expression& node, bool build_last, std::vector<node_result>* terms)
    {
        const expression_list& operands = node.terms();
        std::size_t count = operands.size();
        bool product = node.kind() == expression_kind::product;
        std::vector<node_result> results;
        results.reserve(count);
        node_result so_far;
        bool complete = true;
        bool failed = false;
        for (std::size_t i = 0; i < count; ++i) {
            results.push_back(walk(operands[i]));
            const node_result& term = results.back();
            if (failed_or_skipped(term))
                complete = false;
            if (!complete || failed)
                continue;
            if (i == 0 && count > 1) {
                so_far = term;
                continue;
            }
            node_step step{i, i + 1 == count};
            node_result result;
            auto compute = [&]() -> node_result {
                if (count == 1)
                    return node_result(node.apply({term.built()}, environment_));
                if (step.last && build_last) {
                    relation_list built;
                    built.reserve(count);
                    for (const node_result& each : results)
                        built.push_back(each.built());
                    return node_result(node.apply(built, environment_));
                }
                shared<schema> combined = node.step_schema(so_far.result_schema(), term.result_schema());
                return node_result(std::move(combined), product ? times(so_far.rows(), term.rows()) : std::nullopt);
            };
            if (!attempt(node, step, compute, result)) {
                failed = true;
                continue;
            }
            if (count == 1)
                observer_.evaluated(node, step, {term}, result);
            else
                observer_.evaluated(node, step, {so_far, term}, result);
            so_far = std::move(result);
        }
        if (terms != nullptr)
            *terms = std::move(results);
        if (failed)
            return {};
        if (!complete) {
            observer_.skipped(node);
            return {};
        }
        return so_far;
    }

    // Selects over a product, and the project over them when project is
    // given: the product's terms paired by the join. The selects the join
    // tests together before the last of them are not built; those after
    // it are selects over its result.
    node_result walk_join(const join_request& join, const expression* project)
    {
        const std::vector<const expression*>& selects = join.selects;
        // The outermost select is the node walked, entered already, unless
        // a project is.
        for (std::size_t i = selects.size() - (project == nullptr ? 1 : 0); i > 0; --i)
            observer_.enter(*selects[i - 1]);
        observer_.enter(*join.product);
        std::vector<node_result> terms;
        node_result product = walk_terms(static_cast<const left_associative_expression&>(*join.product), false, &terms);
        auto skip_from = [&](std::size_t first) {
            for (std::size_t i = first; i < selects.size(); ++i)
                observer_.skipped(*selects[i]);
            if (project != nullptr)
                observer_.skipped(*project);
            return node_result();
        };
        if (failed_or_skipped(product))
            return skip_from(0);

        product_operands operands;
        for (const node_result& each : terms)
            operands.relations.push_back(each.built());
        operands.columns = product.result_schema()->columns();
        const shared<schema>& product_schema = product.result_schema();
        std::size_t together = conditions_tested_together(join.conditions, product_schema);

        node_result previous = product;
        const node_step step;
        for (std::size_t i = 0; i + 1 < together; ++i) {
            node_result result(product_schema, std::nullopt);
            observer_.evaluated(*selects[i], step, {previous}, result);
            previous = std::move(result);
        }
        bool projecting = project != nullptr && together == selects.size();
        std::vector<shared<condition>> tested(join.conditions.begin(),
                                              join.conditions.begin() + static_cast<std::ptrdiff_t>(together));
        join_result joined;
        node_result result;
        auto pair = [&] {
            joined = pair_operands(operands, tested, projecting ? &project->listed_columns() : nullptr);
            return joined.projected ? node_result(product_schema, joined.combinations) : node_result(joined.result);
        };
        if (!attempt(*selects[together - 1], step, pair, result))
            return skip_from(together);
        observer_.evaluated(*selects[together - 1], step, {previous}, result);
        previous = std::move(result);
        for (std::size_t i = together; i < selects.size(); ++i) {
            previous = applied(*selects[i], {previous});
            if (failed_or_skipped(previous))
                return skip_from(i + 1);
        }
        if (project == nullptr)
            return previous;
        if (!joined.projected)
            return applied(*project, {previous});
        node_result projected(joined.result);
        observer_.evaluated(*project, step, {previous}, projected);
        return projected;
    }

    const shared<environment>& environment_;
    expression_observer& observer_;
    walk_errors errors_;
};

} // namespace

shared<relation> evaluate_observed(const shared<expression>& query, const shared<environment>& environment,
                                   expression_observer& observer, walk_errors errors)
{
    return walker(environment, observer, errors).walk(query).built();
}

} // namespace qorvantel
