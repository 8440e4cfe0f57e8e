// Writing a check's report: in words for a student, or as one JSON object.
#pragma once

#include "check/checker.h"

#include <string>

namespace qorvantel {

// The result tables first (counterexample, then what each expression gives
// on it), then the verdict in words and the notes.
std::string report_text(const check_report& report);

// {"verdict", "where" (when it differs), "counterexample", "reference",
// "answer", "notes", "instances"} on one line.
std::string report_json(const check_report& report);

} // namespace qorvantel
