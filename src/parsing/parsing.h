// parsing<T>: the registry of alternative parsers of one kind of syntactic
// object (expression, environment, type, value, condition).
//
// Each concrete class contributes one alternative at start-up; a parser that
// needs "any expression" asks the registry, which tries the alternatives in a
// fixed order until one produces an object. The order is given by a rank, not
// by the order of registration, because it is observable: keywords match as
// prefixes, so an earlier alternative can claim text a later one would read.
#pragma once

#include "text/diagnostics.h"
#include "text/shared.h"
#include "text/text.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace qorvantel {

// How deeply expressions and conditions may nest. Parsing, evaluating,
// writing and destroying a tree all recurse once per level, so an unbounded
// depth would overflow the stack on hostile input. A level costs at most
// about 650 bytes of stack in a release build and 1,300 in a sanitizer build
// (fuzz/measure_nesting.sh), so 1000 levels stay under 1.5 MiB of the usual
// 8 MiB stack, far deeper than any query written by hand.
constexpr std::size_t maximum_nesting_depth = 1000;

// Counts the registry dispatches in progress; throws past the bound.
class nesting_guard {
public:
    explicit nesting_guard(const text::iterator& position);
    ~nesting_guard() { --depth_; }
    nesting_guard(const nesting_guard&) = delete;
    nesting_guard& operator=(const nesting_guard&) = delete;

private:
    static std::size_t depth_;
};

namespace parsing_detail {
// Whether objects of class T keep where they were read (expressions and
// conditions do; values, per-row data, do not).
template <class T, class = void>
struct keeps_place : std::false_type {
};
template <class T>
struct keeps_place<T, std::void_t<decltype(std::declval<const T&>().place())>> : std::true_type {
};
} // namespace parsing_detail

template <class T>
class parsing {
public:
    using parse_function = shared<T> (*)(text::iterator&);

    // Reads one object of the receiver's class at the position: a new object
    // and the position advanced past it; or an empty handle and the position
    // unchanged when the text is not such an object; or an error when the
    // text begins like one but is malformed.
    virtual shared<T> parse(text::iterator& position) const = 0;

    // Inserts an alternative at the given rank; adding a function twice has
    // no effect.
    static void add_alternative(int rank, parse_function function)
    {
        auto& list = alternatives();
        for (const auto& entry : list)
            if (entry.second == function)
                return;
        auto place = std::upper_bound(list.begin(), list.end(), rank,
                                      [](int r, const entry_type& entry) { return r < entry.first; });
        list.insert(place, entry_type(rank, function));
    }

    // The first non-empty result of the alternatives in rank order, or an
    // empty handle with the position unchanged. Where a result keeps its
    // place, it is recorded here, from where the alternative began to where
    // it ended; where none matches, that is where reading stopped.
    static shared<T> try_parse(text::iterator& position)
    {
        nesting_guard guard(position);
        const text::iterator start = position;
        for (const auto& entry : alternatives()) {
            shared<T> result = entry.second(position);
            if (!result.empty()) {
                if constexpr (parsing_detail::keeps_place<T>::value)
                    result.get()->place_ = start.range_to(position);
                return result;
            }
        }
        text::iterator stopped = position;
        skip_whitespace(stopped);
        stopped.reached();
        return shared<T>();
    }

    // As try_parse, but no alternative matching is an error naming the kind.
    static shared<T> require(const char* kind, text::iterator& position)
    {
        shared<T> result = try_parse(position);
        if (result.empty()) {
            error_message message;
            message << "Valid " << kind << " not found " << position << ".";
            throw_message(message);
        }
        return result;
    }

protected:
    parsing() = default;
    ~parsing() = default;
    parsing(const parsing&) = default;
    parsing& operator=(const parsing&) = default;

private:
    using entry_type = std::pair<int, parse_function>;

    static std::vector<entry_type>& alternatives()
    {
        static std::vector<entry_type> list;
        return list;
    }
};

// The registered alternative of class X: the parse of a prototype that lives
// until the program ends. The prototype is never part of a result.
template <class T, class X>
shared<T> parse_as(text::iterator& position)
{
    static const X prototype;
    return prototype.parse(position);
}

// The whole of source read as one T of the given kind: what require reads,
// then nothing but whitespace ("Garbage ..." otherwise). The parsed objects
// do not refer to the text, which ends here.
template <class T>
shared<T> parse_whole(const char* kind, const std::string& source)
{
    text input(source);
    text::iterator position = input.begin();
    shared<T> read = parsing<T>::require(kind, position);
    expect_end(position);
    return read;
}

// The same over a text already read (from a stream, say).
template <class T>
shared<T> parse_whole(const char* kind, const text& input)
{
    text::iterator position = input.begin();
    shared<T> read = parsing<T>::require(kind, position);
    expect_end(position);
    return read;
}

} // namespace qorvantel
