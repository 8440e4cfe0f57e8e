// qorvantel-check: checks an answer against a reference on a database,
// lints an expression, or grades submissions against exercise files. The
// core does the work over strings; this file reads the files and writes
// the reports.
#include "check/check_report.h"
#include "check/check_workers.h"
#include "check/checker.h"
#include "check/database.h"
#include "check/grading.h"
#include "check/json_text.h"
#include "check/lint.h"
#include "text/failure.h"
#include "text/input_file.h"
#include "text/memory.h"
#include "text/messages.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
using namespace qorvantel;

bool standard_input_taken = false;

// Every file the checker reads: those named on the command line may be
// pipes (a shell's <(command)); a database named in an exercise file may
// not, as reading one would wait for a writer that never comes.
std::vector<std::string> command_line_files;

std::string read_file(const std::string& name)
{
    if (name == "-") {
        if (standard_input_taken)
            throw usage_error(messages::read_only_once);
        standard_input_taken = true;
    }
    input_file_options options;
    options.pipe_expected
        = std::find(command_line_files.begin(), command_line_files.end(), name) != command_line_files.end();
    return read_input_file(name, options);
}

bool parse_count(const std::string& text, unsigned long long limit, unsigned long long& into)
{
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    into = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0 && into <= limit;
}

int run_lint(const std::vector<std::string>& files, bool json)
{
    if (files.size() != 2)
        throw usage_error("--lint takes an environment and an expression.");
    std::string environment_source = read_file(files[0]);
    std::string source = read_file(files[1]);
    shared<environment> schemas;
    try {
        schemas = load_environment(environment_source);
    } catch (const std::runtime_error& error) {
        throw check_setup_error(files[0] + ": " + error.what());
    }
    std::vector<lint_note> notes = lint_expression(*schemas, source);
    if (json) {
        std::cout << "{\"notes\": [";
        for (std::size_t i = 0; i < notes.size(); ++i)
            std::cout << (i > 0 ? ", " : "") << "{\"line\": " << notes[i].line << ", \"column\": " << notes[i].column
                      << ", \"message\": " << json_string(notes[i].message) << "}";
        std::cout << "]}\n";
    } else {
        // A parse error (line 0) carries its position in its message.
        for (const lint_note& note : notes) {
            std::cout << files[1] << ":";
            if (note.line > 0)
                std::cout << note.line << ":" << note.column << ":";
            std::cout << " " << note.message << "\n";
        }
    }
    return notes.empty() ? 0 : 1;
}

int run_check(const std::vector<std::string>& files, bool json, const check_options& options)
{
    if (files.size() != 3)
        throw usage_error("a check takes an environment, a reference and an answer.");
    std::string environment_source = read_file(files[0]);
    std::string reference_source = read_file(files[1]);
    std::string answer_source = read_file(files[2]);
    check_report report;
    try {
        report = check_answer(environment_source, reference_source, answer_source, options);
    } catch (const check_setup_error& error) {
        std::string message = error.what();
        // Name the file rather than its role.
        if (message.rfind("environment: ", 0) == 0)
            message = files[0] + ": " + message.substr(13);
        else if (message.rfind("reference: ", 0) == 0)
            message = files[1] + ": " + message.substr(11);
        throw check_setup_error(message);
    } catch (...) {
        // The answer outgrew the memory budget: its failure is the report.
        memory_failure failed = memory_failure_of(std::current_exception(), answer_source);
        if (json) {
            report.verdict = check_verdict::differs;
            report.answer = failed.message + "\n";
            if (!failed.note.empty())
                report.notes.push_back(failed.note);
            std::cout << report_json(report);
        } else {
            std::cout << failed.text();
        }
        return 1;
    }
    std::cout << (json ? report_json(report) : report_text(report));
    return report.verdict == check_verdict::same ? 0 : 1;
}

