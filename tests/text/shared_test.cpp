// The handle ring: every object is deleted exactly once, when its last handle
// goes, whatever the order of copies, assignments, moves and relocations.
#include "text/dumpable.h"
#include "text/shared.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qorvantel {
namespace {

// Counts constructions and records which objects were deleted, so a double
// delete or a leak shows up as a wrong count rather than as silence.
class tracked : public dumpable {
public:
    explicit tracked(int id) : id_(id) { ++constructed; }
    ~tracked() override { deleted.push_back(id_); }

    int id() const { return id_; }
    std::ostream& operator>>(std::ostream& out) const override { return out << "t" << id_; }

    static int constructed;
    static std::vector<int> deleted;

    static int deletions_of(int id) { return static_cast<int>(std::count(deleted.begin(), deleted.end(), id)); }

private:
    int id_;
};

int tracked::constructed = 0;
std::vector<int> tracked::deleted;

using handle = shared<tracked>;

class SharedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tracked::constructed = 0;
        tracked::deleted.clear();
    }
    void TearDown() override
    {
        // Every test releases all its handles: nothing leaks, nothing is
        // deleted twice.
        EXPECT_EQ(static_cast<int>(tracked::deleted.size()), tracked::constructed);
    }
};

TEST_F(SharedTest, CopiesDestroyedInAnyOrderDeleteOnceWhenTheLastGoes)
{
    std::array<int, 3> order{0, 1, 2};
    int round = 0;
    do {
        ++round;
        std::array<std::optional<handle>, 3> copies;
        copies[0].emplace(new tracked(round));
        copies[1].emplace(*copies[0]);
        copies[2].emplace(*copies[1]);
        for (std::size_t step = 0; step < order.size(); ++step) {
            EXPECT_EQ(tracked::deletions_of(round), 0) << "round " << round << " step " << step;
            copies[order[step]].reset();
        }
        EXPECT_EQ(tracked::deletions_of(round), 1) << "round " << round;
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(round, 6);
}

TEST_F(SharedTest, CopyOfEmptyHandleIsEmptyAndAlone)
{
    handle empty;
    {
        handle copy(empty);
        EXPECT_TRUE(copy.empty() && copy.unique() && empty.unique());
    }
    EXPECT_TRUE(empty.unique());
}

TEST_F(SharedTest, AssignmentOfTheSameObjectChangesNothing)
{
    handle a(new tracked(1));
    handle& alias = a;
    a = alias;
    EXPECT_TRUE(a.unique());
    EXPECT_EQ(a->id(), 1);

    handle b(a);
    a = b;
    b = a;
    EXPECT_FALSE(a.unique());
    EXPECT_TRUE(tracked::deleted.empty());
    b = handle();
    EXPECT_TRUE(a.unique());
    EXPECT_EQ(a->id(), 1);
    EXPECT_TRUE(tracked::deleted.empty());
}

TEST_F(SharedTest, AssigningANewObjectToTheOnlyHandleDeletesTheOld)
{
    handle a(new tracked(1));
    a = handle(new tracked(2));
    EXPECT_EQ(tracked::deletions_of(1), 1);
    EXPECT_EQ(a->id(), 2);
    EXPECT_TRUE(a.unique());

    a = handle();
    EXPECT_EQ(tracked::deletions_of(2), 1);
    EXPECT_TRUE(a.empty());
}

TEST_F(SharedTest, AssignmentLeavesOneRingAndJoinsAnother)
{
    handle a(new tracked(1));
    handle keeper(a);
    handle b(new tracked(2));

    a = b; // object 1 still held by keeper
    EXPECT_TRUE(tracked::deleted.empty());
    EXPECT_TRUE(keeper.unique());
    EXPECT_EQ(a->id(), 2);

    b = handle(); // object 2 still held by a
    EXPECT_TRUE(tracked::deleted.empty());
    EXPECT_TRUE(a.unique());

    keeper = handle();
    EXPECT_EQ(tracked::deleted, std::vector<int>{1});
}

TEST_F(SharedTest, MovesKeepRingsConsistent)
{
    // Moving out of a ring of three: the new handle stands in its place.
    handle a(new tracked(1));
    handle b(a);
    handle c(b);
    handle moved(std::move(b));
    EXPECT_EQ(moved->id(), 1);
    a = handle();
    c = handle();
    EXPECT_TRUE(moved.unique());
    EXPECT_TRUE(tracked::deleted.empty());

    // Moving the only handle of an object.
    handle lone(new tracked(2));
    handle taken(std::move(lone));
    EXPECT_TRUE(taken.unique());
    EXPECT_EQ(taken->id(), 2);

    // Move assignment over the only handle of another object deletes it.
    taken = std::move(moved);
    EXPECT_EQ(tracked::deleted, std::vector<int>{2});
    EXPECT_EQ(taken->id(), 1);
    EXPECT_TRUE(taken.unique());

    // Move assignment between handles of the same object, and onto itself.
    handle twin(taken);
    taken = std::move(twin);
    handle& alias = taken;
    taken = std::move(alias);
    EXPECT_EQ(taken->id(), 1);
    EXPECT_EQ(tracked::deleted, std::vector<int>{2});
    twin = handle();
    EXPECT_TRUE(taken.unique());
    taken = handle();
    EXPECT_EQ(tracked::deletions_of(1), 1);
}

TEST_F(SharedTest, GrowingVectorKeepsEveryRingIntact)
{
    // Even ids are also held outside the vector; odd ids only inside it.
    constexpr int count = 1000;
    std::vector<handle> outside;
    {
        std::vector<handle> list;
        for (int id = 0; id < count; ++id) {
            handle fresh(new tracked(id));
            list.push_back(fresh);
            if (id % 2 == 0)
                outside.push_back(fresh);
        }
        // Insertions at the front shift every element as well.
        for (int id = count; id < count + 10; ++id)
            list.insert(list.begin(), handle(new tracked(id)));
        EXPECT_TRUE(tracked::deleted.empty());
        ASSERT_EQ(list.size(), static_cast<std::size_t>(count + 10));
        for (int id = 0; id < count; ++id)
            EXPECT_EQ(list[static_cast<std::size_t>(id + 10)]->id(), id);
        for (const handle& each : list)
            EXPECT_EQ(each.unique(), each->id() % 2 != 0 || each->id() >= count) << each->id();
    }
    // The vector's handles are gone: exactly the objects nobody else holds.
    std::vector<int> deleted = tracked::deleted;
    std::sort(deleted.begin(), deleted.end());
    std::vector<int> expected;
    for (int id = 1; id < count; id += 2)
        expected.push_back(id);
    for (int id = count; id < count + 10; ++id)
        expected.push_back(id);
    EXPECT_EQ(deleted, expected);
    for (const handle& each : outside) {
        EXPECT_TRUE(each.unique());
        EXPECT_EQ(each->id() % 2, 0);
    }
    outside.clear();
    EXPECT_EQ(static_cast<int>(tracked::deleted.size()), count + 10);
}

TEST_F(SharedTest, EmptyHandleDereferenceThrows)
{
    handle empty;
    try {
        (void)*empty;
        ADD_FAILURE() << "no exception from *";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "shared: invalid dereference");
    }
    try {
        (void)empty->id();
        ADD_FAILURE() << "no exception from ->";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "shared: invalid dereference");
    }
}

TEST_F(SharedTest, WritingHandlesAndSeparatedLists)
{
    handle t1(new tracked(1));
    handle t2(new tracked(2));
    handle t3(new tracked(3));
    handle none;
    struct example {
        std::vector<handle> list;
        const char* written;
    };
    const example examples[] = {
        {{}, ""},
        {{t1}, "t1"},
        {{t1, t2, t3}, "t1, t2, t3"},
        {{none}, ""},
        {{t1, none, t3}, "t1, , t3"},
        {{none, none}, ", "},
    };
    for (const auto& each : examples) {
        std::ostringstream out;
        out << separated(each.list);
        EXPECT_EQ(out.str(), each.written);
    }
    std::ostringstream out;
    out << none << t2;
    EXPECT_EQ(out.str(), "t2");
}

} // namespace
} // namespace qorvantel
