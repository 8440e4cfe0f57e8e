// Drives the interactive mode with arbitrary bytes. The input is split at its
// first NUL byte: what comes before is the initial environment file, what
// comes after is the console, one expression per line. An input without a
// NUL is all console with an empty environment.
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
    std::istringstream console(split == std::string::npos ? input : input.substr(split + 1));
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
