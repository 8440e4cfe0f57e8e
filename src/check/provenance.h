// Why a row is in one result and not in the other, on a counterexample:
// the rows of the database it is made from, relation by relation, and the
// condition or operator of the other expression that drops a row made from
// those same rows.
#pragma once

#include "algebra/expression.h"

#include <string>
#include <vector>

namespace qorvantel {

struct row_difference {
    // The row as the console writes it.
    std::string row;
    // In the answer's result only; otherwise in the reference's only.
    bool in_answer = false;
    // "Relation: row text", the counterexample's rows it is made from.
    std::vector<std::string> why;
    // The other side's condition or operator that drops it; empty when no
    // single one does (the other side makes other rows of the same ones).
    std::string dropped_by;
};

// Every row in which the two results differ, reference's rows first; none
// when a side fails or the results do not have the same kinds of columns.
std::vector<row_difference> explain_differences(const shared<environment>& counterexample,
                                                const shared<expression>& reference, const shared<expression>& answer);

} // namespace qorvantel
