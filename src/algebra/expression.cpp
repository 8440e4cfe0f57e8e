// Relation references.
#include "algebra/expression.h"

#include "algebra/condition.h"
#include "parsing/keywords.h"
#include "text/diagnostics.h"

namespace qorvantel {

shared<expression> atomic_expression::parse(text::iterator& position) const
{
    shared<value> name = parse_symbol(position);
    if (name.empty())
        return shared<expression>();
    return shared<expression>(new atomic_expression(std::move(name)));
}

const char* expression::keyword() const noexcept
{
    const language_keywords& words = keywords();
    switch (kind()) {
    case expression_kind::relation:
        return "";
    case expression_kind::union_of:
        return words.union_word.word();
    case expression_kind::minus:
        return words.minus_word.word();
    case expression_kind::product:
        return words.product_word.word();
    case expression_kind::select:
        return words.select_word.word();
    case expression_kind::project:
        return words.project_word.word();
    case expression_kind::rename:
        return words.rename_word.word();
    }
    return "";
}

// The parameters a kind does not have: one empty object of each, shared by
// every expression.
const shared<value>& expression::relation_name() const noexcept
{
    static const shared<value> none;
    return none;
}

const shared<condition>& expression::predicate() const noexcept
{
    static const shared<condition> none;
    return none;
}

const std::vector<shared<value>>& expression::listed_columns() const noexcept
{
    static const std::vector<shared<value>> none;
    return none;
}

const shared<name_schema>& expression::new_names() const noexcept
{
    static const shared<name_schema> none;
    return none;
}

const std::vector<source_range>& expression::listed_column_places() const noexcept
{
    static const std::vector<source_range> none;
    return none;
}

const std::vector<source_range>& expression::new_name_places() const noexcept
{
    static const std::vector<source_range> none;
    return none;
}

shared<relation> atomic_expression::apply(const relation_list&, const shared<environment>& environment) const
{
    return evaluate(environment);
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
