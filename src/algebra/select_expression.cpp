// Select.
#include "algebra/select_expression.h"

#include "parsing/keywords.h"
#include "parsing/syntax.h"
#include "text/interrupt.h"

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
row_list kept_rows(const row_list& rows, const condition& predicate, const shared<schema>& row_schema)
{
    row_list kept;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        check_interrupt_every(i);
        if (predicate.test(rows[i], row_schema))
            kept.push_back(rows[i]);
    }
    return kept;
}
} // namespace

shared<relation> select_expression::evaluate(const shared<environment>& environment) const
{
    shared<relation> argument = argument_->evaluate(environment);
    const shared<schema>& argument_schema = argument->relation_schema();
    const table& source = *argument->relation_table();
    if (!source.sorted()) {
        // Test the rows as they are held and sort only those kept. A failing
        // test raises its error at the first row that fails, and the message
        // can name that row's values; so after an error the rows are tested
        // again in row order, where the right row raises it.
        try {
            row_list kept = kept_rows(source.rows_in_any_order(), *condition_, argument_schema);
            return shared<relation>(new relation(argument_schema, table::unsorted(std::move(kept))));
        } catch (const interrupted&) {
            // Not an error of a row: nothing to find by a second pass.
            throw;
        } catch (const std::exception&) {
        }
    }
    // A subsequence of a sorted, duplicate-free table stays so.
    row_list kept = kept_rows(source.rows(), *condition_, argument_schema);
    return shared<relation>(new relation(argument_schema, shared<table>(new table(std::move(kept)))));
}

std::ostream& select_expression::operator>>(std::ostream& out) const
{
    return out << keywords().select_word.word() << '(' << argument_ << ", " << condition_ << ')';
}

} // namespace qorvantel
