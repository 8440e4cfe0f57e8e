// JSON string literals: the reports' texts (environments, results,
// messages) as JSON strings, escaped byte for byte.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qorvantel {

// text between double quotes, with the quote, the backslash and control
// characters escaped; bytes from 0x80 up are written as \u00XX so that the
// output is ASCII whatever the input holds.
std::string json_string(std::string_view text);

// A JSON array of strings.
std::string json_strings(const std::vector<std::string>& texts);

} // namespace qorvantel
