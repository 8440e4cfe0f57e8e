// Schemas and rows: the distinct-name test, coercion, reading rows against a
// schema, the row order and the sorted, duplicate-free table invariant.
#include "relations/relation.h"

#include "relations/schema.h"
#include "relations/sort_keys.h"
#include "text/pool.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace qorvantel {
namespace {

using testing::error_of;
using testing::written;

// A named schema from its text, for example "R(a int, b char(5))".
shared<schema> read_schema(const std::string& source)
{
    text input(source);
    text::iterator position = input.begin();
    shared<value> name = parse_symbol(position);
    return parse_schema_columns(name, position);
}

// Reads one row from its text under the schema.
shared<row> read_row(const shared<schema>& columns, const std::string& source)
{
    text input(source);
    text::iterator position = input.begin();
    shared<row> result = parse_row(position, *columns);
    EXPECT_FALSE(result.empty()) << source;
    return result;
}

// A row of integers, under a schema of as many int columns.
shared<row> int_row(const std::vector<std::int32_t>& numbers)
{
    std::string columns, fields;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        columns += (i > 0 ? ", c" : "c") + std::to_string(i) + " int";
        fields += (i > 0 ? ", " : "") + std::to_string(numbers[i]);
    }
    return read_row(read_schema("R(" + columns + ")"), fields);
}

TEST(RelationTest, RowOrderIsLexicographicWithShorterFirst)
{
    struct example {
        std::vector<std::int32_t> a, b;
        bool a_before_b;
    };
    const example examples[] = {
        {{1, 2}, {1, 3}, true}, {{1, 3}, {1, 2}, false}, {{2}, {1, 5}, false},    {{1}, {1, 0}, true},
        {{1, 0}, {1}, false},   {{4, 4}, {4, 4}, false}, {{-1, 9}, {0, 0}, true}, {{0, -1}, {0, -1, -5}, true},
    };
    for (const auto& each : examples) {
        shared<row> a = int_row(each.a);
        shared<row> b = int_row(each.b);
        EXPECT_EQ(row_less(*a, *b), each.a_before_b) << written(a) << " vs " << written(b);
    }

    shared<row> strings = read_row(read_schema("R(a char(1))"), "'x'");
    EXPECT_EQ(error_of([&] { row_less(*int_row({5}), *strings); }), "Type mismatch between 5 and 'x'.");
}

// The rows of the list as text, one per line.
std::string rows_text(const row_list& rows)
{
    std::string all;
    for (const auto& each : rows)
        all += written(each);
    return all;
}

TEST(RelationTest, SortUniqueKeepsOneOfEachRowInOrder)
{
    shared<schema> pairs = read_schema("R(a int, b char(1))");
    text input(std::string("2, 'b' 1, 'z' 2, 'b' 1, 'a'"));
    text::iterator position = input.begin();
    row_list rows;
    for (shared<row> next; !(next = parse_row(position, *pairs)).empty();)
        rows.push_back(next);
    ASSERT_EQ(rows.size(), 4u);
    // Handles held here too: afterwards only the dropped duplicate is held
    // by nobody else.
    row_list held = rows;
    sort_unique(rows);
    EXPECT_EQ(rows_text(rows), "1, 'a'\n1, 'z'\n2, 'b'\n");
    int held_only_here = 0;
    for (const auto& each : held)
        held_only_here += each.unique() ? 1 : 0;
    EXPECT_EQ(held_only_here, 1);
    EXPECT_TRUE(held[0].unique() != held[2].unique());

    row_list none;
    sort_unique(none);
    EXPECT_TRUE(none.empty());
}

