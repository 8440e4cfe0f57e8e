// The operator tree of an expression as the web page draws it: one node per
// operator and relation reference, each with its result's schema and row
// count, or the error that stopped it.
#pragma once

#include "text/messages.h"

#include "algebra/expression.h"
#include "web/json_writer.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace qorvantel {

// A memory failure inside the module says so plainly (text/messages.h).
inline constexpr const char* out_of_memory = messages::page_out_of_memory;

struct tree_node {
    std::string kind;       // the operator's keyword, or "relation"
    std::string label;      // the operator with its own parameters
    std::string expression; // the subexpression's text, runnable as a line
    bool evaluated = false;
    std::string schema;
    std::vector<std::pair<std::string, std::string>> columns; // name and type
    std::uint64_t rows = 0;                                   // a product's count may pass the module's size_t
    std::string error;
    source_range place; // where the node was read, when known
    std::vector<tree_node> children;
};

// Records the schema, columns and row count of a result in node.
void describe_result(tree_node& node, const relation& result);

// Evaluates the expression through the one walk, as the console evaluates
// it (the first error is the one the console reports, and a select over a
// product is a join that never builds the product), and records each node
// in root. A node whose operand failed keeps its unevaluated operands'
// nodes, drawn as not evaluated. An error is raised again after it is
// recorded on the node it belongs to.
shared<relation> evaluate_tree(const shared<expression>& query, tree_node& root, const shared<environment>& loaded);

// The node and its subtree as a JSON object.
void write_tree(json_writer& out, const tree_node& node);
// The "columns" member of a node or table.
void write_columns(json_writer& out, const std::vector<std::pair<std::string, std::string>>& columns);

} // namespace qorvantel
