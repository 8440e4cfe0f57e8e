// Shrinking a failing input to a 1-minimal one: a subset on which the
// failure remains and from which no single item can be removed without
// losing it. Delta debugging (halves, then ever finer parts, trying each
// part and each complement), then single removals until none succeeds.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace qorvantel {

// fails(subset) tells whether the failure holds on a subset of items, given
// in the items' order; fails(items) must be true. Returns a 1-minimal
// subset, in the items' order.
std::vector<std::size_t> shrink_to_minimal(std::vector<std::size_t> items,
                                           const std::function<bool(const std::vector<std::size_t>&)>& fails);

} // namespace qorvantel
