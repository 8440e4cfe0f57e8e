// Registries of alternative parsers: trial order by rank, duplicates, the
// position on failure and the "Valid ..." message of require.
#include "parsing/parsing.h"

#include "algebra/condition.h"
#include "text/dumpable.h"
#include "values/value.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qorvantel {
namespace {

// A kind of its own for each test, so that each test has a fresh registry.
template <int Registry>
struct test_kind : parsing<test_kind<Registry>>, dumpable {
    explicit test_kind(int maker = 0) : made_by(maker) {}
    shared<test_kind> parse(text::iterator&) const override { return shared<test_kind>(); }
    std::ostream& operator>>(std::ostream& out) const override { return out << made_by; }
    int made_by;
};

std::vector<int> calls;

// An alternative that records its call and declines.
template <int Registry, int Id>
shared<test_kind<Registry>> declining(text::iterator&)
{
    calls.push_back(Id);
    return shared<test_kind<Registry>>();
}

// An alternative that records its call and reads the literal "x".
template <int Registry, int Id>
shared<test_kind<Registry>> reading_x(text::iterator& position)
{
    calls.push_back(Id);
    text::iterator working = position;
    match(working, "x");
    if (!working.valid())
        return shared<test_kind<Registry>>();
    position = working;
    return shared<test_kind<Registry>>(new test_kind<Registry>(Id));
}

template <int Registry, int Id>
shared<test_kind<Registry>> throwing(text::iterator&)
{
    calls.push_back(Id);
    throw std::runtime_error("thrown by alternative");
}

std::string rest_of(const text::iterator& position) { return std::string(position.rest()); }

TEST(RegistryTest, TrialOrderIsByRankNotByRegistration)
{
    using kind = test_kind<1>;
    parsing<kind>::add_alternative(30, declining<1, 30>);
    parsing<kind>::add_alternative(10, declining<1, 10>);
    parsing<kind>::add_alternative(40, reading_x<1, 40>);
    parsing<kind>::add_alternative(20, declining<1, 20>);
    // Registering a function again, under any rank, changes nothing.
    parsing<kind>::add_alternative(50, declining<1, 10>);
    parsing<kind>::add_alternative(5, declining<1, 30>);

    text source{std::string("  y")};
    text::iterator position = source.begin();
    calls.clear();
    EXPECT_TRUE(parsing<kind>::try_parse(position).empty());
    EXPECT_EQ(calls, (std::vector<int>{10, 20, 30, 40}));
    EXPECT_EQ(rest_of(position), "  y\n");

    text other{std::string("  x z")};
    position = other.begin();
    calls.clear();
    shared<kind> result = parsing<kind>::try_parse(position);
    ASSERT_FALSE(result.empty());
    EXPECT_EQ(result->made_by, 40);
    EXPECT_EQ(rest_of(position), " z\n");
}

TEST(RegistryTest, FirstSuccessWinsAndLaterAlternativesAreNotTried)
{
    using kind = test_kind<2>;
    parsing<kind>::add_alternative(3, throwing<2, 3>);
    parsing<kind>::add_alternative(2, reading_x<2, 2>);
    parsing<kind>::add_alternative(1, declining<2, 1>);

    text source{std::string("x")};
    text::iterator position = source.begin();
    calls.clear();
    shared<kind> result = parsing<kind>::require("widget", position);
    EXPECT_EQ(result->made_by, 2);
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));

    // An exception from an alternative passes through unchanged.
    text other{std::string("y")};
    position = other.begin();
    calls.clear();
    try {
        parsing<kind>::try_parse(position);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "thrown by alternative");
    }
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 3}));
}

TEST(RegistryTest, RequireNamesTheKindAndTheUnchangedPosition)
{
    using kind = test_kind<3>;
    parsing<kind>::add_alternative(1, reading_x<3, 1>);
    struct example {
        const char* source;
        const char* message;
    };
    const example examples[] = {
        {"  zz", "Valid widget not found in line 1, column 1, before `  zz\\n'."},
        {"", "Valid widget not found at end of text."},
        {" \n\n", "Valid widget not found in line 1, column 1, before ` \\n\\n'."},
    };
    for (const auto& each : examples) {
        text source{std::string(each.source)};
        text::iterator position = source.begin();
        try {
            parsing<kind>::require("widget", position);
            ADD_FAILURE() << "no exception for " << each.source;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), each.message);
        }
        EXPECT_EQ(rest_of(position), source.content());
    }
}

// The registries of the program: a declined parse leaves the position where
// it was, also when whitespace came first; a success moves it past the text.
TEST(RegistryTest, ProgramRegistriesMoveThePositionOnlyOnSuccess)
{
    for (const char* declined : {"  Emp", " 12", "\n 'a'"}) {
        text source{std::string(declined)};
        text::iterator position = source.begin();
        EXPECT_TRUE(parsing<condition>::try_parse(position).empty()) << declined;
        EXPECT_EQ(rest_of(position), source.content()) << declined;
    }
    struct example {
        const char* source;
        const char* written; // the value read, or null
        const char* rest;
    };
    const example values[] = {{"  'a b' x", "'a b'", " x\n"},
                              {" Emp,", "Emp", ",\n"},
                              {" -5)", "-5", ")\n"},
                              {" )", nullptr, " )\n"},
                              {" select", nullptr, " select\n"}};
    for (const auto& each : values) {
        text source{std::string(each.source)};
        text::iterator position = source.begin();
        std::ostringstream written;
        written << parsing<value>::try_parse(position);
        EXPECT_EQ(written.str(), each.written ? each.written : "") << each.source;
        EXPECT_EQ(rest_of(position), each.rest) << each.source;
    }
}

} // namespace
} // namespace qorvantel
