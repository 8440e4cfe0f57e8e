// Delta debugging over item indexes.
#include "check/shrink.h"

#include <algorithm>

namespace qorvantel {

namespace {
using subset = std::vector<std::size_t>;

// The items split into n parts of near-equal size, in order.
std::vector<subset> split(const subset& items, std::size_t n)
{
    std::vector<subset> parts(n);
    std::size_t start = 0;
    for (std::size_t p = 0; p < n; ++p) {
        std::size_t size = (items.size() - start) / (n - p);
        parts[p].assign(items.begin() + static_cast<std::ptrdiff_t>(start),
                        items.begin() + static_cast<std::ptrdiff_t>(start + size));
        start += size;
    }
    return parts;
}

subset without(const subset& items, const subset& removed)
{
    subset kept;
    std::set_difference(items.begin(), items.end(), removed.begin(), removed.end(), std::back_inserter(kept));
    return kept;
}
} // namespace

std::vector<std::size_t> shrink_to_minimal(std::vector<std::size_t> items,
                                           const std::function<bool(const std::vector<std::size_t>&)>& fails)
{
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
    // The empty set first: many differences need no rows at all.
    if (!items.empty() && fails({}))
        return {};
    std::size_t granularity = 2;
    while (items.size() >= 2) {
        granularity = std::min(granularity, items.size());
        std::vector<subset> parts = split(items, granularity);
        bool reduced = false;
        for (const subset& part : parts) {
            if (fails(part)) {
                items = part;
                granularity = 2;
                reduced = true;
                break;
            }
        }
        if (!reduced && granularity > 2) {
            for (const subset& part : parts) {
                subset rest = without(items, part);
                if (fails(rest)) {
                    items = std::move(rest);
                    granularity = std::max<std::size_t>(granularity - 1, 2);
                    reduced = true;
                    break;
                }
            }
        }
        if (!reduced) {
            if (granularity >= items.size())
                break;
            granularity = std::min(items.size(), granularity * 2);
        }
    }
    // At the finest granularity delta debugging has tried every single
    // removal, but only of the set it ended with; one last sweep makes the
    // 1-minimality plain whatever path the search took.
    for (bool removed = true; removed;) {
        removed = false;
        for (std::size_t i = 0; i < items.size(); ++i) {
            subset rest = items;
            rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(i));
            if (fails(rest)) {
                items = std::move(rest);
                removed = true;
                break;
            }
        }
    }
    return items;
}

} // namespace qorvantel
