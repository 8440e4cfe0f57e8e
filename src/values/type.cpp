// Column types: reading literals of a kind, compatibility, written forms.
#include "values/type.h"

#include "values/value.h"

#include <stdexcept>

namespace qorvantel {

shared<value> integer_type::parse(text::iterator& position) const
{
    auto number = read_integer_literal(position);
    if (!number)
        return shared<value>();
    return shared<value>(new integer_value(*number));
}

bool integer_type::contains(const type& other) const
{
    if (other.kind() != type_kind::integer)
        throw_type_mismatch(*this, other);
    return true;
}

std::ostream& integer_type::operator>>(std::ostream& out) const { return out << "int"; }

std::optional<std::string_view> string_type::read(text::iterator& position) const
{
    text::iterator working = position;
    auto content = read_string_literal(working);
    // A literal longer than the type allows is no literal of this type.
    if (!content || content->size() > max_length_)
        return std::nullopt;
    position = working;
    return content;
}

shared<value> string_type::parse(text::iterator& position) const
{
    auto content = read(position);
    if (!content)
        return shared<value>();
    return string_value::make(*content);
}

bool string_type::contains(const type& other) const
{
    if (other.kind() != type_kind::string)
        throw_type_mismatch(*this, other);
    return max_length_ > static_cast<const string_type&>(other).max_length_;
}

std::ostream& string_type::operator>>(std::ostream& out) const { return out << "char(" << max_length_ << ")"; }

shared<value> symbol_type::parse(text::iterator& position) const { return parse_symbol(position); }

bool symbol_type::contains(const type&) const { throw std::logic_error("symbol_type::contains"); }

std::ostream& symbol_type::operator>>(std::ostream&) const { throw std::logic_error("symbol_type::operator>>"); }

} // namespace qorvantel
