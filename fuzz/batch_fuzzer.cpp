// Feeds arbitrary bytes through the whole batch pipeline, as if they came on
// standard input: the expression, the environment, the check for trailing
// text, the echo, the evaluation and the writing of the result.
//
// Input errors are exceptions derived from std::exception and are the
// expected outcome for most inputs; the error is written the way the driver
// writes it. A crash, a sanitizer report, a leak, an exception of any other
// kind or a broken invariant below is a finding.
//
// Invariants checked on every input:
// - the output is empty (an input error) or begins with the echo, which is
//   the input with a newline appended when it did not end with one;
// - when the run succeeds, the written form of the expression and of the
//   environment read back as objects that write themselves identically.
#include "algebra/expression.h"
#include "driver/driver.h"
#include "relations/environment.h"
#include "text/diagnostics.h"
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
    std::fprintf(stderr, "batch_fuzzer: %s\n%s\n", what, detail.c_str());
    std::abort();
}

// The written form of a parsed expression and environment must be read back
// whole and written again byte for byte.
void check_round_trip(const std::string& input)
{
    text source(input);
    text::iterator position = source.begin();
    shared<expression> query = parsing<expression>::require("expression", position);
    shared<environment> loaded = parsing<environment>::require("environment", position);

    const std::string query_text = written(query);
    const std::string environment_text = written(loaded);
    try {
        text again(query_text);
        text::iterator at = again.begin();
        shared<expression> reread = parsing<expression>::require("expression", at);
        expect_end(at);
        if (written(reread) != query_text)
            fail("expression does not write back identically", query_text + "\n---\n" + written(reread));
    } catch (const std::exception& error) {
        fail("written expression does not read back", query_text + "\n---\n" + error.what());
    }
    try {
        text again(environment_text);
        text::iterator at = again.begin();
        shared<environment> reread = parsing<environment>::require("environment", at);
        expect_end(at);
        if (written(reread) != environment_text)
            fail("environment does not write back identically", environment_text + "\n---\n" + written(reread));
    } catch (const std::exception& error) {
        fail("written environment does not read back", environment_text + "\n---\n" + error.what());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::istringstream in(input);
    std::ostringstream out;
    bool succeeded = false;
    try {
        run_batch(in, out);
        succeeded = true;
    } catch (const std::exception& error) {
        // The driver writes every message character by character.
        std::ostringstream message;
        for (const char* each = error.what(); *each != '\0'; ++each)
            write_message_char(message, *each);
        if (message.str().empty())
            fail("empty error message", input);
    }

    std::string echo = input;
    if (!echo.empty() && echo.back() != '\n')
        echo.push_back('\n');
    const std::string& output = out.str();
    if (!output.empty() && output.compare(0, echo.size(), echo) != 0)
        fail("output does not begin with the echo of the input", output);
    if (succeeded) {
        if (output.size() <= echo.size())
            fail("successful run wrote no relation", output);
        check_round_trip(input);
    }
    return 0;
}
