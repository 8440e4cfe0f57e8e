// The memory the process may use, and the data limit that holds it to that.
#include "text/memory.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

namespace qorvantel {

namespace {

constexpr std::uint64_t unlimited = std::numeric_limits<std::uint64_t>::max();

// What the data limit does not count, held back from the limits that count
// everything the process holds: its code and libraries (5 MB), its stack,
// the kernel's page tables for its memory (a 512th of it), and a little
// page cache, which the kernel can reclaim anyway. 16 MiB and a 32nd leave
// a 256 MiB control group 232 MiB of data, a 1 GiB one 976 MiB.
std::uint64_t less_held_back(std::uint64_t limit)
{
    if (limit == unlimited)
        return limit;
    std::uint64_t held_back = (std::uint64_t{16} << 20) + limit / 32;
    return limit - std::min(held_back, limit / 2);
}

// The memory a machine under passing pressure reports as available can be
// briefly very low; a budget below this would make the program useless
// rather than safe.
constexpr std::uint64_t least_available_budget = std::uint64_t{64} << 20;

// A file holding one decimal number of bytes, or "max" for none.
std::uint64_t limit_in_file(const std::string& path)
{
    std::ifstream file(path);
    std::string word;
    if (!(file >> word) || word.empty() || word.find_first_not_of("0123456789") != std::string::npos)
        return unlimited;
    errno = 0;
    unsigned long long bytes = std::strtoull(word.c_str(), nullptr, 10);
    return errno == 0 ? static_cast<std::uint64_t>(bytes) : unlimited;
}

// The lowest limit in file_name along the group path and its ancestors:
// each enclosing group's limit applies as well. A directory that is not
// there (a hierarchy mounted from inside the group, as in a container) is
// passed over, down to the mount's own root.
std::uint64_t lowest_along(const std::string& root, std::string path, const char* file_name)
{
    std::uint64_t lowest = unlimited;
    for (;;) {
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        std::string directory = path == "/" || path.empty() ? root : root + path;
        lowest = std::min(lowest, limit_in_file(directory + "/" + file_name));
        if (path == "/" || path.empty())
            return lowest;
        path.erase(path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
    }
}

bool lists_memory(const std::string& controllers)
{
    std::istringstream list(controllers);
    std::string each;
    while (std::getline(list, each, ','))
        if (each == "memory")
            return true;
    return false;
}

std::uint64_t find_usable_memory() noexcept
{
    std::uint64_t usable = unlimited;
    try {
        long pages = sysconf(_SC_PHYS_PAGES);
        long page_size = sysconf(_SC_PAGE_SIZE);
        if (pages > 0 && page_size > 0)
            usable = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
#ifndef __EMSCRIPTEN__
        // The browser's module has no file system to read them from: its
        // memory is its own heap, which sysconf reports.
        std::uint64_t available = memory_detail::available_memory("/proc/meminfo");
        if (available != unlimited)
            usable = std::min(usable, std::max(less_held_back(available), least_available_budget));
        usable = std::min(usable,
                          less_held_back(memory_detail::control_group_limit("/proc/self/cgroup", "/sys/fs/cgroup",
                                                                            "/sys/fs/cgroup/memory")));
#endif
    } catch (...) {
        // Out of memory while reading the limits: keep what was found.
    }
    for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit{};
        if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            usable = std::min<std::uint64_t>(usable, limit.rlim_cur);
    }
    return usable;
}

} // namespace

namespace memory_detail {

std::uint64_t control_group_limit(const char* cgroup_list, const char* unified_root, const char* memory_root)
{
    std::uint64_t lowest = unlimited;
    std::ifstream list(cgroup_list);
    std::string line;
    // Lines of "id:controllers:path"; version 2 has id 0 and no controllers.
    while (std::getline(list, line)) {
        std::string::size_type first = line.find(':');
        std::string::size_type second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos)
            continue;
        std::string id = line.substr(0, first);
        std::string controllers = line.substr(first + 1, second - first - 1);
        std::string path = line.substr(second + 1);
        if (id == "0" && controllers.empty())
            lowest = std::min(lowest, lowest_along(unified_root, path, "memory.max"));
        else if (lists_memory(controllers))
            lowest = std::min(lowest, lowest_along(memory_root, path, "memory.limit_in_bytes"));
    }
    return lowest;
}

std::uint64_t available_memory(const char* meminfo)
{
    std::ifstream file(meminfo);
    std::string name;
    std::uint64_t amount = 0;
    std::string unit;
    while (file >> name >> amount) {
        std::getline(file, unit);
        if (name == "MemAvailable:")
            return unit.find("kB") != std::string::npos ? amount * 1024 : amount;
    }
    return unlimited;
}

} // namespace memory_detail

std::uint64_t usable_memory() noexcept
{
    static const std::uint64_t usable = find_usable_memory();
    return usable;
}

void limit_memory() noexcept
{
#if !defined(QORVANTEL_PLAIN_ALLOCATION) && !defined(__SANITIZE_ADDRESS__) && !defined(__EMSCRIPTEN__)
    std::uint64_t budget = usable_memory();
    rlimit limit{};
    if (budget == unlimited || getrlimit(RLIMIT_DATA, &limit) != 0)
        return;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= budget)
        return;
    limit.rlim_cur = static_cast<rlim_t>(budget);
    setrlimit(RLIMIT_DATA, &limit);
#endif
}

} // namespace qorvantel
