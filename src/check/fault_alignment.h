// Walking an answer's tree beside the reference's to find where they part:
// an operator, a relation, a projected column, a comparison, one of its
// operands, a connective, a condition missing or one too many. Where the
// trees part in more than one operand of a node, the node itself is the
// place. The fault finder turns the place into words.
#pragma once

#include "algebra/condition.h"
#include "algebra/expression.h"

#include <cstddef>
#include <optional>

namespace qorvantel {

enum class departure : unsigned char {
    whole,      // the answer's node as a whole
    relation,   // another relation read
    column,     // a projected column (index) differs
    swapped,    // a minus with its two sides the other way round
    comparison, // a comparison's operator differs
    comparand,  // one operand (index) of a comparison differs
    connective, // AND for OR, or OR for AND
    missing,    // the reference's condition has a part the answer's lacks
    extra,      // the answer's condition has a part the reference's lacks
    condition,  // a condition differs otherwise
};

struct tree_place {
    departure kind = departure::whole;
    // The answer's node, and the reference's node that stands where it
    // does; for a departure in a condition, the selects that hold them.
    shared<expression> answer;
    shared<expression> reference;
    // For a departure in a condition: the answer's part (for missing, the
    // condition that lacks it) and the reference's (for extra, none).
    const condition* answer_condition = nullptr;
    const condition* reference_condition = nullptr;
    std::size_t index = 0;
    // The answer's node just above answer; empty at the root.
    shared<expression> answer_parent;
    // A column departs the same way in every operand of answer_parent, a
    // minus: the difference as a whole is taken on the wrong column.
    bool across = false;
};

// Empty when the trees are alike, written the same up to the order of the
// parts of AND and OR and of the two sides of a comparison.
std::optional<tree_place> align_trees(const shared<expression>& reference, const shared<expression>& answer);

// The same comparison or condition, up to that order.
bool alike(const condition& a, const condition& b);

} // namespace qorvantel
