// How the module's bindings reach the core, which is single-threaded (its
// handles relink rings, its pool is one free list): every use holds
// core_mutex. The interpreter's lock (the GIL) is released first, so that a
// long evaluation leaves other Python threads running and no thread waits
// for core_mutex while holding the GIL (the order is always: release the
// GIL, take core_mutex, then take the GIL again if Python objects are
// made). An evaluation runs on a worker thread while the calling thread
// looks for signals every 50 ms, so that Ctrl-C (a KeyboardInterrupt, or
// whatever the SIGINT handler raises) stops it through the core's
// interrupt flag.
#pragma once

#include "text/interrupt.h"
#include "text/pool.h"
#include "text/shared.h"

#include <pybind11/pybind11.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace qorvantel::python {

namespace py = pybind11;

// How many core_lock objects this thread holds (a worker counts as its
// caller's): a nested one, or a handle released under the lock, does not
// lock again.
int& core_depth() noexcept;

class core_lock {
public:
    core_lock();
    ~core_lock();
    core_lock(const core_lock&) = delete;
    core_lock& operator=(const core_lock&) = delete;
};

// A thread working for the holder of the lock.
struct core_delegate {
    core_delegate() { ++core_depth(); }
    ~core_delegate() { --core_depth(); }
    core_delegate(const core_delegate&) = delete;
    core_delegate& operator=(const core_delegate&) = delete;
};

// A worker's end, which its caller waits for. While the caller runs Python
// signal handlers, the worker is the running one: a handler that uses the
// core is refused, and one that drops the last reference to a relation or
// an environment waits for the worker to end before the handle goes, so
// that the core never runs on two threads at once.
struct worker_state {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};

class running_handlers {
public:
    explicit running_handlers(worker_state& worker);
    ~running_handlers();
    running_handlers(const running_handlers&) = delete;
    running_handlers& operator=(const running_handlers&) = delete;

private:
    worker_state* previous_;
};

// Waits for the worker whose caller runs signal handlers on this thread.
void finish_worker_first();

// A signal handler that calls the core while an evaluation runs gets an
// error at once: waiting for the evaluation would hold up the Ctrl-C that
// is to stop it.
void refuse_while_running();

// Set once the interpreter exits (an atexit function of the package): the
// handles Python still holds are then left for the end of the process, as
// the console leaves a batch run's relations, instead of a million rows
// being released one by one just before the process ends.
extern bool process_exiting;

// Runs work without the GIL under core_mutex on a worker thread, looking
// for signals on the calling thread meanwhile; a signal whose handler
// raises (KeyboardInterrupt) interrupts the work and is raised in its place.
template <class Work>
auto run_core(Work work) -> decltype(work())
{
    using result_type = decltype(work());
    refuse_while_running();
    std::optional<result_type> result;
    std::exception_ptr failure;
    bool signalled = false;
    {
        py::gil_scoped_release released;
        core_lock core;
        clear_interrupt();
        worker_state state;
        std::thread worker([&] {
            core_delegate delegate;
            try {
                result.emplace(work());
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard<std::mutex> lock(state.mutex);
            state.done = true;
            state.finished.notify_all();
        });
        {
            std::unique_lock<std::mutex> lock(state.mutex);
            while (!state.finished.wait_for(lock, std::chrono::milliseconds(50), [&] { return state.done; })) {
                if (signalled)
                    continue;
                lock.unlock();
                {
                    py::gil_scoped_acquire gil;
                    running_handlers handlers(state);
                    if (PyErr_CheckSignals() != 0) {
                        signalled = true;
                        request_interrupt();
                    }
                }
                lock.lock();
            }
        }
        worker.join();
        clear_interrupt();
        if (failure)
            pool::trim();
    }
    if (signalled) {
        // The handler's exception is pending; what the work gave is dropped
        // under the core's lock.
        {
            py::gil_scoped_release released;
            core_lock core;
            result.reset();
            failure = nullptr;
        }
        throw py::error_already_set();
    }
    if (failure)
        std::rethrow_exception(failure);
    return std::move(*result);
}

// Runs quick work (no evaluation) under core_mutex, GIL held for making
// Python objects.
template <class Work>
auto with_core(Work work) -> decltype(work())
{
    refuse_while_running();
    if (core_depth() > 0)
        return work();
    py::gil_scoped_release released;
    core_lock core;
    py::gil_scoped_acquire gil;
    return work();
}

// A core handle that Python holds: released under core_mutex.
template <class T>
class held {
public:
    explicit held(shared<T> handle) : handle_(std::move(handle)) {}
    held(const held&) = delete;
    held& operator=(const held&) = delete;
    ~held()
    {
        finish_worker_first();
        if (process_exiting && core_depth() == 0) {
            core_lock core;
            new shared<T>(std::move(handle_));
            return;
        }
        if (core_depth() > 0 || !PyGILState_Check()) {
            core_lock core;
            handle_ = shared<T>();
        } else {
            py::gil_scoped_release released;
            core_lock core;
            handle_ = shared<T>();
        }
    }
    // Only under core_mutex.
    const shared<T>& handle() const noexcept { return handle_; }

private:
    shared<T> handle_;
};

} // namespace qorvantel::python
