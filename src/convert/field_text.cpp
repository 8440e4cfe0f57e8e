// Field shapes and the string check, byte by byte with no locale.
#include "convert/field_text.h"

#include <cstdio>

namespace qorvantel {

namespace {

bool digit(char c) noexcept { return c >= '0' && c <= '9'; }

std::size_t digits_from(std::string_view s, std::size_t i)
{
    while (i < s.size() && digit(s[i]))
        ++i;
    return i;
}

// d{1,4} sep d{1,2} sep d{1,4}, one separator of - / or . used twice, then
// optionally a time; or a time alone: h{1,2}:mm with optional :ss.
bool is_time(std::string_view s)
{
    std::size_t i = digits_from(s, 0);
    if (i == 0 || i > 2 || i >= s.size() || s[i] != ':')
        return false;
    std::size_t j = digits_from(s, i + 1);
    if (j - i - 1 != 2)
        return false;
    if (j == s.size())
        return true;
    if (s[j] == '.' || s[j] == ':') {
        std::size_t k = digits_from(s, j + 1);
        return k > j + 1 && k == s.size();
    }
    return false;
}

bool is_date(std::string_view s)
{
    std::size_t a = digits_from(s, 0);
    if (a == 0 || a > 4 || a >= s.size())
        return is_time(s);
    char separator = s[a];
    if (separator != '-' && separator != '/' && separator != '.')
        return is_time(s);
    std::size_t b = digits_from(s, a + 1);
    if (b == a + 1 || b - a - 1 > 2 || b >= s.size() || s[b] != separator)
        return false;
    std::size_t c = digits_from(s, b + 1);
    if (c == b + 1 || c - b - 1 > 4)
        return false;
    if (c == s.size())
        return true;
    if (s[c] != ' ' && s[c] != 'T')
        return false;
    return is_time(s.substr(c + 1));
}

bool is_decimal(std::string_view s)
{
    std::size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
    std::size_t whole = digits_from(s, i);
    std::size_t j = whole;
    std::size_t fraction_digits = 0;
    if (j < s.size() && s[j] == '.') {
        std::size_t k = digits_from(s, j + 1);
        fraction_digits = k - j - 1;
        j = k;
    }
    if (whole == i && fraction_digits == 0)
        return false;
    bool point = j != whole;
    if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
        std::size_t k = j + 1;
        if (k < s.size() && (s[k] == '-' || s[k] == '+'))
            ++k;
        std::size_t e = digits_from(s, k);
        if (e == k)
            return false;
        return e == s.size();
    }
    return point && j == s.size();
}

} // namespace

std::optional<std::int32_t> integer_of(std::string_view field)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) {
        negative = field[i] == '-';
        ++i;
    }
    if (i == field.size() || digits_from(field, i) != field.size())
        return std::nullopt;
    std::int64_t magnitude = 0;
    for (; i < field.size(); ++i) {
        magnitude = magnitude * 10 + (field[i] - '0');
        if (magnitude > 2147483647)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

field_shape shape_of(std::string_view field)
{
    std::size_t i = (!field.empty() && (field[0] == '-' || field[0] == '+')) ? 1 : 0;
    if (i < field.size() && digits_from(field, i) == field.size()) {
        bool canonical
            = field[0] != '+' && (field[i] != '0' || field.size() == i + 1) && !(field[0] == '-' && field[i] == '0');
        if (!canonical)
            return field_shape::text;
        return integer_of(field) ? field_shape::integer : field_shape::big_integer;
    }
    if (is_decimal(field))
        return field_shape::decimal;
    if (is_date(field))
        return field_shape::date;
    return field_shape::text;
}

namespace {

// The code point of the UTF-8 sequence at s[i], when there is a valid one.
std::optional<unsigned> utf8_at(std::string_view s, std::size_t i)
{
    unsigned char lead = static_cast<unsigned char>(s[i]);
    std::size_t length = lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || i + length > s.size())
        return std::nullopt;
    unsigned point = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        unsigned char next = static_cast<unsigned char>(s[i + k]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        point = point << 6 | (next & 0x3F);
    }
    return point;
}

} // namespace

std::string string_problem(std::string_view field)
{
    char buffer[96];
    for (std::size_t i = 0; i < field.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(field[i]);
        if (c == '\'')
            return "holds an apostrophe, which no string of the environment format can hold; write it another way "
                   "in the file, for example with a backquote (`)";
        if (c == '\n' || c == '\r')
            return "holds a line end, which no string of the environment format can hold; join its lines in the file";
        if (c >= 0x80) {
            if (std::optional<unsigned> point = utf8_at(field, i)) {
                std::snprintf(buffer, sizeof buffer, "holds the character U+%04X (UTF-8)", *point);
                return std::string(buffer)
                    + ", outside the printable ASCII that strings of the environment format hold; spell it in "
                      "ASCII in the file (for example ss for U+00DF)";
            }
            std::snprintf(buffer, sizeof buffer, "holds the byte 0x%02X", c);
            return std::string(buffer)
                + ", outside the printable ASCII that strings of the environment format "
                  "hold; save the file as ASCII text";
        }
        if (c < 0x20 && c != '\t') {
            std::snprintf(buffer, sizeof buffer, "holds the control byte 0x%02X", c);
            return std::string(buffer)
                + ", which no string of the environment format can hold; remove it from the file";
        }
        if (c == 0x7F)
            return "holds the control byte 0x7F, which no string of the environment format can hold; remove it from "
                   "the file";
    }
    return {};
}

std::string quoted_for_message(std::string_view field)
{
    constexpr std::size_t shown = 40;
    std::string out = "\"";
    for (std::size_t i = 0; i < field.size() && i < shown; ++i) {
        unsigned char c = static_cast<unsigned char>(field[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        }
    }
    out += '"';
    if (field.size() > shown)
        out += " (" + std::to_string(field.size()) + " bytes, cut)";
    return out;
}

} // namespace qorvantel
