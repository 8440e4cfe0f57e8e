// Lint: the expression walked over its environment's schemas, with no rows.
//
// Each node is applied to its operands' results over an environment whose
// relations are all empty, which gives every node's schema and raises the
// errors that need no row (a missing relation, a union of different
// schemas, a project of a missing column). Conditions, which the
// interpreter checks only when a row reaches them, are checked here
// against their operand's schema.
#include "check/lint.h"

#include "algebra/condition.h"
#include "algebra/expression.h"
#include "check/database.h"
#include "check/lint_tokens.h"
#include "text/diagnostics.h"

#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>

namespace qorvantel {

namespace {
using column_pairs = std::set<std::pair<std::string, std::string>>;

const char* kind_name(value_kind kind) { return kind == value_kind::integer ? "int" : "char"; }

class lint_walk {
public:
    lint_walk(const std::string& source, shared<environment> empty)
        : tokens_(tokens_of(source)), empty_(std::move(empty))
    {
    }

    std::vector<lint_note> notes;

    shared<relation> walk(const expression& node)
    {
        if (node.kind() == expression_kind::relation) {
            const token* at = next_value();
            return applied(node, {}, at);
        }
        const token* at = next_keyword(node.keyword());
        column_pairs related;
        if (!node.predicate().empty())
            pairs_in(*node.predicate(), related);
        scopes_.push_back(std::move(related));
        relation_list results;
        for (std::size_t i = 0; i < node.operands().size(); ++i)
            results.push_back(walk(*node.operands()[i], i > 0));
        scopes_.pop_back();
        bool complete = true;
        for (const shared<relation>& each : results)
            complete = complete && !each.empty();
        if (node.kind() == expression_kind::select) {
            std::optional<bool> always
                = complete ? check_condition(*node.predicate(), *results[0]->relation_schema()) : std::nullopt;
            if (!complete)
                skip_condition(*node.predicate());
            if (always.has_value())
                note(at,
                     "the condition " + written(*node.predicate()) + " is always " + (*always ? "true" : "false")
                         + " on its own literals: the select keeps " + (*always ? "every row." : "no row."));
        }
        for (std::size_t i = 0; i < node.listed_columns().size(); ++i)
            next_listed();
        if (!node.new_names().empty()) {
            next_value();
            for (std::size_t i = 0; i < node.new_names()->column_names().size(); ++i)
                next_listed();
        }
        if (!complete)
            return {};
        if (node.kind() == expression_kind::product)
            check_related(results, at);
        // Union, minus and product fold their terms two at a time.
        shared<relation> result = results[0];
        if (results.size() == 1)
            return applied(node, results, at);
        for (std::size_t i = 1; i < results.size() && !result.empty(); ++i)
            result = applied(node, {result, results[i]}, at);
        return result;
    }

private:
    std::vector<token> tokens_;
    std::size_t cursor_ = 0;
    shared<environment> empty_;
    std::vector<column_pairs> scopes_;

    shared<relation> walk(const expression& node, bool listed)
    {
        // The first token of the operand must follow a comma.
        if (listed)
            separator_before(first_token_from(cursor_, node.kind() == expression_kind::relation));
        return walk(node);
    }

    void note(const token* at, std::string message)
    {
        notes.push_back({at == nullptr ? 0 : at->line, at == nullptr ? 0 : at->column, std::move(message)});
    }

    std::size_t first_token_from(std::size_t from, bool value) const
    {
        while (from < tokens_.size() && !(value ? tokens_[from].is_value() : tokens_[from].kind == token_kind::keyword))
            ++from;
        return from;
    }

    void separator_before(std::size_t index)
    {
        if (index == 0 || index >= tokens_.size())
            return;
        const token& before = tokens_[index - 1];
        if (before.kind != token_kind::comma && before.kind != token_kind::open)
            note(&tokens_[index],
                 "no comma before " + tokens_[index].spelling + ": the separator is left out, and "
                     + tokens_[index].spelling + " is read as the next argument.");
    }

    const token* next_value()
    {
        cursor_ = first_token_from(cursor_, true);
        return cursor_ < tokens_.size() ? &tokens_[cursor_++] : nullptr;
    }

    const token* next_listed()
    {
        separator_before(first_token_from(cursor_, true));
        return next_value();
    }

    const token* next_keyword(const std::string& word)
    {
        while (cursor_ < tokens_.size()
               && !(tokens_[cursor_].kind == token_kind::keyword && tokens_[cursor_].spelling == word))
            ++cursor_;
        return cursor_ < tokens_.size() ? &tokens_[cursor_++] : nullptr;
    }

    shared<relation> applied(const expression& node, const relation_list& results, const token* at)
    {
        try {
            return node.apply(results, empty_);
        } catch (const std::bad_alloc&) {
            note(at, "Out of memory.");
        } catch (const std::runtime_error& error) {
            note(at, error.what());
        }
        return {};
    }

    // Moves past a condition's tokens without checking it: its operand's
    // schema is unknown after an error there.
    void skip_condition(const condition& of)
    {
        next_keyword(of.keyword());
        for (const shared<condition>& argument : of.arguments())
            skip_condition(*argument);
        for (std::size_t i = 0; i < of.comparands().size(); ++i)
            next_value();
    }

