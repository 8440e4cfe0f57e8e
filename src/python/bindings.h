// The parts of the module qorvantel._core, each adding its classes and
// functions to it (module.cpp defines the module).
#pragma once

#include "python/core_access.h"
#include "relations/environment.h"

#include <pybind11/pybind11.h>

#include <string>

namespace qorvantel::python {

namespace py = pybind11;

using held_relation = held<relation>;
using held_environment = held<environment>;

// CoreRelation and CoreEnvironment with its relations, text and evaluation.
py::class_<held_environment> bind_relations(py::module_& module);

// The environment's checker, lint and SQL methods; check's grade and
// exercises, to_latex.
void bind_tools(py::module_& module, py::class_<held_environment>& environments);

// Environments from text, a file, CSV files and a SQLite database.
void bind_inputs(py::module_& module);

// A file the module reads (an environment, CSV, an exercise file, a
// submission): a regular file within the memory budget, its byte order
// mark skipped, as the companion programs read it. "-" is the file of that
// name, not standard input.
std::string read_module_file(const std::string& path);

} // namespace qorvantel::python
