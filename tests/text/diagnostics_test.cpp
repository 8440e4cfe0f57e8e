// Position reports inside messages, the raising of assembled messages and
// the final check that only whitespace follows a complete parse.
#include "text/diagnostics.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

namespace qorvantel {
namespace {

std::string report(const text::iterator& position)
{
    std::ostringstream out;
    out << position;
    return out.str();
}

// The position after the given number of characters from the beginning.
text::iterator after(const text& source, int steps)
{
    text::iterator position = source.begin();
    for (int i = 0; i < steps; ++i)
        ++position;
    return position;
}

TEST(DiagnosticsTest, PositionReports)
{
    struct example {
        const char* source;
        int steps;
        const char* written;
    };
    const example examples[] = {
        // Middle of line 2, with more than 16 characters following.
        {"ab\n  cdefghijklmnopqrstuvwxyz\n", 7, "in line 2, column 5, before `efghijklmnopqrst'"},
        // Three characters before the end of the last line.
        {"hello world\n", 9, "in line 1, column 10, before `ld\\n'"},
        // A short line: the excerpt runs on into the following lines.
        {"ab\ncd\nefghijklmnopqrstu\n", 0, "in line 1, column 1, before `ab\\ncd\\nefghijklmn'"},
        {"\tx\x01y", 0, "in line 1, column 1, before `\\tx\\x01y\\n'"},
        // A tab counts as one column.
        {"\t\tz", 2, "in line 1, column 3, before `z\\n'"},
        {"\x1b[0m", 0, "in line 1, column 1, before `\\e[0m\\n'"},
        {"x", 2, "at end of text"},
        {"", 0, "at end of text"},
    };
    for (const auto& each : examples) {
        text source{std::string(each.source)};
        EXPECT_EQ(report(after(source, each.steps)), each.written) << each.source;
    }
    text::iterator invalid;
    EXPECT_EQ(report(invalid), "at invalid position");
}

TEST(DiagnosticsTest, ExpectEnd)
{
    struct example {
        const char* source;
        int steps;
        const char* message; // null when only whitespace follows
    };
    const example examples[] = {
        {"R  \n \t\n\n", 1, nullptr},
        {"R", 1, nullptr},
        {"", 0, nullptr},
        {"R  \n  x y\n", 1, "Garbage in line 2, column 3, before `x y\\n'."},
        {"R)", 1, "Garbage in line 1, column 2, before `)\\n'."},
        {"   \x01", 0, "Garbage in line 1, column 4, before `\\x01\\n'."},
    };
    for (const auto& each : examples) {
        text source{std::string(each.source)};
        text::iterator position = after(source, each.steps);
        try {
            expect_end(position);
            EXPECT_EQ(each.message, nullptr) << each.source;
            // The whitespace is skipped on the caller's own position.
            EXPECT_TRUE(position.at_end()) << each.source;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), each.message ? each.message : "<no error>") << each.source;
        }
    }

    text::iterator invalid;
    try {
        expect_end(invalid);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Garbage at invalid position.");
    }
}

} // namespace
} // namespace qorvantel
