// The checker's and the converter's cores as the page's exercises panel
// and its CSV opening see them: each function takes text and returns one
// JSON object. Strings cross as bytes (one character per byte).
#include "check/check_report.h"
#include "check/checker.h"
#include "check/exercises.h"
#include "check/grading.h"
#include "check/json_text.h"
#include "convert/csv_import.h"
#include "parsing/parsing.h"
#include "relations/relation.h"
#include "text/diagnostics.h"
#include "text/dumpable.h"
#include "values/value.h"
#include "web/json_writer.h"
#include "web/operator_tree.h"

#include <emscripten/bind.h>

#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string error_json(const std::string& message) { return "{\"error\": " + qorvantel::json_string(message) + "}"; }

// {"database", "exercises": [{"id", "points", "question", "database",
// "forbidden", "strict_names", "constraints", "answers"}]} or {"error"};
// constraints are the exercise's key and reference lines, as written.
std::string exercises_json(const std::string& name, const std::string& text)
{
    try {
        qorvantel::exercise_file file = qorvantel::parse_exercises(text, name);
        std::string out = "{\"database\": " + qorvantel::json_string(file.database) + ", \"exercises\": [";
        for (std::size_t i = 0; i < file.exercises.size(); ++i) {
            const qorvantel::exercise& e = file.exercises[i];
            out += (i > 0 ? ", " : "");
            out += "{\"id\": " + qorvantel::json_string(e.id) + ", \"points\": " + qorvantel::points_text(e.points)
                + ", \"question\": " + qorvantel::json_string(e.question) + ", \"database\": "
                + qorvantel::json_string(e.database) + ", \"forbidden\": " + qorvantel::json_strings(e.forbidden)
                + ", \"strict_names\": " + (e.strict_names ? "true" : "false")
                + ", \"constraints\": " + qorvantel::json_string(e.constraints.text())
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
// holds), with its tables and the student's verdict: the report of the first accepted answer it matches, else the
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

// The verdict in a student's terms, from the answer and the first
// accepted answer on the exercise's database: {"kind": "error" (with
// "message" and, for a parse error, "error_line", "error_column",
// "error_at_end"), "columns" (with "answer_schema" and
// "reference_schema"), "rows" or "right"}.
std::string student_verdict(const std::string& environment_text, const std::string& reference,
                            const std::string& answer, bool same)
{
    qorvantel::json_writer out;
    out.begin_object();
    try {
        qorvantel::shared<qorvantel::environment> database
            = qorvantel::parse_whole<qorvantel::environment>("environment", environment_text);
        qorvantel::shared<qorvantel::expression> query;
        try {
            query = qorvantel::parse_whole<qorvantel::expression>("expression", answer);
        } catch (const qorvantel::input_error& error) {
            out.key("kind").string("error").key("message").string(error.what());
            if (error.place()) {
                out.key("error_line").number(static_cast<double>(error.place()->line));
                out.key("error_column").number(static_cast<double>(error.place()->column));
                out.key("error_at_end").boolean(error.place()->at_end);
            }
            return out.end_object().result();
        }
        qorvantel::shared<qorvantel::relation> given;
        try {
            given = query->evaluate(database);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& error) {
            out.key("kind").string("error").key("message").string(error.what());
            return out.end_object().result();
        }
        if (same) {
            out.key("kind").string("right");
            return out.end_object().result();
        }
        qorvantel::shared<qorvantel::relation> expected
            = qorvantel::parse_whole<qorvantel::expression>("expression", reference)->evaluate(database);
        qorvantel::tree_node mine, theirs;
        qorvantel::describe_result(mine, *given);
        qorvantel::describe_result(theirs, *expected);
        if (mine.columns != theirs.columns) {
            out.key("kind").string("columns");
            out.key("answer_schema").string(mine.schema).key("reference_schema").string(theirs.schema);
            return out.end_object().result();
        }
        out.key("kind").string("rows");
    } catch (...) {
        out.key("kind").string(same ? "right" : "rows");
    }
    return out.end_object().result();
}

// A relation as the panel's tables show it: {"name" (empty for a result),
// "schema", "columns": [{"name", "type"}], "count", "rows"}, each row an
// array of its fields as the console writes them ('Bob' with its quotes,
// 42 in digits), at most row_limit rows; count is all of them.
void write_relation(qorvantel::json_writer& out, const qorvantel::relation& shown, std::size_t row_limit)
{
    qorvantel::tree_node shape;
    qorvantel::describe_result(shape, shown);
    const qorvantel::shared<qorvantel::value>& name = shown.relation_schema()->name();
    out.begin_object();
    out.key("name").string(name.empty() ? std::string() : qorvantel::written(name));
    out.key("schema").string(shape.schema);
    qorvantel::write_columns(out, shape.columns);
    out.key("count").number(static_cast<double>(shape.rows));
    out.key("rows").begin_array();
    const qorvantel::row_list& rows = shown.relation_table()->rows();
    std::string field;
    for (std::size_t i = 0; i < rows.size() && i < row_limit; ++i) {
        out.begin_array();
        for (const qorvantel::shared<qorvantel::value>& each : *rows[i]) {
            field.clear();
            if (!each.empty())
                qorvantel::append_written(field, *each);
            out.string(field);
        }
        out.end_array();
    }
    out.end_array();
    out.end_object();
}

// One side's result as its relation, cut as the report's text cuts it, or
// {"error"}: the message its text holds instead.
void write_result(qorvantel::json_writer& out, const qorvantel::shared<qorvantel::relation>& result,
                  const std::string& text)
{
    if (!result.empty()) {
        write_relation(out, *result, qorvantel::report_shown_rows);
        return;
    }
    std::string message = text;
    if (!message.empty() && message.back() == '\n')
        message.pop_back();
    out.begin_object().key("error").string(message).end_object();
}

// The report's tables as relations, so that the page draws them without
// reading the text back: {"counterexample": [relation], "reference",
// "answer"}; the counterexample is empty for a "same" verdict, which has
// none, and is shown whole, as the text shows it.
std::string tables_json(const qorvantel::check_report& report)
{
    qorvantel::json_writer out;
    out.begin_object().key("counterexample").begin_array();
    if (!report.counterexample_database.empty())
        for (const auto& [name, each] : report.counterexample_database->relations())
            write_relation(out, *each, each->relation_table()->rows().size());
    out.end_array();
    out.key("reference");
    write_result(out, report.reference_result, report.reference);
    out.key("answer");
    write_result(out, report.answer_result, report.answer);
    return out.end_object().result();
}

// The report's JSON object with its tables and the student's verdict added.
std::string with_tables_and_verdict(const qorvantel::check_report& report, const std::string& verdict)
{
    std::string json = qorvantel::report_json(report);
    std::string::size_type end = json.rfind('}');
    if (end == std::string::npos)
        return json;
    return json.substr(0, end) + ", \"tables\": " + tables_json(report) + ", \"student\": " + verdict + "}";
}

std::string check_answer_json(const std::string& environment_text, const std::string& references_text,
                              const std::string& answer, bool strict_names, const std::string& forbidden_text,
                              const std::string& constraints_text)
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
        options.constraints = qorvantel::read_constraints(constraints_text, "the exercise's constraints");
        std::vector<std::string> references = split_at_nul(references_text);
        qorvantel::check_report first;
        for (std::size_t i = 0; i < references.size(); ++i) {
            qorvantel::check_report report = qorvantel::check_answer(environment_text, references[i], answer, options);
            if (report.verdict == qorvantel::check_verdict::same)
                return with_tables_and_verdict(report, student_verdict(environment_text, references[i], answer, true));
            if (i == 0)
                first = report;
        }
        return with_tables_and_verdict(first, student_verdict(environment_text, references.front(), answer, false));
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
