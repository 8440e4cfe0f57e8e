// Turning an exception into the message shown.
#include "text/failure.h"

#include "text/messages.h"

#include <new>

namespace qorvantel {

namespace {
failure classified(const std::exception_ptr& thrown)
{
    try {
        std::rethrow_exception(thrown);
    } catch (const std::bad_alloc&) {
        return {failure_kind::memory, messages::out_of_memory};
    } catch (const tool_error& error) {
        return {error.kind(), error.what()};
    } catch (const std::exception& error) {
        return {failure_kind::input, error.what()};
    } catch (...) {
        return {failure_kind::internal, messages::internal_error};
    }
}
} // namespace

failure failure_of(const std::exception_ptr& thrown) noexcept
{
    try {
        return classified(thrown);
    } catch (...) {
        // Copying the message ran out of memory.
        failure out;
        out.kind = failure_kind::memory;
        try {
            out.message = messages::out_of_memory;
        } catch (...) {
        }
        return out;
    }
}

} // namespace qorvantel
