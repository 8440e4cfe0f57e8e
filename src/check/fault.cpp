// Naming the part of an answer that is at fault.
#include "check/fault.h"

#include "algebra/condition.h"
#include "algebra/observed_evaluation.h"
#include "check/database.h"
#include "check/fault_alignment.h"
#include "check/fault_search.h"
#include "check/node_results.h"

#include <memory>
#include <new>
#include <stdexcept>

namespace qorvantel {

namespace {
// Where the index-th listed column of a project was read; the project's
// own place when not known.
source_range column_place(const expression& project, std::size_t index)
{
    const std::vector<source_range>& places = project.listed_column_places();
    return index < places.size() ? places[index] : project.place();
}

// A row of the select's input on which the answer's and the reference's
// whole conditions disagree, and what the answer's says there.
struct disagreement {
    shared<row> at;
    bool answer_admits = false;
    shared<schema> columns;
};

std::optional<disagreement> find_disagreement(node_results& results, const tree_place& place)
{
    shared<relation> input = results.of(place.answer->operands().front());
    if (input.empty())
        return std::nullopt;
    try {
        auto given = place.answer->predicate()->bind(input->relation_schema());
        auto expected = place.reference->predicate()->bind(input->relation_schema());
        for (const shared<row>& each : input->relation_table()->rows()) {
            bool admits = given->test(*each);
            if (admits != expected->test(*each))
                return disagreement{each, admits, input->relation_schema()};
        }
    } catch (const std::runtime_error&) {
    }
    return std::nullopt;
}

// "R.rbid": the column with the name of the product term that holds it,
// looking into products of products.
std::string qualified_in(node_results& results, const shared<expression>& input, const value& column)
{
    if (input->kind() == expression_kind::product) {
        for (const shared<expression>& term : input->operands()) {
            std::string found = qualified_in(results, term, column);
            if (!found.empty())
                return found;
        }
        return "";
    }
    shared<relation> part = results.of(input);
    if (part.empty() || !find_column(*part->relation_schema(), column) || part->relation_schema()->name().empty())
        return "";
    return written(*part->relation_schema()->name()) + "." + written(column);
}

std::string qualified(node_results& results, const expression& select, const value& column)
{
    shared<expression> input = select.operands().front();
    while (input->kind() == expression_kind::select)
        input = input->operands().front();
    std::string found = qualified_in(results, input, column);
    return found.empty() ? written(column) : found;
}

std::string condition_message(node_results& results, const tree_place& place)
{
    std::optional<disagreement> found = find_disagreement(results, place);
    const condition* blamed = place.answer_condition;
    switch (place.kind) {
    case departure::connective:
        return std::string("this ") + blamed->keyword() + " should be an "
            + (blamed->kind() == condition_kind::conjunction ? "OR" : "AND");
    case departure::missing: {
        const condition& lost = *place.reference_condition;
        if (lost.kind() == condition_kind::comparison && lost.comparison() == comparison_operator::eq
            && lost.comparands().size() == 2 && lost.comparands()[0]->kind() == value_kind::symbol
            && lost.comparands()[1]->kind() == value_kind::symbol)
            return "no condition relates " + qualified(results, *place.answer, *lost.comparands()[0]) + " to "
                + qualified(results, *place.answer, *lost.comparands()[1]) + " here";
        std::string example = found ? value_on_row(*found->at, *found->columns, first_column(lost)) : "";
        return "this condition lacks a part of the reference's"
            + (example.empty() ? std::string() : ": it admits " + example + ", which the reference leaves out");
    }
    case departure::extra: {
        std::string example = found ? value_on_row(*found->at, *found->columns, first_column(*blamed)) : "";
        return "this condition is not in the reference"
            + (example.empty() ? std::string() : "; it leaves out " + example + ", which the reference keeps");
    }
    default:
        break;
    }
    std::string example = found ? value_on_row(*found->at, *found->columns, first_column(*blamed)) : "";
    if (example.empty())
        return "this condition selects other rows than the reference's";
    return found->answer_admits ? "this condition admits " + example + ", which the reference leaves out"
                                : "this condition leaves out " + example + ", which the reference keeps";
}

std::string column_message(node_results& results, const tree_place& place)
{
    const std::vector<shared<value>>& mine = place.answer->listed_columns();
    const std::vector<shared<value>>& theirs = place.reference->listed_columns();
    if (place.index >= theirs.size())
        return "this keeps " + written(*mine[place.index]) + ", which the reference does not keep";
    if (place.index >= mine.size())
        return "this leaves out " + written(*theirs[place.index]) + ", which the reference keeps";
    if (mine.size() != theirs.size())
        return "this keeps " + written(*mine[place.index]) + " where the reference keeps "
            + written(*theirs[place.index]) + ", and " + std::to_string(theirs.size())
            + (theirs.size() == 1 ? " column" : " columns") + " in all";
    const value& given = *mine[place.index];
    const value& expected = *theirs[place.index];
    bool under_minus = !place.answer_parent.empty() && place.answer_parent->kind() == expression_kind::minus;
    if (!under_minus)
        return "this keeps " + written(given) + " where the reference keeps " + written(expected);
    std::string sharing = sharing_relation(results, given, expected);
    return "this difference is taken on " + written(given)
        + (sharing.empty() ? "" : ", which two rows of " + sharing + " share in the counterexample")
        + "; the reference compares " + written(expected);
}

// Where the answer fails: the node that raised, and its message.
class failure_finder final : public expression_observer {
public:
    void failed(const expression& node, const node_step&, const std::exception& error) override
    {
        if (node_ == nullptr) {
            node_ = &node;
            message_ = error.what();
        }
    }
    const expression* node_ = nullptr;
    std::string message_;
};

// A comparand of the condition that names no column of the schema.
const source_range* missing_comparand(const condition& test, const schema& columns)
{
    for (const shared<condition>& part : test.arguments())
        if (const source_range* found = missing_comparand(*part, columns))
            return found;
    for (std::size_t i = 0; i < test.comparands().size(); ++i)
        if (test.comparands()[i]->kind() == value_kind::symbol && !find_column(columns, *test.comparands()[i])
            && i < test.comparand_places().size())
            return &test.comparand_places()[i];
    return nullptr;
}

// The failing node, narrowed to the column it cannot find when the
// column is written in it.
std::optional<answer_fault> failing_part(node_results& results, const shared<expression>& answer)
{
    failure_finder finder;
    try {
        evaluate_observed(answer, results.database(), finder);
    } catch (const std::bad_alloc&) {
    } catch (const std::runtime_error&) {
    }
    if (finder.node_ == nullptr || !finder.node_->place().known())
        return std::nullopt;
    answer_fault fault{finder.node_->place(), "the answer fails here: " + finder.message_};
    while (!fault.message.empty() && fault.message.back() == '.')
        fault.message.pop_back();
    const expression& node = *finder.node_;
    if (node.kind() != expression_kind::select && node.kind() != expression_kind::project)
        return fault;
    shared<relation> input = results.of(node.operands().front());
    if (input.empty())
        return fault;
    const schema& columns = *input->relation_schema();
    if (node.kind() == expression_kind::select) {
        if (const source_range* found = missing_comparand(*node.predicate(), columns))
            fault.place = *found;
        return fault;
    }
    for (std::size_t i = 0; i < node.listed_columns().size(); ++i)
        if (!find_column(columns, *node.listed_columns()[i])) {
            fault.place = column_place(node, i);
            break;
        }
    return fault;
}

} // namespace

std::optional<answer_fault> locate_fault(const shared<environment>& counterexample, const shared<expression>& reference,
                                         const shared<expression>& answer)
{
    try {
        node_results given(counterexample), expected(counterexample);
        if (expected.of(reference).empty())
            return std::nullopt;
        std::optional<tree_place> place = align_trees(reference, answer);
        // A failing answer is blamed where it fails, unless it reads
        // another relation than the reference: that is why it fails.
        if (given.of(answer).empty() && (!place || place->kind != departure::relation))
            return failing_part(given, answer);
        if (!place)
            return std::nullopt;
        answer_fault fault;
        fault.place = place->answer->place();
        switch (place->kind) {
        case departure::relation:
            fault.message = "the reference reads " + written(*place->reference->relation_name()) + " here, not "
                + written(*place->answer->relation_name());
            break;
        case departure::column:
            fault.place = place->across ? place->answer_parent->place() : column_place(*place->answer, place->index);
            fault.message = column_message(given, *place);
            break;
        case departure::swapped:
            fault.message = "the two sides of this minus are the wrong way round";
            break;
        case departure::whole:
            fault = fault_in_whole(given, expected, *place, reference);
            break;
        case departure::comparand:
            if (place->index < place->answer_condition->comparand_places().size())
                fault.place = place->answer_condition->comparand_places()[place->index];
            fault.message = condition_message(given, *place);
            break;
        default:
            fault.place = place->answer_condition->place();
            fault.message = condition_message(given, *place);
            break;
        }
        if (!fault.place.known())
            return std::nullopt;
        return fault;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace qorvantel
