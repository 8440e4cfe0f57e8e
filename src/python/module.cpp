// The Python module qorvantel._core: the interpreter, the checker and the
// converter as the package python/qorvantel sees them.
//
// The core is single-threaded (its handles relink rings, its pool is one
// free list), so every use of it holds core_mutex; the interpreter's lock
// (the GIL) is released first, so that a long evaluation leaves other
// Python threads running and no thread waits for core_mutex while holding
// the GIL (the order is always: release the GIL, take core_mutex, then take
// the GIL again if Python objects are made). An evaluation runs on a worker
// thread while the calling thread looks for signals every 50 ms, so that
// Ctrl-C (a Python-level KeyboardInterrupt, or whatever the SIGINT handler
// raises) stops it through the core's interrupt flag. Every exception of
// the core becomes one of the package's error classes; nothing a caller
// passes reaches the core unchecked (strings cross as UTF-8 bytes, with
// surrogate escapes for bytes that are not UTF-8).
#include "algebra/expression.h"
#include "check/check_report.h"
#include "check/checker.h"
#include "check/exercises.h"
#include "check/grading.h"
#include "check/json_text.h"
#include "check/lint.h"
#include "convert/csv_import.h"
#include "convert/latex.h"
#include "convert/sql_dialect.h"
#include "convert/sql_query.h"
#include "convert/sql_tables.h"
#include "convert/sqlite_import.h"
#include "driver/messages.h"
#include "parsing/parsing.h"
#include "python/observed_tree.h"
#include "relations/environment.h"
#include "text/diagnostics.h"
#include "text/interrupt.h"
#include "text/memory.h"
#include "text/pool.h"
#include "text/text.h"
#include "values/value.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace py = pybind11;
using namespace qorvantel;

namespace {

std::mutex core_mutex;
// How many core_lock objects this thread holds (a worker counts as its
// caller's): a nested one, or a handle released under the lock, does not
// lock again.
thread_local int core_depth = 0;

class core_lock {
public:
    core_lock()
    {
        if (core_depth++ == 0)
            core_mutex.lock();
    }
    ~core_lock()
    {
        if (--core_depth == 0)
            core_mutex.unlock();
    }
    core_lock(const core_lock&) = delete;
    core_lock& operator=(const core_lock&) = delete;
};

// A worker's end, which its caller waits for. While the caller runs Python
// signal handlers, current_worker points to it: a handler that uses the
// core is refused, and one that drops the last reference to a relation or
// an environment waits for the worker to end before the handle goes, so
// that the core never runs on two threads at once.
struct worker_state {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};
thread_local worker_state* current_worker = nullptr;

void finish_worker_first()
{
    worker_state* worker = current_worker;
    if (worker == nullptr)
        return;
    std::unique_lock<std::mutex> lock(worker->mutex);
    worker->finished.wait(lock, [&] { return worker->done; });
}

// A signal handler that calls the core while an evaluation runs gets an
// error at once: waiting for the evaluation would hold up the Ctrl-C that
// is to stop it.
void refuse_while_running()
{
    if (current_worker != nullptr)
        throw std::runtime_error("qorvantel is busy: it cannot be called from a signal handler during an evaluation.");
}

struct running_handlers {
    explicit running_handlers(worker_state& worker) : previous_(current_worker) { current_worker = &worker; }
    ~running_handlers() { current_worker = previous_; }
    running_handlers(const running_handlers&) = delete;
    running_handlers& operator=(const running_handlers&) = delete;

private:
    worker_state* previous_;
};

// A thread working for the holder of the lock.
struct core_delegate {
    core_delegate() { ++core_depth; }
    ~core_delegate() { --core_depth; }
};

// The package's error classes, handed over by python/qorvantel at import.
struct error_classes {
    py::object error, parse, query, memory, setup;
};
error_classes* errors = nullptr;

// Raised in C++ for the package's SetupError (a file or an argument the
// core never sees).
struct setup_failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The console escapes ESC in a message; the rest is its bytes.
std::string console_message(const char* message)
{
    std::ostringstream out;
    for (const char* each = message; *each != '\0'; ++each)
        write_message_char(out, *each);
    return out.str();
}

py::str to_python(std::string_view bytes)
{
    PyObject* made = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "surrogateescape");
    if (made == nullptr)
        throw py::error_already_set();
    return py::reinterpret_steal<py::str>(made);
}

