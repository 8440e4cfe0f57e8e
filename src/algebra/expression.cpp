// Relation references.
#include "algebra/expression.h"

#include "text/diagnostics.h"

namespace qorvantel {

shared<expression> atomic_expression::parse(text::iterator& position) const
{
    shared<value> name = parse_symbol(position);
    if (name.empty())
        return shared<expression>();
    return shared<expression>(new atomic_expression(std::move(name)));
}

shared<relation> atomic_expression::evaluate(const shared<environment>& environment) const
{
    shared<relation> found = environment->find_relation(*name_);
    if (found.empty()) {
        error_message message;
        message << "Relation " << name_ << " not found.";
        throw_message(message);
    }
    return found;
}

std::ostream& atomic_expression::operator>>(std::ostream& out) const { return out << name_; }

} // namespace qorvantel
