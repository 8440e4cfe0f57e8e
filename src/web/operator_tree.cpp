// The operator tree: laid out from the expression's operands, and filled in
// by the one walk (algebra/observed_evaluation.h), which evaluates it as the
// console does, joins included.
#include "web/operator_tree.h"

#include "algebra/condition.h"
#include "algebra/observed_evaluation.h"

#include <map>
#include <new>

namespace qorvantel {

namespace {
void describe(tree_node& node, const shared<schema>& result_schema, std::uint64_t rows)
{
    node.evaluated = true;
    node.schema = written(result_schema);
    for (const shared<column>& each : result_schema->columns())
        node.columns.emplace_back(written(each->name()), written(each->column_type()));
    node.rows = rows;
}
} // namespace

void describe_result(tree_node& node, const relation& result)
{
    describe(node, result.relation_schema(), result.relation_table()->rows().size());
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
void lay_out(const shared<expression>& query, tree_node& node, std::map<const expression*, tree_node*>& nodes)
{
    const expression& e = *query;
    nodes[&e] = &node;
    node.kind = e.kind() == expression_kind::relation ? "relation" : e.keyword();
    node.label = label_of(e);
    node.expression = written(query);
    expression_list operands = e.operands();
    node.children.resize(operands.size());
    for (std::size_t i = 0; i < operands.size(); ++i)
        lay_out(operands[i], node.children[i], nodes);
}

// Records on each node what the walk reports: the result of its last step,
// or the error of the step that raised. A node whose rows the walk did not
// count (a select a join tests together with the one around it) is left
// drawn as not evaluated.
class tree_recorder final : public expression_observer {
public:
    explicit tree_recorder(std::map<const expression*, tree_node*> nodes) : nodes_(std::move(nodes)) {}

    void evaluated(const expression& node, const node_step& step, const std::vector<node_result>&,
                   const node_result& result) override
    {
        if (!step.last || !result.rows())
            return;
        describe(*nodes_.at(&node), result.result_schema(), *result.rows());
    }

    void failed(const expression& node, const node_step&, const std::exception& error) override
    {
        nodes_.at(&node)->error = dynamic_cast<const std::bad_alloc*>(&error) != nullptr ? out_of_memory : error.what();
    }

private:
    std::map<const expression*, tree_node*> nodes_;
};

} // namespace

shared<relation> evaluate_tree(const shared<expression>& query, tree_node& root, const shared<environment>& loaded)
{
    std::map<const expression*, tree_node*> nodes;
    lay_out(query, root, nodes);
    tree_recorder recorder(std::move(nodes));
    return evaluate_observed(query, loaded, recorder);
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
