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

namespace {
// A sort key holding the first value's order in 64 bits: the integer offset
// into unsigned range, or the first eight bytes of a string, big-endian (no
// string holds a NUL byte, so zero padding sorts a shorter string first).
// Rows with different keys are ordered by their keys alone; equal keys fall
// back to the full row order.
std::uint64_t leading_key(const row& each)
{
    if (each.size() == 0)
        return 0;
    const value& first = *each[0];
    switch (first.kind()) {
    case value_kind::integer:
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(
                   static_cast<const integer_value&>(first).number()) + 2147483648LL);
    case value_kind::string:
    case value_kind::symbol: {
        const std::string& content = first.kind() == value_kind::string
            ? static_cast<const string_value&>(first).content()
            : static_cast<const symbol_value&>(first).content();
        std::uint64_t key = 0;
        for (std::size_t i = 0; i < 8; ++i)
            key = (key << 8) | (i < content.size() ? static_cast<unsigned char>(content[i]) : 0u);
        return key;
    }
    }
    return 0;
}

struct keyed_row {
    std::uint64_t key;
    const row* pointer;
    std::size_t index;
};

} // namespace

void sort_unique(row_list& rows)
{
    // Sort small records (key, row, position) rather than handles: the key
    // settles most comparisons without touching the rows, and moving a
    // handle relinks its ring, so the permutation is applied once at the end.
    // All rows of a table share one schema, so their first values are of one
    // kind and the keys are comparable.
    std::vector<keyed_row> order;
    order.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        order.push_back(keyed_row{leading_key(*rows[i]), rows[i].get(), i});
    std::sort(order.begin(), order.end(), [](const keyed_row& a, const keyed_row& b) {
        if (a.key != b.key)
            return a.key < b.key;
        return row_less(*a.pointer, *b.pointer);
    });
    row_list sorted;
    sorted.reserve(rows.size());
    const keyed_row* previous = nullptr;
    for (const keyed_row& each : order) {
        if (previous != nullptr && previous->key == each.key && !row_less(*previous->pointer, *each.pointer))
            continue;
        sorted.push_back(std::move(rows[each.index]));
        previous = &each;
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
