// Rows and columns of a result for Python.
#include "python/relation_values.h"

#include "convert/sql_tables.h"
#include "python/python_text.h"
#include "values/value.h"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace qorvantel::python {

namespace {
// The cyclic garbage collector held off while many containers are made at
// once (a tuple per row), which it would otherwise scan again and again.
class collector_paused {
public:
    collector_paused() : was_enabled_(PyGC_Disable() == 1) {}
    ~collector_paused()
    {
        if (was_enabled_)
            PyGC_Enable();
    }
    collector_paused(const collector_paused&) = delete;
    collector_paused& operator=(const collector_paused&) = delete;

private:
    bool was_enabled_;
};

py::object value_object(const shared<value>& field)
{
    if (field.empty())
        return py::none();
    if (field->kind() == value_kind::integer)
        return py::int_(static_cast<const integer_value&>(*field).number());
    if (field->kind() == value_kind::string)
        return to_python(static_cast<const string_value&>(*field).content());
    return to_python(static_cast<const symbol_value&>(*field).content());
}

// Python objects for a result's values, one str per distinct string value:
// equal strings of a column are mostly one shared value (the parser's and
// the operators' dictionaries), so a million rows make far fewer objects.
class value_objects {
public:
    // A new reference.
    PyObject* get(const shared<value>& field)
    {
        if (field.empty() || field->kind() != value_kind::string)
            return value_object(field).release().ptr();
        auto found = strings_.find(&*field);
        if (found == strings_.end())
            found = strings_.emplace(&*field, value_object(field)).first;
        return found->second.inc_ref().ptr();
    }

private:
    std::unordered_map<const value*, py::object> strings_;
};
} // namespace

py::list schema_of(const relation& r)
{
    py::list columns;
    for (const shared<column>& each : r.relation_schema()->columns())
        columns.append(
            py::make_tuple(to_python(symbol_text(*each->name())), to_python(written_of(each->column_type()))));
    return columns;
}

py::list rows_of(const relation& r, std::size_t limit)
{
    const row_list& rows = r.relation_table()->rows();
    std::size_t count = std::min(rows.size(), limit);
    collector_paused paused;
    py::list out(count);
    value_objects objects;
    for (std::size_t i = 0; i < count; ++i) {
        const row& each = *rows[i];
        PyObject* tuple = PyTuple_New(static_cast<Py_ssize_t>(each.size()));
        if (tuple == nullptr)
            throw py::error_already_set();
        Py_ssize_t j = 0;
        for (const shared<value>& field : each)
            PyTuple_SET_ITEM(tuple, j++, objects.get(field));
        PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i), tuple);
    }
    return out;
}

py::list columns_of(const relation& r)
{
    const row_list& rows = r.relation_table()->rows();
    const column_list& columns = r.relation_schema()->columns();
    py::list out;
    value_objects objects;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        bool integer = written_of(columns[c]->column_type()) == "int";
        if (integer) {
            py::array_t<std::int64_t> numbers(static_cast<py::ssize_t>(rows.size()));
            std::int64_t* into = numbers.mutable_data();
            for (std::size_t i = 0; i < rows.size(); ++i) {
                const shared<value>& field = rows[i]->begin()[c];
                into[i] = static_cast<const integer_value&>(*field).number();
            }
            out.append(std::move(numbers));
        } else {
            // An array of objects, which pandas takes as it is.
            py::array strings(py::dtype("O"), std::vector<py::ssize_t>{static_cast<py::ssize_t>(rows.size())});
            PyObject** into = static_cast<PyObject**>(strings.mutable_data());
            for (std::size_t i = 0; i < rows.size(); ++i) {
                PyObject* previous = into[i];
                into[i] = objects.get(rows[i]->begin()[c]);
                Py_XDECREF(previous);
            }
            out.append(std::move(strings));
        }
    }
    return out;
}

} // namespace qorvantel::python
