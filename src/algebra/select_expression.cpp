// Select.
#include "algebra/select_expression.h"

#include "parsing/keywords.h"
#include "parsing/syntax.h"

namespace qorvantel {

shared<expression> select_expression::parse(text::iterator& position) const
{
    shared<expression> argument;
    shared<condition> predicate;
    if (!parse_arguments(keywords().select_word.word(), position, "Argument", parsing<expression>::try_parse, argument,
                         "Condition", parsing<condition>::try_parse, predicate))
        return shared<expression>();
    return shared<expression>(new select_expression(std::move(argument), std::move(predicate)));
}

namespace {
row_list kept_rows(const row_list& rows, const bound_condition& predicate)
{
    row_list kept;
    for (const auto& each : rows)
        if (predicate.test(*each))
            kept.push_back(each);
    return kept;
}
} // namespace

shared<relation> select_expression::evaluate(const shared<environment>& environment) const
{
    shared<relation> argument = argument_->evaluate(environment);
    const shared<schema>& argument_schema = argument->relation_schema();
    const table& source = *argument->relation_table();
    std::unique_ptr<bound_condition> predicate = condition_->bind(argument_schema);
    if (!source.sorted() && !predicate->may_raise()) {
        // A test that cannot raise gives the same rows in any order: test
        // the rows as they are held and sort only those kept.
        row_list kept = kept_rows(source.rows_in_any_order(), *predicate);
        return shared<relation>(new relation(argument_schema, table::unsorted(std::move(kept))));
    }
    // A test that can raise must raise at the first row, in row order, that
    // fails, since its message names that row's values. A subsequence of a
    // sorted, duplicate-free table stays so.
    row_list kept = kept_rows(source.rows(), *predicate);
    return shared<relation>(new relation(argument_schema, shared<table>(new table(std::move(kept)))));
}

std::ostream& select_expression::operator>>(std::ostream& out) const
{
    return out << keywords().select_word.word() << '(' << argument_ << ", " << condition_ << ')';
}

} // namespace qorvantel
