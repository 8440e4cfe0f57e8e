// Input errors carry the place their message reports: the same line and
// column, the end of the text, or no place at all for an evaluation error.
#include "algebra/expression.h"
#include "relations/environment.h"
#include "text/diagnostics.h"

#include <gtest/gtest.h>

#include <string>

namespace qorvantel {
namespace {

// Parses source as an expression and evaluates it over an environment with
// one relation R(a int); the error raised.
input_error error_of(const std::string& source)
{
    text environment_text("R(a int)\n1\n");
    text::iterator at = environment_text.begin();
    shared<environment> loaded = parsing<environment>::require("environment", at);
    try {
        text input(source);
        text::iterator position = input.begin();
        shared<expression> query = parsing<expression>::require("expression", position);
        expect_end(position);
        query->evaluate(loaded);
    } catch (const input_error& error) {
        return error;
    }
    ADD_FAILURE() << "no input error for " << source;
    return input_error("");
}

TEST(ErrorPlaceTest, TheFieldsAreThePlaceTheMessageReports)
{
    struct example {
        const char* source;
        const char* message;
        std::size_t line, column;
        bool at_end;
        const char* excerpt;
    };
    // The text of every line ends with a newline, as the console reads it.
    const example examples[] = {
        {"select(R, GT(a 1)) x", "Garbage in line 1, column 20, before `x\\n'.", 1, 20, false, "x\n"},
        {"union(R,\n  R",
         "Cannot parse next member of union expression terms sequence in line 2, column 4, before `\\n'", 2, 4, false,
         "\n"},
        {"project(R,\n\n   7)",
         "Found 0 member(s) of projected columns sequence while expected [1...2147483647] in line 1, column 11, "
         "before `\\n\\n   7)\\n'.",
         1, 11, false, "\n\n   7)\n"},
        {"rename(R, S(b)) \n\n  xxxxxxxxxxxxxxxxxxxx", "Garbage in line 3, column 3, before `xxxxxxxxxxxxxxxx'.", 3, 3,
         false, "xxxxxxxxxxxxxxxx"},
    };
    for (const example& each : examples) {
        SCOPED_TRACE(each.source);
        input_error error = error_of(each.source);
        EXPECT_STREQ(error.what(), each.message);
        ASSERT_TRUE(error.place().has_value());
        EXPECT_EQ(error.place()->line, each.line);
        EXPECT_EQ(error.place()->column, each.column);
        EXPECT_EQ(error.place()->at_end, each.at_end);
        EXPECT_EQ(error.place()->excerpt, each.excerpt);
    }
    // Evaluation errors name objects, not places.
    input_error evaluation = error_of("select(R, EQ(b, 1))");
    EXPECT_STREQ(evaluation.what(), "Column b not found in schema R(a int).");
    EXPECT_FALSE(evaluation.place().has_value());
}

} // namespace
} // namespace qorvantel
