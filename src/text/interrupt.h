// Stopping a running query from outside: a flag that a signal handler may
// set, and the check that the long loops of evaluation and output make.
//
// Only the interactive terminal session ever sets the flag, so elsewhere
// the checks cost one load of a flag that stays clear.
#pragma once

#include <atomic>
#include <cstddef>
#include <stdexcept>

namespace qorvantel {

// Raised by check_interrupt once an interrupt was requested. A runtime
// error like any other, so that the interactive loop reports it as the
// line's message and carries on; the handles held by the abandoned work
// release its partial results as the exception passes.
class interrupted : public std::runtime_error {
public:
    interrupted();
};

namespace interrupt_detail {
extern std::atomic<bool> requested;
} // namespace interrupt_detail

// Safe to call from a signal handler.
inline void request_interrupt() noexcept { interrupt_detail::requested.store(true, std::memory_order_relaxed); }
inline void clear_interrupt() noexcept { interrupt_detail::requested.store(false, std::memory_order_relaxed); }
inline bool interrupt_requested() noexcept { return interrupt_detail::requested.load(std::memory_order_relaxed); }

// Throws interrupted when an interrupt was requested.
inline void check_interrupt()
{
    if (interrupt_requested())
        throw interrupted();
}

// How many rows a loop may handle between two checks: small enough that
// a request is seen within milliseconds, large enough to cost nothing.
constexpr std::size_t interrupt_interval = 4096;

// check_interrupt on every interrupt_interval-th count, for a loop with a
// counter at hand (the index, or the size of what it builds).
inline void check_interrupt_every(std::size_t count)
{
    if (count % interrupt_interval == 0)
        check_interrupt();
}

} // namespace qorvantel