// A str (UTF-8, surrogate escapes back to bytes) or bytes; anything else a
// TypeError naming the argument.
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

void raise(const py::object& cls, const std::string& message, std::optional<source_place> place = std::nullopt)
{
    py::object line = py::none(), column = py::none();
    if (place) {
        line = py::int_(place->line);
        column = py::int_(place->column);
    }
    py::object instance = cls(to_python(console_message(message.c_str())), line, column);
    PyErr_SetObject(cls.ptr(), instance.ptr());
}

// Runs work without the GIL under core_mutex on a worker thread, looking
// for signals on the calling thread meanwhile; a signal whose handler
// raises (KeyboardInterrupt) interrupts the work and is raised in its place.
template <class Work>
auto run_core(Work work) -> decltype(work())
{
    using result_type = decltype(work());
    refuse_while_running();
    std::optional<result_type> result;
    std::exception_ptr failure;
    bool signalled = false;
    {
        py::gil_scoped_release released;
        core_lock core;
        clear_interrupt();
        worker_state state;
        std::thread worker([&] {
            core_delegate delegate;
            try {
                result.emplace(work());
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard<std::mutex> lock(state.mutex);
            state.done = true;
            state.finished.notify_all();
        });
        {
            std::unique_lock<std::mutex> lock(state.mutex);
            while (!state.finished.wait_for(lock, std::chrono::milliseconds(50), [&] { return state.done; })) {
                if (signalled)
                    continue;
                lock.unlock();
                {
                    py::gil_scoped_acquire gil;
                    running_handlers handlers(state);
                    if (PyErr_CheckSignals() != 0) {
                        signalled = true;
                        request_interrupt();
                    }
                }
                lock.lock();
            }
        }
        worker.join();
        clear_interrupt();
        if (failure)
            pool::trim();
    }
    if (signalled) {
        // The handler's exception is pending; what the work gave is dropped
        // under the core's lock.
        py::gil_scoped_release released;
        core_lock core;
        result.reset();
        failure = nullptr;
    }
    if (signalled)
        throw py::error_already_set();
    if (failure)
        std::rethrow_exception(failure);
    return std::move(*result);
}

// Runs quick work (no evaluation) under core_mutex, GIL held for making
// Python objects.
template <class Work>
auto with_core(Work work) -> decltype(work())
{
    refuse_while_running();
    if (core_depth > 0)
        return work();
    py::gil_scoped_release released;
    core_lock core;
    py::gil_scoped_acquire gil;
    return work();
}

// Set once the interpreter exits (an atexit function of the package): the
// handles Python still holds are then left for the end of the process, as
// the console leaves a batch run's relations, instead of a million rows
// being released one by one just before the process ends.
bool process_exiting = false;

// A core handle that Python holds: released under core_mutex.
template <class T>
class held {
public:
    explicit held(shared<T> handle) : handle_(std::move(handle)) {}
    held(const held&) = delete;
    held& operator=(const held&) = delete;
    ~held()
    {
        finish_worker_first();
        if (process_exiting && core_depth == 0) {
            core_lock core;
            new shared<T>(std::move(handle_));
            return;
        }
        if (core_depth > 0 || !PyGILState_Check()) {
            core_lock core;
            handle_ = shared<T>();
        } else {
            py::gil_scoped_release released;
            core_lock core;
            handle_ = shared<T>();
        }
    }
    // Only under core_mutex.
    const shared<T>& handle() const noexcept { return handle_; }

private:
    shared<T> handle_;
};

using held_relation = held<relation>;
using held_environment = held<environment>;

// Gathers what is written into one string; a flush (each row ends with
// one) costs nothing, as in the console's batch output.
class string_output final : public std::streambuf {
public:
    std::string text;

protected:
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            text.push_back(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* data, std::streamsize count) override
    {
        text.append(data, static_cast<std::size_t>(count));
        return count;
    }
};

template <class T>
std::string written_of(const T& object)
{
    string_output buffer;
    std::ostream out(&buffer);
    out << object;
    return std::move(buffer.text);
}

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

const std::string& name_text(const value& name) { return symbol_text(name); }

py::list schema_of(const relation& r)
{
    py::list columns;
    for (const shared<column>& each : r.relation_schema()->columns())
        columns.append(py::make_tuple(to_python(name_text(*each->name())), to_python(written_of(each->column_type()))));
    return columns;
}

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

// Columns for pandas: an int64 array for an int column, a list of str for
// a char column.
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

std::string read_regular_file(const std::string& path)
{
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status))
        throw setup_failure("Cannot read " + path + ".");
    if (std::filesystem::is_directory(status))
        throw setup_failure(path + " is a directory.");
    if (!std::filesystem::is_regular_file(status))
        throw setup_failure(path + " is not a regular file.");
    std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size > usable_memory())
        throw setup_failure(path + " is larger than the memory budget.");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw setup_failure("Cannot read " + path + ".");
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        throw setup_failure("Cannot read " + path + ".");
    return content.str();
}

