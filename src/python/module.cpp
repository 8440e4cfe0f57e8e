// The Python module qorvantel._core: the interpreter, the checker and the
// converter as the package python/qorvantel sees them. Every use of the
// core goes through core_access.h (its lock, the worker that Ctrl-C
// stops); every exception becomes one of the package's error classes
// (python_errors.h); nothing a caller passes reaches the core unchecked
// (strings cross as UTF-8 bytes, with surrogate escapes for bytes that are
// not UTF-8).
#include "convert/sqlite_import.h"
#include "python/bindings.h"
#include "python/python_errors.h"
#include "text/memory.h"

#include <pybind11/pybind11.h>

namespace py = pybind11;
using namespace qorvantel;
using namespace qorvantel::python;

PYBIND11_MODULE(_core, module)
{
    module.doc() = "The qorvantel core; use the package qorvantel.";
    // The same budget as the interpreter: the process's data limit set to
    // what the machine and its control groups allow, so that growth past it
    // is an allocation failure (OutOfMemoryError) instead of a kill.
    limit_memory();

    module.def("_set_errors", &set_error_classes);
    register_error_translation();
    module.def("_process_exits", [] { process_exiting = true; });
    module.def(
        "memory_budget", [] { return usable_memory(); }, "The memory budget in bytes.");
    module.def("sqlite_available", [] { return sqlite_available(); });

    py::class_<held_environment> environments = bind_relations(module);
    bind_tools(module, environments);
    bind_inputs(module);
}
