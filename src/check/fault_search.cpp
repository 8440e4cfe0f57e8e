// Naming the fault of an answer built otherwise than the reference.
#include "check/fault_search.h"

#include "check/database.h"

#include <algorithm>
#include <stdexcept>

namespace qorvantel {

const value* first_column(const condition& part)
{
    if (part.kind() != condition_kind::comparison) {
        for (const shared<condition>& each : part.arguments())
            if (const value* found = first_column(*each))
                return found;
        return nullptr;
    }
    for (const shared<value>& each : part.comparands())
        if (each->kind() == value_kind::symbol)
            return each.get();
    return nullptr;
}

std::string value_on_row(const row& at, const schema& columns, const value* column)
{
    if (column == nullptr)
        return "";
    std::optional<std::size_t> index = find_column(columns, *column);
    if (!index)
        return "";
    return written(*column) + " = " + written(*at[*index]);
}

// A relation of the counterexample in which two rows agree on the
// answer's column and not on the reference's: two sailors who share a
// name. Empty when there is none.
std::string sharing_relation(node_results& results, const value& given, const value& expected)
{
    for (const auto& entry : results.database()->relations()) {
        const relation& stored = *entry.second;
        auto a = find_column(*stored.relation_schema(), given), b = find_column(*stored.relation_schema(), expected);
        if (!a || !b)
            continue;
        const row_list& rows = stored.relation_table()->rows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            for (std::size_t j = i + 1; j < rows.size(); ++j)
                if (value_equal(*(*rows[i])[*a], *(*rows[j])[*a]) && !value_equal(*(*rows[i])[*b], *(*rows[j])[*b]))
                    return written(*entry.first);
    }
    return "";
}

namespace {
// The deepest node of the answer whose operands give rows that some part
// of the reference gives too, while its own rows match no such part.
struct unmatched_search {
    node_results& answer_results;
    std::vector<shared<relation>> reference_rows;
    shared<expression> found;

    bool matched(const shared<expression>& node)
    {
        bool operands = true;
        for (const shared<expression>& operand : node->operands())
            operands = matched(operand) && operands;
        shared<relation> mine = answer_results.of(node);
        bool any = !mine.empty()
            && std::any_of(reference_rows.begin(), reference_rows.end(), [&](const shared<relation>& theirs) {
                   return mine->relation_schema()->columns().size() == theirs->relation_schema()->columns().size()
                       && same_rows(*mine, *theirs);
               });
        if (!any && operands && found.empty())
            found = node;
        return any;
    }
};

void every_result(node_results& results, const shared<expression>& node, std::vector<shared<relation>>& into)
{
    shared<relation> result = results.of(node);
    if (!result.empty())
        into.push_back(result);
    for (const shared<expression>& operand : node->operands())
        every_result(results, operand, into);
}

// A select one side has and the other lacks, around parts that are alike:
// a row of its argument that its condition keeps out, in words.
std::string selection_message(node_results& results, const tree_place& place)
{
    bool added = place.answer->kind() == expression_kind::select;
    const expression& select = added ? *place.answer : *place.reference;
    shared<expression> input = added ? place.answer->operands().front() : place.answer;
    shared<relation> rows = results.of(input);
    std::string example;
    if (!rows.empty()) {
        try {
            auto bound = select.predicate()->bind(rows->relation_schema());
            for (const shared<row>& each : rows->relation_table()->rows())
                if (example.empty() && !bound->test(*each))
                    example = value_on_row(*each, *rows->relation_schema(), first_column(*select.predicate()));
        } catch (const std::runtime_error&) {
        }
    }
    if (added)
        return "this selection is not in the reference"
            + (example.empty() ? std::string() : "; it leaves out " + example + ", which the reference keeps");
    return "a selection is missing here"
        + (example.empty() ? std::string() : ": this keeps " + example + ", which the reference leaves out");
}

std::string kind_word(const expression& node)
{
    return node.kind() == expression_kind::relation ? "relation" : node.keyword();
}

bool set_operator(expression_kind kind)
{
    return kind == expression_kind::union_of || kind == expression_kind::minus || kind == expression_kind::product;
}

// The first minus in preorder, or an empty handle.
shared<expression> first_minus(const shared<expression>& node)
{
    if (node->kind() == expression_kind::minus)
        return node;
    for (const shared<expression>& operand : node->operands()) {
        shared<expression> found = first_minus(operand);
        if (!found.empty())
            return found;
    }
    return shared<expression>();
}

// A difference taken on a column that is no key: the answer's minus
// compares a column where the reference's compares another, and two rows
// of the counterexample share the answer's and not the reference's.
std::optional<answer_fault> difference_on_other_column(node_results& given, node_results& expected,
                                                       const shared<expression>& reference,
                                                       const shared<expression>& answer)
{
    shared<expression> mine = first_minus(answer), theirs = first_minus(reference);
    if (mine.empty() || theirs.empty())
        return std::nullopt;
    shared<relation> a = given.of(mine), b = expected.of(theirs);
    if (a.empty() || b.empty())
        return std::nullopt;
    const column_list& x = a->relation_schema()->columns();
    const column_list& y = b->relation_schema()->columns();
    for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        if (written(*x[i]->name()) == written(*y[i]->name()))
            continue;
        std::string sharing = sharing_relation(given, *x[i]->name(), *y[i]->name());
        if (sharing.empty())
            return std::nullopt;
        return answer_fault{mine->place(),
                            "this difference is taken on " + written(*x[i]->name()) + ", which two rows of " + sharing
                                + " share in the counterexample; the reference compares " + written(*y[i]->name())};
    }
    return std::nullopt;
}
} // namespace

answer_fault fault_in_whole(node_results& given, node_results& expected, const tree_place& place,
                            const shared<expression>& reference)
{
    bool added = place.answer->kind() == expression_kind::select
        && !align_trees(place.reference, place.answer->operands().front());
    bool lost = place.reference->kind() == expression_kind::select
        && !align_trees(place.reference->operands().front(), place.answer);
    if (added || lost)
        return answer_fault{place.answer->place(), selection_message(given, place)};
    if (auto keyed = difference_on_other_column(given, expected, place.reference, place.answer))
        return *keyed;
    if (set_operator(place.answer->kind()) && set_operator(place.reference->kind())
        && place.answer->kind() != place.reference->kind())
        return answer_fault{place.answer->place(),
                            "this " + kind_word(*place.answer) + " should be a " + kind_word(*place.reference)};
    unmatched_search search{given, {}, {}};
    every_result(expected, reference, search.reference_rows);
    search.matched(place.answer);
    shared<expression> blamed = search.found.empty() ? place.answer : search.found;
    return answer_fault{blamed->place(),
                        "on the counterexample, no part of the reference gives the rows this " + kind_word(*blamed)
                            + " gives"};
}

} // namespace qorvantel