// Many rows with many repeats, their first values of either kind: the
// result is the ascending set of distinct rows.
TEST(RelationTest, SortUniqueAgreesWithAnOrderedSet)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::int32_t> small(-20, 20);
    std::uniform_int_distribution<int> length(0, 10);
    const std::string alphabet = " aAbz~";
    std::uniform_int_distribution<std::size_t> letter(0, alphabet.size() - 1);
    for (bool strings_first : {false, true}) {
        SCOPED_TRACE(strings_first ? "strings first" : "integers first");
        shared<schema> columns = read_schema(strings_first ? "R(a char(10), b int)" : "R(a int, b int)");
        std::set<std::pair<std::string, std::int32_t>> distinct_strings;
        std::set<std::pair<std::int32_t, std::int32_t>> distinct_integers;
        std::string source;
        for (int i = 0; i < 3000; ++i) {
            std::int32_t second = small(random);
            if (strings_first) {
                // Mostly long strings with a common prefix, so that rows
                // differ only past their first eight characters.
                std::string first = i % 3 == 0 ? "" : "abcdefgh";
                for (int n = length(random); n > 0; --n)
                    first += alphabet[letter(random)];
                first.resize(std::min<std::size_t>(first.size(), 10));
                distinct_strings.insert({first, second});
                source += "'" + first + "', " + std::to_string(second) + "\n";
            } else {
                std::int32_t first = small(random) * 100000000;
                distinct_integers.insert({first, second});
                source += std::to_string(first) + ", " + std::to_string(second) + "\n";
            }
        }
        text input(source);
        text::iterator position = input.begin();
        row_list rows;
        for (shared<row> next; !(next = parse_row(position, *columns)).empty();)
            rows.push_back(next);
        ASSERT_EQ(rows.size(), 3000u);
        sort_unique(rows);
        std::ostringstream want;
        for (const auto& [first, second] : distinct_strings)
            want << "'" << first << "', " << second << "\n";
        for (const auto& [first, second] : distinct_integers)
            want << first << ", " << second << "\n";
        EXPECT_EQ(rows_text(rows), want.str());
        for (const auto& each : rows)
            EXPECT_TRUE(each.unique());
    }
}

// Sorting encodes the leading values of each row into a fixed-size key; rows
// whose keys tie, or whose values do not all fit, must still come out in row
// order, with exactly the repeated rows dropped.
TEST(RelationTest, SortUniqueOrdersRowsBeyondTheirKeys)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(0, 3);
    const std::string prefixes[] = {"", "abcdefghijklmnopqrstuvw", "abcdefghijklmnopqrstuvwxyz012", "b"};
    const std::int32_t numbers[] = {-2147483647, -1, 0, 2147483647};
    shared<schema> columns = read_schema("R(a char(40), b int, c char(40))");
    std::set<std::tuple<std::string, std::int32_t, std::string>> distinct;
    std::string source;
    for (int i = 0; i < 2000; ++i) {
        std::string first = prefixes[pick(random)] + std::string(pick(random), 'x');
        std::int32_t second = numbers[pick(random)];
        std::string third = prefixes[pick(random)] + std::string(pick(random), '~');
        distinct.insert({first, second, third});
        source += "'" + first + "', " + std::to_string(second) + ", '" + third + "'\n";
    }
    text input(source);
    text::iterator position = input.begin();
    row_list rows;
    for (shared<row> next; !(next = parse_row(position, *columns)).empty();)
        rows.push_back(next);
    ASSERT_EQ(rows.size(), 2000u);
    sort_unique(rows);
    std::ostringstream want;
    for (const auto& [first, second, third] : distinct)
        want << "'" << first << "', " << second << ", '" << third << "'\n";
    EXPECT_EQ(rows_text(rows), want.str());
}

