// The messages of argument lists and sequences, each written in one place.
#include "parsing/syntax.h"

namespace qorvantel::syntax_detail {

void fail_opening_arguments(const char* keyword, const text::iterator& position)
{
    error_message message;
    message << "Opening ( expected before " << keyword << " expression arguments " << position << ".";
    throw_message(message);
}

void fail_argument(const char* name, const char* keyword, const text::iterator& position)
{
    error_message message;
    message << name << " expected for " << keyword << " expression " << position << ".";
    throw_message(message);
}

void fail_separating_arguments(const char* keyword, const text::iterator& position)
{
    error_message message;
    message << "Separating , expected between " << keyword << " expression arguments " << position << ".";
    throw_message(message);
}

void fail_closing_arguments(const char* keyword, const text::iterator& position)
{
    error_message message;
    message << "Closing ) expected after " << keyword << " expression arguments " << position << ".";
    throw_message(message);
}

void fail_opening_sequence(const char* opening, const char* name, const text::iterator& position)
{
    error_message message;
    message << "Opening " << opening << " expected before " << name << " sequence " << position << ".";
    throw_message(message);
}

void fail_next_member(const char* name, const text::iterator& position)
{
    // No full stop: the position report ends the message.
    error_message message;
    message << "Cannot parse next member of " << name << " sequence " << position;
    throw_message(message);
}

void fail_member_count(std::int64_t count, const char* name, std::int32_t minimum, std::int32_t maximum,
                       const text::iterator& position)
{
    error_message message;
    message << "Found " << count << " member(s) of " << name << " sequence while expected [" << minimum << "..."
            << maximum << "] " << position << ".";
    throw_message(message);
}

} // namespace qorvantel::syntax_detail
