// Grading's checks spread over worker processes (--jobs N), for
// qorvantel-check only: the core is single-threaded (values, the pool and
// the handles are not thread-safe), so each worker is a forked copy of the
// program that checks the answers it is sent and writes back their marks.
// POSIX only; the page and the fuzz targets never build this file.
#pragma once

#include "check/grading.h"

#include <cstddef>
#include <vector>

namespace qorvantel {

// The most workers --jobs may ask for.
constexpr std::size_t most_jobs = 64;

// Raised in a worker process once it has no more work: the program's main
// returns status, so that a worker leaves through the same path as the
// program (its objects released, a sanitizer build's leak check run).
// Nothing between the grading call and main may catch it.
struct worker_exit {
    int status;
};

// Checks answers 0 to count - 1 in at most jobs worker processes, each
// forked with the memory limit of the program, and gives the marks in
// answer order, as checked_in_turn does. A worker that dies leaves its
// answer failing with a word on why; the others go on, and a new worker
// takes its place. Every worker is waited for before this returns or
// raises. An interrupt (SIGINT, SIGTERM, SIGHUP) ends every worker and
// then the program, by that signal. Where no worker can be started, the
// answers left are checked in this process.
std::vector<answer_mark> checked_by_workers(std::size_t jobs, std::size_t count, const answer_check& check);

} // namespace qorvantel
