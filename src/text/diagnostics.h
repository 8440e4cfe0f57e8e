// Error messages: how every input error is assembled and raised, the report
// of a text position inside a message, and the check that nothing but
// whitespace follows a complete parse.
#pragma once

#include "text/text.h"

#include <ostream>
#include <sstream>

namespace qorvantel {

// A message under construction; pieces are streamed into it.
class error_message : public std::ostringstream {
public:
    error_message() : std::ostringstream(std::ios_base::out) {}
};

// Raises the assembled message as a std::runtime_error.
[[noreturn]] void throw_message(const error_message& message);

// The position report: "in line L, column C, before `excerpt'", "at end of
// text" or "at invalid position". The excerpt is up to 16 characters,
// escaped, running on across line ends.
std::ostream& operator<<(std::ostream& out, const text::iterator& position);

// Skips whitespace on the position; fails with "Garbage ..." unless the end
// of the text has been reached.
void expect_end(text::iterator& position);

} // namespace qorvantel
