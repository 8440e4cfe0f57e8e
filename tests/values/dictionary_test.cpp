// The value dictionary: what it reads is exactly what the type would read,
// repeats share one object, and columns that do not repeat are given up
// without changing any result.
#include "values/dictionary.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qorvantel {
namespace {

using testing::written;

struct read_result {
    std::string value; // written form, or "<none>"
    std::size_t rest;  // characters left after the position
};

// Reads one field of the type at the start of source, through a dictionary
// and plainly, and checks the two agree.
read_result read_both(value_dictionary& dictionary, const type& field_type, const std::string& source,
                      std::vector<std::unique_ptr<shared<value>>>& keep)
{
    text through_dictionary(source);
    text plain(source);
    text::iterator at = through_dictionary.begin();
    text::iterator plain_at = plain.begin();
    keep.push_back(std::make_unique<shared<value>>());
    shared<value>& slot = *keep.back();
    dictionary.read(0, field_type, at, slot);
    shared<value> expected = field_type.parse(plain_at);
    EXPECT_EQ(slot.empty(), expected.empty()) << source;
    EXPECT_EQ(at.rest().size(), plain_at.rest().size()) << source;
    if (slot.empty())
        return {"<none>", at.rest().size()};
    EXPECT_EQ(written(*slot), written(*expected)) << source;
    return {written(*slot), at.rest().size()};
}

TEST(ValueDictionary, ReadsWhatTheTypeReads)
{
    integer_type integer;
    string_type short_string(3);
    struct case_ {
        const type& field_type;
        const char* source;
        const char* value;
    };
    const case_ cases[] = {
        {integer, "42, x", "42"},
        {integer, "  -7", "-7"},
        {integer, "+5", "5"},
        {integer, "2147483648", "<none>"},
        {integer, "'a'", "<none>"},
        {integer, "", "<none>"},
        {short_string, "'abc'", "'abc'"},
        {short_string, "'abcd'", "<none>"},
        {short_string, "''", "''"},
        {short_string, "'ab", "<none>"},
        {short_string, "7", "<none>"},
    };
    for (const case_& each : cases) {
        value_dictionary dictionary(1);
        std::vector<std::unique_ptr<shared<value>>> keep;
        // Twice: the second read goes through the remembered value.
        EXPECT_EQ(read_both(dictionary, each.field_type, each.source, keep).value, each.value) << each.source;
        EXPECT_EQ(read_both(dictionary, each.field_type, each.source, keep).value, each.value) << each.source;
    }
}

TEST(ValueDictionary, RepeatsShareOneObjectPerColumn)
{
    integer_type integer;
    string_type name(10);
    value_dictionary dictionary(3);
    std::vector<std::unique_ptr<shared<value>>> slots;
    auto read = [&](std::size_t column, const type& field_type, const char* source) -> const value* {
        text input{std::string(source)};
        text::iterator at = input.begin();
        slots.push_back(std::make_unique<shared<value>>());
        dictionary.read(column, field_type, at, *slots.back());
        return slots.back()->get();
    };
    const value* five = read(0, integer, "5");
    EXPECT_EQ(read(0, integer, "+5"), five);
    EXPECT_EQ(read(0, integer, "05"), five);
    EXPECT_NE(read(0, integer, "6"), five);
    const value* ann = read(1, name, "'Ann'");
    EXPECT_EQ(read(1, name, "'Ann'"), ann);
    EXPECT_NE(read(1, name, "'Anne'"), ann);
    // The columns are apart: the same number in another column is another
    // object.
    EXPECT_NE(read(2, integer, "5"), five);
    // Releasing the handles in any order ends each value once (the
    // sanitizer build checks that nothing is freed twice or left behind).
    for (std::size_t i = 0; i < slots.size(); i += 2)
        slots[i]->release();
    EXPECT_EQ(written(*slots[1]->get()), "5");
    slots.clear();
}

TEST(ValueDictionary, AColumnOfDistinctValuesIsGivenUpWithoutChangingWhatIsRead)
{
    integer_type integer;
    value_dictionary dictionary(1);
    std::vector<std::unique_ptr<shared<value>>> slots;
    // Far more distinct numbers than a table holds, then repeats of early
    // and late ones: every value read must still be the number written.
    std::vector<int> numbers;
    for (int i = 0; i < 200000; ++i)
        numbers.push_back(i * 7919 % 1000003);
    for (int i = 0; i < 1000; ++i)
        numbers.push_back(numbers[static_cast<std::size_t>(i * 97)]);
    for (int number : numbers) {
        text input(std::to_string(number));
        text::iterator at = input.begin();
        slots.push_back(std::make_unique<shared<value>>());
        dictionary.read(0, integer, at, *slots.back());
        ASSERT_FALSE(slots.back()->empty());
        ASSERT_EQ(static_cast<const integer_value&>(**slots.back()).number(), number);
    }
}

} // namespace
} // namespace qorvantel
