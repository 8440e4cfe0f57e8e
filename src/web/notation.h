// An expression in textbook notation for the page: the formula line with
// σ π ρ ∪ − × ∧ ∨ ¬ as pieces (text, and subscripts as nested pieces, never
// markup), each operator node's own symbol line for the tree, and the
// converter's LaTeX (the same code as "qorvantel-convert to-latex").
#pragma once

#include "algebra/expression.h"
#include "web/json_writer.h"

namespace qorvantel {

// Writes the members "formula" (pieces: strings and {"sub": pieces}),
// "symbols" (one line per tree node, the root first and each node's
// operands after it in order, as the operator tree lists its nodes) and
// "latex" (the formula without math delimiters).
void write_notation(json_writer& out, const expression& query);

} // namespace qorvantel