int run(int argc, char** argv)
{
    bool json = false, lint = false, grade = false;
    std::size_t jobs = 1;
    bool jobs_given = false;
    check_options options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "--help") {
            std::cout << messages::check_help;
            return 0;
        }
        if (word == "--version") {
            std::cout << "qorvantel-check 1.0.0\n";
            return 0;
        }
        if (word == "--json") {
            json = true;
        } else if (word == "--lint") {
            lint = true;
        } else if (word == "--grade") {
            grade = true;
        } else if (word == "--strict-names") {
            options.strict_names = true;
        } else if (word == "--key" || word == "--references" || word == "--constraints") {
            if (i + 1 >= argc)
                throw usage_error(word + " needs " + (word == "--constraints" ? "a file." : "a constraint."));
            std::string given = argv[++i];
            try {
                if (word == "--constraints") {
                    constraint_set read = read_constraints(read_file(given), given);
                    for (const key_constraint& key : read.keys)
                        options.constraints.keys.push_back(key);
                    for (const reference_constraint& reference : read.references)
                        options.constraints.references.push_back(reference);
                } else {
                    read_constraint_line(word.substr(2) + ": " + given, options.constraints);
                }
            } catch (const check_setup_error&) {
                throw;
            } catch (const std::runtime_error& error) {
                throw usage_error(error.what());
            }
        } else if (word == "--bound") {
            unsigned long long number = 0;
            if (i + 1 >= argc || !parse_count(argv[i + 1], 16, number))
                throw usage_error("--bound needs a number from 0 to 16.");
            ++i;
            options.bound = static_cast<std::size_t>(number);
        } else if (word == "--jobs") {
            unsigned long long number = 0;
            std::string range = "--jobs needs a number from 1 to " + std::to_string(most_jobs);
            if (i + 1 >= argc)
                throw usage_error(range + ".");
            if (!parse_count(argv[i + 1], most_jobs, number) || number == 0)
                throw usage_error(range + ", not " + argv[i + 1] + ".");
            ++i;
            jobs = static_cast<std::size_t>(number);
            jobs_given = true;
        } else if (word == "--instances" || word == "--seed") {
            unsigned long long number = 0;
            unsigned long long limit = word == "--seed" ? ~0ULL : 1000000ULL;
            if (i + 1 >= argc)
                throw usage_error(word + " needs a number from 0 to " + std::to_string(limit) + ".");
            if (!parse_count(argv[i + 1], limit, number))
                throw usage_error(word + " needs a number from 0 to " + std::to_string(limit) + ", not " + argv[i + 1]
                                  + ".");
            ++i;
            if (word == "--seed")
                options.seed = number;
            else
                options.instances = static_cast<std::size_t>(number);
        } else if (word.size() > 1 && word[0] == '-' && word != "-") {
            throw usage_error("unknown option " + word + ".");
        } else {
            files.push_back(word);
        }
    }
    command_line_files = files;
    if (lint && grade)
        throw usage_error("--lint and --grade cannot be combined.");
    if (jobs_given && !grade)
        throw usage_error("--jobs works with --grade only.");
    if (lint)
        return run_lint(files, json);
    if (grade) {
        if (files.size() < 2)
            throw usage_error("--grade takes an exercise file and one or more submissions.");
        answer_checks checks = checked_in_turn;
        if (jobs > 1)
            checks = [jobs](std::size_t count, const answer_check& check) {
                return checked_by_workers(jobs, count, check);
            };
        grading_run result = grade_submissions(files[0], {files.begin() + 1, files.end()}, read_file, options, checks);
        for (const std::string& warning : result.warnings)
            std::cerr << "qorvantel-check: warning: " << warning << "\n";
        std::cout << (json ? result.json : result.text);
        return result.all_correct ? 0 : 1;
    }
    return run_check(files, json, options);
}
} // namespace

int main(int argc, char** argv)
{
    // The interpreter's memory budget: an answer that outgrows it is
    // reported for that answer (grading.cpp) instead of the process being
    // killed. Grading's workers inherit the limit, each its own.
    limit_memory();
    try {
        return run(argc, argv);
    } catch (const worker_exit& done) {
        // A grading worker's work is done (check_workers.h).
        return done.status;
    } catch (...) {
        failure failed = failure_of(std::current_exception());
        std::cerr << "qorvantel-check: " << failed.message << "\n";
        if (failed.kind == failure_kind::usage)
            std::cerr << messages::check_usage;
        return 2;
    }
}
