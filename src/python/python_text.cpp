// Strings across the binding.
#include "python/python_text.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qorvantel::python {

py::str to_python(std::string_view bytes)
{
    PyObject* made = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "surrogateescape");
    if (made == nullptr)
        throw py::error_already_set();
    return py::reinterpret_steal<py::str>(made);
}

namespace {
std::string sized_for_text(const char* data, std::size_t size)
{
    std::string bytes;
    bytes.reserve(size + 1);
    bytes.append(data, size);
    return bytes;
}
} // namespace

std::string from_python(const py::handle& object, const char* what)
{
    if (PyBytes_Check(object.ptr()))
        return sized_for_text(PyBytes_AS_STRING(object.ptr()),
                              static_cast<std::size_t>(PyBytes_GET_SIZE(object.ptr())));
    if (!PyUnicode_Check(object.ptr()))
        throw py::type_error(std::string(what) + " must be str or bytes, not "
                             + std::string(py::str(py::type::handle_of(object).attr("__name__"))));
    PyObject* encoded = PyUnicode_AsEncodedString(object.ptr(), "utf-8", "surrogateescape");
    if (encoded == nullptr)
        throw py::error_already_set();
    std::string bytes;
    try {
        bytes = sized_for_text(PyBytes_AS_STRING(encoded), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded)));
    } catch (...) {
        Py_DECREF(encoded);
        throw;
    }
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

void written_text::freed::operator()(char* block) const noexcept { std::free(block); }

void written_text::make_room(std::size_t more)
{
    if (capacity_ - size_ >= more)
        return;
    std::size_t wanted = std::max({capacity_ * 2, size_ + more, std::size_t{1} << 16});
    void* grown = std::realloc(data_.get(), wanted);
    if (grown == nullptr)
        throw std::bad_alloc();
    static_cast<void>(data_.release());
    data_.reset(static_cast<char*>(grown));
    capacity_ = wanted;
}

bytes_output::bytes_output(bytes_output&& other) noexcept
    : bytes_(other.bytes_), size_(other.size_), capacity_(other.capacity_)
{
    other.bytes_ = nullptr;
}

bytes_output::~bytes_output()
{
    if (bytes_ == nullptr)
        return;
    py::gil_scoped_acquire gil;
    Py_DECREF(bytes_);
}

void bytes_output::make_room(std::size_t more)
{
    if (capacity_ - size_ >= more)
        return;
    std::size_t wanted = std::max({capacity_ * 2, size_ + more, std::size_t{1} << 16});
    if (wanted > static_cast<std::size_t>(PY_SSIZE_T_MAX))
        throw std::bad_alloc();
    py::gil_scoped_acquire gil;
    bool failed = bytes_ == nullptr
        ? (bytes_ = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(wanted))) == nullptr
        : _PyBytes_Resize(&bytes_, static_cast<Py_ssize_t>(wanted)) != 0;
    if (failed) {
        // _PyBytes_Resize has let the object go.
        PyErr_Clear();
        bytes_ = nullptr;
        size_ = capacity_ = 0;
        throw std::bad_alloc();
    }
    capacity_ = wanted;
}

py::bytes bytes_output::take()
{
    if (bytes_ == nullptr)
        return py::bytes();
    if (_PyBytes_Resize(&bytes_, static_cast<Py_ssize_t>(size_)) != 0) {
        bytes_ = nullptr;
        throw py::error_already_set();
    }
    PyObject* taken = bytes_;
    bytes_ = nullptr;
    return py::reinterpret_steal<py::bytes>(taken);
}

bytes_output::int_type bytes_output::overflow(int_type c)
{
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        make_room(1);
        PyBytes_AS_STRING(bytes_)[size_++] = traits_type::to_char_type(c);
    }
    return traits_type::not_eof(c);
}

std::streamsize bytes_output::xsputn(const char* data, std::streamsize count)
{
    auto bytes = static_cast<std::size_t>(count);
    make_room(bytes);
    std::memcpy(PyBytes_AS_STRING(bytes_) + size_, data, bytes);
    size_ += bytes;
    return count;
}

written_text::int_type written_text::overflow(int_type c)
{
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        make_room(1);
        data_.get()[size_++] = traits_type::to_char_type(c);
    }
    return traits_type::not_eof(c);
}

std::streamsize written_text::xsputn(const char* data, std::streamsize count)
{
    auto bytes = static_cast<std::size_t>(count);
    make_room(bytes);
    std::memcpy(data_.get() + size_, data, bytes);
    size_ += bytes;
    return count;
}

} // namespace qorvantel::python
