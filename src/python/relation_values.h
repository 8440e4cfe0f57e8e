// A relation's schema and rows as Python objects: tuples of int and str in
// the console's order, and columns for pandas.
#pragma once

#include "relations/relation.h"

#include <pybind11/pybind11.h>

#include <cstddef>

namespace qorvantel::python {

namespace py = pybind11;

// [(name, type)] of the relation's columns.
py::list schema_of(const relation& r);

// The first limit rows, each a tuple.
py::list rows_of(const relation& r, std::size_t limit);

// One array per column: int64 for an int column, objects (str) for a char
// column.
py::list columns_of(const relation& r);

} // namespace qorvantel::python
