// Exceptions of the core and the tools as the package's error classes.
#include "python/python_errors.h"

#include "python/python_text.h"
#include "text/diagnostics.h"
#include "text/failure.h"
#include "text/interrupt.h"
#include "text/pool.h"
#include "text/text.h"

#include <optional>
#include <string>

namespace qorvantel::python {

namespace {
struct error_classes {
    py::object error, parse, query, memory, setup;
};
error_classes* errors = nullptr;

// The console escapes ESC in a message; the rest is its bytes.
std::string console_message(const std::string& message)
{
    string_output buffer;
    std::ostream out(&buffer);
    for (char each : message)
        write_message_char(out, each);
    return std::move(buffer.text);
}

void raise(const py::object& cls, const std::string& message, const std::optional<source_place>& place)
{
    py::object line = py::none(), column = py::none();
    if (place) {
        line = py::int_(place->line);
        column = py::int_(place->column);
    }
    py::object instance = cls(to_python(console_message(message)), line, column);
    PyErr_SetObject(cls.ptr(), instance.ptr());
}

// Where a parse error happened; nothing for every other failure.
std::optional<source_place> place_of(const std::exception_ptr& thrown)
{
    try {
        std::rethrow_exception(thrown);
    } catch (const input_error& error) {
        return error.place();
    } catch (...) {
        return std::nullopt;
    }
}

const py::object& class_of(const failure& failed, const std::optional<source_place>& place, bool logic)
{
    switch (failed.kind) {
    case failure_kind::memory:
        return errors->memory;
    case failure_kind::usage:
    case failure_kind::setup:
        return errors->setup;
    case failure_kind::input:
        // A logic_error is a fault of ours that the console still shows by
        // its text: the base class, since it is no error of the query.
        if (logic)
            return errors->error;
        return place ? errors->parse : errors->query;
    case failure_kind::internal:
        break;
    }
    return errors->error;
}

void translate(const std::exception_ptr& thrown)
{
    bool logic = false;
    try {
        std::rethrow_exception(thrown);
    } catch (const py::error_already_set&) {
        throw;
    } catch (const py::builtin_exception&) {
        throw;
    } catch (const interrupted&) {
        PyErr_SetNone(PyExc_KeyboardInterrupt);
        return;
    } catch (const std::logic_error&) {
        logic = true;
    } catch (...) {
    }
    failure failed = failure_of(thrown);
    if (failed.kind == failure_kind::memory)
        pool::trim();
    std::optional<source_place> place = place_of(thrown);
    raise(class_of(failed, place, logic), failed.message, place);
}
} // namespace

void set_error_classes(py::object error, py::object parse, py::object query, py::object memory, py::object setup)
{
    static error_classes kept;
    kept = {std::move(error), std::move(parse), std::move(query), std::move(memory), std::move(setup)};
    errors = &kept;
}

void register_error_translation()
{
    py::register_exception_translator([](std::exception_ptr thrown) {
        if (errors == nullptr)
            std::rethrow_exception(thrown);
        translate(thrown);
    });
}

} // namespace qorvantel::python
