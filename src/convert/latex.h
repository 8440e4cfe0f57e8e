// An expression in textbook notation as LaTeX math: sigma, pi and rho with
// their parameters as subscripts, the set operators between their operands.
#pragma once

#include "algebra/condition.h"
#include "algebra/expression.h"

#include <string>

namespace qorvantel {

// How a condition is written in a notation: the sign of each comparison
// (spaces included), of NOT, AND and OR, and how an operand is written.
struct condition_symbols {
    const char* eq;
    const char* neq;
    const char* lte;
    const char* lt;
    const char* gte;
    const char* gt;
    const char* negation;
    const char* conjunction;
    const char* disjunction;
    std::string (*operand)(const value& comparand);
};

// A condition in a notation: a chain as it is written (a = b = c), AND and
// OR in parentheses when nested inside another condition.
std::string condition_formula(const condition& c, const condition_symbols& symbols, bool nested = false);

// The formula without math delimiters. Names and strings stand in \text{},
// which needs the amsmath package.
std::string latex_formula(const expression& query);

} // namespace qorvantel
