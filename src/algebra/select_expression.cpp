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

shared<relation> select_expression::evaluate(const shared<environment>& environment) const
{
    shared<relation> argument = argument_->evaluate(environment);
    const shared<schema>& argument_schema = argument->relation_schema();
    const table& source = *argument->relation_table();
    auto keep = [&](const shared<row>& each) { return condition_->test(each, argument_schema); };
    // Test the rows as they are held, so that a table not yet sorted sorts
    // only those kept. A failing test raises its error at the first row that
    // fails, and the message can name that row's values; so after an error
    // the rows are tested again in row order, where the right row raises it.
    shared<table> kept;
    try {
        kept = source.filtered(keep, false);
    } catch (const interrupted&) {
        // Not an error of a row: nothing to find by a second pass.
        throw;
    } catch (const std::exception&) {
        kept = source.filtered(keep, true);
    }
    return shared<relation>(new relation(argument_schema, std::move(kept)));
}

std::ostream& select_expression::operator>>(std::ostream& out) const
{
    return out << keywords().select_word.word() << '(' << argument_ << ", " << condition_ << ')';
}

} // namespace qorvantel
