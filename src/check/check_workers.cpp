// The worker processes of grading. Each worker is forked after the
// exercises and submissions are read, so it holds them already; the
// parent sends it answer numbers down one pipe and reads marks back from
// another, one answer at a time, so that a fast worker takes more answers
// than a slow one. The marks are put in answer order, which keeps the
// output the same for every number of workers.
#include "check/check_workers.h"

#include "check/check_workers_pipe.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qorvantel {
namespace {

const std::size_t none = ~std::size_t{0};

// The signals that stop grading; the handler notes which and wakes the
// parent's poll through a pipe.
const int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t stop_signal = 0;
int wake_end = -1;

void on_stop_signal(int number)
{
    int saved = errno;
    stop_signal = number;
    char byte = 0;
    if (wake_end >= 0 && write(wake_end, &byte, 1) < 0) {
        // The pipe is full: the parent is woken already.
    }
    errno = saved;
}

// A worker's life: check each answer it is sent until its pipe ends.
int serve(int tasks, int marks, const answer_check& check)
{
    int status = 0;
    try {
        std::uint64_t answer = 0;
        while (read_number(tasks, answer, stop_signal)) {
            if (!write_all(marks, mark_bytes(answer, check(static_cast<std::size_t>(answer))))) {
                status = 1;
                break;
            }
        }
    } catch (...) {
        // No memory left for the mark itself: the parent reports the
        // answer as failing.
        status = 1;
    }
    close(tasks);
    close(marks);
    return status;
}

std::string ended_words(int status)
{
    std::string how;
    if (WIFSIGNALED(status)) {
        how = "by signal " + std::to_string(WTERMSIG(status));
        if (WTERMSIG(status) == SIGKILL)
            how += " (the system may have run out of memory)";
    } else {
        how = "with status " + std::to_string(WEXITSTATUS(status));
    }
    return "The check of this answer stopped: its worker process ended " + how
        + ". The answer is counted as failing.\n";
}

struct worker {
    pid_t pid = -1;
    int tasks = -1; // answer numbers to the worker; -1 once it has no more
    int marks = -1; // marks from it
    std::size_t answer = none;
};

class worker_pool {
public:
    explicit worker_pool(const answer_check& check) : check_(check)
    {
        // The handler must never wait on a full pipe.
        if (pipe(wake_) != 0)
            wake_[0] = wake_[1] = -1;
        else
            fcntl(wake_[1], F_SETFL, fcntl(wake_[1], F_GETFL) | O_NONBLOCK);
        wake_end = wake_[1];
        stop_signal = 0;
        struct sigaction stop = {};
        stop.sa_handler = on_stop_signal;
        sigemptyset(&stop.sa_mask);
        for (std::size_t i = 0; i < 3; ++i) {
            sigaction(stop_signals[i], nullptr, &previous_[i]);
            // A signal the program was started to ignore stays ignored.
            if (previous_[i].sa_handler != SIG_IGN)
                sigaction(stop_signals[i], &stop, nullptr);
        }
        // A worker that died is seen at the end of its pipe, not as a
        // signal that would end this process.
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previous_pipe_);
    }

    ~worker_pool()
    {
        for (worker& each : workers)
            end(each, each.answer != none);
        restore_signals();
        wake_end = -1;
        for (int fd : wake_)
            if (fd >= 0)
                close(fd);
    }

    worker_pool(const worker_pool&) = delete;
    worker_pool& operator=(const worker_pool&) = delete;

    std::vector<worker> workers;

    bool start()
    {
        int down[2], up[2];
        if (pipe(down) != 0)
            return false;
        if (pipe(up) != 0) {
            close(down[0]);
            close(down[1]);
            return false;
        }
        // Nothing buffered may be written twice, by the worker too.
        std::cout.flush();
        std::fflush(nullptr);
        pid_t pid = fork();
        if (pid < 0) {
            for (int fd : {down[0], down[1], up[0], up[1]})
                close(fd);
            return false;
        }
        if (pid == 0) {
            close(down[1]);
            close(up[0]);
            become_worker();
            throw worker_exit{serve(down[0], up[1], check_)};
        }
        close(down[0]);
        close(up[1]);
        workers.push_back(worker{pid, down[1], up[0], none});
        return true;
    }

