// Text between Python and the core: str crosses as UTF-8 (surrogate
// escapes for bytes that are not UTF-8, in both directions) or as bytes;
// what the core writes to a stream is gathered in one string.
#pragma once

#include <pybind11/pybind11.h>

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace qorvantel::python {

namespace py = pybind11;

py::str to_python(std::string_view bytes);

// A str or bytes; anything else a TypeError naming the argument (what).
std::string from_python(const py::handle& object, const char* what);

// Gathers what is written into one string; a flush (each row ends with
// one) costs nothing, as in the console's batch output.
class string_output final : public std::streambuf {
public:
    std::string text;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;
};

template <class T>
std::string written_of(const T& object)
{
    string_output buffer;
    std::ostream out(&buffer);
    out << object;
    return std::move(buffer.text);
}

} // namespace qorvantel::python
