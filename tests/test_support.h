// Helpers shared by the unit tests.
#pragma once

#include "text/dumpable.h"

#include <sstream>
#include <stdexcept>
#include <string>

namespace qorvantel::testing {

// The text form of anything that can be streamed: the one of text/dumpable.h.
using qorvantel::written;

// The message of the runtime error the call raises, or "<no error>".
template <class Call>
std::string error_of(Call call)
{
    try {
        call();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "<no error>";
}

} // namespace qorvantel::testing
