// Argument lists and sequences: what they read, where they leave the
// position, and each message with the exact position it reports.
#include "parsing/syntax.h"

#include "text/dumpable.h"
#include "values/value.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qorvantel {
namespace {

struct sequence_example {
    const char* source;
    std::int32_t minimum, maximum;
    const char *opening, *separator, *closing;
    const char* members; // the members read, written with ", " between them
    const char* rest;    // what remains after the sequence
    const char* message; // the error instead, if any
};

// Runs one sequence of symbols named "test" at the beginning of the source.
void check_sequence(const sequence_example& each)
{
    SCOPED_TRACE(each.source);
    text source{std::string(each.source)};
    text::iterator position = source.begin();
    std::vector<shared<value>> members;
    try {
        const sequence_syntax syntax{"test", each.minimum, each.maximum, each.opening, each.separator, each.closing};
        // It returns true or throws: what it read is checked below.
        parse_sequence(syntax, position, parse_symbol, members);
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), each.message ? each.message : "<no error>");
        EXPECT_EQ(std::string(position.rest()), source.content()) << "position moved on failure";
        return;
    }
    EXPECT_EQ(each.message, nullptr);
    std::ostringstream written;
    written << separated(members);
    EXPECT_EQ(written.str(), each.members);
    EXPECT_EQ(std::string(position.rest()), each.rest);
}

TEST(SyntaxTest, BracketedSequences)
{
    const sequence_example examples[] = {
        {"(R, S) tail", 1, unbounded, "(", ",", ")", "R, S", " tail\n", nullptr},
        // Between members of a bracketed sequence the separator may be left out.
        {"(R S)", 1, unbounded, "(", ",", ")", "R, S", "\n", nullptr},
        {"(\n a\n ,\n b\n)", 1, unbounded, "(", ",", ")", "a, b", "\n", nullptr},
        {"  (a,b)", 2, 2, "(", ",", ")", "a, b", "\n", nullptr},
        {"()", 0, unbounded, "(", ",", ")", "", "\n", nullptr},
        {"()", 1, unbounded, "(", ",", ")", nullptr, nullptr,
         "Found 0 member(s) of test sequence while expected [1...2147483647] in line 1, column 1, before `()\\n'."},
        {" (a, b, c)", 1, 2, "(", ",", ")", nullptr, nullptr,
         "Found 3 member(s) of test sequence while expected [1...2] in line 1, column 1, before ` (a, b, c)\\n'."},
        {"(a)", 2, unbounded, "(", ",", ")", nullptr, nullptr,
         "Found 1 member(s) of test sequence while expected [2...2147483647] in line 1, column 1, before "
         "`(a)\\n'."},
        // The next member is expected after the comma; no full stop.
        {"(R,)", 1, unbounded, "(", ",", ")", nullptr, nullptr,
         "Cannot parse next member of test sequence in line 1, column 4, before `)\\n'"},
        {"(R, )", 1, unbounded, "(", ",", ")", nullptr, nullptr,
         "Cannot parse next member of test sequence in line 1, column 4, before ` )\\n'"},
        // Without a closing bracket the sequence runs into the final newline.
        {"(R", 1, unbounded, "(", ",", ")", nullptr, nullptr,
         "Cannot parse next member of test sequence in line 1, column 3, before `\\n'"},
        {"(, a)", 1, unbounded, "(", ",", ")", nullptr, nullptr,
         "Cannot parse next member of test sequence in line 1, column 2, before `, a)\\n'"},
        {"(select)", 1, unbounded, "(", ",", ")", nullptr, nullptr,
         "Cannot parse next member of test sequence in line 1, column 2, before `select)\\n'"},
        {" R", 1, unbounded, "(", ",", ")", nullptr, nullptr,
         "Opening ( expected before test sequence in line 1, column 1, before ` R\\n'."},
        {"", 1, unbounded, "(", ",", ")", nullptr, nullptr, "Opening ( expected before test sequence at end of text."},
    };
    for (const auto& each : examples)
        check_sequence(each);
}

