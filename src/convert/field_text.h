// What a field of outside data is, seen by the environment format: an
// integer literal, something that looks like a number or a date, or text;
// and whether text can stand in a string literal at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qorvantel {

enum class field_shape : unsigned char {
    integer,     // a 32-bit integer written as the interpreter writes it
    big_integer, // digits outside the 32-bit range the interpreter reads
    decimal,     // digits with a decimal point or an exponent
    date,        // a date or a time of day, such as 10/10/98 or 12:30
    text,        // anything else
};

// The shape of an unquoted field. An integer with leading zeros or a plus
// sign (a postcode, a phone number) is text: reading it as int would change
// what it says.
field_shape shape_of(std::string_view field);

// The number in field when it is an integer literal the interpreter reads
// (an optional sign, digits, at most 2147483647 in magnitude).
std::optional<std::int32_t> integer_of(std::string_view field);

// Why field cannot be a string literal of the environment format, as the
// middle of a message ("holds an apostrophe ..."), or empty when it can.
std::string string_problem(std::string_view field);

// field as a message shows it: between double quotes, bytes outside
// printable ASCII as \xNN, cut after 40 bytes.
std::string quoted_for_message(std::string_view field);

} // namespace qorvantel
