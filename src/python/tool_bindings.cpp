// The checker, lint, the grader and the converter's writers (SQL, LaTeX)
// for Python: each returns the JSON or the text its program writes.
#include "python/bindings.h"

#include "algebra/expression.h"
#include "check/check_report.h"
#include "check/checker.h"
#include "check/exercises.h"
#include "check/grading.h"
#include "check/json_text.h"
#include "check/lint.h"
#include "convert/latex.h"
#include "convert/sql_dialect.h"
#include "convert/sql_query.h"
#include "convert/sql_tables.h"
#include "parsing/parsing.h"
#include "python/python_text.h"

#include <pybind11/stl.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace qorvantel::python {

namespace {
check_options options_of(bool strict_names, std::size_t instances, std::uint64_t seed)
{
    if (instances > 1000000)
        throw py::value_error("instances must be from 0 to 1000000");
    check_options options;
    options.strict_names = strict_names;
    options.instances = instances;
    options.seed = seed;
    return options;
}

std::string lint_json(const std::vector<lint_note>& notes)
{
    std::string out = "{\"notes\": [";
    for (std::size_t i = 0; i < notes.size(); ++i)
        out += (i > 0 ? ", " : "") + std::string("{\"line\": ") + std::to_string(notes[i].line) + ", \"column\": "
            + std::to_string(notes[i].column) + ", \"message\": " + json_string(notes[i].message) + "}";
    return out + "]}";
}

// {"database", "exercises": [{"id", "points", "question", "database",
// "forbidden", "strict_names", "answers"}]}, as the page reads them.
std::string exercises_json(const exercise_file& file)
{
    std::string out = "{\"database\": " + json_string(file.database) + ", \"exercises\": [";
    for (std::size_t i = 0; i < file.exercises.size(); ++i) {
        const exercise& e = file.exercises[i];
        out += (i > 0 ? ", " : "");
        out += "{\"id\": " + json_string(e.id) + ", \"points\": " + std::to_string(e.points)
            + ", \"question\": " + json_string(e.question) + ", \"database\": " + json_string(e.database)
            + ", \"forbidden\": " + json_strings(e.forbidden) + ", \"strict_names\": "
            + (e.strict_names ? "true" : "false") + ", \"answers\": " + json_strings(e.answers) + "}";
    }
    return out + "]}";
}

void bind_environment_tools(py::class_<held_environment>& environments)
{
    environments
        .def("check",
             [](const held_environment& e, const py::object& reference, const py::object& answer, bool strict_names,
                std::size_t instances, std::uint64_t seed) {
                 std::string reference_text = from_python(reference, "reference");
                 std::string answer_text = from_python(answer, "answer");
                 check_options options = options_of(strict_names, instances, seed);
                 std::string json = run_core([&] {
                     shared<expression> query = parse_expression(reference_text);
                     return report_json(check_answer(e.handle(), *query, answer_text, options));
                 });
                 return to_python(json);
             })
        .def("lint",
             [](const held_environment& e, const py::object& source) {
                 std::string expression_text = from_python(source, "expression");
                 std::string json = run_core([&] { return lint_json(lint_expression(*e.handle(), expression_text)); });
                 return to_python(json);
             })
        .def("to_sql",
             [](const held_environment& e, const py::object& source, const std::string& dialect_name, bool tables) {
                 std::optional<sql_dialect> dialect = dialect_named(dialect_name);
                 if (!dialect)
                     throw py::value_error("unknown dialect " + dialect_name + " (sqlite, postgresql or duckdb)");
                 std::string expression_text = source.is_none() ? std::string() : from_python(source, "expression");
                 bool has_query = !source.is_none();
                 std::string sql = run_core([&] {
                     std::string out = tables ? sql_tables(*e.handle(), *dialect) : std::string();
                     if (has_query) {
                         shared<expression> query = parse_whole<expression>("expression", expression_text);
                         out += (tables ? "\n-- " + written_of(*query) + "\n" : std::string())
                             + sql_query(query, e.handle(), *dialect);
                     }
                     return out;
                 });
                 return to_python(sql);
             });
}
} // namespace

void bind_tools(py::module_& module, py::class_<held_environment>& environments)
{
    bind_environment_tools(environments);
    module.def("grade",
               [](const py::object& exercises, const std::vector<py::object>& submissions, bool strict_names,
                  std::size_t instances, std::uint64_t seed) {
                   std::string exercises_name = from_python(exercises, "exercises");
                   std::vector<std::string> names;
                   for (const py::object& each : submissions)
                       names.push_back(from_python(each, "submission"));
                   check_options options = options_of(strict_names, instances, seed);
                   std::string json = run_core([&] {
                       file_reader reader = [](const std::string& name) { return read_module_file(name); };
                       return grade_submissions(exercises_name, names, reader, options).json;
                   });
                   return to_python(json);
               });
    module.def("exercises", [](const py::object& path) {
        std::string name = from_python(path, "path");
        std::string json = run_core([&] { return exercises_json(parse_exercises(read_module_file(name), name)); });
        return to_python(json);
    });
    module.def("to_latex", [](const py::object& source) {
        std::string expression_text = from_python(source, "expression");
        std::string latex
            = run_core([&] { return latex_formula(*parse_whole<expression>("expression", expression_text)); });
        return to_python(latex);
    });
}

} // namespace qorvantel::python
