// The memory the process may use.
#include "text/memory.h"

#include <algorithm>
#include <limits>

#include <sys/resource.h>
#include <unistd.h>

namespace qorvantel {

std::uint64_t usable_memory() noexcept
{
    std::uint64_t usable = std::numeric_limits<std::uint64_t>::max();
    long pages = sysconf(_SC_PHYS_PAGES);
    long page_size = sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && page_size > 0)
        usable = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
    for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit{};
        if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            usable = std::min<std::uint64_t>(usable, limit.rlim_cur);
    }
    return usable;
}

} // namespace qorvantel
