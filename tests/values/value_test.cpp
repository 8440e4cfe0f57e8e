// Field values and column types: literal readers at their bounds, symbols,
// the total order with its type mismatch, written forms and containment.
#include "values/value.h"

#include "text/pool.h"
#include "values/type.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace qorvantel {
namespace {

using testing::error_of;
using testing::written;

struct literal_example {
    const char* source;
    const char* read; // the value written back
    const char* rest; // what remains after it
};

// Reads with the given type at the beginning of each source: what is read
// and where the position is left.
void check_read(const type& reader, const std::vector<literal_example>& examples)
{
    for (const auto& each : examples) {
        text source{std::string(each.source)};
        text::iterator position = source.begin();
        EXPECT_EQ(written(reader.parse(position)), each.read) << each.source;
        EXPECT_EQ(std::string(position.rest()), each.rest) << each.source;
    }
}

// Nothing is read, and the position stays where it was.
void check_rejected(const type& reader, const std::vector<const char*>& sources)
{
    for (const char* each : sources) {
        text source{std::string(each)};
        text::iterator position = source.begin();
        EXPECT_TRUE(reader.parse(position).empty()) << each;
        EXPECT_EQ(std::string(position.rest()), source.content()) << each;
    }
}

TEST(ValueTest, IntegerLiterals)
{
    check_read(integer_type(),
               {{"2147483647", "2147483647", "\n"},
                {"-2147483647", "-2147483647", "\n"},
                {"00000000002147483647", "2147483647", "\n"},
                {"+5", "5", "\n"},
                {"+0", "0", "\n"},
                {"-0", "0", "\n"},
                {"007", "7", "\n"},
                {"12abc", "12", "abc\n"},
                {" \n\t 7,", "7", ",\n"}});
    check_rejected(integer_type(),
                   {"2147483648", "-2147483648", "99999999999999999999", "- 5", "+ 5", "-+5", "+-5", "-", "x", ""});
}

TEST(ValueTest, StringLiterals)
{
    const char* punctuation = "'!\"#$%&()*+,-./:;<=>?@[\\]^_`{|}~'";
    check_read(string_type(),
               {{"''", "''", "\n"},
                {"'a b'", "'a b'", "\n"},
                {"\n  'x'y", "'x'", "y\n"},
                {"'it''s'", "'it'", "'s'\n"},
                {"'a\\b'", "'a\\b'", "\n"},
                {punctuation, punctuation, "\n"}});
    check_rejected(string_type(), {"'abc", "'a\nb'", "'a\x01'", "'a\x7f'", "'\xc3\xa9'", "abc"});
    // A string type limits the length; a longer literal is no literal of it.
    check_read(string_type(3), {{"'abc' ", "'abc'", " \n"}});
    check_rejected(string_type(3), {"'abcd'"});
    check_read(string_type(1), {{"''", "''", "\n"}});
    check_rejected(string_type(1), {"'ab'"});
}

TEST(ValueTest, Symbols)
{
    // Read directly and through the symbol type: the same rules.
    const std::vector<literal_example> read = {
        {"R1,R2", "R1", ",R2\n"},   {"  a.b-c d", "a.b-c", " d\n"},
        {"a(b)", "a", "(b)\n"},     {"x,y", "x", ",y\n"},
        {"_x", "_x", "\n"},         {"a=b", "a=b", "\n"},
        {"a'b", "a", "'b\n"},       {"selection", "selection", "\n"},
        {"Select", "Select", "\n"}, {"not", "not", "\n"},
        {"Union", "Union", "\n"},   {"ints", "ints", "\n"},
        {"ab\x80", "ab", "\x80\n"}, {"ab\tc", "ab", "\tc\n"},
    };
    const std::vector<const char*> rejected
        = {"-x", "+x", "1abc", "9lives", "(", "'a'", "", "   \n  ", "select", "NOT", "int", "char(", "\x80x"};
    check_read(symbol_type(), read);
    check_rejected(symbol_type(), rejected);
    for (const auto& each : read) {
        text source{std::string(each.source)};
        text::iterator position = source.begin();
        EXPECT_EQ(written(parse_symbol(position)), each.read) << each.source;
    }
    for (const char* each : rejected) {
        text source{std::string(each)};
        text::iterator position = source.begin();
        EXPECT_TRUE(parse_symbol(position).empty()) << each;
    }
}

// A free-standing value read from its literal: 'x' a string, x a symbol,
// 5 an integer.
shared<value> literal(const std::string& source)
{
    text input(source);
    text::iterator position = input.begin();
    shared<value> result = parsing<value>::try_parse(position);
    EXPECT_FALSE(result.empty()) << source;
    return result;
}

TEST(ValueTest, OrderWithinEachKind)
{
    struct example {
        shared<value> a, b;
        bool a_before_b, b_before_a;
    };
    auto integer = [](std::int32_t n) { return shared<value>(new integer_value(n)); };
    const example examples[] = {
        {integer(1), integer(2), true, false},
        {integer(-5), integer(3), true, false},
        {integer(-2147483647 - 1), integer(2147483647), true, false},
        {integer(-2147483647 - 1), integer(-2147483647), true, false},
        {integer(7), literal("+7"), false, false},
        {literal("'ab'"), literal("'abc'"), true, false},
        {literal("'B'"), literal("'a'"), true, false},
        {literal("''"), literal("' '"), true, false},
        {literal("'~'"), literal("'abcdefghij'"), false, true},
        {literal("'abcdefgh'"), literal("'abcdefgh '"), true, false},
        {literal("'same'"), literal("'same'"), false, false},
        {literal("R"), literal("R1"), true, false},
        {literal("Z"), literal("a"), true, false},
        {literal("x"), literal("x"), false, false},
    };
    for (const auto& each : examples) {
        SCOPED_TRACE(written(each.a) + " vs " + written(each.b));
        EXPECT_EQ(each.a->less(*each.b), each.a_before_b);
        EXPECT_EQ(each.b->less(*each.a), each.b_before_a);
        EXPECT_EQ(value_less(*each.a, *each.b), each.a_before_b);
        EXPECT_EQ(value_less(*each.b, *each.a), each.b_before_a);
        EXPECT_EQ(value_equal(*each.a, *each.b), !each.a_before_b && !each.b_before_a);
        int expected = each.a_before_b ? -1 : each.b_before_a ? 1 : 0;
        EXPECT_EQ(value_compare(*each.a, *each.b), expected);
        EXPECT_EQ(value_compare(*each.b, *each.a), -expected);
    }

    std::vector<shared<value>> sorted = {literal("'A'"), literal("'a'"), literal("'B'"), literal("'ab'")};
    std::sort(sorted.begin(), sorted.end(), [](const shared<value>& x, const shared<value>& y) { return x->less(*y); });
    EXPECT_EQ(written(separated(sorted)), "'A', 'B', 'a', 'ab'");
}

TEST(ValueTest, WrittenFormsOfEachKind)
{
    // Rows are written by appending to a line that already holds the values
    // before; messages and expressions are written through a stream.
    const std::vector<std::pair<shared<value>, const char*>> examples = {
        {shared<value>(new integer_value(-2147483647 - 1)), "-2147483648"},
        {shared<value>(new integer_value(0)), "0"},
        {string_value::make(""), "''"},
        {string_value::make(" a,\tb "), "' a,\tb '"},
        {literal("R.x-1"), "R.x-1"},
    };
    for (const auto& [each, form] : examples) {
        std::string line = "1, ";
        append_written(line, *each);
        EXPECT_EQ(line, std::string("1, ") + form);
        EXPECT_EQ(written(each), form);
    }
}

TEST(ValueTest, ComparingKindsIsAMismatchNamingTheReceiverFirst)
{
    struct example {
        const char* a;
        const char* b;
        const char* message;
    };
    const example examples[] = {
        {"5", "'x'", "Type mismatch between 5 and 'x'."}, {"'x'", "5", "Type mismatch between 'x' and 5."},
        {"'a'", "a", "Type mismatch between 'a' and a."}, {"a", "'a'", "Type mismatch between a and 'a'."},
        {"a", "5", "Type mismatch between a and 5."},
    };
    for (const auto& each : examples) {
        shared<value> a = literal(each.a);
        shared<value> b = literal(each.b);
        EXPECT_EQ(error_of([&] { a->less(*b); }), each.message);
        EXPECT_EQ(error_of([&] { value_less(*a, *b); }), each.message);
        EXPECT_EQ(error_of([&] { value_compare(*a, *b); }), each.message);
    }
}

TEST(ValueTest, Contains)
{
    const integer_type integer;
    const string_type char4(4), char5(5), widest(4294967295u), almost(4294967294u);
    struct example {
        const type& receiver;
        const type& other;
        bool contains;
        const char* message; // the mismatch instead, if any
    };
    const example examples[] = {
        {integer, integer, true, nullptr},
        {char5, char5, false, nullptr},
        {char5, char4, true, nullptr},
        {char4, char5, false, nullptr},
        {widest, almost, true, nullptr},
        {almost, widest, false, nullptr},
        {integer, char5, false, "Type mismatch between int and char(5)."},
        {char5, integer, false, "Type mismatch between char(5) and int."},
    };
    for (const auto& each : examples) {
        bool result = false;
        std::string message = error_of([&] { result = each.receiver.contains(each.other); });
        if (each.message != nullptr) {
            EXPECT_EQ(message, each.message);
        } else {
            EXPECT_EQ(message, "<no error>");
            EXPECT_EQ(result, each.contains) << written(each.receiver) << " on " << written(each.other);
        }
    }

    // The symbol type can neither be compared nor written.
    const symbol_type symbol;
    for (int operation = 0; operation < 3; ++operation) {
        try {
            std::ostringstream out;
            if (operation == 0)
                symbol.contains(integer);
            else if (operation == 1)
                symbol.contains(symbol);
            else
                symbol >> out;
            ADD_FAILURE() << "no exception from operation " << operation;
        } catch (const std::logic_error& error) {
            EXPECT_STREQ(error.what(), operation < 2 ? "symbol_type::contains" : "symbol_type::operator>>");
        }
    }
}

TEST(ValueTest, StringsOfEveryLengthGoBackWhereTheyCameFrom)
{
    // Short strings share the pool's chunks, long ones (past 4 KiB with the
    // object) have an allocation of their own: each is released with the
    // size it was made with, so every chunk it took comes free again.
    std::size_t before = pool::chunks_in_use();
    {
        std::vector<shared<value>> strings;
        const std::size_t lengths[] = {0, 1, 7, 8, 9, 4000, 4079, 4080, 4081, 5000, 70000};
        for (int copy = 0; copy < 200; ++copy)
            for (std::size_t length : lengths)
                strings.push_back(string_value::make(std::string(length, static_cast<char>('a' + copy % 26))));
        for (std::size_t i = 0; i < strings.size(); ++i) {
            std::string_view content = static_cast<const string_value&>(*strings[i]).content();
            std::size_t length = lengths[i % (sizeof lengths / sizeof lengths[0])];
            char fill = static_cast<char>('a' + i / (sizeof lengths / sizeof lengths[0]) % 26);
            ASSERT_EQ(content, std::string(length, fill));
        }
    }
    // At most the chunk being carved stays behind.
    EXPECT_LE(pool::chunks_in_use(), before + 1);
}

} // namespace
} // namespace qorvantel
