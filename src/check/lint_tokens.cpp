// Splitting an expression's source into positioned tokens.
#include "check/lint_tokens.h"

#include "text/text.h"

namespace qorvantel {

std::vector<token> tokens_of(const std::string& source)
{
    std::vector<token> tokens;
    std::size_t line = 1, line_start = 0, i = 0;
    while (i < source.size()) {
        char c = source[i];
        std::size_t column = i - line_start + 1;
        if (c == '\n') {
            ++line;
            line_start = ++i;
            continue;
        }
        if (is_whitespace(c)) {
            ++i;
            continue;
        }
        token made{token_kind::other, std::string(1, c), line, column};
        std::size_t length = 1;
        if (c == '(' || c == ')' || c == ',') {
            made.kind = c == '(' ? token_kind::open : c == ')' ? token_kind::close : token_kind::comma;
        } else if (c == '\'') {
            std::size_t end = source.find_first_of("'\n", i + 1);
            length = end == std::string::npos ? source.size() - i : end - i + (source[end] == '\'' ? 1 : 0);
            made.kind = token_kind::string;
        } else if (is_digit(c) || ((c == '-' || c == '+') && i + 1 < source.size() && is_digit(source[i + 1]))) {
            length = 1;
            while (i + length < source.size() && is_digit(source[i + length]))
                ++length;
            made.kind = token_kind::integer;
        } else if (is_symbol_char(c)) {
            while (i + length < source.size() && is_symbol_char(source[i + length]))
                ++length;
            // A run that is exactly a reserved word is a keyword; the rare
            // keyword run on into a symbol ("selectx") reads as a symbol
            // here, which only shifts the place of a note.
            bool reserved = reserved_words().count(source.substr(i, length)) > 0;
            made.kind = reserved ? token_kind::keyword : token_kind::symbol;
        }
        made.spelling = source.substr(i, length);
        tokens.push_back(made);
        i += length;
    }
    return tokens;
}

} // namespace qorvantel
