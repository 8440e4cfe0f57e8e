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

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
using namespace qorvantel;

const char* const usage_text
    = "usage: qorvantel-check [--json] [--instances N] [--seed S] [--bound N] [--strict-names]\n"
      "                       [--key R(a)]... [--references R(a)->S(b)]... [--constraints FILE]\n"
      "                       ENVIRONMENT REFERENCE ANSWER\n"
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
                              "  --bound N         rows per relation of the exhaustive check (default 4;\n"
                              "                    0: search only)\n"
                              "  --key R(a, ...)   a key every database of the check keeps\n"
                              "  --references R(a)->S(b)\n"
                              "                    a reference every database of the check keeps\n"
                              "  --constraints FILE  keys and references, one \"key:\" or \"references:\"\n"
                              "                    line each\n"
                              "  --help, --version\n"
                              "Exit status: 0 no difference (no problem), 1 differs (problems found),\n"
                              "2 usage error, unreadable file, or an environment or reference in error.\n";

struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

bool standard_input_taken = false;

std::string read_file(const std::string& name)
{
    if (name == "-") {
        if (standard_input_taken)
            throw usage_error("standard input (-) can be read only once.");
        standard_input_taken = true;
        return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    }
    std::error_code ignored;
    std::ifstream in;
    if (!std::filesystem::is_directory(name, ignored))
        in.open(name, std::ios::binary);
    if (!in)
        throw check_setup_error("Cannot read " + name + ".");
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        throw check_setup_error("Cannot read " + name + ".");
    return content.str();
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
        } else if (word == "--instances" || word == "--seed") {
            unsigned long long number = 0;
            unsigned long long limit = word == "--seed" ? ~0ULL : 1000000ULL;
            if (i + 1 >= argc || !parse_count(argv[i + 1], limit, number))
                throw usage_error(word + " needs a number" + (word == "--seed" ? "." : " from 0 to 1000000."));
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
    if (lint && grade)
        throw usage_error("--lint and --grade cannot be combined.");
    if (lint)
        return run_lint(files, json);
    if (grade) {
        if (files.size() < 2)
            throw usage_error("--grade takes an exercise file and one or more submissions.");
        grading_run result = grade_submissions(files[0], {files.begin() + 1, files.end()}, read_file, options);
        std::cout << (json ? result.json : result.text);
        return result.all_correct ? 0 : 1;
    }
    return run_check(files, json, options);
}
} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const usage_error& error) {
        std::cerr << "qorvantel-check: " << error.what() << "\n" << usage_text;
        return 2;
    } catch (const std::bad_alloc&) {
        std::cerr << "qorvantel-check: Out of memory.\n";
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "qorvantel-check: " << error.what() << "\n";
        return 2;
    }
}
