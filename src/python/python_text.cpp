// Strings across the binding.
#include "python/python_text.h"

namespace qorvantel::python {

py::str to_python(std::string_view bytes)
{
    PyObject* made = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "surrogateescape");
    if (made == nullptr)
        throw py::error_already_set();
    return py::reinterpret_steal<py::str>(made);
}

std::string from_python(const py::handle& object, const char* what)
{
    if (PyBytes_Check(object.ptr()))
        return std::string(PyBytes_AS_STRING(object.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(object.ptr())));
    if (!PyUnicode_Check(object.ptr()))
        throw py::type_error(std::string(what) + " must be str or bytes, not "
                             + std::string(py::str(py::type::handle_of(object).attr("__name__"))));
    PyObject* encoded = PyUnicode_AsEncodedString(object.ptr(), "utf-8", "surrogateescape");
    if (encoded == nullptr)
        throw py::error_already_set();
    std::string bytes(PyBytes_AS_STRING(encoded), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded)));
    Py_DECREF(encoded);
    return bytes;
}

string_output::int_type string_output::overflow(int_type c)
{
    if (!traits_type::eq_int_type(c, traits_type::eof()))
        text.push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}

std::streamsize string_output::xsputn(const char* data, std::streamsize count)
{
    text.append(data, static_cast<std::size_t>(count));
    return count;
}

} // namespace qorvantel::python
