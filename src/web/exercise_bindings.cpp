// The checker's and the converter's cores as the page's exercises panel
// and its CSV opening see them: each function takes text and returns one
// JSON object. Strings cross as bytes (one character per byte).
#include "check/check_report.h"
#include "check/checker.h"
#include "check/exercises.h"
#include "check/grading.h"
#include "check/json_text.h"
#include "convert/csv_import.h"

#include <emscripten/bind.h>

#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string error_json(const std::string& message) { return "{\"error\": " + qorvantel::json_string(message) + "}"; }

// {"database", "exercises": [{"id", "points", "question", "database",
// "forbidden", "strict_names", "answers"}]} or {"error"}.
std::string exercises_json(const std::string& name, const std::string& text)
{
    try {
        qorvantel::exercise_file file = qorvantel::parse_exercises(text, name);
        std::string out = "{\"database\": " + qorvantel::json_string(file.database) + ", \"exercises\": [";
        for (std::size_t i = 0; i < file.exercises.size(); ++i) {
            const qorvantel::exercise& e = file.exercises[i];
            out += (i > 0 ? ", " : "");
            out += "{\"id\": " + qorvantel::json_string(e.id) + ", \"points\": " + std::to_string(e.points)
                + ", \"question\": " + qorvantel::json_string(e.question) + ", \"database\": "
                + qorvantel::json_string(e.database) + ", \"forbidden\": " + qorvantel::json_strings(e.forbidden)
                + ", \"strict_names\": " + (e.strict_names ? "true" : "false")
                + ", \"answers\": " + qorvantel::json_strings(e.answers) + "}";
        }
        return out + "]}";
    } catch (const std::bad_alloc&) {
        return error_json("out of memory");
    } catch (const std::exception& error) {
        return error_json(error.what());
    }
}

// The checker's report for an answer against an exercise's accepted
// answers (references, separated by NUL bytes, which no expression
// holds): the report of the first accepted answer it matches, else the
// report against the first. An answer using an operator of forbidden
// (separated the same way) is {"forbidden": message} unchecked. A fault of
// the database or of an accepted answer is {"error"}.
std::vector<std::string> split_at_nul(const std::string& text)
{
    std::vector<std::string> parts;
    std::string::size_type from = 0;
    for (;;) {
        std::string::size_type at = text.find('\0', from);
        parts.push_back(text.substr(from, at - from));
        if (at == std::string::npos)
            return parts;
        from = at + 1;
    }
}

std::string check_answer_json(const std::string& environment_text, const std::string& references_text,
                              const std::string& answer, bool strict_names, const std::string& forbidden_text)
{
    try {
        if (!forbidden_text.empty()) {
            std::vector<std::string> used;
            try {
                qorvantel::forbidden_used(*qorvantel::parse_expression(answer), split_at_nul(forbidden_text), used);
            } catch (const std::runtime_error&) {
                // The check below reports the parse error.
            }
            if (!used.empty()) {
                std::string list;
                for (const std::string& word : used)
                    list += (list.empty() ? "" : ", ") + word;
                return "{\"forbidden\": "
                    + qorvantel::json_string("The answer uses " + list + ", which this exercise forbids.") + "}";
            }
        }
        qorvantel::check_options options;
        options.strict_names = strict_names;
        std::vector<std::string> references = split_at_nul(references_text);
        qorvantel::check_report first;
        for (std::size_t i = 0; i < references.size(); ++i) {
            qorvantel::check_report report = qorvantel::check_answer(environment_text, references[i], answer, options);
            if (report.verdict == qorvantel::check_verdict::same)
                return qorvantel::report_json(report);
            if (i == 0)
                first = report;
        }
        return qorvantel::report_json(first);
    } catch (const std::bad_alloc&) {
        return error_json("out of memory");
    } catch (const std::exception& error) {
        return error_json(error.what());
    }
}

// {"environment"} read from one CSV file, the relation named after the
// file, or {"error"} with the converter's message.
std::string csv_to_environment(const std::string& file_name, const std::string& csv_text)
{
    try {
        std::set<std::string> used;
        std::string text
            = qorvantel::relation_from_csv(csv_text, file_name, qorvantel::relation_name_of_file(file_name), {}, used);
        return "{\"environment\": " + qorvantel::json_string(text) + "}";
    } catch (const std::bad_alloc&) {
        return error_json("qorvantel-convert: out of memory");
    } catch (const std::exception& error) {
        return error_json(std::string("qorvantel-convert: ") + error.what());
    }
}

} // namespace

EMSCRIPTEN_BINDINGS(qorvantel_exercises)
{
    emscripten::function("exercisesJson", &exercises_json);
    emscripten::function("checkAnswer", &check_answer_json);
    emscripten::function("csvToEnvironment", &csv_to_environment);
}
