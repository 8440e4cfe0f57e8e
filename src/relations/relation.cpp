// Rows, tables and relations: reading rows, ordering them, writing them.
#include "relations/relation.h"

#include "text/diagnostics.h"
#include "text/pool.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace qorvantel {

std::ostream& line_end(std::ostream& out)
{
    out.put('\n');
    return out.flush();
}

row::row(std::size_t count) noexcept : size_(count)
{
    shared<value>* slot = slots();
    for (std::size_t i = 0; i < count; ++i)
        new (slot + i) shared<value>();
}

row* row::create(std::size_t count)
{
    static_assert(sizeof(row) % alignof(shared<value>) == 0, "the value handles follow the row");
    void* memory = pool::allocate(sizeof(row) + count * sizeof(shared<value>));
    return ::new (memory) row(count);
}

shared<row> row::make(value_list&& values)
{
    return make(values.size(), [&values](shared<value>* slots) {
        for (std::size_t i = 0; i < values.size(); ++i)
            slots[i] = std::move(values[i]);
    });
}

row::~row()
{
    shared<value>* slot = slots();
    for (std::size_t i = size_; i > 0; --i)
        slot[i - 1].~shared<value>();
}

void row::operator delete(void* object) noexcept { pool::release(object); }

std::ostream& row::operator>>(std::ostream& out) const
{
    // The line is assembled first and written at once; an empty handle
    // keeps its separator and writes nothing.
    std::string line;
    for (std::size_t i = 0; i < size_; ++i) {
        if (i > 0)
            line.append(", ");
        if (!slots()[i].empty())
            append_written(line, *slots()[i]);
    }
    line.push_back('\n');
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    return out.flush();
}

void row::prefetch_handles() const noexcept
{
    const char* first = reinterpret_cast<const char*>(this);
    const char* last = reinterpret_cast<const char*>(slots() + size_);
    for (const char* line = first; line < last; line += 64)
        __builtin_prefetch(line);
}

void row::prefetch_values() const noexcept
{
    for (std::size_t i = 0; i < size_; ++i)
        __builtin_prefetch(slots()[i].get());
}

namespace {
// How far ahead of the current row a pass fetches rows and values.
constexpr std::size_t prefetch_distance = 64;

inline void prefetch_ahead(const row_list& rows, std::size_t current) noexcept
{
    if (current + prefetch_distance < rows.size())
        rows[current + prefetch_distance].get()->prefetch_handles();
    if (current + prefetch_distance / 2 < rows.size())
        rows[current + prefetch_distance / 2].get()->prefetch_values();
}
} // namespace

std::ostream& table::operator>>(std::ostream& out) const
{
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        prefetch_ahead(rows_, i);
        out << rows_[i];
    }
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
    bool no_row = false;
    shared<row> result = row::make(columns.size(), [&](shared<value>* slots) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const type& field_type = *columns[i]->column_type();
            if (i > 0) {
                text::iterator after_comma = working;
                match(after_comma, ",");
                if (!after_comma.valid())
                    throw_missing_comma(working);
                working = after_comma;
            }
            slots[i] = field_type.parse(working);
            if (slots[i].empty()) {
                if (i > 0)
                    throw_cannot_parse_field(field_type, working);
                // The first field does not fit: the relation's rows end here.
                no_row = true;
                return;
            }
        }
    });
    if (no_row)
        return shared<row>();
    position = working;
    return result;
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
        std::string_view content = first.kind() == value_kind::string
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
    std::size_t index;
};
} // namespace

void sort_unique(row_list& rows)
{
    // Sort small records (key, position) rather than handles: the key settles
    // most comparisons without touching the rows, and moving a handle relinks
    // its ring, so the permutation is applied once at the end, in place. All
    // rows of a table share one schema, so their first values are of one kind
    // and the keys are comparable.
    std::vector<keyed_row> order;
    order.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        order.push_back(keyed_row{leading_key(*rows[i]), i});
    std::sort(order.begin(), order.end(), [&rows](const keyed_row& a, const keyed_row& b) {
        if (a.key != b.key)
            return a.key < b.key;
        return row_less(*rows[a.index], *rows[b.index]);
    });

    // Give each kept row its place and each repeated row a place past them,
    // then move the rows there by following the cycles of the permutation.
    constexpr std::size_t repeated = static_cast<std::size_t>(-1);
    std::vector<std::size_t> target(rows.size(), repeated);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && order[i - 1].key == order[i].key && !row_less(*rows[order[i - 1].index], *rows[order[i].index]))
            continue;
        target[order[i].index] = kept++;
    }
    std::size_t next_repeated = kept;
    for (std::size_t& place : target)
        if (place == repeated)
            place = next_repeated++;
    order = std::vector<keyed_row>();
    for (std::size_t start = 0; start < rows.size(); ++start) {
        while (target[start] != start) {
            std::size_t destination = target[start];
            std::swap(rows[start], rows[destination]);
            std::swap(target[start], target[destination]);
        }
    }
    rows.resize(kept);
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
