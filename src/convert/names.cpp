// Names are checked with the language's own readers: the symbol reader for
// the characters and reserved words, and the expression reader for whether
// a relation name can be referred to.
#include "convert/names.h"

#include "algebra/expression.h"
#include "convert/field_text.h"
#include "parsing/words.h"
#include "text/diagnostics.h"
#include "text/text.h"
#include "values/value.h"

#include <cctype>
#include <stdexcept>

namespace qorvantel {

namespace {

bool reachable_relation(std::string_view name)
{
    text input{std::string(name)};
    text::iterator position = input.begin();
    try {
        shared<expression> read = parsing<expression>::try_parse(position);
        if (!read || read->kind() != expression_kind::relation)
            return false;
        const value& read_name = *read->relation_name();
        if (read_name.kind() != value_kind::symbol || static_cast<const symbol_value&>(read_name).content() != name)
            return false;
        expect_end(position);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

// The operator keyword an unreachable relation name begins with.
std::string leading_keyword(std::string_view name)
{
    for (const language_word& each : language_words)
        if (each.role == word_role::expression_operator
            && name.substr(0, std::string_view(each.text).size()) == each.text)
            return each.text;
    return {};
}

} // namespace

std::string name_problem(std::string_view name, name_role role)
{
    if (name.empty())
        return "is empty";
    for (char c : name) {
        if (!is_symbol_char(c)) {
            std::string shown = quoted_for_message(std::string_view(&c, 1));
            return "holds the character " + shown
                + ", and a name may hold only printable ASCII other than "
                  "blanks, commas, apostrophes and parentheses";
        }
    }
    if (is_digit(name[0]) || name[0] == '+' || name[0] == '-')
        return "begins with a digit, + or -, which a name may not";
    if (reserved_words().count(name) != 0)
        return "is a reserved word of the language";
    if (role == name_role::relation && !reachable_relation(name)) {
        std::string word = leading_keyword(name);
        return "can never be referred to in an expression, which reads its beginning as the operator "
            + (word.empty() ? std::string("keyword") : word);
    }
    return {};
}

std::string suggested_name(std::string_view name, name_role role)
{
    std::string out;
    for (char c : name)
        out += is_symbol_char(c) ? c : '_';
    if (out.empty())
        out = role == name_role::column ? "column" : "relation";
    if (is_digit(out[0]) || out[0] == '+' || out[0] == '-')
        out.insert(0, role == name_role::column ? "c_" : "r_");
    if (!name_problem(out, role).empty()) {
        // A reserved word in capitals (AND) becomes lower case (and); any
        // other word changes the case of its first letter (Union_members).
        bool capitals = true;
        for (char c : out)
            capitals = capitals && !std::islower(static_cast<unsigned char>(c));
        if (capitals) {
            for (char& c : out)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else {
            unsigned char first = static_cast<unsigned char>(out[0]);
            out[0] = static_cast<char>(std::islower(first) ? std::toupper(first) : std::tolower(first));
        }
    }
    while (!name_problem(out, role).empty())
        out += '_';
    return out;
}

std::string name_error(const std::string& where, std::string_view name, name_role role)
{
    return where + ": the " + (role == name_role::column ? "column" : "relation") + " name " + quoted_for_message(name)
        + " " + name_problem(name, role) + "; use another name, for example " + suggested_name(name, role);
}

} // namespace qorvantel