    static void pairs_in(const condition& of, column_pairs& into)
    {
        for (const shared<condition>& argument : of.arguments())
            pairs_in(*argument, into);
        const auto& values = of.comparands();
        for (std::size_t i = 0; i + 1 < values.size(); ++i)
            if (values[i]->kind() == value_kind::symbol && values[i + 1]->kind() == value_kind::symbol) {
                into.insert({written(*values[i]), written(*values[i + 1])});
                into.insert({written(*values[i + 1]), written(*values[i])});
            }
    }

    void check_related(const relation_list& terms, const token* at)
    {
        std::set<std::string> before;
        auto names = [](const relation& of) {
            std::set<std::string> result;
            for (const shared<column>& each : of.relation_schema()->columns())
                result.insert(written(*each->name()));
            return result;
        };
        before = names(*terms[0]);
        for (std::size_t i = 1; i < terms.size(); ++i) {
            std::set<std::string> added = names(*terms[i]);
            bool related = false;
            for (const column_pairs& scope : scopes_)
                for (const auto& [a, b] : scope)
                    related = related || (before.count(a) > 0 && added.count(b) > 0);
            if (!related)
                note(at,
                     "no condition relates the columns of " + written(*terms[i]->relation_schema())
                         + " to those before it in this product: a Cartesian product, where a join condition "
                           "may be missing.");
            before.insert(added.begin(), added.end());
        }
    }

    // The kinds of a comparison's operands and whether the whole condition
    // holds whatever the row; constant parts inside a condition that is not
    // constant itself are reported where they stand.
    std::optional<bool> check_condition(const condition& of, const schema& row_schema)
    {
        const token* at = next_keyword(of.keyword());
        if (of.kind() == condition_kind::comparison)
            return check_comparison(of, row_schema, at);
        std::vector<std::optional<bool>> parts;
        std::vector<const token*> places;
        for (std::size_t i = 0; i < of.arguments().size(); ++i) {
            if (i > 0)
                separator_before(first_token_from(cursor_, false));
            places.push_back(cursor_ < tokens_.size() ? &tokens_[first_token_from(cursor_, false)] : nullptr);
            parts.push_back(check_condition(*of.arguments()[i], row_schema));
        }
        std::optional<bool> result;
        if (parts.empty())
            return result;
        if (of.kind() == condition_kind::negation) {
            if (parts[0].has_value())
                result = !*parts[0];
        } else {
            bool stop = of.kind() == condition_kind::disjunction;
            bool all_known = true;
            for (const auto& part : parts) {
                if (part == stop)
                    result = stop;
                all_known = all_known && part.has_value();
            }
            if (!result.has_value() && all_known)
                result = !stop;
        }
        if (!result.has_value()) {
            for (std::size_t i = 0; i < parts.size(); ++i)
                if (parts[i].has_value() && !result.has_value())
                    note(places[i],
                         "the condition " + written(*of.arguments()[i]) + " is always " + (*parts[i] ? "true" : "false")
                             + " on its own literals.");
        }
        return result;
    }

    std::optional<bool> check_comparison(const condition& of, const schema& row_schema, const token* at)
    {
        const auto& values = of.comparands();
        std::vector<std::optional<value_kind>> kinds;
        bool constant = true;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const token* place = i == 0 ? next_value() : next_listed();
            std::optional<value_kind> kind = values[i]->kind();
            if (*kind == value_kind::symbol) {
                constant = false;
                std::optional<std::size_t> index = find_column(row_schema, *values[i]);
                if (!index.has_value()) {
                    try {
                        throw_column_not_found(*values[i], row_schema);
                    } catch (const std::runtime_error& error) {
                        note(place, error.what());
                    }
                    kind.reset();
                } else {
                    type_kind column = row_schema.columns()[*index]->column_type()->kind();
                    kind = column == type_kind::integer ? value_kind::integer : value_kind::string;
                }
            }
            if (i > 0 && kind.has_value() && kinds.back().has_value() && *kind != *kinds.back())
                note(place == nullptr ? at : place,
                     std::string(of.keyword()) + " compares " + written(*values[i - 1]) + " ("
                         + kind_name(*kinds.back()) + ") with " + written(*values[i]) + " (" + kind_name(*kind)
                         + "): values of different kinds, an error as soon as a row reaches it.");
            kinds.push_back(kind);
        }
        for (std::size_t i = 1; i < kinds.size(); ++i)
            if (!kinds[i].has_value() || !kinds[0].has_value() || *kinds[i] != *kinds[0])
                return std::nullopt;
        if (constant) {
            for (std::size_t i = 0; i + 1 < values.size(); ++i)
                if (!comparison_holds(of.comparison(), value_compare(*values[i], *values[i + 1])))
                    return false;
            return true;
        }
        // A column compared with itself: EQ(a, a) always holds.
        if (values.size() == 2 && values[0]->kind() == value_kind::symbol && values[1]->kind() == value_kind::symbol
            && value_equal(*values[0], *values[1]))
            return comparison_holds(of.comparison(), 0);
        return std::nullopt;
    }
};
} // namespace

std::vector<lint_note> lint_expression(const environment& schemas, const std::string& source)
{
    shared<expression> query;
    try {
        text input(source);
        text::iterator position = input.begin();
        query = parsing<expression>::require("expression", position);
        expect_end(position);
    } catch (const std::bad_alloc&) {
        return {{0, 0, "Out of memory."}};
    } catch (const std::runtime_error& error) {
        return {{0, 0, error.what()}};
    }
    lint_walk walk(source, load_environment(database(schemas).text_of({})));
    walk.walk(*query);
    return walk.notes;
}

} // namespace qorvantel
