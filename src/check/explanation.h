// Explaining a difference: where the answer goes wrong and why each
// differing row is there, on the report's counterexample.
#pragma once

#include "check/checker.h"

namespace qorvantel {

// Fills report.fault and report.differences; leaves them empty when the
// counterexample cannot show them (the answer fails there).
void explain(check_report& report, const expression& reference, const shared<expression>& answer);

} // namespace qorvantel
