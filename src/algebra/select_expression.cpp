// Select.
#include "algebra/select_expression.h"

#include "algebra/join.h"
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
    // A select over a product, possibly through further selects, pairs the
    // product's rows without building it.
    join_request join;
    if (find_join(*this, join))
        return evaluate_join(join, nullptr, environment).result;
    return apply({argument_->evaluate(environment)}, environment);
}

shared<relation> select_expression::apply(const relation_list& operand_results, const shared<environment>&) const
{
    const shared<relation>& argument = operand_results.front();
    const shared<schema>& argument_schema = argument->relation_schema();
    const table& source = *argument->relation_table();
    // Binding tells whether a test can raise; only a test that cannot may
    // run over the rows in the order they are held.
    std::unique_ptr<bound_condition> predicate = condition_->bind(argument_schema);
    auto keep = [&predicate](const shared<row>& each) { return predicate->test(*each); };
    return shared<relation>(new relation(argument_schema, source.filtered(keep, predicate->may_raise())));
}

std::ostream& select_expression::operator>>(std::ostream& out) const
{
    return out << keywords().select_word.word() << '(' << argument_ << ", " << condition_ << ')';
}

} // namespace qorvantel
