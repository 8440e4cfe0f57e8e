// Helpers shared by the unit tests.
#pragma once

#include <sstream>
#include <stdexcept>
#include <string>

namespace qorvantel::testing {

// The text form of anything that can be streamed.
template <class Object>
std::string written(const Object& object)
{
    std::ostringstream out;
    out << object;
    return out.str();
}

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
