// The lock around the core and the worker that an evaluation runs on.
#include "python/core_access.h"

#include <stdexcept>

namespace qorvantel::python {

namespace {
std::mutex core_mutex;
thread_local int depth = 0;
thread_local worker_state* current_worker = nullptr;
} // namespace

bool process_exiting = false;

int& core_depth() noexcept { return depth; }

core_lock::core_lock()
{
    if (depth++ == 0)
        core_mutex.lock();
}

core_lock::~core_lock()
{
    if (--depth == 0)
        core_mutex.unlock();
}

running_handlers::running_handlers(worker_state& worker) : previous_(current_worker) { current_worker = &worker; }

running_handlers::~running_handlers() { current_worker = previous_; }

void finish_worker_first()
{
    worker_state* worker = current_worker;
    if (worker == nullptr)
        return;
    // The worker may need the interpreter's lock to end (bytes_output).
    std::optional<py::gil_scoped_release> released;
    if (PyGILState_Check())
        released.emplace();
    std::unique_lock<std::mutex> lock(worker->mutex);
    worker->finished.wait(lock, [&] { return worker->done; });
}

void refuse_while_running()
{
    if (current_worker != nullptr)
        throw std::runtime_error("qorvantel is busy: it cannot be called from a signal handler during an evaluation.");
}

} // namespace qorvantel::python
