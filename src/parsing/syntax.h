// The two generic shapes of compound syntax and their messages.
//
// An argument list is a keyword and exactly two arguments in parentheses
// (rename, select, project). A sequence is an optional opening literal,
// members separated by a literal, and an optional closing literal, with bounds
// on the count (operator terms, schema columns, condition arguments, ...).
#pragma once

#include "text/diagnostics.h"
#include "text/shared.h"
#include "text/text.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace qorvantel {

namespace syntax_detail {
[[noreturn]] void fail_opening_arguments(const char* keyword, const text::iterator& position);
[[noreturn]] void fail_argument(const char* name, const char* keyword, const text::iterator& position);
[[noreturn]] void fail_separating_arguments(const char* keyword, const text::iterator& position);
[[noreturn]] void fail_closing_arguments(const char* keyword, const text::iterator& position);
[[noreturn]] void fail_opening_sequence(const char* opening, const char* name, const text::iterator& position);
[[noreturn]] void fail_next_member(const char* name, const text::iterator& position);
[[noreturn]] void fail_member_count(std::int64_t count, const char* name, std::int32_t minimum, std::int32_t maximum,
                                    const text::iterator& position);

// Reads one argument of an argument list at working; raises the missing
// argument message, which reports where the list began.
template <class A, class Parse>
void read_argument(Parse parser, shared<A>& argument, const char* name, const char* keyword, text::iterator& working,
                   const text::iterator& began)
{
    argument = parser(working);
    if (argument.empty())
        fail_argument(name, keyword, began);
}
} // namespace syntax_detail

// keyword "(" first "," second ")". Returns false, with the position
// unchanged, when the keyword is absent; throws when the rest is malformed.
// Every message reports the caller's position, where the construct began.
template <class A, class ParseA, class B, class ParseB>
bool parse_arguments(const char* keyword, text::iterator& position, const char* first_name, ParseA first_parser,
                     shared<A>& first, const char* second_name, ParseB second_parser, shared<B>& second)
{
    text::iterator working = position;
    match(working, keyword);
    if (!working.valid())
        return false;
    match(working, "(");
    if (!working.valid())
        syntax_detail::fail_opening_arguments(keyword, position);
    syntax_detail::read_argument(first_parser, first, first_name, keyword, working, position);
    match(working, ",");
    if (!working.valid())
        syntax_detail::fail_separating_arguments(keyword, position);
    syntax_detail::read_argument(second_parser, second, second_name, keyword, working, position);
    match(working, ")");
    if (!working.valid())
        syntax_detail::fail_closing_arguments(keyword, position);
    position = working;
    return true;
}

// The largest member count a sequence may allow: a sequence with this
// maximum takes as many members as the text holds. The count messages write
// it as a number, so it is the largest signed 32-bit value, not a mark.
constexpr std::int32_t unbounded = std::numeric_limits<std::int32_t>::max();

// What a sequence looks like: the name its messages use, the bounds on its
// member count, and its literals. A null opening or closing means the
// sequence has none; a null separator means members simply follow each other.
struct sequence_syntax {
    const char* name;
    std::int32_t minimum;
    std::int32_t maximum;
    const char* opening;
    const char* separator;
    const char* closing;
};

// Reads members into the list. Between members of a sequence that has a
// closing literal the separator may be left out; a sequence without one ends
// quietly where no separator follows a member. Returns true or throws.
template <class M, class Parse>
bool parse_sequence(const sequence_syntax& syntax, text::iterator& position, Parse member_parser,
                    std::vector<shared<M>>& members)
{
    const char* const name = syntax.name;
    const char* const opening = syntax.opening;
    const char* const separator = syntax.separator;
    const char* const closing = syntax.closing;
    text::iterator committed = position;
    text::iterator scratch = committed;
    match(scratch, opening);
    if (!scratch.valid())
        syntax_detail::fail_opening_sequence(opening, name, committed);
    committed = scratch;

    std::int64_t count = 0;
    for (;;) {
        if (closing != nullptr) {
            scratch = committed;
            match(scratch, closing);
            if (scratch.valid()) {
                committed = scratch;
                break;
            }
        }
        if (count > 0 && separator != nullptr) {
            scratch = committed;
            match(scratch, separator);
            if (scratch.valid())
                committed = scratch;
            else if (closing == nullptr)
                break;
        }
        shared<M> member = member_parser(committed);
        if (member.empty()) {
            scratch = committed;
            skip_whitespace(scratch);
            scratch.reached();
            if (closing != nullptr || (separator != nullptr && count > 0))
                syntax_detail::fail_next_member(name, committed);
            break;
        }
        members.push_back(std::move(member));
        ++count;
    }
    if (count < syntax.minimum || count > syntax.maximum)
        syntax_detail::fail_member_count(count, name, syntax.minimum, syntax.maximum, position);
    position = committed;
    return true;
}

// The member parser that also records, for each member it reads, where it
// was read: the places of comparands, listed columns and new names.
template <class Parse>
auto recording_places(Parse member_parser, std::vector<source_range>& places)
{
    return [member_parser, &places](text::iterator& position) {
        const text::iterator start = position;
        auto member = member_parser(position);
        if (!member.empty())
            places.push_back(start.range_to(position));
        return member;
    };
}

} // namespace qorvantel
