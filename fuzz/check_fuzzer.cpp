// Feeds arbitrary bytes to the grader as an exercise file and a submission,
// split at the first NUL byte (without one, the whole input is both), over
// a small fixed database that every "database:" line reads.
//
// A fault of the exercise file is a check_setup_error, the expected outcome
// for most inputs; a fault of the submission is reported in its row. A
// crash, a sanitizer report, a leak, another exception or a broken
// invariant below is a finding.
//
// Invariants checked on every input:
// - grading the same files twice prints the same text and JSON;
// - when grading succeeds, the text has a row for the submission.
#include "check/checker.h"
#include "check/grading.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

using namespace qorvantel;

namespace {
const char* const database_text = "R(a int, b char(4))\n1, 'x'\n2, 'y'\n3, 'x'\nS(c int)\n2\n4\n";

[[noreturn]] void fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "check_fuzzer: %s\n%s\n", what, detail.c_str());
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t split = input.find('\0');
    std::string exercises = split == std::string::npos ? input : input.substr(0, split);
    std::string submission = split == std::string::npos ? input : input.substr(split + 1);
    file_reader read = [&](const std::string& name) -> std::string {
        if (name == "ex.exercises")
            return exercises;
        if (name == "answers.txt")
            return submission;
        return database_text;
    };
    // Few generated databases: the search is the same code whatever their
    // number, and the fuzzer needs many inputs a second.
    check_options options;
    options.instances = 8;
    try {
        grading_run first = grade_submissions("ex.exercises", {"answers.txt"}, read, options);
        grading_run second = grade_submissions("ex.exercises", {"answers.txt"}, read, options);
        if (first.text != second.text || first.json != second.json)
            fail("two runs differ", first.text + "\n----\n" + second.text);
        if (first.text.find("\nanswers.txt") == std::string::npos)
            fail("no row for the submission", first.text);
    } catch (const check_setup_error&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
