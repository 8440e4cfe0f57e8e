// Source text and positions: how lines are built, the three states of a
// position, line and column, literal matching, reserved words and the two
// character writers of messages.
#include "text/text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qorvantel {
namespace {

// What remains of the text at a position, or a marker for the invalid one.
std::string rest_of(const text::iterator& position)
{
    return position.valid() ? std::string(position.rest()) : std::string("<invalid>");
}

TEST(TextTest, LinesFromStreamAndString)
{
    struct example {
        const char* input;
        const char* content;
    };
    const example examples[] = {
        {"", ""}, {"a", "a\n"}, {"a\n", "a\n"}, {"\n", "\n"}, {"a\n\nb", "a\n\nb\n"}, {"a\r\nb\r\n", "a\r\nb\r\n"},
    };
    for (const auto& each : examples) {
        std::istringstream in(each.input);
        text from_stream(in);
        text from_string{std::string(each.input)};
        EXPECT_EQ(from_stream.content(), each.content) << each.input;
        EXPECT_EQ(from_string.content(), each.content) << each.input;
    }
}

// A stream buffer that delivers its text in pieces and then fails, as a
// file on a broken disk does, the way the library's file buffer reports it.
class failing_buffer : public std::streambuf {
public:
    explicit failing_buffer(std::string before) : before_(std::move(before)) {}

protected:
    int_type underflow() override
    {
        if (delivered_)
            throw std::ios_base::failure("read error");
        delivered_ = true;
        setg(before_.data(), before_.data(), before_.data() + before_.size());
        return traits_type::to_int_type(before_[0]);
    }

private:
    std::string before_;
    bool delivered_ = false;
};

TEST(TextTest, AReadErrorIsNotTheEndOfTheStream)
{
    failing_buffer buffer("R(a int)\n1\n10");
    std::istream in(&buffer);
    EXPECT_THROW(text{in}, read_error);
    // The end of a stream is no error, whatever its last line.
    std::istringstream complete("R(a int)\n1\n10");
    EXPECT_EQ(text(complete).content(), "R(a int)\n1\n10\n");
}

TEST(TextTest, LineAndColumnOfEveryPosition)
{
    // a, newline, newline, b: three lines, the b at line 3, column 1.
    text source{std::string("a\n\nb")};
    struct place {
        char character;
        std::size_t line, column;
    };
    const std::vector<place> expected = {
        {'a', 1, 1}, {'\n', 1, 2}, {'\n', 2, 1}, {'b', 3, 1}, {'\n', 3, 2},
    };
    text::iterator position = source.begin();
    for (const auto& each : expected) {
        ASSERT_TRUE(position.dereferenceable());
        EXPECT_EQ(*position, each.character);
        EXPECT_EQ(position.line(), each.line);
        EXPECT_EQ(position.column(), each.column);
        ++position;
    }
    EXPECT_TRUE(position.at_end());
    ++position;
    EXPECT_TRUE(position.at_end());
    EXPECT_TRUE(position.valid());
}

TEST(TextTest, ThreeStatesAndInvalidDereference)
{
    text empty{std::string()};
    text one{std::string("x")};
    text::iterator at_end = empty.begin();
    text::iterator dereferenceable = one.begin();
    text::iterator invalid = one.begin();
    invalid.invalidate();
    text::iterator defaulted;

    EXPECT_TRUE(dereferenceable.dereferenceable());
    EXPECT_FALSE(dereferenceable.at_end());
    EXPECT_TRUE(at_end.at_end() && at_end.valid() && !at_end.dereferenceable());
    for (const text::iterator& none : {invalid, defaulted})
        EXPECT_TRUE(!none.valid() && !none.at_end() && !none.dereferenceable());

    ++invalid;
    EXPECT_FALSE(invalid.valid());

    for (const text::iterator& position : {at_end, invalid, defaulted}) {
        try {
            (void)*position;
            ADD_FAILURE() << "no exception";
        } catch (const std::out_of_range& error) {
            EXPECT_STREQ(error.what(), "text::iterator: invalid dereference");
        }
    }
}

TEST(TextTest, SkipWhitespaceAcrossLinesKeepsLineAndColumn)
{
    text source{std::string(" \t\n\v\f\r\n   x \n")};
    text::iterator position = source.begin();
    skip_whitespace(position);
    ASSERT_TRUE(position.dereferenceable());
    EXPECT_EQ(*position, 'x');
    EXPECT_EQ(position.line(), 3u);
    EXPECT_EQ(position.column(), 4u);
    ++position;
    skip_whitespace(position);
    EXPECT_TRUE(position.at_end());

    // Bytes 0x80 and above are not whitespace.
    text high{std::string(" \x85\xa0")};
    text::iterator at_high = high.begin();
    skip_whitespace(at_high);
    EXPECT_EQ(rest_of(at_high), "\x85\xa0\n");
}

TEST(TextTest, Match)
{
    struct example {
        const char* input;
        const char* literal;
        const char* rest; // what remains, or "<invalid>"
    };
    const example examples[] = {
        {"   (x", "(", "x\n"},
        {"   x", "(", "<invalid>"},
        {"Union", "union", "<invalid>"},
        {"unionx", "union", "x\n"},
        {"\n\n  union(", "union", "(\n"},
        {"  ab", nullptr, "ab\n"},
        {"  ab", "", "ab\n"},
        {"   ", nullptr, ""},
        {"ab", "abc", "<invalid>"},
        {"ab", "ab\nc", "<invalid>"},
        {"", "(", "<invalid>"},
        {"a b", "ab", "<invalid>"},
    };
    for (const auto& each : examples) {
        text source{std::string(each.input)};
        text::iterator position = source.begin();
        match(position, each.literal);
        EXPECT_EQ(rest_of(position), each.rest)
            << "'" << each.input << "' with " << (each.literal ? each.literal : "null");
    }

    // An invalid position stays invalid, whatever the literal.
    text source{std::string("(")};
    for (const char* literal : {"(", "", static_cast<const char*>(nullptr)}) {
        text::iterator position = source.begin();
        position.invalidate();
        match(position, literal);
        EXPECT_FALSE(position.valid());
    }
}

TEST(TextTest, KeywordsFillReservedWords)
{
    // The language's keywords exist before main runs.
    for (const char* word : {"char", "int", "union", "minus", "product", "rename", "select", "project", "NOT", "AND",
                             "OR", "EQ", "NEQ", "LT", "LTE", "GT", "GTE"})
        EXPECT_EQ(reserved_words().count(word), 1u) << word;
    for (const char* word : {"Union", "unions", "not", "lte", "Select", ""})
        EXPECT_EQ(reserved_words().count(word), 0u) << word;

    std::size_t before = reserved_words().size();
    keyword none(nullptr);
    EXPECT_EQ(none.word(), nullptr);
    EXPECT_EQ(reserved_words().size(), before);

    keyword added("zz_test_word");
    EXPECT_STREQ(added.word(), "zz_test_word");
    EXPECT_EQ(reserved_words().count("zz_test_word"), 1u);
    keyword again("zz_test_word");
    EXPECT_EQ(reserved_words().size(), before + 1);
}

TEST(TextTest, EscapedFormsOfPositionsAndMessages)
{
    // Position reports show the text with every control byte made visible;
    // messages pass the text as it is, but for ESC, so that no message can
    // drive the terminal. Bytes above 0x7f and the backslash pass unchanged.
    struct example {
        std::string raw;
        const char* in_position;
        const char* in_message;
    };
    const example examples[] = {
        {"a\tb\n", "a\\tb\\n", "a\tb\n"},
        {"\x1b[31m", "\\e[31m", "\\e[31m"},
        {std::string("\0\x01\x1f\x7f", 4), "\\x00\\x01\\x1f\\x7f", nullptr},
        {"\r\n", "\\x0d\\n", "\r\n"},
        {"\x80\xff", "\x80\xff", "\x80\xff"},
        {"\\x41 ~", "\\x41 ~", "\\x41 ~"},
    };
    for (const auto& each : examples) {
        SCOPED_TRACE(each.in_position);
        std::ostringstream position, message;
        for (char c : each.raw) {
            write_escaped(position, c);
            write_message_char(message, c);
        }
        EXPECT_EQ(position.str(), each.in_position);
        EXPECT_EQ(message.str(), each.in_message ? std::string(each.in_message) : each.raw);
    }
}

} // namespace
} // namespace qorvantel
