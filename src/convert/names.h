// Whether a name from outside data can name a column or a relation of the
// language, and a name to suggest when it cannot.
#pragma once

#include <string>
#include <string_view>

namespace qorvantel {

enum class name_role : unsigned char { column, relation };

// Why name cannot be used in the role, as the end of a message ("is a
// reserved word of the language"), or empty when it can. A relation name
// must also be reachable: an expression made of the name alone must read
// as a reference to it, which a name beginning with "union" or "minus"
// never does.
std::string name_problem(std::string_view name, name_role role);

// A usable name close to name: characters no symbol may hold become
// underscores, a leading digit or sign gets a prefix, and a reserved or
// unreachable word changes the case of its first letter.
std::string suggested_name(std::string_view name, name_role role);

// The error for an unusable name: where, the name, the reason, the
// suggestion.
std::string name_error(const std::string& where, std::string_view name, name_role role);

} // namespace qorvantel
