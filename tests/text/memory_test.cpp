// The memory budget's sources: control group limits along the group's path,
// in either hierarchy, and the machine's available memory. Each case builds
// the files in a directory of its own, as the kernel would show them.
#include "text/memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace qorvantel {
namespace {

namespace fs = std::filesystem;
constexpr std::uint64_t unlimited = std::numeric_limits<std::uint64_t>::max();

struct control_group_case {
    const char* name;
    const char* cgroup_list;
    // Files relative to the folder holding both hierarchies ("v2", "v1").
    std::vector<std::pair<const char*, const char*>> files;
    std::uint64_t expected;
};

const std::vector<control_group_case> control_group_cases = {
    {"version 2, limit on the group itself", "0::/user/job\n", {{"v2/user/job/memory.max", "268435456\n"}}, 268435456},
    {"version 2, an enclosing group's limit is lower",
     "0::/user/job\n",
     {{"v2/user/job/memory.max", "max\n"}, {"v2/user/memory.max", "1073741824\n"}},
     1073741824},
    {"version 2, no limit anywhere", "0::/user/job\n", {{"v2/user/job/memory.max", "max\n"}}, unlimited},
    {"version 1, the lower of the group and its parent",
     "12:pids:/a\n4:memory:/a/b\n1:cpu,cpuacct:/a\n",
     {{"v1/a/b/memory.limit_in_bytes", "9223372036854771712\n"}, {"v1/a/memory.limit_in_bytes", "536870912\n"}},
     536870912},
    {"version 1, memory listed with other controllers",
     "4:cpuset,memory:/a\n",
     {{"v1/a/memory.limit_in_bytes", "1000\n"}},
     1000},
    {"a container: the path is not there below the mount, whose root holds the limit",
     "4:memory:/docker/0123abcd\n0::/docker/0123abcd\n",
     {{"v1/memory.limit_in_bytes", "700000000\n"}, {"v2/memory.max", "800000000\n"}},
     700000000},
    {"both hierarchies: the lower limit",
     "4:memory:/\n0::/\n",
     {{"v1/memory.limit_in_bytes", "900\n"}, {"v2/memory.max", "800\n"}},
     800},
    {"a controller named like memory is not memory",
     "4:memory_x:/a\n",
     {{"v1/a/memory.limit_in_bytes", "5\n"}},
     unlimited},
    {"unreadable contents count as no limit",
     "0::/a\n",
     {{"v2/a/memory.max", "-5\n"}, {"v2/memory.max", "\n"}},
     unlimited},
    {"a number too large counts as no limit", "0::/a\n", {{"v2/a/memory.max", "99999999999999999999999\n"}}, unlimited},
    {"malformed lines are passed over", "garbage\n0:/a\n", {{"v2/a/memory.max", "5\n"}}, unlimited},
    {"no list at all", nullptr, {}, unlimited},
};

class MemoryFiles : public ::testing::Test {
protected:
    fs::path directory = fs::temp_directory_path() / ("qorvantel_memory_test_" + std::to_string(getpid()));
    void SetUp() override { fs::create_directories(directory); }
    void TearDown() override { fs::remove_all(directory); }
    std::string write(const std::string& relative, const std::string& contents)
    {
        fs::path path = directory / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << contents;
        return path.string();
    }
};

TEST_F(MemoryFiles, ControlGroupLimitIsTheLowestAlongThePath)
{
    for (const auto& each : control_group_cases) {
        fs::remove_all(directory);
        fs::create_directories(directory / "v1");
        fs::create_directories(directory / "v2");
        for (const auto& [path, contents] : each.files)
            write(path, contents);
        std::string list = each.cgroup_list ? write("cgroup", each.cgroup_list) : (directory / "none").string();
        EXPECT_EQ(
            memory_detail::control_group_limit(list.c_str(), (directory / "v2").c_str(), (directory / "v1").c_str()),
            each.expected)
            << each.name;
    }
}

TEST_F(MemoryFiles, AvailableMemoryIsMemAvailableInBytes)
{
    std::string meminfo = write("meminfo",
                                "MemTotal:       24683848 kB\n"
                                "MemFree:        21718140 kB\n"
                                "MemAvailable:   23684628 kB\n"
                                "Buffers:          123456 kB\n");
    EXPECT_EQ(memory_detail::available_memory(meminfo.c_str()), std::uint64_t{23684628} * 1024);
    std::string old_kernel = write("old", "MemTotal:       24683848 kB\nMemFree:        21718140 kB\n");
    EXPECT_EQ(memory_detail::available_memory(old_kernel.c_str()), unlimited);
    EXPECT_EQ(memory_detail::available_memory((directory / "none").c_str()), unlimited);
}

TEST(Memory, BudgetIsBelowThePhysicalMemoryAndStable)
{
    std::uint64_t physical
        = static_cast<std::uint64_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<std::uint64_t>(sysconf(_SC_PAGE_SIZE));
    EXPECT_GT(usable_memory(), 0u);
    EXPECT_LE(usable_memory(), physical);
    EXPECT_EQ(usable_memory(), usable_memory());
}

// Past the budget an allocation fails rather than the process growing until
// the kernel ends it. Without the limit the allocation below would succeed:
// untouched memory within the machine's size is promised freely.
TEST(Memory, AllocationPastTheBudgetFailsOnceLimited)
{
#if defined(QORVANTEL_PLAIN_ALLOCATION) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "sanitizer builds set no data limit";
#else
    limit_memory();
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_DATA, &limit), 0);
    ASSERT_NE(limit.rlim_cur, RLIM_INFINITY);
    EXPECT_LE(limit.rlim_cur, usable_memory());
    // Allocated, never touched: the test costs no memory whatever happens.
    auto allocate = [](std::size_t bytes) {
        void* volatile kept = ::operator new(bytes);
        ::operator delete(kept);
    };
    EXPECT_THROW(allocate(static_cast<std::size_t>(usable_memory()) + 1), std::bad_alloc);
    // Memory within the budget is still there.
    EXPECT_NO_THROW(allocate(std::size_t{1} << 20));
#endif
}

} // namespace
} // namespace qorvantel
