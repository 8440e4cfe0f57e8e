// The nesting bound shared by all registries.
#include "parsing/parsing.h"

namespace qorvantel {

std::size_t nesting_guard::depth_ = 0;

nesting_guard::nesting_guard(const text::iterator& position)
{
    if (depth_ >= maximum_nesting_depth) {
        error_message message;
        message << "Nesting deeper than " << maximum_nesting_depth << " levels " << position << ".";
        throw_message(message);
    }
    ++depth_;
}

} // namespace qorvantel
