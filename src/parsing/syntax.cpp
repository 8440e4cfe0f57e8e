// The messages of argument lists and sequences, each written in one place.
#include "parsing/syntax.h"

namespace qorvantel::syntax_detail {

namespace {
// Raises the message made of the parts, each streamed in turn.
template <class... Parts>
[[noreturn]] void fail(const Parts&... parts)
{
    error_message message;
    (message << ... << parts);
    throw_message(message);
}
} // namespace

void fail_opening_arguments(const char* keyword, const text::iterator& position)
{
    fail("Opening ( expected before ", keyword, " expression arguments ", position, ".");
}

void fail_argument(const char* name, const char* keyword, const text::iterator& position)
{
    fail(name, " expected for ", keyword, " expression ", position, ".");
}

void fail_separating_arguments(const char* keyword, const text::iterator& position)
{
    fail("Separating , expected between ", keyword, " expression arguments ", position, ".");
}

void fail_closing_arguments(const char* keyword, const text::iterator& position)
{
    fail("Closing ) expected after ", keyword, " expression arguments ", position, ".");
}

void fail_opening_sequence(const char* opening, const char* name, const text::iterator& position)
{
    fail("Opening ", opening, " expected before ", name, " sequence ", position, ".");
}

void fail_next_member(const char* name, const text::iterator& position)
{
    // No full stop: the position report ends the message.
    fail("Cannot parse next member of ", name, " sequence ", position);
}

void fail_member_count(std::int64_t count, const char* name, std::int32_t minimum, std::int32_t maximum,
                       const text::iterator& position)
{
    fail("Found ", count, " member(s) of ", name, " sequence while expected [", minimum, "...", maximum, "] ", position,
         ".");
}

} // namespace qorvantel::syntax_detail
