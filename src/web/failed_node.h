// The node of an evaluated operator tree that failed, and where in the
// query it went wrong, from the places the parser recorded on the nodes:
// what the page marks in the editor and what the slips table reads.
#pragma once

#include "algebra/expression.h"
#include "web/operator_tree.h"

#include <vector>

namespace qorvantel {

// The node that failed and the expression it stands for.
struct failed_at {
    const expression* e = nullptr;
    const tree_node* node = nullptr;
};

// The first node in preorder whose evaluation failed, or none.
failed_at find_failed(const expression& e, const tree_node& node);

// Where the failed node of an evaluated tree went wrong, from the places
// the parser recorded on the nodes: the listed columns and the compared
// columns its operand lacks, else the whole node (a relation not found, a
// product of shared columns). Empty when no node failed or no place is
// known.
std::vector<source_range> fault_places(const expression& query, const tree_node& root);

} // namespace qorvantel
