// How much memory the process may use, and the limit that holds it to that.
//
// The budget is the smallest of the machine's physical memory, the memory
// it has available, the limits of the memory control groups the process
// runs in, and the address-space and data limits set on the process. An
// operator whose result is known in advance to exceed it can refuse at
// once; any other growth past it fails as an allocation (std::bad_alloc)
// once limit_memory() has run, instead of the kernel ending the process
// without a word when a control group or the machine runs out.
#pragma once

#include <cstdint>

namespace qorvantel {

// In bytes; the largest value when nothing can be found out. Found out on
// the first call and the same for the rest of the run.
std::uint64_t usable_memory() noexcept;

// Sets the process's data limit (heap and private mappings, which is where
// every allocation of the interpreter lives) to usable_memory(), unless a
// lower limit is set already. Called once at start by the program; without
// effect in sanitizer builds, whose shadow memory counts as data.
void limit_memory() noexcept;

namespace memory_detail {
// The pieces of the budget, separated for testing. Each returns the largest
// value when the file is missing or holds no limit.

// The lowest memory limit along the control group path of the process, as
// listed in cgroup_list (the format of /proc/self/cgroup), under a version 2
// hierarchy mounted at unified_root or a version 1 memory hierarchy mounted
// at memory_root.
std::uint64_t control_group_limit(const char* cgroup_list, const char* unified_root, const char* memory_root);

// MemAvailable of a file in the format of /proc/meminfo.
std::uint64_t available_memory(const char* meminfo);
} // namespace memory_detail

} // namespace qorvantel
