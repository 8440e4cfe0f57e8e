// dumpable: the interface of every object that can write its text form, and
// separated, the list writer that the text forms of expressions, conditions,
// schemas and rows put their brackets around.
#pragma once

#include "text/shared.h"

#include <ostream>
#include <sstream>
#include <string>

namespace qorvantel {

class dumpable {
public:
    virtual ~dumpable() = default;

    // object >> stream writes the object's text form to the stream.
    virtual std::ostream& operator>>(std::ostream& out) const = 0;
};

inline std::ostream& operator<<(std::ostream& out, const dumpable& object) { return object >> out; }

// Writes the handle's object; an empty handle writes nothing.
template <class T>
std::ostream& operator<<(std::ostream& out, const shared<T>& handle)
{
    if (!handle.empty())
        *handle >> out;
    return out;
}

// A printing view over a list of handles: the elements with ", " between
// them. An empty element contributes only its separator.
template <class List>
class separated_view {
public:
    explicit separated_view(const List& list) : list_(list) {}

    friend std::ostream& operator<<(std::ostream& out, const separated_view& view)
    {
        bool first = true;
        for (const auto& element : view.list_) {
            if (!first)
                out << ", ";
            first = false;
            out << element;
        }
        return out;
    }

private:
    const List& list_;
};

template <class List>
separated_view<List> separated(const List& list)
{
    return separated_view<List>(list);
}

// The written form of anything that can be streamed (an object, a handle, a
// separated list) as one string: the console's text of it.
template <class T>
std::string written(const T& object)
{
    std::ostringstream out;
    out << object;
    return out.str();
}

} // namespace qorvantel
