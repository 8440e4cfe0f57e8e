// An expression in textbook notation as LaTeX math: sigma, pi and rho with
// their parameters as subscripts, the set operators between their operands.
#pragma once

#include "algebra/expression.h"

#include <string>

namespace qorvantel {

// The formula without math delimiters. Names and strings stand in \text{},
// which needs the amsmath package.
std::string latex_formula(const expression& query);

} // namespace qorvantel
