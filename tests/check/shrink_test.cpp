// The shrinker's promise: what it returns still fails, and removing any one
// item makes the failure go. Checked over failures of different shapes.
#include "check/shrink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <vector>

namespace qorvantel {
namespace {

using subset = std::vector<std::size_t>;
using failure = std::function<bool(const subset&)>;

bool holds(const subset& items, std::size_t item) { return std::find(items.begin(), items.end(), item) != items.end(); }

subset range(std::size_t n)
{
    subset items(n);
    for (std::size_t i = 0; i < n; ++i)
        items[i] = i;
    return items;
}

void expect_one_minimal(const subset& result, const failure& fails)
{
    EXPECT_TRUE(fails(result));
    for (std::size_t i = 0; i < result.size(); ++i) {
        subset rest = result;
        rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(i));
        EXPECT_FALSE(fails(rest)) << "item " << result[i] << " could still be removed";
    }
}

TEST(Shrink, FailuresOfManyShapesShrinkToOneMinimalSets)
{
    struct shape {
        const char* name;
        std::size_t items;
        failure fails;
        std::size_t expected_size;
    };
    const std::vector<shape> shapes = {
        {"one item", 100, [](const subset& s) { return holds(s, 37); }, 1},
        {"two far apart", 100, [](const subset& s) { return holds(s, 3) && holds(s, 96); }, 2},
        {"three items", 64, [](const subset& s) { return holds(s, 1) && holds(s, 30) && holds(s, 63); }, 3},
        {"either of two", 50, [](const subset& s) { return holds(s, 10) || holds(s, 40); }, 1},
        {"at least four items", 40, [](const subset& s) { return s.size() >= 4; }, 4},
        {"an even count of at least two", 32, [](const subset& s) { return s.size() >= 2 && s.size() % 2 == 0; }, 2},
        {"no rows at all", 20, [](const subset&) { return true; }, 0},
        // Fails while the number of odd items differs from the number of
        // even ones: not monotone, the kind a duplicate row or a minus makes.
        {"odd against even", 31,
         [](const subset& s) {
             std::size_t odd
                 = static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](std::size_t i) { return i % 2; }));
             return odd != s.size() - odd;
         },
         1},
    };
    for (const shape& each : shapes) {
        SCOPED_TRACE(each.name);
        ASSERT_TRUE(each.fails(range(each.items)));
        subset result = shrink_to_minimal(range(each.items), each.fails);
        expect_one_minimal(result, each.fails);
        EXPECT_EQ(result.size(), each.expected_size);
        EXPECT_TRUE(std::is_sorted(result.begin(), result.end()));
    }
}

TEST(Shrink, ItemsComeBackInOrderWhateverTheirGivenOrder)
{
    subset items = {9, 2, 7, 2, 5};
    failure fails = [](const subset& s) { return holds(s, 7) && holds(s, 2); };
    EXPECT_EQ(shrink_to_minimal(items, fails), (subset{2, 7}));
}

TEST(Shrink, StaysCheapOnAHundredRowsWithOneCulprit)
{
    std::size_t calls = 0;
    failure fails = [&](const subset& s) {
        ++calls;
        return holds(s, 61);
    };
    shrink_to_minimal(range(200), fails);
    EXPECT_LT(calls, 40U);
}

} // namespace
} // namespace qorvantel
