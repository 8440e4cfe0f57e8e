// Project.
//
// A projection can bring equal rows together and, when the columns are not a
// prefix of the schema in order, out of order. The result is brought back to
// the form every table of the system has (sorted, each row once), because
// union and minus merge on that form. A prefix projection of a sorted table
// keeps the order, so it needs only a linear pass to drop repeats; any other
// projection is sorted when its rows are first needed in order.
#include "algebra/project_expression.h"

#include "parsing/keywords.h"
#include "parsing/syntax.h"

#include <algorithm>
#include <optional>

namespace qorvantel {

namespace {
shared<symbol_list> parse_projected_columns(text::iterator& position)
{
    shared<symbol_list> names(new symbol_list());
    parse_sequence("projected columns", position, parse_symbol, *names, 1, 2147483647, nullptr, ",", nullptr);
    return names;
}
} // namespace

shared<expression> project_expression::parse(text::iterator& position) const
{
    shared<expression> argument;
    shared<symbol_list> names;
    if (!parse_arguments(keywords().project_word.word(), position, "Argument", parsing<expression>::try_parse, argument,
                         "Projected columns", parse_projected_columns, names))
        return shared<expression>();
    return shared<expression>(new project_expression(std::move(argument), std::move(names)));
}

shared<relation> project_expression::evaluate(const shared<environment>& environment) const
{
    shared<relation> argument = argument_->evaluate(environment);
    const schema& argument_schema = *argument->relation_schema();

    // Each listed name is looked up once per evaluation, by a scan of the
    // schema, or through a sorted index when both lists are long.
    const column_list& argument_columns = argument_schema.columns();
    std::vector<std::size_t> by_name;
    if (projected_columns_->size() * argument_columns.size() > 4096) {
        by_name.resize(argument_columns.size());
        for (std::size_t i = 0; i < by_name.size(); ++i)
            by_name[i] = i;
        // Stable, so that among equal names the first column comes first.
        std::stable_sort(by_name.begin(), by_name.end(), [&argument_columns](std::size_t a, std::size_t b) {
            return value_less(*argument_columns[a]->name(), *argument_columns[b]->name());
        });
    }
    std::vector<std::size_t> indexes;
    indexes.reserve(projected_columns_->size());
    bool keeps_order = true;
    for (const auto& name : *projected_columns_) {
        std::optional<std::size_t> index;
        if (by_name.empty()) {
            index = find_column(argument_schema, *name);
        } else {
            auto found = std::lower_bound(by_name.begin(), by_name.end(), name,
                                          [&argument_columns](std::size_t a, const shared<value>& n) {
                                              return value_less(*argument_columns[a]->name(), *n);
                                          });
            if (found != by_name.end() && !value_less(*name, *argument_columns[*found]->name()))
                index = *found;
        }
        if (!index)
            throw_column_not_found(*name, argument_schema);
        keeps_order = keeps_order && *index == indexes.size();
        indexes.push_back(*index);
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
    // A prefix of the columns of a sorted table keeps its order, so repeats
    // stand together; any other projection is sorted by its own values.
    bool prefix_of_sorted = keeps_order && source->sorted();
    row_list rows = project_unique(source->rows_in_any_order(), indexes, prefix_of_sorted);
    return shared<relation>(new relation(std::move(projected), shared<table>(new table(std::move(rows)))));
}

std::ostream& project_expression::operator>>(std::ostream& out) const
{
    return out << keywords().project_word.word() << '(' << argument_ << ", " << separated(*projected_columns_) << ')';
}

} // namespace qorvantel
