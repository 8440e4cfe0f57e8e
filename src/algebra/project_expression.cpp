// Project.
//
// A projection can bring equal rows together and, when the columns are not a
// prefix of the schema in order, out of order. The result is brought back to
// the form every table of the system has (sorted, each row once), because
// union and minus merge on that form. A prefix projection of a sorted table
// keeps the order, so it needs only a linear pass to drop repeats; any other
// projection is sorted by its own values as it is built.
#include "algebra/project_expression.h"

#include "algebra/join.h"
#include "parsing/keywords.h"
#include "parsing/syntax.h"

#include <optional>

namespace qorvantel {

namespace {
// The column names after the argument: no brackets of their own, since the
// closing ")" belongs to the project expression.
constexpr sequence_syntax projected_columns{"projected columns", 1, unbounded, nullptr, ",", nullptr};

shared<symbol_list> parse_projected_columns(text::iterator& position, std::vector<source_range>& places)
{
    shared<symbol_list> names(new symbol_list());
    parse_sequence(projected_columns, position, recording_places(parse_symbol, places), *names);
    return names;
}
} // namespace

shared<expression> project_expression::parse(text::iterator& position) const
{
    shared<expression> argument;
    shared<symbol_list> names;
    std::vector<source_range> places;
    auto columns = [&places](text::iterator& at) { return parse_projected_columns(at, places); };
    if (!parse_arguments(keywords().project_word.word(), position, "Argument", parsing<expression>::try_parse, argument,
                         "Projected columns", columns, names))
        return shared<expression>();
    auto* made = new project_expression(std::move(argument), std::move(names));
    made->column_places_ = std::move(places);
    return shared<expression>(made);
}

shared<relation> project_expression::evaluate(const shared<environment>& environment) const
{
    // A projected join makes the projected rows only.
    join_request join;
    if (find_join(*argument_, join)) {
        join_result joined = evaluate_join(join, projected_columns_.get(), environment);
        return joined.projected ? joined.result : apply({joined.result}, environment);
    }
    return apply({argument_->evaluate(environment)}, environment);
}

shared<relation> project_expression::apply(const relation_list& operand_results, const shared<environment>&) const
{
    const shared<relation>& argument = operand_results.front();
    const schema& argument_schema = *argument->relation_schema();

    std::vector<std::optional<std::size_t>> found = find_columns(argument_schema, *projected_columns_);
    std::vector<std::size_t> indexes;
    indexes.reserve(found.size());
    bool keeps_order = true;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (!found[i])
            throw_column_not_found(*(*projected_columns_)[i], argument_schema);
        keeps_order = keeps_order && *found[i] == indexes.size();
        indexes.push_back(*found[i]);
    }
    column_list columns;
    columns.reserve(indexes.size());
    for (std::size_t index : indexes)
        columns.push_back(argument_schema.columns()[index]);
    shared<schema> projected(new schema(argument_schema.name(), std::move(columns)));
    require_distinct_names(*projected);

    const shared<table>& source = argument->relation_table();
    if (keeps_order && indexes.size() == argument_schema.columns().size()) {
        // All columns in schema order: the argument's own table.
        return shared<relation>(new relation(std::move(projected), source));
    }
    return shared<relation>(new relation(std::move(projected), source->projected(indexes, keeps_order)));
}

std::ostream& project_expression::operator>>(std::ostream& out) const
{
    return out << keywords().project_word.word() << '(' << argument_ << ", " << separated(*projected_columns_) << ')';
}

} // namespace qorvantel
