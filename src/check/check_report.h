// Writing a check's report: in words for a student, or as one JSON object.
#pragma once

#include "check/checker.h"

#include <cstddef>
#include <string>

namespace qorvantel {

// A result is shown with at most this many rows, and then the count of the
// rest and of all: enough to read, and a report on a 100,000-row database
// stays a screenful.
inline constexpr std::size_t report_shown_rows = 20;

// The result tables first (counterexample, then what each expression gives
// on it), then the verdict in words and the notes.
std::string report_text(const check_report& report);

// {"verdict", "where" (when it differs), "counterexample", "reference",
// "answer", "notes", "instances"} on one line.
std::string report_json(const check_report& report);

} // namespace qorvantel
