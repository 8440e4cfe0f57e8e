// The operator tree of an expression for the notebook: one node per
// operator and relation reference, with its label, its schema and its row
// count once evaluated, and the error that stopped it, as JSON.
#pragma once

#include "relations/environment.h"
#include "text/shared.h"

#include <string>

namespace qorvantel {

// {"kind", "label", "expression", "evaluated", "schema", "rows", "error",
// "children": [...]} for the root, or {"error"} alone when the text does
// not parse. Evaluation errors are recorded on their node, not raised.
std::string observed_tree_json(const std::string& expression_text, const shared<environment>& loaded);

} // namespace qorvantel
