// How much memory the process may use at most: the smaller of the machine's
// physical memory and the address-space and data limits set on the process.
// An operator whose result is known in advance to exceed it can refuse at
// once, rather than be ended by the system half way.
#pragma once

#include <cstdint>

namespace qorvantel {

// In bytes; the largest value when nothing can be found out.
std::uint64_t usable_memory() noexcept;

} // namespace qorvantel