std::unique_ptr<held_environment> environment_of_text(const std::string& source)
{
    return run_core(
        [&] { return std::make_unique<held_environment>(parse_whole<environment>("environment", source)); });
}

check_options options_of(bool strict_names, std::size_t instances, std::uint64_t seed)
{
    if (instances > 1000000)
        throw py::value_error("instances must be from 0 to 1000000");
    check_options options;
    options.strict_names = strict_names;
    options.instances = instances;
    options.seed = seed;
    return options;
}

std::string lint_json(const std::vector<lint_note>& notes)
{
    std::string out = "{\"notes\": [";
    for (std::size_t i = 0; i < notes.size(); ++i)
        out += (i > 0 ? ", " : "") + std::string("{\"line\": ") + std::to_string(notes[i].line) + ", \"column\": "
            + std::to_string(notes[i].column) + ", \"message\": " + json_string(notes[i].message) + "}";
    return out + "]}";
}

void translate(std::exception_ptr failure)
{
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const py::error_already_set&) {
        throw;
    } catch (const py::builtin_exception&) {
        throw;
    } catch (const std::bad_alloc&) {
        pool::trim();
        raise(errors->memory, messages::out_of_memory);
    } catch (const interrupted&) {
        PyErr_SetNone(PyExc_KeyboardInterrupt);
    } catch (const setup_failure& error) {
        raise(errors->setup, error.what());
    } catch (const check_setup_error& error) {
        raise(errors->setup, error.what());
    } catch (const input_error& error) {
        raise(error.place() ? errors->parse : errors->query, error.what(), error.place());
    } catch (const std::logic_error& error) {
        raise(errors->error, std::string("Internal error: ") + error.what());
    } catch (const std::exception& error) {
        raise(errors->query, error.what());
    }
}

} // namespace