    // Closes the worker's pipes and waits for it; kill when it may be busy.
    // Gives its status.
    int end(worker& each, bool kill_it)
    {
        if (kill_it)
            kill(each.pid, SIGKILL);
        for (int* fd : {&each.tasks, &each.marks}) {
            if (*fd >= 0)
                close(*fd);
            *fd = -1;
        }
        int status = 0;
        while (waitpid(each.pid, &status, 0) < 0 && errno == EINTR) {}
        each.pid = -1;
        return status;
    }

    // Every worker ended, then this process by the signal that came.
    [[noreturn]] void stop(int number)
    {
        for (worker& each : workers)
            end(each, true);
        workers.clear();
        restore_signals();
        std::signal(number, SIG_DFL);
        std::raise(number);
        std::_Exit(128 + number);
    }

    int wake() const { return wake_[0]; }

    void restore_signals()
    {
        for (std::size_t i = 0; i < 3; ++i)
            sigaction(stop_signals[i], &previous_[i], nullptr);
        sigaction(SIGPIPE, &previous_pipe_, nullptr);
    }

private:
    // In a new worker: the other workers' pipes are closed (a worker whose
    // pipe a sibling holds open would never see its end), and the signals
    // are as the program had them, so Ctrl-C at the terminal ends it.
    void become_worker()
    {
        for (worker& each : workers)
            for (int fd : {each.tasks, each.marks})
                if (fd >= 0)
                    close(fd);
        workers.clear();
        restore_signals();
        for (int& fd : wake_) {
            if (fd >= 0)
                close(fd);
            fd = -1;
        }
        wake_end = -1;
    }

    const answer_check& check_;
    int wake_[2];
    struct sigaction previous_[3];
    struct sigaction previous_pipe_;
};

} // namespace

std::vector<answer_mark> checked_by_workers(std::size_t jobs, std::size_t count, const answer_check& check)
{
    std::vector<answer_mark> marks(count);
    std::size_t next = 0, done = 0;
    worker_pool pool(check);
    bool can_start = true;
    while (done < count) {
        if (stop_signal != 0)
            pool.stop(stop_signal);
        while (can_start && next < count && pool.workers.size() < jobs)
            can_start = pool.start();
        std::size_t busy = 0;
        for (worker& each : pool.workers) {
            if (each.answer == none && each.tasks >= 0 && next < count) {
                // A worker that cannot take it has died: seen below.
                write_all(each.tasks, number_bytes(next));
                each.answer = next++;
            }
            if (each.answer == none && each.tasks >= 0) {
                // No answers left: the worker's pipe ends, and it leaves.
                close(each.tasks);
                each.tasks = -1;
            }
            busy += each.answer != none;
        }
        if (busy == 0) {
            // No worker could be started: the rest is checked here, and
            // an interrupt ends the program at once, as with one job.
            pool.restore_signals();
            for (; next < count; ++next, ++done)
                marks[next] = check(next);
            break;
        }
        std::vector<pollfd> watched;
        for (const worker& each : pool.workers)
            if (each.answer != none)
                watched.push_back(pollfd{each.marks, POLLIN, 0});
        if (pool.wake() >= 0)
            watched.push_back(pollfd{pool.wake(), POLLIN, 0});
        if (poll(watched.data(), static_cast<nfds_t>(watched.size()), -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error(std::string("cannot wait for the grading workers: ") + std::strerror(errno));
        }
        for (std::size_t i = 0; i < pool.workers.size(); ++i) {
            worker& each = pool.workers[i];
            auto seen
                = std::find_if(watched.begin(), watched.end(), [&](const pollfd& p) { return p.fd == each.marks; });
            if (each.answer == none || seen == watched.end() || seen->revents == 0)
                continue;
            std::uint64_t answer = 0;
            answer_mark mark;
            if (read_mark(each.marks, answer, mark, stop_signal) && answer == each.answer) {
                marks[each.answer] = std::move(mark);
                each.answer = none;
                ++done;
                continue;
            }
            if (stop_signal != 0)
                break;
            // The worker died with the answer: that answer fails, the
            // others go on in a new worker.
            std::size_t lost = each.answer;
            int status = pool.end(each, true);
            if (WIFSIGNALED(status) && WTERMSIG(status) == SIGINT)
                pool.stop(SIGINT);
            marks[lost].output = ended_words(status);
            ++done;
            pool.workers.erase(pool.workers.begin() + static_cast<std::ptrdiff_t>(i));
            --i;
            can_start = true;
        }
    }
    return marks;
}

} // namespace qorvantel
