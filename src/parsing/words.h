// The language's words in one table: each keyword with its role, its place
// in the trial order of its registry, how it is written and, for a
// comparison, what it means. The reserved words, the parse order of the
// registries, the condition operators' tables and the console's completion
// are all derived from this table. HACKING.md lists what else an operator needs.
#pragma once

#include <cstddef>

namespace qorvantel {

// Every word, by name. The enumerators index the table: keep them in the
// table's order.
enum class word_id : unsigned char {
    char_type,
    int_type,
    minus,
    union_of,
    rename,
    select,
    product,
    project,
    not_operator,
    and_operator,
    or_operator,
    eq,
    neq,
    lte,
    lt,
    gte,
    gt,
    count
};

enum class word_role : unsigned char { type_name, expression_operator, logical_operator, comparison };

// What a comparison means: the relation its operands must stand in, each to
// the next, under the order of values.
enum class comparison_operator : unsigned char { eq, neq, lte, lt, gte, gt };

struct language_word {
    word_id id;
    const char* text;
    word_role role;
    // The place (from 1) of the word's alternative in the trial order of its
    // registry: expressions for operators, conditions for logical and
    // comparison words, types for type names. Words of one registry with
    // the same rank are tried in table order by one alternative.
    int trial_rank;
    const char* syntax;
    comparison_operator meaning; // comparisons only
};

// The relation reference has no keyword; it is the third expression
// alternative, after minus and union.
inline constexpr int relation_reference_rank = 3;

// ORDER MATTERS. Keywords match as prefixes with no word-boundary test, so:
// - minus and union are tried before the relation reference, so that a name
//   beginning with their keyword commits to the operator ("minus(" is never
//   read as a relation named minus);
// - the comparisons are tried in table order, and LTE stands before LT and
//   GTE before GT, or "LTE(" would read as LT and a stray E.
// The ranks of the other expression operators follow the order in which
// their alternatives have always been tried; none of them is a prefix of
// another, so their order only decides which error a malformed line gets.
inline constexpr language_word language_words[] = {
    {word_id::char_type, "char", word_role::type_name, 1, "char(n)", comparison_operator::eq},
    {word_id::int_type, "int", word_role::type_name, 2, "int", comparison_operator::eq},
    {word_id::minus, "minus", word_role::expression_operator, 1, "minus(e1, e2, ...)", comparison_operator::eq},
    {word_id::union_of, "union", word_role::expression_operator, 2, "union(e1, e2, ...)", comparison_operator::eq},
    {word_id::rename, "rename", word_role::expression_operator, 4, "rename(e, S(c1, c2, ...))",
     comparison_operator::eq},
    {word_id::select, "select", word_role::expression_operator, 5, "select(e, condition)", comparison_operator::eq},
    {word_id::product, "product", word_role::expression_operator, 6, "product(e1, e2, ...)", comparison_operator::eq},
    {word_id::project, "project", word_role::expression_operator, 7, "project(e, c1, c2, ...)",
     comparison_operator::eq},
    {word_id::not_operator, "NOT", word_role::logical_operator, 1, "NOT(condition)", comparison_operator::eq},
    {word_id::and_operator, "AND", word_role::logical_operator, 1, "AND(c1, c2, ...)", comparison_operator::eq},
    {word_id::or_operator, "OR", word_role::logical_operator, 1, "OR(c1, c2, ...)", comparison_operator::eq},
    {word_id::eq, "EQ", word_role::comparison, 2, "EQ(a, b, ...)", comparison_operator::eq},
    {word_id::neq, "NEQ", word_role::comparison, 2, "NEQ(a, b, ...)", comparison_operator::neq},
    {word_id::lte, "LTE", word_role::comparison, 2, "LTE(a, b, ...)", comparison_operator::lte},
    {word_id::lt, "LT", word_role::comparison, 2, "LT(a, b, ...)", comparison_operator::lt},
    {word_id::gte, "GTE", word_role::comparison, 2, "GTE(a, b, ...)", comparison_operator::gte},
    {word_id::gt, "GT", word_role::comparison, 2, "GT(a, b, ...)", comparison_operator::gt},
};

inline constexpr std::size_t language_word_count = sizeof(language_words) / sizeof(language_words[0]);
static_assert(language_word_count == static_cast<std::size_t>(word_id::count), "one row per word_id");

constexpr const language_word& word(word_id id) { return language_words[static_cast<std::size_t>(id)]; }

// The rows stand in the order of their ids.
constexpr bool rows_in_id_order()
{
    for (std::size_t i = 0; i < language_word_count; ++i)
        if (static_cast<std::size_t>(language_words[i].id) != i)
            return false;
    return true;
}
static_assert(rows_in_id_order(), "the table's rows are indexed by word_id");

} // namespace qorvantel
