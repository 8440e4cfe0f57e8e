// Grading: every answer of every submission checked against its exercise's
// accepted answers, with points per exercise and in total.
#pragma once

#include "check/checker.h"

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

// Adds to used each operator of forbidden (by keyword) that query or any
// of its operands uses and used does not hold yet, in the order met.
void forbidden_used(const expression& query, const std::vector<std::string>& forbidden, std::vector<std::string>& used);

// Databases are named relative to the exercise file's folder. A fault of
// the exercise file or its databases raises check_setup_error naming the
// file and line; a fault of one submission is reported in its row.
grading_run grade_submissions(const std::string& exercises_name, const std::vector<std::string>& submission_names,
                              const file_reader& read, const check_options& options);

} // namespace qorvantel
