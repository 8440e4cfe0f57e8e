// Where a wrong answer goes wrong: the smallest part of the answer's text
// that is at fault, and why in words, from the answer's tree beside the
// reference's and both evaluated on the counterexample.
#pragma once

#include "algebra/expression.h"

#include <optional>
#include <string>

namespace qorvantel {

struct answer_fault {
    // On the answer's own text, from the first character of the part to
    // its last, 1-based.
    source_range place;
    std::string message;
};

// Empty when no part can be named: its parts carry no places (a tree a
// tool built). An answer that fails is at fault where it fails.
std::optional<answer_fault> locate_fault(const shared<environment>& counterexample, const shared<expression>& reference,
                                         const shared<expression>& answer);

} // namespace qorvantel
