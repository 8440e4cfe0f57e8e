// Columns, schemas and name schemas.
#include "relations/schema.h"

#include "parsing/syntax.h"
#include "text/diagnostics.h"

#include <algorithm>
#include <stdexcept>

namespace qorvantel {

namespace {
// A schema's columns "(name type, ...)" and a name schema's column names
// "(name, ...)": at least one each, with no upper bound.
constexpr sequence_syntax schema_columns{"schema columns", 1, unbounded, "(", ",", ")"};
constexpr sequence_syntax name_schema_columns{"name schema columns", 1, unbounded, "(", ",", ")"};
} // namespace

std::ostream& column::operator>>(std::ostream& out) const { return out << name_ << ' ' << type_; }

std::ostream& schema::operator>>(std::ostream& out) const { return out << name_ << '(' << separated(columns_) << ')'; }

std::ostream& name_schema::operator>>(std::ostream& out) const
{
    return out << name_ << '(' << separated(column_names_) << ')';
}

shared<column> parse_column(text::iterator& position)
{
    text::iterator working = position;
    shared<value> name = parse_symbol(working);
    if (name.empty())
        return shared<column>();
    shared<type> column_type = parsing<type>::try_parse(working);
    if (column_type.empty())
        return shared<column>();
    position = working;
    return shared<column>(new column(std::move(name), std::move(column_type)));
}

shared<schema> parse_schema_columns(shared<value> name, text::iterator& position)
{
    column_list columns;
    parse_sequence(schema_columns, position, parse_column, columns);
    shared<schema> result(new schema(std::move(name), std::move(columns)));
    require_distinct_names(*result);
    return result;
}

shared<name_schema> parse_name_schema(text::iterator& position, std::vector<source_range>* places)
{
    text::iterator working = position;
    shared<value> name = parse_symbol(working);
    if (name.empty())
        return shared<name_schema>();
    std::vector<shared<value>> names;
    if (places == nullptr) {
        parse_sequence(name_schema_columns, working, parse_symbol, names);
    } else {
        places->push_back(position.range_to(working));
        parse_sequence(name_schema_columns, working, recording_places(parse_symbol, *places), names);
    }
    position = working;
    return shared<name_schema>(new name_schema(std::move(name), std::move(names)));
}

bool has_distinct_names(const column_list& columns)
{
    // Sort the names and look for equal neighbours: n log n, since a schema
    // built by a product can be wide.
    std::vector<const value*> names;
    names.reserve(columns.size());
    for (const auto& each : columns)
        names.push_back(each->name().get());
    std::sort(names.begin(), names.end(), [](const value* a, const value* b) { return value_less(*a, *b); });
    for (std::size_t i = 1; i < names.size(); ++i)
        if (!value_less(*names[i - 1], *names[i]))
            return false;
    return true;
}

std::optional<std::size_t> find_column(const schema& in, const value& name)
{
    const column_list& columns = in.columns();
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (value_equal(*columns[i]->name(), name))
            return i;
    return std::nullopt;
}

std::vector<std::optional<std::size_t>> find_columns(const schema& in, const std::vector<shared<value>>& names)
{
    std::vector<std::optional<std::size_t>> found;
    found.reserve(names.size());
    const column_list& columns = in.columns();
    // A few thousand name comparisons take microseconds, less than the
    // index and the sort below; those only keep wide schemas (thousands of
    // columns named one by one) from a quadratic search.
    if (names.size() * columns.size() <= 4096) {
        for (const auto& name : names)
            found.push_back(find_column(in, *name));
        return found;
    }
    std::vector<std::size_t> by_name(columns.size());
    for (std::size_t i = 0; i < by_name.size(); ++i)
        by_name[i] = i;
    // Stable, so that among equal names the first column comes first.
    std::stable_sort(by_name.begin(), by_name.end(), [&columns](std::size_t a, std::size_t b) {
        return value_less(*columns[a]->name(), *columns[b]->name());
    });
    for (const auto& name : names) {
        auto at
            = std::lower_bound(by_name.begin(), by_name.end(), name, [&columns](std::size_t a, const shared<value>& n) {
                  return value_less(*columns[a]->name(), *n);
              });
        if (at != by_name.end() && value_equal(*columns[*at]->name(), *name))
            found.push_back(*at);
        else
            found.push_back(std::nullopt);
    }
    return found;
}

void throw_column_not_found(const value& name, const schema& in)
{
    error_message message;
    message << "Column " << name << " not found in schema " << in << ".";
    throw_message(message);
}

void require_distinct_names(const schema& in)
{
    if (has_distinct_names(in.columns()))
        return;
    error_message message;
    message << "Duplicate columns in " << in << ".";
    throw_message(message);
}

namespace {
[[noreturn]] void throw_cannot_coerce(const schema& a, const schema& b, const char* inner)
{
    error_message message;
    message << "Cannot coerce " << a << " and " << b;
    if (inner != nullptr)
        message << ": " << inner;
    else
        message << ".";
    throw_message(message);
}
} // namespace

shared<schema> coerce(const shared<schema>& a, const shared<schema>& b)
{
    const column_list& left = a->columns();
    const column_list& right = b->columns();
    if (left.size() != right.size())
        throw_cannot_coerce(*a, *b, nullptr);
    for (std::size_t i = 0; i < left.size(); ++i)
        if (!value_equal(*left[i]->name(), *right[i]->name()))
            throw_cannot_coerce(*a, *b, nullptr);
    column_list columns;
    columns.reserve(left.size());
    try {
        for (std::size_t i = 0; i < left.size(); ++i) {
            const shared<type>& left_type = left[i]->column_type();
            const shared<type>& right_type = right[i]->column_type();
            const shared<type>& chosen = left_type->contains(*right_type) ? left_type : right_type;
            columns.push_back(shared<column>(new column(left[i]->name(), chosen)));
        }
    } catch (const std::runtime_error& inner) {
        throw_cannot_coerce(*a, *b, inner.what());
    }
    return shared<schema>(new schema(shared<value>(), std::move(columns)));
}

} // namespace qorvantel
