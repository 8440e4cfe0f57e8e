// Text between Python and the core: str crosses as UTF-8 (surrogate
// escapes for bytes that are not UTF-8, in both directions) or as bytes;
// what the core writes to a stream is gathered in one string.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace qorvantel::python {

namespace py = pybind11;

py::str to_python(std::string_view bytes);

// A str or bytes; anything else a TypeError naming the argument (what).
// The string has room for one more byte, the newline that a text adds to
// a last line without one, so that a large input is not copied again.
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

// What a relation or an environment writes, which may be as large as the
// memory allows: kept in memory from malloc and grown with realloc, which
// moves a large block by remapping its pages instead of copying them and
// touching new ones (a std::string doubles by copying), so that the text
// is written once and copied once, into the Python object.
class written_text final : public std::streambuf {
public:
    written_text() = default;
    written_text(const written_text&) = delete;
    written_text& operator=(const written_text&) = delete;
    written_text(written_text&&) noexcept = default;
    written_text& operator=(written_text&&) noexcept = default;
    ~written_text() override = default;

    std::string_view view() const noexcept { return {data_.get(), size_}; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;

private:
    struct freed {
        void operator()(char* block) const noexcept;
    };
    void make_room(std::size_t more);

    std::unique_ptr<char, freed> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// What a relation writes, written straight into a bytes object that grows
// as written_text does (Python's allocator hands a large block to realloc),
// so that bytes() of a large result is never copied. The worker that writes
// it takes the interpreter's lock to grow the object.
class bytes_output final : public std::streambuf {
public:
    bytes_output() = default;
    bytes_output(const bytes_output&) = delete;
    bytes_output& operator=(const bytes_output&) = delete;
    bytes_output(bytes_output&& other) noexcept;
    bytes_output& operator=(bytes_output&&) = delete;
    ~bytes_output() override;

    // The bytes written, once; the interpreter's lock held.
    py::bytes take();

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;

private:
    void make_room(std::size_t more);

    PyObject* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

template <class Buffer, class T>
Buffer written_into(const T& object)
{
    Buffer buffer;
    {
        std::ostream out(&buffer);
        out << object;
    }
    return buffer;
}

template <class T>
written_text written_whole(const T& object)
{
    return written_into<written_text>(object);
}

} // namespace qorvantel::python
