// Field values: literal readers, order and written forms.
#include "values/value.h"

#include "parsing/keywords.h"
#include "text/diagnostics.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace qorvantel {

void throw_type_mismatch(const dumpable& a, const dumpable& b)
{
    error_message message;
    message << "Type mismatch between " << a << " and " << b << ".";
    throw_message(message);
}

namespace {
// Byte order: compared as unsigned bytes, the shorter string first on a tie.
inline int bytes_compare(std::string_view a, std::string_view b) noexcept
{
    std::size_t common = a.size() < b.size() ? a.size() : b.size();
    int order = std::memcmp(a.data(), b.data(), common);
    if (order != 0)
        return order < 0 ? -1 : 1;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}
} // namespace

int value_compare(const value& a, const value& b)
{
    if (a.kind() != b.kind())
        throw_type_mismatch(a, b);
    switch (a.kind()) {
    case value_kind::integer: {
        std::int32_t x = static_cast<const integer_value&>(a).number();
        std::int32_t y = static_cast<const integer_value&>(b).number();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    case value_kind::string:
        return bytes_compare(static_cast<const string_value&>(a).content(),
                             static_cast<const string_value&>(b).content());
    case value_kind::symbol:
        return bytes_compare(static_cast<const symbol_value&>(a).content(),
                             static_cast<const symbol_value&>(b).content());
    }
    return 0;
}

void append_written(std::string& line, const value& written)
{
    switch (written.kind()) {
    case value_kind::integer: {
        // The longest is "-2147483648", eleven characters.
        char digits[16];
        auto result
            = std::to_chars(digits, digits + sizeof digits, static_cast<const integer_value&>(written).number());
        line.append(digits, static_cast<std::size_t>(result.ptr - digits));
        return;
    }
    case value_kind::string:
        line.push_back('\'');
        line.append(static_cast<const string_value&>(written).content());
        line.push_back('\'');
        return;
    case value_kind::symbol:
        line.append(static_cast<const symbol_value&>(written).content());
        return;
    }
}

std::ostream& value::operator>>(std::ostream& out) const
{
    std::string written;
    append_written(written, *this);
    return out.write(written.data(), static_cast<std::streamsize>(written.size()));
}

bool value::less(const comparable& other) const
{
    const auto* other_value = dynamic_cast<const value*>(&other);
    if (other_value == nullptr)
        throw_type_mismatch(*this, other);
    return value_less(*this, *other_value);
}

namespace {
// The number written by the decimal digits of rest from at on, with at moved
// past them. Nothing when no digit is there or when the number exceeds limit,
// which is checked at every digit so that no run of digits can overflow.
std::optional<std::uint64_t> read_digits(std::string_view rest, std::size_t& at, std::uint64_t limit)
{
    std::size_t first_digit = at;
    std::uint64_t number = 0;
    for (; at < rest.size() && is_digit(rest[at]); ++at) {
        number = number * 10 + static_cast<unsigned>(rest[at] - '0');
        if (number > limit)
            return std::nullopt;
    }
    if (at == first_digit)
        return std::nullopt;
    return number;
}
} // namespace

std::optional<std::int32_t> read_integer_literal(text::iterator& position)
{
    text::iterator working = position;
    skip_whitespace(working);
    std::string_view rest = working.rest();
    std::size_t at = 0;
    bool negative = false;
    if (at < rest.size() && rest[at] == '-') {
        negative = true;
        ++at;
    } else if (at < rest.size() && rest[at] == '+') {
        ++at;
    }
    // The magnitude must fit a signed 32-bit integer, so -2147483648 cannot
    // be written either.
    auto magnitude = read_digits(rest, at, std::numeric_limits<std::int32_t>::max());
    if (!magnitude)
        return std::nullopt;
    working.advance_in_line(at);
    position = working;
    auto number = static_cast<std::int32_t>(*magnitude);
    return negative ? -number : number;
}

namespace {
// Letters, digits, punctuation other than the apostrophe, and the blanks of
// the "C" locale (space and tab).
inline bool is_string_char(char c) noexcept { return c == ' ' || c == '\t' || (is_graphic(c) && c != '\''); }
} // namespace

std::optional<std::string_view> read_string_literal(text::iterator& position)
{
    text::iterator working = position;
    match(working, "'");
    if (!working.valid())
        return std::nullopt;
    std::string_view rest = working.rest();
    std::size_t length = 0;
    while (length < rest.size() && is_string_char(rest[length]))
        ++length;
    if (length == rest.size() || rest[length] != '\'')
        return std::nullopt;
    working.advance_in_line(length + 1);
    position = working;
    return rest.substr(0, length);
}

shared<value> parse_symbol(text::iterator& position)
{
    text::iterator working = position;
    skip_whitespace(working);
    std::string_view rest = working.rest();
    std::size_t length = 0;
    while (length < rest.size() && is_symbol_char(rest[length]))
        ++length;
    if (length == 0)
        return shared<value>();
    char first = rest[0];
    if (is_digit(first) || first == '+' || first == '-')
        return shared<value>();
    std::string_view run = rest.substr(0, length);
    const auto& reserved = reserved_words();
    if (reserved.find(run) != reserved.end())
        return shared<value>();
    working.advance_in_line(length);
    position = working;
    return shared<value>(new symbol_value(run));
}

shared<type> integer_value::parse(text::iterator& position) const
{
    text::iterator working = position;
    match(working, keywords().int_word.word());
    if (!working.valid())
        return shared<type>();
    position = working;
    return shared<type>(new integer_type());
}

shared<type> string_value::parse(text::iterator& position) const
{
    text::iterator working = position;
    match(working, keywords().char_word.word());
    match(working, "(");
    if (!working.valid())
        return shared<type>();
    skip_whitespace(working);
    std::string_view rest = working.rest();
    std::size_t at = 0;
    if (at < rest.size() && rest[at] == '+')
        ++at;
    auto length = read_digits(rest, at, std::numeric_limits<std::uint32_t>::max());
    if (!length)
        return shared<type>();
    working.advance_in_line(at);
    match(working, ")");
    if (!working.valid() || *length == 0)
        return shared<type>();
    position = working;
    return shared<type>(new string_type(static_cast<std::uint32_t>(*length)));
}

shared<value> string_value::make(std::string_view content)
{
    // Lengths are bounded by char(n), whose n fits 32 bits.
    void* memory = pool::allocate(sizeof(string_value) + content.size());
    auto* made = ::new (memory) string_value(static_cast<std::uint32_t>(content.size()));
    std::memcpy(reinterpret_cast<char*>(made + 1), content.data(), content.size());
    return shared<value>(made);
}

void string_value::destroy() noexcept
{
    std::size_t bytes = sizeof(string_value) + length_;
    this->~string_value();
    pool::release(this, bytes);
}

void string_value::operator delete(void*) noexcept { std::abort(); }

shared<type> symbol_value::parse(text::iterator&) const { return shared<type>(); }

} // namespace qorvantel
