// Error messages: how every input error is assembled and raised, the report
// of a text position inside a message, and the check that nothing but
// whitespace follows a complete parse.
#pragma once

#include "text/text.h"

#include <cstddef>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace qorvantel {

// The place a position report names: its line and column (both from 1, as
// the report writes them), whether it is the end of the text, and up to 16
// characters of the text there, as they stand (the report escapes them).
struct source_place {
    std::size_t line = 0;
    std::size_t column = 0;
    bool at_end = false;
    std::string excerpt;
};

// Every input error: usage, syntax and evaluation. what() is the message,
// byte for byte as it is written; an error whose message reports a text
// position also carries that place, so that a caller can point at it
// without reading the message back.
//
// A parse error also carries where reading stopped: the furthest position
// that any alternative of the parse reached before failing, at or after
// its place (the designed report often names where a construct began).
class input_error : public std::runtime_error {
public:
    explicit input_error(const std::string& message, std::optional<source_place> place = std::nullopt,
                         std::optional<source_place> furthest = std::nullopt)
        : std::runtime_error(message), place_(std::move(place)), furthest_(std::move(furthest))
    {
    }
    const std::optional<source_place>& place() const noexcept { return place_; }
    const std::optional<source_place>& furthest() const noexcept { return furthest_; }

private:
    std::optional<source_place> place_;
    std::optional<source_place> furthest_;
};

// A message under construction; pieces are streamed into it. A text
// position streamed into it writes the position report and is remembered
// as the place the raised error carries (the first one, should a message
// report two).
class error_message : public std::ostringstream {
public:
    error_message() : std::ostringstream(std::ios_base::out) {}

    const std::optional<source_place>& place() const noexcept { return place_; }
    const std::optional<source_place>& furthest() const noexcept { return furthest_; }
    void report(const text::iterator& position);

private:
    std::optional<source_place> place_;
    std::optional<source_place> furthest_;
};

// Every piece goes through these, so that a chain of pieces stays an
// error_message and a position in it is seen.
template <class Piece>
error_message& operator<<(error_message& message, const Piece& piece)
{
    static_cast<std::ostream&>(message) << piece;
    return message;
}
inline error_message& operator<<(error_message& message, const text::iterator& position)
{
    message.report(position);
    return message;
}

// Raises the assembled message as an input_error with its place.
[[noreturn]] void throw_message(const error_message& message);
// Raises a message of fixed text, which reports no position.
[[noreturn]] void throw_message(const char* fixed);

// The position report: "in line L, column C, before `excerpt'", "at end of
// text" or "at invalid position". The excerpt is up to 16 characters,
// escaped, running on across line ends.
std::ostream& operator<<(std::ostream& out, const text::iterator& position);

// Skips whitespace on the position; fails with "Garbage ..." unless the end
// of the text has been reached.
void expect_end(text::iterator& position);

} // namespace qorvantel
