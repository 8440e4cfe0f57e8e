// Rename.
#include "algebra/rename_expression.h"

#include "parsing/keywords.h"
#include "parsing/syntax.h"
#include "text/diagnostics.h"

namespace qorvantel {

shared<expression> rename_expression::parse(text::iterator& position) const
{
    shared<expression> argument;
    shared<name_schema> new_names;
    std::vector<source_range> places;
    auto names = [&places](text::iterator& at) { return parse_name_schema(at, &places); };
    if (!parse_arguments(keywords().rename_word.word(), position, "Argument", parsing<expression>::try_parse, argument,
                         "Name schema", names, new_names))
        return shared<expression>();
    auto* made = new rename_expression(std::move(argument), std::move(new_names));
    made->name_places_ = std::move(places);
    return shared<expression>(made);
}

shared<relation> rename_expression::evaluate(const shared<environment>& environment) const
{
    return apply({argument_->evaluate(environment)}, environment);
}

shared<relation> rename_expression::apply(const relation_list& operand_results, const shared<environment>&) const
{
    const shared<relation>& argument = operand_results.front();
    const schema& old_schema = *argument->relation_schema();
    const column_list& old_columns = old_schema.columns();
    const auto& names = new_names_->column_names();
    if (old_columns.size() != names.size()) {
        error_message message;
        message << "Cannot rename schema " << old_schema << " to " << new_names_ << ".";
        throw_message(message);
    }
    column_list columns;
    columns.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        columns.push_back(shared<column>(new column(names[i], old_columns[i]->column_type())));
    shared<schema> renamed(new schema(new_names_->name(), std::move(columns)));
    require_distinct_names(*renamed);
    // The rows are the argument's own: the table object itself is shared.
    return shared<relation>(new relation(std::move(renamed), argument->relation_table()));
}

std::ostream& rename_expression::operator>>(std::ostream& out) const
{
    return out << keywords().rename_word.word() << '(' << argument_ << ", " << new_names_ << ')';
}

} // namespace qorvantel
