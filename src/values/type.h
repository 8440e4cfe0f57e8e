// Column types: int, char(n) and the internal symbol type. A type reads the
// literals of its kind (it is the parser of its values), decides whether it
// can stand in for another type when schemas are coerced, and writes itself.
#pragma once

#include "parsing/parsing.h"
#include "text/dumpable.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace qorvantel {

class value;

enum class type_kind : unsigned char { integer, string, symbol };

class type : public parsing<value>, public dumpable {
public:
    // True when this type can stand for other in a coerced schema; a type of
    // another kind is a "Type mismatch between ..." error.
    virtual bool contains(const type& other) const = 0;

    type_kind kind() const noexcept { return kind_; }

protected:
    explicit type(type_kind kind) noexcept : kind_(kind) {}

private:
    type_kind kind_;
};

class integer_type final : public type {
public:
    integer_type() noexcept : type(type_kind::integer) {}
    shared<value> parse(text::iterator& position) const override;
    bool contains(const type& other) const override;
    std::ostream& operator>>(std::ostream& out) const override;
};

class string_type final : public type {
public:
    // The prototype for free-standing string literals puts no limit on
    // length: the largest length char(n) can state.
    string_type() noexcept : string_type(std::numeric_limits<std::uint32_t>::max()) {}
    explicit string_type(std::uint32_t max_length) noexcept : type(type_kind::string), max_length_(max_length) {}

    std::uint32_t max_length() const noexcept { return max_length_; }

    // The characters of a string literal of this type; nothing, position
    // unchanged, when there is none or it is longer than the type allows.
    std::optional<std::string_view> read(text::iterator& position) const;

    shared<value> parse(text::iterator& position) const override;
    bool contains(const type& other) const override;
    std::ostream& operator>>(std::ostream& out) const override;

private:
    std::uint32_t max_length_;
};

class symbol_type final : public type {
public:
    symbol_type() noexcept : type(type_kind::symbol) {}
    shared<value> parse(text::iterator& position) const override;
    bool contains(const type& other) const override;
    std::ostream& operator>>(std::ostream& out) const override;
};

} // namespace qorvantel
