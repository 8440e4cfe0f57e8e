// Lint's condition checks, placed by the places the parser recorded.
#include "check/lint_conditions.h"

#include "text/diagnostics.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <stdexcept>
#include <utility>

namespace qorvantel {

lint_notes::lint_notes(const std::string& source) : source_(source)
{
    line_starts_.push_back(0);
    for (std::size_t i = 0; i < source.size(); ++i)
        if (source[i] == '\n')
            line_starts_.push_back(i + 1);
}

void lint_notes::note(const source_range& at, std::string message)
{
    notes_.push_back({at.line, at.column, std::move(message)});
}

std::size_t lint_notes::offset_of(std::size_t line, std::size_t column) const
{
    if (line == 0 || line > line_starts_.size() || column == 0)
        return std::string::npos;
    std::size_t offset = line_starts_[line - 1] + column - 1;
    return offset < source_.size() ? offset : std::string::npos;
}

void lint_notes::separator_between(const source_range& before, const source_range& member, const std::string& spelling)
{
    std::size_t from = offset_of(before.end_line, before.end_column);
    std::size_t to = offset_of(member.line, member.column);
    if (from == std::string::npos || to == std::string::npos || to <= from)
        return;
    if (source_.find(',', from + 1) < to)
        return;
    note(member,
         "no comma before " + spelling + ": the separator is left out, and " + spelling
             + " is read as the next argument.");
}

std::vector<lint_note> lint_notes::sorted() &&
{
    std::stable_sort(notes_.begin(), notes_.end(), [](const lint_note& a, const lint_note& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return std::move(notes_);
}

namespace {

const char* kind_name(value_kind kind) { return kind == value_kind::integer ? "int" : "char"; }

// The kind of the values of a column of the type.
value_kind kind_of(const type& column_type)
{
    return column_type.kind() == type_kind::integer ? value_kind::integer : value_kind::string;
}

const source_range& place_of(const condition& of, std::size_t comparand)
{
    return comparand < of.comparand_places().size() ? of.comparand_places()[comparand] : of.place();
}

// An integer literal and, right after it with nothing between, a column
// name of a dot and digits: a decimal number as the parser reads it.
bool decimal_at(const condition& of, std::size_t fraction)
{
    const auto& values = of.comparands();
    if (fraction == 0 || values[fraction - 1]->kind() != value_kind::integer
        || values[fraction]->kind() != value_kind::symbol || fraction >= of.comparand_places().size())
        return false;
    const std::string& name = static_cast<const symbol_value&>(*values[fraction]).content();
    if (name.size() < 2 || name[0] != '.'
        || !std::all_of(name.begin() + 1, name.end(), [](char c) { return is_digit(c); }))
        return false;
    const source_range& whole = of.comparand_places()[fraction - 1];
    const source_range& part = of.comparand_places()[fraction];
    return whole.end_line == part.line && whole.end_column + 1 == part.column;
}

// The values one column may take under the comparisons of a conjunction:
// integers as an interval, strings as bounds that may be strict; and the
// values it must differ from.
struct column_range {
    std::vector<std::string> comparisons;
    value_kind kind = value_kind::integer;
    std::int64_t low = std::numeric_limits<std::int64_t>::min();
    std::int64_t high = std::numeric_limits<std::int64_t>::max();
    const value* lower = nullptr;
    bool lower_strict = false;
    const value* upper = nullptr;
    bool upper_strict = false;
    std::vector<const value*> excluded;

    void bound(comparison_operator op, const value& literal)
    {
        if (kind == value_kind::integer) {
            std::int64_t n = static_cast<const integer_value&>(literal).number();
            if (op == comparison_operator::eq || op == comparison_operator::gte || op == comparison_operator::gt)
                low = std::max(low, op == comparison_operator::gt ? n + 1 : n);
            if (op == comparison_operator::eq || op == comparison_operator::lte || op == comparison_operator::lt)
                high = std::min(high, op == comparison_operator::lt ? n - 1 : n);
        } else {
            if (op == comparison_operator::eq || op == comparison_operator::gte || op == comparison_operator::gt)
                raise(lower, lower_strict, literal, op == comparison_operator::gt, 1);
            if (op == comparison_operator::eq || op == comparison_operator::lte || op == comparison_operator::lt)
                raise(upper, upper_strict, literal, op == comparison_operator::lt, -1);
        }
        if (op == comparison_operator::neq)
            excluded.push_back(&literal);
    }

    // True when no value lies within the bounds and outside the excluded.
    bool empty() const
    {
        if (kind == value_kind::integer) {
            if (low > high)
                return true;
            if (low != high)
                return false;
            return std::any_of(excluded.begin(), excluded.end(), [&](const value* each) {
                return static_cast<const integer_value&>(*each).number() == low;
            });
        }
        if (lower == nullptr || upper == nullptr)
            return false;
        int order = value_compare(*lower, *upper);
        if (order != 0)
            return order > 0;
        return lower_strict || upper_strict || std::any_of(excluded.begin(), excluded.end(), [&](const value* each) {
                   return value_compare(*each, *lower) == 0;
               });
    }

private:
    // Moves a bound inwards to literal: direction 1 for a lower bound.
    static void raise(const value*& bound, bool& strict, const value& literal, bool literal_strict, int direction)
    {
        int order = bound == nullptr ? 1 : value_compare(literal, *bound) * direction;
        if (order > 0 || (order == 0 && literal_strict)) {
            bound = &literal;
            strict = literal_strict || (order == 0 && strict);
        }
    }
};

// The comparisons of a conjunction (its nested conjunctions included) that
// bound one column by a literal of the column's kind, gathered by column.
void gather_ranges(const condition& of, const schema& row_schema, std::map<std::string, column_range>& ranges)
{
    for (const shared<condition>& argument : of.arguments()) {
        if (argument->kind() == condition_kind::conjunction) {
            gather_ranges(*argument, row_schema, ranges);
            continue;
        }
        if (argument->kind() != condition_kind::comparison)
            continue;
        const auto& values = argument->comparands();
        for (std::size_t i = 0; i + 1 < values.size(); ++i) {
            bool column_first = values[i]->kind() == value_kind::symbol;
            const value& name = *values[column_first ? i : i + 1];
            const value& literal = *values[column_first ? i + 1 : i];
            if (name.kind() != value_kind::symbol || literal.kind() == value_kind::symbol)
                continue;
            std::optional<std::size_t> index = find_column(row_schema, name);
            if (!index || kind_of(*row_schema.columns()[*index]->column_type()) != literal.kind())
                continue;
            column_range& range = ranges[written(name)];
            range.kind = literal.kind();
            comparison_operator op = argument->comparison();
            range.bound(column_first ? op : mirrored(op), literal);
            std::string spelled = written(*argument);
            if (range.comparisons.empty() || range.comparisons.back() != spelled)
                range.comparisons.push_back(std::move(spelled));
        }
    }
}

void check_contradictions(const condition& of, const schema& row_schema, lint_notes& notes)
{
    std::map<std::string, column_range> ranges;
    gather_ranges(of, row_schema, ranges);
    for (const auto& [name, range] : ranges) {
        if (!range.empty())
            continue;
        std::string together;
        for (std::size_t i = 0; i < range.comparisons.size(); ++i)
            together += (i == 0 ? "" : i + 1 == range.comparisons.size() ? " and " : ", ") + range.comparisons[i];
        notes.note(of.place(),
                   "the condition " + written(of) + " is always false: no value of " + name + " meets " + together
                       + " together.");
    }
}

class condition_lint {
public:
    condition_lint(const schema& row_schema, lint_notes& notes) : schema_(row_schema), notes_(notes) {}

    // within_conjunction: of is an argument of a conjunction, whose check of
    // contradictions takes in of's comparisons.
    std::optional<bool> check(const condition& of, bool within_conjunction = false)
    {
        if (of.kind() == condition_kind::comparison)
            return check_comparison(of);
        bool conjunction = of.kind() == condition_kind::conjunction;
        const auto& arguments = of.arguments();
        std::vector<std::optional<bool>> parts;
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            if (i > 0)
                notes_.separator_between(arguments[i - 1]->place(), arguments[i]->place(), arguments[i]->keyword());
            parts.push_back(check(*arguments[i], conjunction));
        }
        if (conjunction && !within_conjunction)
            check_contradictions(of, schema_, notes_);
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
        if (!result.has_value())
            for (std::size_t i = 0; i < parts.size(); ++i)
                if (parts[i].has_value())
                    notes_.note(arguments[i]->place(),
                                "the condition " + written(*arguments[i]) + " is always "
                                    + (*parts[i] ? "true" : "false") + " on its own literals.");
        return result;
    }

private:
    const schema& schema_;
    lint_notes& notes_;

    std::optional<bool> check_comparison(const condition& of)
    {
        const auto& values = of.comparands();
        std::vector<std::optional<value_kind>> kinds;
        bool constant = true;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const source_range& place = place_of(of, i);
            if (decimal_at(of, i)) {
                // The fraction is no column, and nothing more is said of it.
                notes_.note(place_of(of, i - 1),
                            "decimal numbers are not part of the language: " + written(*values[i - 1])
                                + written(*values[i]) + " is read as the integer " + written(*values[i - 1])
                                + " followed by the column name " + written(*values[i]) + ".");
                constant = false;
                kinds.push_back(std::nullopt);
                continue;
            }
            if (i > 0)
                notes_.separator_between(place_of(of, i - 1), place, written(*values[i]));
            std::optional<value_kind> kind = values[i]->kind();
            if (*kind == value_kind::symbol) {
                constant = false;
                std::optional<std::size_t> index = find_column(schema_, *values[i]);
                if (!index.has_value()) {
                    try {
                        throw_column_not_found(*values[i], schema_);
                    } catch (const std::runtime_error& error) {
                        notes_.note(place, error.what());
                    }
                    kind.reset();
                } else {
                    kind = kind_of(*schema_.columns()[*index]->column_type());
                }
            }
            if (i > 0 && kind.has_value() && kinds.back().has_value() && *kind != *kinds.back())
                notes_.note(place,
                            std::string(of.keyword()) + " compares " + written(*values[i - 1]) + " ("
                                + kind_name(*kinds.back()) + ") with " + written(*values[i]) + " (" + kind_name(*kind)
                                + "): values of different kinds, an error as soon as a row "
                                  "reaches it.");
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

std::optional<bool> lint_condition(const condition& of, const schema& row_schema, lint_notes& notes)
{
    return condition_lint(row_schema, notes).check(of);
}

} // namespace qorvantel
