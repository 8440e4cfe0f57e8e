// Drives the interactive mode with arbitrary bytes. The input is split at its
// first NUL byte: what comes before is the initial environment file, what
// comes after is the console, one expression per line. An input without a
// NUL is all console with an empty environment. Only the first
// console_lines lines of the console are run: each line is read, evaluated
// and answered on its own against the same environment, so further lines
// add no behaviour, only time. Without the cap the coverage counters,
// which reward an edge taken more often, grew the corpus towards inputs of
// thousands of repeated lines, and the target ran at a tenth of its speed.
//
// An error in the environment file ends the run with an exception, as it
// does in the program; every console line error is reported by the loop
// itself. A crash, a sanitizer report, a leak, an exception of any other
// kind or a broken invariant below is a finding.
//
// Invariants: the output begins with the prompt "$" and ends with the
// newline written when the console runs out; an environment that loaded
// cannot make the run throw.
#include "driver/driver.h"
#include "text/text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

using namespace qorvantel;

namespace {

constexpr std::size_t console_lines = 16;

// The first count lines of text, the last one with its newline if it had one.
std::string first_lines(const std::string& text, std::size_t count)
{
    std::size_t end = 0;
    for (std::size_t line = 0; line < count && end < text.size(); ++line) {
        std::size_t newline = text.find('\n', end);
        end = newline == std::string::npos ? text.size() : newline + 1;
    }
    return text.substr(0, end);
}

[[noreturn]] void fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "interactive_fuzzer: %s\n%s\n", what, detail.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    std::istringstream environment_file(split == std::string::npos ? std::string() : input.substr(0, split));
    std::istringstream console(
        first_lines(split == std::string::npos ? input : input.substr(split + 1), console_lines));
    std::ostringstream out;
    try {
        run_interactive(environment_file, console, out);
    } catch (const std::exception& error) {
        std::ostringstream message;
        for (const char* each = error.what(); *each != '\0'; ++each)
            write_message_char(message, *each);
        // Only the environment file can end the run, before any prompt.
        if (!out.str().empty())
            fail("error escaped the console loop", out.str() + "\n---\n" + message.str());
        return 0;
    }
    const std::string& output = out.str();
    if (output.size() < 2 || output.front() != '$' || output.back() != '\n')
        fail("output is not framed by the prompt and the closing newline", output);
    return 0;
}
