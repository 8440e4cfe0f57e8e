// Explaining the rows in which two results differ.
#include "check/provenance.h"

#include "algebra/condition.h"
#include "check/database.h"
#include "check/node_results.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace qorvantel {

namespace {
// A row of the database: its relation's name and the row itself.
struct base_row {
    shared<value> relation;
    shared<row> values;
};

shared<row> slice(const row& whole, std::size_t from, std::size_t count)
{
    return row::make(count, [&](shared<value>* slots) {
        for (std::size_t i = 0; i < count; ++i)
            slots[i] = whole[from + i];
    });
}

// Appends one derivation of wanted, a row of node's result: for a product
// the parts from each term, for a projection the first row it projects,
// for a union the first term that holds it.
void lineage(node_results& results, const shared<expression>& node, const row& wanted, std::vector<base_row>& into)
{
    expression_list operands = node->operands();
    switch (node->kind()) {
    case expression_kind::relation: {
        shared<relation> stored = results.of(node);
        for (const shared<row>& each : stored->relation_table()->rows())
            if (row_compare(*each, wanted) == 0)
                into.push_back({node->relation_name(), each});
        return;
    }
    case expression_kind::select:
    case expression_kind::rename:
    case expression_kind::minus:
        lineage(results, operands.front(), wanted, into);
        return;
    case expression_kind::union_of:
        for (const shared<expression>& term : operands) {
            shared<relation> part = results.of(term);
            if (!part.empty() && holds_row(*part, wanted)) {
                lineage(results, term, wanted, into);
                return;
            }
        }
        return;
    case expression_kind::product: {
        std::size_t from = 0;
        for (const shared<expression>& term : operands) {
            shared<relation> part = results.of(term);
            if (part.empty())
                return;
            std::size_t count = part->relation_schema()->columns().size();
            lineage(results, term, *slice(wanted, from, count), into);
            from += count;
        }
        return;
    }
    case expression_kind::project: {
        shared<relation> source = results.of(operands.front());
        if (source.empty())
            return;
        std::vector<std::optional<std::size_t>> places
            = find_columns(*source->relation_schema(), node->listed_columns());
        for (const shared<row>& each : source->relation_table()->rows()) {
            bool match = places.size() == wanted.size();
            for (std::size_t j = 0; match && j < places.size(); ++j)
                match = places[j].has_value() && value_equal(*(*each)[*places[j]], *wanted[j]);
            if (match) {
                lineage(results, operands.front(), *each, into);
                return;
            }
        }
        return;
    }
    }
}

// The database's relations with only the given rows.
shared<environment> only(const environment& database, const std::vector<base_row>& kept)
{
    std::vector<shared<relation>> relations;
    for (const auto& entry : database.relations()) {
        row_list rows;
        for (const base_row& each : kept)
            if (value_equal(*each.relation, *entry.first))
                rows.push_back(each.values);
        relations.emplace_back(new relation(entry.second->relation_schema(), table::unsorted(rows)));
    }
    return environment::of(relations);
}

// Whether the condition holds on no row of rows, raising nothing.
bool false_on_all(const condition& test, const relation& rows)
{
    try {
        std::unique_ptr<bound_condition> bound = test.bind(rows.relation_schema());
        for (const shared<row>& each : rows.relation_table()->rows())
            if (bound->test(*each))
                return false;
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

// The smallest part of a select's condition that keeps out every row of
// its argument: a conjunct of an AND, as deep as one is found.
const condition& dropping_part(const condition& whole, const relation& rows)
{
    if (whole.kind() == condition_kind::conjunction)
        for (const shared<condition>& part : whole.arguments())
            if (false_on_all(*part, rows))
                return dropping_part(*part, rows);
    return whole;
}

std::string shortened(std::string text)
{
    const std::size_t longest = 80;
    if (text.size() > longest)
        text = text.substr(0, longest - 3) + "...";
    return text;
}

// The first node, operands before the node, that drops the rows: a select
// or a minus whose input has rows and whose result has none (wanted null),
// or whose input holds wanted and whose result does not. Rows a minus's
// right side loses drop nothing: only its first term is searched.
std::string dropping_node(node_results& results, const shared<expression>& node, const row* wanted)
{
    expression_list operands = node->operands();
    std::size_t carrying = node->kind() == expression_kind::minus ? 1 : operands.size();
    for (std::size_t i = 0; i < carrying; ++i) {
        std::string found = dropping_node(results, operands[i], wanted);
        if (!found.empty())
            return found;
    }
    if (node->kind() != expression_kind::select && node->kind() != expression_kind::minus)
        return "";
    shared<relation> input = results.of(operands.front());
    shared<relation> output = results.of(node);
    if (input.empty() || output.empty())
        return "";
    bool dropped = wanted == nullptr
        ? !input->relation_table()->rows().empty() && output->relation_table()->rows().empty()
        : input->relation_schema()->columns().size() == wanted->size() && holds_row(*input, *wanted)
            && !holds_row(*output, *wanted);
    if (!dropped)
        return "";
    if (node->kind() == expression_kind::minus)
        return shortened(written(*node));
    return written(wanted == nullptr ? dropping_part(*node->predicate(), *input) : *node->predicate());
}

// The rows of one result that the other lacks, explained.
void explain_side(node_results& has, node_results& lacks_on_counterexample, const shared<expression>& having,
                  const shared<expression>& lacking, bool in_answer, std::vector<row_difference>& into)
{
    shared<relation> mine = has.of(having);
    shared<relation> theirs = lacks_on_counterexample.of(lacking);
    for (const shared<row>& each : mine->relation_table()->rows()) {
        if (holds_row(*theirs, *each))
            continue;
        row_difference difference;
        difference.row = row_text(*each);
        difference.in_answer = in_answer;
        std::vector<base_row> sources;
        lineage(has, having, *each, sources);
        // A row read twice (a relation joined with itself) is said once.
        for (const base_row& source : sources) {
            std::string said = written(*source.relation) + ": " + row_text(*source.values);
            if (std::find(difference.why.begin(), difference.why.end(), said) == difference.why.end())
                difference.why.push_back(said);
        }
        // On the rows it is made from alone, where does the other side lose them?
        node_results on_sources(only(*has.database(), sources));
        difference.dropped_by = dropping_node(on_sources, lacking, nullptr);
        // A minus may drop it for rows it is not made from: then the
        // whole counterexample shows where.
        if (difference.dropped_by.empty())
            difference.dropped_by = dropping_node(lacks_on_counterexample, lacking, each.get());
        into.push_back(std::move(difference));
    }
}
} // namespace

std::vector<row_difference> explain_differences(const shared<environment>& counterexample,
                                                const shared<expression>& reference, const shared<expression>& answer)
{
    std::vector<row_difference> differences;
    try {
        node_results expected(counterexample), given(counterexample);
        shared<relation> a = expected.of(reference), b = given.of(answer);
        if (a.empty() || b.empty())
            return differences;
        const column_list& x = a->relation_schema()->columns();
        const column_list& y = b->relation_schema()->columns();
        if (x.size() != y.size())
            return differences;
        for (std::size_t i = 0; i < x.size(); ++i)
            if (x[i]->column_type()->kind() != y[i]->column_type()->kind())
                return differences;
        explain_side(expected, given, reference, answer, false, differences);
        explain_side(given, expected, answer, reference, true, differences);
    } catch (const std::bad_alloc&) {
        differences.clear();
    }
    return differences;
}

} // namespace qorvantel
