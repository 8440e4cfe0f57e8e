// Exercise files and submissions, read from their plain-text formats.
//
// An exercise file: `#` lines are comments; `database: FILE` before the
// first block names the database of every block; each block opens with
// `== ID [N points]`, may say `database: FILE`, `forbid: OPERATOR...` and
// `strict-names`, holds the question's text, and then one or more accepted
// answers, each after a `--- answer` line; `forbid:` may stand anywhere in
// its block, after an answer too. A submission: `#` lines are comments;
// `== ID` and the answer's expression on the lines that follow. A leading
// UTF-8 byte order mark is skipped in both.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qorvantel {

struct exercise {
    std::string id;
    std::size_t line = 0;
    // Whole or half points: 0.5 steps are exact in a double.
    double points = 1;
    std::string question;
    // As written; empty when the file's database holds.
    std::string database;
    std::size_t database_line = 0;
    std::vector<std::string> forbidden;
    bool strict_names = false;
    std::vector<std::string> answers;
    std::vector<std::size_t> answer_lines;
};

struct exercise_file {
    std::string database;
    std::size_t database_line = 0;
    std::vector<exercise> exercises;
};

struct submitted_answer {
    // The heading's first word, as written: grading matches it to an
    // exercise (submission.h).
    std::string id;
    // Whatever the heading holds after the id ("[1 point]", a title).
    std::string rest;
    std::size_t line = 0;
    std::string source;
};

// What is wrong with one part of a submission; the rest is still graded.
struct submission_problem {
    std::size_t line = 0;
    std::string message;
};

struct submission {
    // Every block that can be read, in file order.
    std::vector<submitted_answer> answers;
    std::vector<submission_problem> problems;
};

// Raises check_setup_error("NAME:LINE: what is wrong") on the first fault.
exercise_file parse_exercises(const std::string& source, const std::string& name);
// Never raises for what the file holds: a block that cannot be read is a
// problem, and the blocks around it are kept.
submission parse_submission(const std::string& source);

// Points as written in reports: "2", "0.5", "1.5".
std::string points_text(double points);

} // namespace qorvantel
