// Message assembly and position reports.
#include "text/diagnostics.h"

#include <stdexcept>

namespace qorvantel {

void throw_message(const error_message& message) { throw std::runtime_error(message.str()); }

std::ostream& operator<<(std::ostream& out, const text::iterator& position)
{
    if (!position.valid())
        return out << "at invalid position";
    if (position.at_end())
        return out << "at end of text";
    out << "in line " << position.line() << ", column " << position.column() << ", before `";
    // Newlines in the excerpt are escaped, so a message stays on one line.
    std::string_view excerpt = position.rest().substr(0, 16);
    for (char character : excerpt)
        write_escaped(out, character);
    return out << '\'';
}

void expect_end(text::iterator& position)
{
    skip_whitespace(position);
    if (position.at_end())
        return;
    error_message message;
    message << "Garbage " << position << ".";
    throw_message(message);
}

} // namespace qorvantel