// A projection is built sorted and without repeats, either by one pass over
// a sorted table (a prefix of its columns) or by sorting on the projected
// values; only kept rows are built, and they share the source's values.
TEST(RelationTest, ProjectionsAreSortedAndUnique)
{
    struct example {
        std::vector<std::size_t> indexes;
        bool prefix_of_sorted;
        const char* kept;
    };
    const example examples[] = {
        {{0}, true, "1\n2\n3\n"},
        {{0}, false, "1\n2\n3\n"},
        {{1}, false, "-4\n7\n9\n"},
        {{1, 0}, false, "-4, 2\n7, 1\n7, 3\n9, 1\n"},
        {{0, 1}, true, "1, 7\n1, 9\n2, -4\n3, 7\n"},
    };
    row_list source;
    for (auto [first, second] : {std::pair{1, 7}, {1, 9}, {2, -4}, {3, 7}})
        source.push_back(int_row({first, second}));
    sort_unique(source);
    for (const auto& each : examples) {
        row_list projected = project_unique(source, each.indexes, each.prefix_of_sorted);
        EXPECT_EQ(rows_text(projected), each.kept);
        for (const auto& built : projected)
            EXPECT_FALSE((*built)[0].unique()) << "values are shared with the source rows";
    }
    EXPECT_TRUE(project_unique(row_list(), {0}, false).empty());
}

TEST(RelationTest, ReadingRows)
{
    struct example {
        const char* schema;
        const char* source;
        const char* row;     // the row read, or null for no row
        const char* rest;    // what remains after the row
        const char* message; // the error instead, if any
    };
    const example examples[] = {
        {"R(a int, b int)", "1,2", "1, 2\n", "\n", nullptr},
        {"R(a int, b int)", " 1 ,\n 2 3", "1, 2\n", " 3\n", nullptr},
        {"R(a int, b int)", "1, 2, 3", "1, 2\n", ", 3\n", nullptr},
        {"R(a int, b int)", "x, 1", nullptr, nullptr, nullptr},
        {"R(a int, b int)", "", nullptr, nullptr, nullptr},
        {"R(a char(3), b int)", "'abc', 1", "'abc', 1\n", "\n", nullptr},
        {"R(a char(3), b int)", "'abcd', 1", nullptr, nullptr, nullptr},
        {"R(a int, b int)", "1 2", nullptr, nullptr,
         "Expected , between field values in line 1, column 2, before ` 2\\n'."},
        {"R(a int, b int)", "1\n\n", nullptr, nullptr,
         "Expected , between field values in line 1, column 2, before `\\n\\n'."},
        {"R(a int, b char(3))", "1, 'abcd'", nullptr, nullptr,
         "Cannot parse char(3) field in line 1, column 3, before ` 'abcd'\\n'."},
        {"R(a int, b int)", "1, x", nullptr, nullptr, "Cannot parse int field in line 1, column 3, before ` x\\n'."},
        {"R(a int, b int)", "1,", nullptr, nullptr, "Cannot parse int field in line 1, column 3, before `\\n'."},
        {"R(a int, b int, c int)", "1, 2 3", nullptr, nullptr,
         "Expected , between field values in line 1, column 5, before ` 3\\n'."},
        {"R(a int, b int)", "1, 2147483648", nullptr, nullptr,
         "Cannot parse int field in line 1, column 3, before ` 2147483648\\n'."},
    };
    for (const auto& each : examples) {
        SCOPED_TRACE(std::string(each.schema) + " " + each.source);
        shared<schema> columns = read_schema(each.schema);
        text input{std::string(each.source)};
        text::iterator position = input.begin();
        shared<row> result;
        std::string message = error_of([&] { result = parse_row(position, *columns); });
        EXPECT_EQ(message, each.message ? each.message : "<no error>");
        if (each.row != nullptr) {
            EXPECT_EQ(written(result), each.row);
            EXPECT_EQ(std::string(position.rest()), each.rest);
        } else {
            EXPECT_TRUE(result.empty());
            EXPECT_EQ(std::string(position.rest()), input.content());
        }
    }
}

