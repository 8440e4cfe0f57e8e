// JSON text, written one way for every program and the page: string
// literals (json_string, json_strings) and a writer of objects, arrays,
// strings, numbers and truth values appended to one string (json_writer).
//
// Strings are written as UTF-8: a valid UTF-8 sequence passes through as it
// stands ("é" stays the two bytes of "é"), the quote, the backslash and the
// control characters are escaped (\n, \t, \r by name, the others and DEL
// as \u00XX), and a byte that begins no valid sequence becomes U+FFFD, the
// replacement character, so that the output is always valid UTF-8 and so
// valid JSON, as a reader that decodes the text would show it anyway.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qorvantel {

// text between double quotes, escaped as above.
std::string json_string(std::string_view text);
// Appends the same to out.
void append_json_string(std::string& out, std::string_view text);

// A JSON array of strings, ", " between them.
std::string json_strings(const std::vector<std::string>& texts);

// Compact JSON (no blanks), built left to right.
class json_writer {
public:
    json_writer& begin_object();
    json_writer& end_object();
    json_writer& begin_array();
    json_writer& end_array();
    // The name of the next member of the current object.
    json_writer& key(std::string_view name);
    json_writer& string(std::string_view content);
    json_writer& number(double figure);
    json_writer& boolean(bool truth);

    const std::string& result() const noexcept { return out_; }

private:
    // Writes the comma before an element unless it opens its container or
    // follows its key.
    void separate();

    std::string out_;
    bool needs_comma_ = false;
};

} // namespace qorvantel
