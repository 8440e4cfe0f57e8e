// An interrupt stops evaluation and writing at any of their long loops, and
// leaves the environment as it was: a table sorted lazily on first use must
// not be left half sorted by a sort that was stopped.
#include "algebra/expression.h"
#include "relations/environment.h"
#include "text/interrupt.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace qorvantel {
namespace {

using testing::written;

// Relations of a few interrupt intervals each, their rows out of order and
// repeated, so that every query below sorts or scans that many rows.
shared<environment> large_environment()
{
    std::string source = "R(a int, b int)\n";
    for (int i = 3 * static_cast<int>(interrupt_interval); i > 0; --i)
        source += std::to_string(i % 5000) + ", " + std::to_string(i % 7) + "\n";
    source += "S(c int)\n";
    source += "1\n2\n";
    text input(source);
    text::iterator position = input.begin();
    return parsing<environment>::require("environment", position);
}

shared<expression> read_expression(const std::string& source)
{
    text input(source);
    text::iterator position = input.begin();
    return parsing<expression>::require("expression", position);
}

std::string result_of(const std::string& query, const shared<environment>& loaded)
{
    return written(read_expression(query)->evaluate(loaded));
}

struct clear_on_exit {
    ~clear_on_exit() { clear_interrupt(); }
};

TEST(InterruptTest, EveryLongOperationStopsAndLeavesTheEnvironmentIntact)
{
    const char* queries[] = {"R",
                             "product(R, S)",
                             "select(R, GT(a, 10))",
                             "project(R, b)",
                             "project(R, a)",
                             "union(R, R)",
                             "minus(R, select(R, GT(b, 3)))"};
    for (const char* query : queries) {
        SCOPED_TRACE(query);
        const std::string expected = result_of(query, large_environment());
        shared<environment> loaded = large_environment();
        clear_on_exit guard;
        request_interrupt();
        // Stopped while evaluated, or for the bare relation while its
        // table is sorted for writing.
        EXPECT_THROW(result_of(query, loaded), interrupted);
        clear_interrupt();
        EXPECT_EQ(result_of(query, loaded), expected);

        // A result stopped while it is written.
        shared<relation> result = read_expression(query)->evaluate(loaded);
        written(result);
        request_interrupt();
        EXPECT_THROW(written(result), interrupted);
        clear_interrupt();
        EXPECT_EQ(written(result), expected);
    }
}

TEST(InterruptTest, WithoutARequestNothingIsChecked)
{
    shared<environment> loaded = large_environment();
    EXPECT_NO_THROW(result_of("select(product(R, S), EQ(c, 1))", loaded));
    EXPECT_STREQ(interrupted().what(), "Query interrupted.");
}

} // namespace
} // namespace qorvantel
