// Field values: integers, strings and symbols (the names of relations and
// columns). Values are immutable and shared through handles. This file holds
// their literal readers, their total order and their written forms.
#pragma once

#include "parsing/parsing.h"
#include "text/dumpable.h"
#include "text/pool.h"
#include "values/type.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qorvantel {

class comparable : public dumpable {
public:
    // True when this object sorts strictly before other.
    virtual bool less(const comparable& other) const = 0;
};

enum class value_kind : unsigned char { integer, string, symbol };

// A value is the parser of its kind's type text: its prototypes are the
// alternatives of the type registry. The parse operation is declared here,
// in the one table of virtual functions a value has, rather than inherited
// from a second polymorphic base: a table holds millions of values, and a
// second table pointer would add eight bytes to each.
class value : public comparable {
public:
    // Reads the type text of this value's kind; an empty handle, position
    // unchanged, when the text is not that type.
    virtual shared<type> parse(text::iterator& position) const = 0;

    value_kind kind() const noexcept { return kind_; }
    // Ends the value and gives its memory back; what its handles call.
    virtual void destroy() noexcept { delete this; }
    bool less(const comparable& other) const override;
    // The written form, through append_written: one writer for every kind.
    std::ostream& operator>>(std::ostream& out) const final;

protected:
    explicit value(value_kind kind) noexcept : kind_(kind) {}

private:
    value_kind kind_;
};

class integer_value final : public value, public pooled {
public:
    explicit integer_value(std::int32_t number = 0) noexcept : value(value_kind::integer), number_(number) {}
    std::int32_t number() const noexcept { return number_; }

    // Reads the type text "int".
    shared<type> parse(text::iterator& position) const override;

private:
    std::int32_t number_;
};

// The characters of a string value follow the object in the same pool
// allocation, so a string value is made only by make: an object built
// anywhere else, or copied, would have no characters after it. The one
// exception is the registry's prototype, which holds the empty string.
class string_value final : public value {
public:
    static shared<value> make(std::string_view content);
    // Releases the object with its characters.
    void destroy() noexcept override;
    string_value(const string_value&) = delete;
    string_value& operator=(const string_value&) = delete;

    std::string_view content() const noexcept
    {
        return std::string_view(reinterpret_cast<const char*>(this + 1), length_);
    }

    // Reads the type text "char(n)".
    shared<type> parse(text::iterator& position) const override;

private:
    template <class T, class X>
    friend shared<T> parse_as(text::iterator& position);

    explicit string_value(std::uint32_t length = 0) noexcept : value(value_kind::string), length_(length) {}
    // Never called: string values end only through destroy(), as nothing
    // deletes a value but its handles.
    static void operator delete(void*) noexcept;

    std::uint32_t length_;
};

class symbol_value final : public value {
public:
    symbol_value() : value(value_kind::symbol) {}
    explicit symbol_value(std::string_view content) : value(value_kind::symbol), content_(content) {}
    const std::string& content() const noexcept { return content_; }

    // Symbols have no type text: always an empty handle.
    shared<type> parse(text::iterator& position) const override;

private:
    std::string content_;
};

// The total order of values: -1, 0 or 1 as a sorts before, with or after b,
// in one comparison. Values of different kinds raise "Type mismatch between
// a and b.". The same order as a.less(b), without the virtual call, for the
// hot paths (sorting, merging, conditions).
int value_compare(const value& a, const value& b);
// a strictly before b.
inline bool value_less(const value& a, const value& b) { return value_compare(a, b) < 0; }
// Neither sorts before the other; a type mismatch names a first.
inline bool value_equal(const value& a, const value& b) { return value_compare(a, b) == 0; }
[[noreturn]] void throw_type_mismatch(const dumpable& a, const dumpable& b);

// Appends the written form of the value to line: an integer in decimal, a
// string between apostrophes, a symbol as it is. The only writer of values:
// operator>> goes through it too, and rows by the million are written with
// it directly, without a stream.
void append_written(std::string& line, const value& written);

// Literal readers. Each skips whitespace first; on failure it returns nothing
// and leaves the position where it was.
std::optional<std::int32_t> read_integer_literal(text::iterator& position);
std::optional<std::string_view> read_string_literal(text::iterator& position);

// Reads one symbol: the longest run of symbol characters, not beginning with
// a digit, "+" or "-", and not a reserved word. An empty handle otherwise.
shared<value> parse_symbol(text::iterator& position);

} // namespace qorvantel
