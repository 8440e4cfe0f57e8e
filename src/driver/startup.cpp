// The start-up routine: before main runs, it creates the keywords of the
// language (which reserves every word of the word table) and the operator
// tables of conditions, and registers one parse alternative per concrete
// class. The rank given with each alternative is its place in the trial
// order of its registry, taken from the word table.
#include "algebra/condition.h"
#include "algebra/expression.h"
#include "algebra/left_associative_expression.h"
#include "algebra/project_expression.h"
#include "algebra/rename_expression.h"
#include "algebra/select_expression.h"
#include "parsing/keywords.h"
#include "parsing/words.h"
#include "relations/environment.h"
#include "values/type.h"
#include "values/value.h"

namespace qorvantel {
namespace {

struct start_up {
    start_up()
    {
        keywords();
        logical_operators();
        arithmetic_operators();

        // The expression and condition alternatives take their places in
        // the trial order from the word table, where the order is explained.
        auto rank = [](word_id id) { return word(id).trial_rank; };
        parsing<expression>::add_alternative(rank(word_id::minus), parse_as<expression, minus_expression>);
        parsing<expression>::add_alternative(rank(word_id::union_of), parse_as<expression, union_expression>);
        parsing<expression>::add_alternative(relation_reference_rank, parse_as<expression, atomic_expression>);
        parsing<expression>::add_alternative(rank(word_id::rename), parse_as<expression, rename_expression>);
        parsing<expression>::add_alternative(rank(word_id::select), parse_as<expression, select_expression>);
        parsing<expression>::add_alternative(rank(word_id::product), parse_as<expression, product_expression>);
        parsing<expression>::add_alternative(rank(word_id::project), parse_as<expression, project_expression>);

        parsing<environment>::add_alternative(1, parse_as<environment, environment>);

        parsing<type>::add_alternative(rank(word_id::char_type), parse_as<type, string_value>);
        parsing<type>::add_alternative(rank(word_id::int_type), parse_as<type, integer_value>);

        parsing<value>::add_alternative(1, parse_as<value, string_type>);
        parsing<value>::add_alternative(2, parse_as<value, symbol_type>);
        parsing<value>::add_alternative(3, parse_as<value, integer_type>);

        parsing<condition>::add_alternative(rank(word_id::and_operator), parse_as<condition, logical_condition>);
        parsing<condition>::add_alternative(rank(word_id::eq), parse_as<condition, arithmetic_condition>);
    }
};

const start_up the_start_up;

} // namespace
} // namespace qorvantel
