// Message assembly and position reports.
#include "text/diagnostics.h"

#include <stdexcept>

namespace qorvantel {

void throw_message(const error_message& message)
{
    throw input_error(message.str(), message.place(), message.furthest());
}

namespace {
source_place place_of(const text::iterator& position)
{
    source_place place;
    place.line = position.line();
    place.column = position.column();
    place.at_end = position.at_end();
    if (!place.at_end)
        place.excerpt = std::string(position.rest().substr(0, 16));
    return place;
}
} // namespace

void throw_message(const char* fixed) { throw input_error(fixed); }

void error_message::report(const text::iterator& position)
{
    static_cast<std::ostream&>(*this) << position;
    if (place_ || !position.valid())
        return;
    place_ = place_of(position);
    furthest_ = place_of(position.furthest());
}

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
