// The common slips of a first-day student and a hint in plain words for
// each, shown by the page beside the console's message (which never
// changes). One table: each row recognises one slip, from the typed line
// for a line that does not parse, from the failed node of the operator
// tree for one that fails when it runs.
#pragma once

#include "algebra/expression.h"
#include "web/operator_tree.h"

#include <string>
#include <vector>

namespace qorvantel {

struct slip_hint {
    std::string slip; // the row's name: "infix comparison", "missing comma", ...
    std::string hint; // what to write instead, in plain words
};

// The hint for a failed line: query and root are null for a line that did
// not parse, else the expression and its evaluated tree. An empty hint when
// no row of the table recognises the slip.
slip_hint hint_for_slip(const std::string& line, const expression* query, const tree_node* root);

} // namespace qorvantel