TEST(SyntaxTest, SequencesWithoutClosingEndQuietly)
{
    const sequence_example examples[] = {
        // Ends where no separator follows a member, just after that member.
        {"a, b c", 1, unbounded, nullptr, ",", nullptr, "a, b", " c\n", nullptr},
        {"a ) x", 1, unbounded, nullptr, ",", nullptr, "a", " ) x\n", nullptr},
        {" a ,\n b", 1, unbounded, nullptr, ",", nullptr, "a, b", "\n", nullptr},
        // Before a first member that cannot be read: judged by the bounds.
        {") x", 1, unbounded, nullptr, ",", nullptr, nullptr, nullptr,
         "Found 0 member(s) of test sequence while expected [1...2147483647] in line 1, column 1, before `) "
         "x\\n'."},
        // After a separator a member must follow.
        {"a, )", 1, unbounded, nullptr, ",", nullptr, nullptr, nullptr,
         "Cannot parse next member of test sequence in line 1, column 3, before ` )\\n'"},
        {"a, b, c", 1, 2, nullptr, ",", nullptr, nullptr, nullptr,
         "Found 3 member(s) of test sequence while expected [1...2] in line 1, column 1, before `a, b, c\\n'."},
    };
    for (const auto& each : examples)
        check_sequence(each);
}

TEST(SyntaxTest, MembersReadBeforeAFailureStayInTheList)
{
    text source{std::string("(R, S,)")};
    text::iterator position = source.begin();
    std::vector<shared<value>> members;
    const sequence_syntax syntax{"test", 1, unbounded, "(", ",", ")"};
    EXPECT_THROW(parse_sequence(syntax, position, parse_symbol, members), std::runtime_error);
    std::ostringstream written;
    written << separated(members);
    EXPECT_EQ(written.str(), "R, S");
}

TEST(SyntaxTest, ArgumentLists)
{
    struct example {
        const char* source;
        bool found;
        const char* arguments; // the two arguments written with "/" between them
        const char* rest;
        const char* message;
    };
    const example examples[] = {
        {"select(R, c) x", true, "R/c", " x\n", nullptr},
        {" select ( R\n ,\n c\n ) ", true, "R/c", " \n", nullptr},
        {"  selec(R, c)", false, nullptr, nullptr, nullptr},
        {"Select(R, c)", false, nullptr, nullptr, nullptr},
        {"", false, nullptr, nullptr, nullptr},
        // Every message reports where the construct began.
        {"select R", true, nullptr, nullptr,
         "Opening ( expected before select expression arguments in line 1, column 1, before `select R\\n'."},
        {"selection(R, c)", true, nullptr, nullptr,
         "Opening ( expected before select expression arguments in line 1, column 1, before `selection(R, c)\\n'."},
        {" select(, c)", true, nullptr, nullptr,
         "Argument expected for select expression in line 1, column 1, before ` select(, c)\\n'."},
        {"select(R)", true, nullptr, nullptr,
         "Separating , expected between select expression arguments in line 1, column 1, before `select(R)\\n'."},
        {"select(R c)", true, nullptr, nullptr,
         "Separating , expected between select expression arguments in line 1, column 1, before `select(R c)\\n'."},
        {"select(R,)", true, nullptr, nullptr,
         "Condition expected for select expression in line 1, column 1, before `select(R,)\\n'."},
        {"select(R, c", true, nullptr, nullptr,
         "Closing ) expected after select expression arguments in line 1, column 1, before `select(R, c\\n'."},
        {"select(R, c d)", true, nullptr, nullptr,
         "Closing ) expected after select expression arguments in line 1, column 1, before `select(R, c d)\\n'."},
    };
    for (const auto& each : examples) {
        SCOPED_TRACE(each.source);
        text source{std::string(each.source)};
        text::iterator position = source.begin();
        shared<value> first, second;
        bool found = false;
        try {
            found = parse_arguments("select", position, "Argument", parse_symbol, first, "Condition", parse_symbol,
                                    second);
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), each.message ? each.message : "<no error>");
            EXPECT_EQ(std::string(position.rest()), source.content()) << "position moved on failure";
            continue;
        }
        EXPECT_EQ(each.message, nullptr);
        EXPECT_EQ(found, each.found);
        if (!found) {
            EXPECT_EQ(std::string(position.rest()), source.content());
            continue;
        }
        std::ostringstream written;
        written << first << "/" << second;
        EXPECT_EQ(written.str(), each.arguments);
        EXPECT_EQ(std::string(position.rest()), each.rest);
    }
}

} // namespace
} // namespace qorvantel
