// Environments for Python: from text, from a file, and the converter's
// environment text of CSV files and of a SQLite database (which the
// package then loads as text).
#include "python/bindings.h"

#include "convert/csv_import.h"
#include "convert/sqlite_import.h"
#include "parsing/parsing.h"
#include "python/python_text.h"
#include "text/failure.h"
#include "text/input_file.h"
#include "text/text.h"

#include <pybind11/stl.h>

#include <memory>
#include <set>
#include <vector>

namespace qorvantel::python {

namespace {
// "-" is a file's name for Python, never standard input.
std::string file_path(const std::string& path) { return path == "-" ? "./-" : path; }

// The text is moved into the parser's, not copied: an environment may be
// most of the memory there is.
std::unique_ptr<held_environment> environment_of_text(std::string source)
{
    return run_core([&] {
        text input(std::move(source));
        return std::make_unique<held_environment>(parse_whole<environment>("environment", input));
    });
}

// CSV files (datas empty or None) or their contents (data given), each
// named after its file unless its relation name is given.
std::string csv_environment_text(const std::vector<py::object>& names, const std::vector<py::object>& datas,
                                 const std::vector<py::object>& relation_names, const py::object& types)
{
    std::vector<std::string> files, contents, relations;
    for (std::size_t i = 0; i < names.size(); ++i) {
        files.push_back(from_python(names[i], "path"));
        contents.push_back(datas[i].is_none() ? std::string() : from_python(datas[i], "data"));
        relations.push_back(relation_names[i].is_none() ? std::string() : from_python(relation_names[i], "name"));
    }
    bool read_files = !datas.empty() && datas[0].is_none();
    std::string types_text = types.is_none() ? std::string() : from_python(types, "types");
    return run_core([&] {
        std::vector<type_request> requests;
        if (!types_text.empty())
            requests = parse_type_requests(types_text);
        std::set<std::string> used;
        std::string out;
        for (std::size_t i = 0; i < files.size(); ++i) {
            std::string data = read_files ? read_module_file(files[i]) : contents[i];
            std::string relation = relations[i].empty() ? relation_name_of_file(files[i]) : relations[i];
            out += relation_from_csv(data, files[i], relation, requests, used);
        }
        for (const type_request& request : requests)
            if (used.count(request.column) == 0)
                throw setup_error("--types: no file has a column named " + request.column);
        return out;
    });
}
} // namespace

std::string read_module_file(const std::string& path) { return read_input_file(file_path(path)); }

void bind_inputs(py::module_& module)
{
    module.def("environment_from_text",
               [](const py::object& source) { return environment_of_text(from_python(source, "text")); });
    module.def("environment_from_file", [](const py::object& path) {
        std::string name = from_python(path, "path");
        std::string source = run_core([&] { return read_module_file(name); });
        return environment_of_text(std::move(source));
    });
    module.def("csv_environment_text",
               [](const std::vector<py::object>& names, const std::vector<py::object>& datas,
                  const std::vector<py::object>& relation_names, const py::object& types) {
                   return to_python(csv_environment_text(names, datas, relation_names, types));
               });
    module.def("sqlite_environment_text", [](const py::object& path, const std::vector<py::object>& tables) {
        std::string name = file_path(from_python(path, "path"));
        std::vector<std::string> names;
        for (const py::object& each : tables)
            names.push_back(from_python(each, "table"));
        std::string text = run_core([&] {
            if (!sqlite_available())
                throw setup_error("This build has no SQLite library.");
            return environment_from_sqlite(name, names);
        });
        return to_python(text);
    });
}

} // namespace qorvantel::python
