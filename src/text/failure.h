// How the programs fail outside the core: the one error type of the tools
// (a wrong command line, an input that cannot be used, data that cannot be
// converted), and the one function that turns whatever was thrown into the
// message an entry point shows. The core's own errors are input_error
// (text/diagnostics.h); this function shows them too, byte for byte.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace qorvantel {

enum class failure_kind : unsigned char {
    // The command line is wrong: the program shows its usage too.
    usage,
    // A file, a database or a reference cannot be used: nothing was done.
    setup,
    // An input read but not convertible, or an evaluation that failed:
    // the core's messages, and the converter's about CSV and SQLite data.
    input,
    // An allocation past the memory budget.
    memory,
    // Anything else: an exception that no code of ours raised.
    internal,
};

// The tools' error: what() is the message as shown, without the program's
// name before it.
class tool_error : public std::runtime_error {
public:
    tool_error(failure_kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    failure_kind kind() const noexcept { return kind_; }

private:
    failure_kind kind_;
};

struct usage_error : tool_error {
    explicit usage_error(const std::string& message) : tool_error(failure_kind::usage, message) {}
};
struct setup_error : tool_error {
    explicit setup_error(const std::string& message) : tool_error(failure_kind::setup, message) {}
};
struct data_error : tool_error {
    explicit data_error(const std::string& message) : tool_error(failure_kind::input, message) {}
};

struct failure {
    failure_kind kind = failure_kind::internal;
    std::string message;
};

// The message of the exception in flight (or of thrown): std::bad_alloc is
// messages::out_of_memory, a tool_error its kind and text, any other
// std::exception (input_error, interrupted, read_error) its what() as an
// input failure, anything else messages::internal_error. Never throws: the
// message of an out-of-memory failure needs no allocation to be shown, and
// is shown as the fixed text when building the string fails too.
failure failure_of(const std::exception_ptr& thrown) noexcept;

} // namespace qorvantel
