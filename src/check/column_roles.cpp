// Following columns through the operators.
#include "check/column_roles.h"

#include "algebra/condition.h"
#include "check/sameness.h"

#include <optional>

namespace qorvantel {

column_roles::column_roles(const database& shape) : shape_(shape)
{
    std::vector<shared<relation>> empty;
    for (const database_relation& each : shape.relations()) {
        offsets_.push_back(parent_.size());
        for (std::size_t c = 0; c < each.columns->columns().size(); ++c)
            parent_.push_back(parent_.size());
        empty.push_back(shared<relation>(new relation(each.columns, table::unsorted({}))));
    }
    empty_ = environment::of(empty);
    literals_.resize(parent_.size());
}

std::size_t column_roles::find(std::size_t x)
{
    while (parent_[x] != x)
        x = parent_[x] = parent_[parent_[x]];
    return x;
}

column_roles::lineage column_roles::walk(const expression& of)
{
    lineage made;
    if (evaluate_safely(of, empty_).failed())
        return made;
    std::vector<lineage> operands;
    for (const shared<expression>& operand : of.operands())
        operands.push_back(walk(*operand));
    switch (of.kind()) {
    case expression_kind::relation:
        for (std::size_t r = 0; r < shape_.relations().size(); ++r)
            if (value_equal(*shape_.relations()[r].columns->name(), *of.relation_name()))
                for (std::size_t c = 0; c < shape_.relations()[r].columns->columns().size(); ++c)
                    made.push_back({id(r, c)});
        return made;
    case expression_kind::union_of:
    case expression_kind::minus:
        made = operands.front();
        for (std::size_t o = 1; o < operands.size(); ++o)
            for (std::size_t i = 0; i < made.size() && i < operands[o].size(); ++i) {
                for (std::size_t each : operands[o][i])
                    for (std::size_t other : made[i])
                        link(each, other);
                made[i].insert(made[i].end(), operands[o][i].begin(), operands[o][i].end());
            }
        return made;
    case expression_kind::product:
        for (const lineage& operand : operands)
            made.insert(made.end(), operand.begin(), operand.end());
        return made;
    case expression_kind::project: {
        outcome argument = evaluate_safely(*of.operands().front(), empty_);
        for (const std::optional<std::size_t>& index :
             find_columns(*argument.result->relation_schema(), of.listed_columns()))
            made.push_back(index && *index < operands.front().size() ? operands.front()[*index]
                                                                     : std::vector<std::size_t>{});
        return made;
    }
    case expression_kind::select: {
        outcome argument = evaluate_safely(*of.operands().front(), empty_);
        walk_condition(*of.predicate(), *argument.result->relation_schema(), operands.front());
        return operands.front();
    }
    case expression_kind::rename:
        return operands.front();
    }
    return made;
}

void column_roles::walk_condition(const condition& of, const schema& columns, const lineage& from)
{
    for (const shared<condition>& argument : of.arguments())
        walk_condition(*argument, columns, from);
    std::vector<std::size_t> compared;
    std::vector<shared<value>> literals;
    for (const shared<value>& operand : of.comparands()) {
        if (operand->kind() != value_kind::symbol) {
            literals.push_back(operand);
            continue;
        }
        std::optional<std::size_t> index = find_columns(columns, {operand}).front();
        if (index && *index < from.size())
            compared.insert(compared.end(), from[*index].begin(), from[*index].end());
    }
    for (std::size_t i = 1; i < compared.size(); ++i)
        link(compared[i], compared[0]);
    for (std::size_t each : compared)
        literals_[each].insert(literals_[each].end(), literals.begin(), literals.end());
}

} // namespace qorvantel
