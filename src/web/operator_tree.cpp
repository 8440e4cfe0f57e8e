// The operator tree: the expression walked through its kinds and operands,
// each operator applied to the results of its operands as they are computed.
#include "web/operator_tree.h"

#include "algebra/condition.h"

#include <new>

namespace qorvantel {

void describe_result(tree_node& node, const relation& result)
{
    node.evaluated = true;
    node.schema = written(result.relation_schema());
    for (const shared<column>& each : result.relation_schema()->columns())
        node.columns.emplace_back(written(each->name()), written(each->column_type()));
    node.rows = result.relation_table()->rows().size();
}

namespace {

// The operator with its own parameters, as the tree labels it.
std::string label_of(const expression& e)
{
    switch (e.kind()) {
    case expression_kind::relation:
        return written(e.relation_name());
    case expression_kind::union_of:
    case expression_kind::minus:
    case expression_kind::product:
        return e.keyword();
    case expression_kind::select:
        return std::string(e.keyword()) + " " + written(e.predicate());
    case expression_kind::project:
        return std::string(e.keyword()) + " " + written(separated(e.listed_columns()));
    case expression_kind::rename:
        return std::string(e.keyword()) + " " + written(e.new_names());
    }
    return written(e);
}

// Every node of the tree, none evaluated yet, so that a node whose operand
// fails still shows the operands after it.
void lay_out(const shared<expression>& query, tree_node& node)
{
    const expression& e = *query;
    node.kind = e.kind() == expression_kind::relation ? "relation" : e.keyword();
    node.label = label_of(e);
    node.expression = written(query);
    for (const shared<expression>& operand : e.operands()) {
        node.children.emplace_back();
        lay_out(operand, node.children.back());
    }
}

// Runs one step of the node's own evaluation; an error of that step is
// recorded on the node and raised again.
template <class Step>
shared<relation> recorded(tree_node& node, Step step)
{
    try {
        return step();
    } catch (const std::bad_alloc&) {
        node.error = out_of_memory;
        throw;
    } catch (const std::exception& error) {
        node.error = error.what();
        throw;
    }
}

shared<relation> evaluate_node(const shared<expression>& query, tree_node& node, const shared<environment>& loaded)
{
    const expression& e = *query;
    expression_list operands = e.operands();
    shared<relation> result;
    switch (e.kind()) {
    case expression_kind::union_of:
    case expression_kind::minus:
    case expression_kind::product:
        // The fold so far with each further term, one step at a time, each
        // term evaluated just before its step: the same checks, messages
        // and order as the whole operator's evaluation.
        for (std::size_t i = 0; i < operands.size(); ++i) {
            shared<relation> term = evaluate_node(operands[i], node.children[i], loaded);
            if (i == 0) {
                result = term;
                continue;
            }
            result = recorded(node, [&] { return e.apply({result, term}, loaded); });
        }
        break;
    case expression_kind::relation:
    case expression_kind::select:
    case expression_kind::project:
    case expression_kind::rename: {
        relation_list results;
        for (std::size_t i = 0; i < operands.size(); ++i)
            results.push_back(evaluate_node(operands[i], node.children[i], loaded));
        result = recorded(node, [&] { return e.apply(results, loaded); });
        break;
    }
    }
    describe_result(node, *result);
    return result;
}

} // namespace

shared<relation> evaluate_tree(const shared<expression>& query, tree_node& root, const shared<environment>& loaded)
{
    lay_out(query, root);
    return evaluate_node(query, root, loaded);
}

void write_columns(json_writer& out, const std::vector<std::pair<std::string, std::string>>& columns)
{
    out.key("columns").begin_array();
    for (const auto& [name, type] : columns)
        out.begin_object().key("name").string(name).key("type").string(type).end_object();
    out.end_array();
}

void write_tree(json_writer& out, const tree_node& node)
{
    out.begin_object();
    out.key("kind").string(node.kind);
    out.key("label").string(node.label);
    out.key("expression").string(node.expression);
    out.key("evaluated").boolean(node.evaluated);
    if (node.evaluated) {
        out.key("schema").string(node.schema);
        write_columns(out, node.columns);
        out.key("rows").number(static_cast<double>(node.rows));
    }
    if (!node.error.empty())
        out.key("error").string(node.error);
    out.key("children").begin_array();
    for (const tree_node& child : node.children)
        write_tree(out, child);
    out.end_array();
    out.end_object();
}

} // namespace qorvantel
