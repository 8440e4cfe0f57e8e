// Grading: every answer of every submission checked against its exercise's
// accepted answers, with points per exercise and in total.
#pragma once

#include "check/checker.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace qorvantel {

// Reads a file by name; raises check_setup_error when it cannot.
using file_reader = std::function<std::string(const std::string& name)>;

struct grading_run {
    // A table of the points (a row per submission, a column per exercise,
    // the total), then a report per answer that lost points.
    std::string text;
    // One submission: the shape Gradescope reads as results.json. More:
    // one such object per line, each with its "submission" name.
    std::string json;
    bool all_correct = true;
    // What the teacher should know about the exercise file itself, such
    // as an accepted answer that its exercise's rules forbid.
    std::vector<std::string> warnings;
};

// The report of an answer that outgrew the memory budget: the failure's
// message and, when the answer holds a product, the note that a join
// condition may be missing.
struct memory_failure {
    std::string message;
    std::string note;
    // The message and the note, each a line, as grading reports them.
    std::string text() const;
};

// The memory failure of the exception thrown while checking answer_source;
// raises anything that is no memory failure again.
memory_failure memory_failure_of(const std::exception_ptr& thrown, const std::string& answer_source);

// Adds to used each operator of forbidden (by keyword) that query or any
// of its operands uses and used does not hold yet, in the order met.
void forbidden_used(const expression& query, const std::vector<std::string>& forbidden, std::vector<std::string>& used);

// What checking one answer against its exercise gave.
struct answer_mark {
    double score = 0;
    std::string output;
    // For the teacher: an accepted answer failed on a database made for
    // the check.
    std::string warning;
    // When the check raised instead of giving a report: the message that
    // the submission's row shows instead of its marks, as for a file that
    // cannot be read (empty when the check finished), and whether memory
    // ran out on the way.
    std::string raised;
    bool out_of_memory = false;
};

// Checks the answer numbered 0 to count - 1 with check (which never
// throws) and gives the marks in that order. How is up to the caller:
// grading checks them in turn; the program can spread them over worker
// processes, since check depends only on the number.
using answer_check = std::function<answer_mark(std::size_t)>;
using answer_checks = std::function<std::vector<answer_mark>(std::size_t count, const answer_check& check)>;

inline std::vector<answer_mark> checked_in_turn(std::size_t count, const answer_check& check)
{
    std::vector<answer_mark> marks;
    for (std::size_t i = 0; i < count; ++i)
        marks.push_back(check(i));
    return marks;
}

// Databases are named relative to the exercise file's folder. A fault of
// the exercise file or its databases raises check_setup_error naming the
// file and line; a fault of one submission is reported in its row. Every
// submission is read before any answer is checked, and each distinct
// answer to an exercise is checked once, through checks.
grading_run grade_submissions(const std::string& exercises_name, const std::vector<std::string>& submission_names,
                              const file_reader& read, const check_options& options,
                              const answer_checks& checks = checked_in_turn);

} // namespace qorvantel
