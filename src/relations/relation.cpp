// Rows, tables and relations: reading rows, ordering them, writing them.
#include "relations/relation.h"

#include "text/diagnostics.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace qorvantel {

std::ostream& line_end(std::ostream& out)
{
    out.put('\n');
    return out.flush();
}

std::ostream& row::operator>>(std::ostream& out) const
{
    out << separated(values_);
    return line_end(out);
}

std::ostream& table::operator>>(std::ostream& out) const
{
    for (const auto& each : rows_)
        out << each;
    return out;
}

std::ostream& relation::operator>>(std::ostream& out) const
{
    out << schema_;
    line_end(out);
    out << table_;
    return line_end(out);
}

bool row_less(const row& a, const row& b)
{
    std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const value& left = *a[i];
        const value& right = *b[i];
        if (value_less(left, right))
            return true;
        if (value_less(right, left))
            return false;
    }
    return a.size() < b.size();
}

namespace {
[[noreturn]] void throw_missing_comma(const text::iterator& position)
{
    error_message message;
    message << "Expected , between field values " << position << ".";
    throw_message(message);
}

[[noreturn]] void throw_cannot_parse_field(const type& field_type, const text::iterator& position)
{
    error_message message;
    message << "Cannot parse " << field_type << " field " << position << ".";
    throw_message(message);
}
} // namespace

shared<row> parse_row(text::iterator& position, const schema& row_schema)
{
    const column_list& columns = row_schema.columns();
    text::iterator working = position;
    value_list values;
    values.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const type& field_type = *columns[i]->column_type();
        if (i > 0) {
            text::iterator after_comma = working;
            match(after_comma, ",");
            if (!after_comma.valid())
                throw_missing_comma(working);
            working = after_comma;
        }
        shared<value> field = field_type.parse(working);
        if (field.empty()) {
            if (i == 0)
                return shared<row>();
            throw_cannot_parse_field(field_type, working);
        }
        values.push_back(std::move(field));
    }
    position = working;
    return shared<row>(new row(std::move(values)));
}

void sort_unique(row_list& rows)
{
    // Sort positions rather than handles: moving a handle relinks its ring,
    // and a permutation applied once moves each handle exactly once.
    std::vector<std::uint32_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&rows](std::uint32_t a, std::uint32_t b) { return row_less(*rows[a], *rows[b]); });
    row_list sorted;
    sorted.reserve(rows.size());
    for (std::uint32_t index : order) {
        if (!sorted.empty() && !row_less(*sorted.back(), *rows[index]))
            continue;
        sorted.push_back(std::move(rows[index]));
    }
    rows.swap(sorted);
}

void unique_sorted(row_list& rows)
{
    std::size_t kept = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (kept > 0 && !row_less(*rows[kept - 1], *rows[i]))
            continue;
        if (kept != i)
            rows[kept] = std::move(rows[i]);
        ++kept;
    }
    rows.resize(kept);
}

} // namespace qorvantel