PYBIND11_MODULE(_core, module)
{
    module.doc() = "The qorvantel core; use the package qorvantel.";
    // The same budget as the interpreter: the process's data limit set to
    // what the machine and its control groups allow, so that growth past it
    // is an allocation failure (OutOfMemoryError) instead of a kill.
    limit_memory();

    module.def("_set_errors",
               [](py::object error, py::object parse, py::object query, py::object memory, py::object setup) {
                   static error_classes kept;
                   kept = {std::move(error), std::move(parse), std::move(query), std::move(memory), std::move(setup)};
                   errors = &kept;
               });
    py::register_exception_translator([](std::exception_ptr failure) {
        if (errors == nullptr)
            std::rethrow_exception(failure);
        translate(failure);
    });
    module.def("_process_exits", [] { process_exiting = true; });
    module.def(
        "memory_budget", [] { return usable_memory(); }, "The memory budget in bytes.");
    module.def("sqlite_available", [] { return sqlite_available(); });

    py::class_<held_relation>(module, "CoreRelation")
        .def("name",
             [](const held_relation& r) {
                 return with_core([&]() -> py::object {
                     const shared<value>& name = r.handle()->relation_schema()->name();
                     return name.empty() ? py::object(py::none()) : py::object(to_python(name_text(*name)));
                 });
             })
        .def("schema", [](const held_relation& r) { return with_core([&] { return schema_of(*r.handle()); }); })
        .def("schema_text",
             [](const held_relation& r) {
                 return with_core([&] { return to_python(written_of(r.handle()->relation_schema())); });
             })
        .def("count",
             [](const held_relation& r) {
                 return with_core([&] { return r.handle()->relation_table()->rows().size(); });
             })
        .def("rows",
             [](const held_relation& r, std::size_t limit) {
                 return with_core([&] { return rows_of(*r.handle(), limit); });
             })
        .def("columns", [](const held_relation& r) { return with_core([&] { return columns_of(*r.handle()); }); })
        .def("text",
             [](const held_relation& r) {
                 std::string out = run_core([&] { return written_of(r.handle()); });
                 return to_python(out);
             })
        .def("text_bytes", [](const held_relation& r) {
            std::string out = run_core([&] { return written_of(r.handle()); });
            return py::bytes(out);
        });

    py::class_<held_environment>(module, "CoreEnvironment")
        .def("relations",
             [](const held_environment& e) {
                 return with_core([&] {
                     py::list out;
                     for (const auto& [name, bound] : e.handle()->relations())
                         out.append(
                             py::make_tuple(to_python(name_text(*name)), std::make_unique<held_relation>(bound)));
                     return out;
                 });
             })
        .def("text",
             [](const held_environment& e) {
                 std::string out = run_core([&] { return written_of(e.handle()); });
                 return to_python(out);
             })
        .def("evaluate",
             [](const held_environment& e, const py::object& source) {
                 std::string expression_text = from_python(source, "expression");
                 return run_core([&] {
                     shared<expression> query = parse_whole<expression>("expression", expression_text);
                     shared<relation> result = query->evaluate(e.handle());
                     pool::trim();
                     return std::make_unique<held_relation>(result);
                 });
             })
        .def("tree",
             [](const held_environment& e, const py::object& source) {
                 std::string expression_text = from_python(source, "expression");
                 std::string json = run_core([&] { return observed_tree_json(expression_text, e.handle()); });
                 return to_python(json);
             })
        .def("check",
             [](const held_environment& e, const py::object& reference, const py::object& answer, bool strict_names,
                std::size_t instances, std::uint64_t seed) {
                 std::string reference_text = from_python(reference, "reference");
                 std::string answer_text = from_python(answer, "answer");
                 check_options options = options_of(strict_names, instances, seed);
                 std::string json = run_core([&] {
                     shared<expression> query = parse_expression(reference_text);
                     return report_json(check_answer(e.handle(), *query, answer_text, options));
                 });
                 return to_python(json);
             })
        .def("lint",
             [](const held_environment& e, const py::object& source) {
                 std::string expression_text = from_python(source, "expression");
                 std::string json = run_core([&] { return lint_json(lint_expression(*e.handle(), expression_text)); });
                 return to_python(json);
             })
        .def("to_sql",
             [](const held_environment& e, const py::object& source, const std::string& dialect_name, bool tables) {
                 std::optional<sql_dialect> dialect = dialect_named(dialect_name);
                 if (!dialect)
                     throw py::value_error("unknown dialect " + dialect_name + " (sqlite, postgresql or duckdb)");
                 std::string expression_text = source.is_none() ? std::string() : from_python(source, "expression");
                 bool has_query = !source.is_none();
                 std::string sql = run_core([&] {
                     std::string out = tables ? sql_tables(*e.handle(), *dialect) : std::string();
                     if (has_query) {
                         shared<expression> query = parse_whole<expression>("expression", expression_text);
                         out += (tables ? "\n-- " + written_of(*query) + "\n" : std::string())
                             + sql_query(query, e.handle(), *dialect);
                     }
                     return out;
                 });
                 return to_python(sql);
             });

    module.def("environment_from_text",
               [](const py::object& source) { return environment_of_text(from_python(source, "text")); });
    module.def("environment_from_file", [](const py::object& path) {
        std::string name = from_python(path, "path");
        std::string source = run_core([&] { return read_regular_file(name); });
        return environment_of_text(source);
    });
    module.def("csv_environment_text",
               [](const std::vector<py::object>& names, const std::vector<py::object>& datas,
                  const std::vector<py::object>& relation_names, const py::object& types) {
                   std::vector<std::string> files, contents, relations;
                   for (std::size_t i = 0; i < names.size(); ++i) {
                       files.push_back(from_python(names[i], "path"));
                       contents.push_back(datas[i].is_none() ? std::string() : from_python(datas[i], "data"));
                       relations.push_back(relation_names[i].is_none() ? std::string()
                                                                       : from_python(relation_names[i], "name"));
                   }
                   bool read_files = !datas.empty() && datas[0].is_none();
                   std::string types_text = types.is_none() ? std::string() : from_python(types, "types");
                   std::string text = run_core([&] {
                       std::vector<type_request> requests;
                       if (!types_text.empty())
                           requests = parse_type_requests(types_text);
                       std::set<std::string> used;
                       std::string out;
                       for (std::size_t i = 0; i < files.size(); ++i) {
                           std::string data = read_files ? read_regular_file(files[i]) : contents[i];
                           std::string relation = relations[i].empty() ? relation_name_of_file(files[i]) : relations[i];
                           out += relation_from_csv(data, files[i], relation, requests, used);
                       }
                       for (const type_request& request : requests)
                           if (used.count(request.column) == 0)
                               throw setup_failure("--types names " + request.column + ", which no file has.");
                       return out;
                   });
                   return to_python(text);
               });
    module.def("sqlite_environment_text", [](const py::object& path, const std::vector<py::object>& tables) {
        std::string name = from_python(path, "path");
        std::vector<std::string> names;
        for (const py::object& each : tables)
            names.push_back(from_python(each, "table"));
        std::string text = run_core([&] {
            if (!sqlite_available())
                throw setup_failure("This build has no SQLite library.");
            std::error_code error;
            if (std::filesystem::is_directory(name, error))
                throw setup_failure(name + " is a directory.");
            if (!std::filesystem::exists(name, error))
                throw setup_failure("Cannot read " + name + ".");
            return environment_from_sqlite(name, names);
        });
        return to_python(text);
    });
    module.def("grade",
               [](const py::object& exercises, const std::vector<py::object>& submissions, bool strict_names,
                  std::size_t instances, std::uint64_t seed) {
                   std::string exercises_name = from_python(exercises, "exercises");
                   std::vector<std::string> names;
                   for (const py::object& each : submissions)
                       names.push_back(from_python(each, "submission"));
                   check_options options = options_of(strict_names, instances, seed);
                   std::string json = run_core([&] {
                       file_reader reader = [](const std::string& name) {
                           try {
                               return read_regular_file(name);
                           } catch (const setup_failure& error) {
                               throw check_setup_error(error.what());
                           }
                       };
                       return grade_submissions(exercises_name, names, reader, options).json;
                   });
                   return to_python(json);
               });
    // {"database", "exercises": [{"id", "points", "question", "database",
    // "forbidden", "strict_names", "answers"}]}, as the page reads them.
    module.def("exercises", [](const py::object& path) {
        std::string name = from_python(path, "path");
        std::string json = run_core([&] {
            exercise_file file = parse_exercises(read_regular_file(name), name);
            std::string out = "{\"database\": " + json_string(file.database) + ", \"exercises\": [";
            for (std::size_t i = 0; i < file.exercises.size(); ++i) {
                const exercise& e = file.exercises[i];
                out += (i > 0 ? ", " : "");
                out += "{\"id\": " + json_string(e.id) + ", \"points\": " + std::to_string(e.points)
                    + ", \"question\": " + json_string(e.question) + ", \"database\": " + json_string(e.database)
                    + ", \"forbidden\": " + json_strings(e.forbidden) + ", \"strict_names\": "
                    + (e.strict_names ? "true" : "false") + ", \"answers\": " + json_strings(e.answers) + "}";
            }
            return out + "]}";
        });
        return to_python(json);
    });
    module.def("to_latex", [](const py::object& source) {
        std::string expression_text = from_python(source, "expression");
        std::string latex
            = run_core([&] { return latex_formula(*parse_whole<expression>("expression", expression_text)); });
        return to_python(latex);
    });
}
