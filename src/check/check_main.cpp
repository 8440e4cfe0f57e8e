// qorvantel-check: checks an answer against a reference on a database,
// lints an expression, or grades submissions against exercise files. The
// core does the work over strings; this file reads the files and writes
// the reports.
#include "check/check_report.h"
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

const char* const usage_text
    = "usage: qorvantel-check [--json] [--instances N] [--seed S] [--strict-names] ENVIRONMENT REFERENCE ANSWER\n"
      "       qorvantel-check --lint [--json] ENVIRONMENT EXPRESSION\n"
      "       qorvantel-check --grade [--json] EXERCISES SUBMISSION...\n"
      "       qorvantel-check --help | --version\n";

const char* const help_text = "Checks a relational algebra answer against a reference expression.\n"
                              "\n"
                              "  qorvantel-check [options] ENVIRONMENT REFERENCE ANSWER\n"
                              "      Evaluates both expressions on the environment's database; when they\n"
                              "      differ, shrinks the database to a smallest counterexample; when they\n"
                              "      agree, searches generated databases with the same schemas.\n"
                              "  qorvantel-check --lint [--json] ENVIRONMENT EXPRESSION\n"
                              "      Reports the expression's problems that no row needs to show.\n"
                              "  qorvantel-check --grade [--json] EXERCISES SUBMISSION...\n"
                              "      Checks every answer of every submission and prints the points.\n"
                              "\n"
                              "Files hold one expression each; - is standard input.\n"
                              "Options:\n"
                              "  --json            one JSON object instead of words\n"
                              "  --instances N     generated databases to try (default 500)\n"
                              "  --seed S          seed of the generated databases (default 1)\n"
                              "  --strict-names    column names must agree too\n"
                              "  --help, --version\n"
                              "Exit status: 0 no difference (no problem), 1 differs (problems found),\n"
                              "2 usage error, unreadable file, or an environment or reference in error.\n";

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
    check_options options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "--help") {
            std::cout << help_text;
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
    if (lint)
        return run_lint(files, json);
    if (grade) {
        if (files.size() < 2)
            throw usage_error("--grade takes an exercise file and one or more submissions.");
        grading_run result = grade_submissions(files[0], {files.begin() + 1, files.end()}, read_file, options);
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
    // killed.
    limit_memory();
    try {
        return run(argc, argv);
    } catch (...) {
        failure failed = failure_of(std::current_exception());
        std::cerr << "qorvantel-check: " << failed.message << "\n";
        if (failed.kind == failure_kind::usage)
            std::cerr << usage_text;
        return 2;
    }
}
