// The interrupt flag.
#include "text/interrupt.h"

namespace qorvantel {

// A signal handler may only touch lock-free atomics.
static_assert(std::atomic<bool>::is_always_lock_free, "the interrupt flag must be safe in a signal handler");

namespace interrupt_detail {
std::atomic<bool> requested{false};
} // namespace interrupt_detail

interrupted::interrupted() : std::runtime_error("Query interrupted.") {}

} // namespace qorvantel
