// The tokens of an expression's source with their lines and columns, for
// lint to place its notes: the expression tree keeps no positions, but its
// keywords and values appear in the source in the order a walk meets them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qorvantel {

enum class token_kind : unsigned char { keyword, symbol, integer, string, open, close, comma, other };

struct token {
    token_kind kind;
    std::string spelling;
    std::size_t line;
    std::size_t column;
    bool is_value() const noexcept
    {
        return kind == token_kind::symbol || kind == token_kind::integer || kind == token_kind::string;
    }
};

// Splits source as the interpreter reads it: keywords are the runs that are
// reserved words, a string runs from
// apostrophe to apostrophe, an integer is an optional sign and digits.
std::vector<token> tokens_of(const std::string& source);

} // namespace qorvantel