TEST(RelationTest, DistinctNames)
{
    auto columns_named = [](std::vector<const char*> names) {
        column_list columns;
        for (const char* name : names) {
            text input(std::string(name) + " int");
            text::iterator position = input.begin();
            columns.push_back(parse_column(position));
        }
        return columns;
    };
    EXPECT_TRUE(has_distinct_names(columns_named({})));
    EXPECT_TRUE(has_distinct_names(columns_named({"a"})));
    EXPECT_TRUE(has_distinct_names(columns_named({"b", "a", "c"})));
    EXPECT_TRUE(has_distinct_names(columns_named({"a", "A"})));
    EXPECT_FALSE(has_distinct_names(columns_named({"a", "b", "a"})));
    EXPECT_FALSE(has_distinct_names(columns_named({"c", "b", "a", "z", "y", "b"})));

    // Types play no part; the message names the whole schema.
    EXPECT_EQ(error_of([] { read_schema("R(a int, a char(5))"); }), "Duplicate columns in R(a int, a char(5)).");
    EXPECT_EQ(written(read_schema("R( a  int ,b char ( 5 ) )")), "R(a int, b char(5))");
}

TEST(RelationTest, Coercion)
{
    struct example {
        const char* b;
        const char* result; // the coerced schema, or the message
    };
    const char* a_text = "R(a int, b char(5))";
    const example examples[] = {
        {"S(a int, b char(9))", "(a int, b char(9))"},
        {"S(a int, b char(2))", "(a int, b char(5))"},
        {"R(a int, b char(5))", "(a int, b char(5))"},
        {"S(b int, a char(5))", "Cannot coerce R(a int, b char(5)) and S(b int, a char(5))."},
        {"S(a int)", "Cannot coerce R(a int, b char(5)) and S(a int)."},
        {"S(a int, b char(5), c int)", "Cannot coerce R(a int, b char(5)) and S(a int, b char(5), c int)."},
        {"S(A int, b char(5))", "Cannot coerce R(a int, b char(5)) and S(A int, b char(5))."},
        {"S(a char(3), b char(5))",
         "Cannot coerce R(a int, b char(5)) and S(a char(3), b char(5)): Type mismatch between int and char(3)."},
        {"S(a int, b int)",
         "Cannot coerce R(a int, b char(5)) and S(a int, b int): Type mismatch between char(5) and int."},
    };
    for (const auto& each : examples) {
        shared<schema> a = read_schema(a_text);
        shared<schema> b = read_schema(each.b);
        shared<schema> result;
        std::string message = error_of([&] { result = coerce(a, b); });
        EXPECT_EQ(result.empty() ? message : written(result), each.result);
        // The operands are not changed.
        EXPECT_EQ(written(a), a_text);
        EXPECT_EQ(written(b), each.b);
        if (result.empty())
            continue;
        // The result keeps a's very name handles and no schema name.
        EXPECT_TRUE(result->name().empty());
        for (std::size_t i = 0; i < a->columns().size(); ++i)
            EXPECT_EQ(result->columns()[i]->name().get(), a->columns()[i]->name().get());
    }
}

TEST(RelationTest, RowsOfEveryWidthGoBackWhereTheyCameFrom)
{
    // A row and its handles are one allocation: up to 170 values from the
    // pool's chunks, wider ones on their own. Each is released with the
    // size it was made with, so every chunk it took comes free again.
    std::size_t before = pool::chunks_in_use();
    {
        std::vector<shared<row>> rows;
        const std::size_t widths[] = {0, 1, 4, 169, 170, 171, 400};
        for (int copy = 0; copy < 50; ++copy)
            for (std::size_t width : widths)
                rows.push_back(row::make(width, [&](shared<value>* slots) {
                    for (std::size_t i = 0; i < width; ++i)
                        slots[i] = shared<value>(new integer_value(copy));
                }));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            ASSERT_EQ(rows[i]->size(), widths[i % (sizeof widths / sizeof widths[0])]);
            for (const shared<value>& each : *rows[i])
                ASSERT_EQ(static_cast<const integer_value&>(*each).number(), static_cast<int>(i / 7));
        }
    }
    // At most the chunk being carved stays behind.
    EXPECT_LE(pool::chunks_in_use(), before + 1);
}

} // namespace
} // namespace qorvantel
