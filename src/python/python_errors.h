// The package's error classes, and the one translation of whatever the
// core or the tools raised into them. The kind and the message come from
// failure_of (text/failure.h), as the programs show them: str() of the
// Python error is the console's message, without its newline.
#pragma once

#include <pybind11/pybind11.h>

#include <exception>

namespace qorvantel::python {

namespace py = pybind11;

// Handed over by python/qorvantel at import: Error, ParseError, QueryError,
// OutOfMemoryError, SetupError.
void set_error_classes(py::object error, py::object parse, py::object query, py::object memory, py::object setup);

// Registers the translation with pybind11; until set_error_classes runs,
// exceptions go through pybind11's own.
void register_error_translation();

} // namespace qorvantel::python
