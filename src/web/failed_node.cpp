// Finding the failed node of an operator tree and the places it names.
#include "web/failed_node.h"

#include "algebra/condition.h"
#include "relations/schema.h"

#include <string>

namespace qorvantel {

namespace {
bool has_column(const tree_node& operand, const std::string& name)
{
    for (const auto& [column, type] : operand.columns)
        if (column == name)
            return true;
    return false;
}

// The places of the comparands of c that name columns the operand lacks.
void missing_comparands(const condition& c, const tree_node& operand, std::vector<source_range>& found)
{
    for (const shared<condition>& argument : c.arguments())
        missing_comparands(*argument, operand, found);
    const std::vector<source_range>& places = c.comparand_places();
    for (std::size_t i = 0; i < c.comparands().size() && i < places.size(); ++i) {
        const value& each = *c.comparands()[i];
        if (each.kind() == value_kind::symbol && !has_column(operand, static_cast<const symbol_value&>(each).content())
            && places[i].known())
            found.push_back(places[i]);
    }
}

} // namespace

failed_at find_failed(const expression& e, const tree_node& node)
{
    if (!node.error.empty())
        return {&e, &node};
    expression_list operands = e.operands();
    for (std::size_t i = 0; i < operands.size() && i < node.children.size(); ++i) {
        failed_at below = find_failed(*operands[i], node.children[i]);
        if (below.node)
            return below;
    }
    return {};
}

std::vector<source_range> fault_places(const expression& query, const tree_node& root)
{
    std::vector<source_range> found;
    failed_at at = find_failed(query, root);
    if (!at.node)
        return found;
    const expression& e = *at.e;
    bool operand_known = !at.node->children.empty() && at.node->children[0].evaluated;
    if (e.kind() == expression_kind::project && operand_known) {
        const std::vector<source_range>& places = e.listed_column_places();
        for (std::size_t i = 0; i < e.listed_columns().size() && i < places.size(); ++i)
            if (!has_column(at.node->children[0], written(*e.listed_columns()[i])) && places[i].known())
                found.push_back(places[i]);
    } else if (e.kind() == expression_kind::select && operand_known && !e.predicate().empty()) {
        missing_comparands(*e.predicate(), at.node->children[0], found);
    }
    if (found.empty() && e.place().known())
        found.push_back(e.place());
    return found;
}

} // namespace qorvantel
