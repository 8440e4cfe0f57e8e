// The sort-key engine.
#include "relations/sort_keys.h"

#include "text/interrupt.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qorvantel {

namespace {
// The values a sort looks at: all of a row's, or those at the listed
// indexes in list order (a projection sorted before it is built).
struct sort_columns {
    const std::vector<std::size_t>* indexes; // null for all values

    std::size_t count(const row& each) const { return indexes == nullptr ? each.size() : indexes->size(); }
    const value& at(const row& each, std::size_t i) const { return *each[indexes == nullptr ? i : (*indexes)[i]]; }

    // row_less over the chosen values.
    bool less(const row& a, const row& b) const
    {
        if (indexes == nullptr)
            return row_less(a, b);
        for (std::size_t i = 0; i < indexes->size(); ++i)
            if (int order = value_compare(at(a, i), at(b, i)); order != 0)
                return order < 0;
        return false;
    }
};

// A sort key: the chosen values encoded one after another in 24 bytes so
// that comparing keys as byte strings orders rows as row_less does. An
// integer takes four bytes, big-endian with the sign bit flipped; a string
// its bytes and a NUL (no string holds a NUL, so a shorter string sorts
// first). A key whose values all fit is exact: equal exact keys mean equal
// rows. Otherwise equal keys fall back to comparing the rows themselves.
// All rows of a table share one schema, so their keys line up value by value.
// 24 bytes make the record 32, two to a cache line, which keeps the sort's
// working set small; they still hold exactly up to six integers, or an
// integer and a string of up to 19 characters, so most keys are exact or
// differ before their end and rows are rarely compared.
struct sort_record {
    std::uint64_t key[3];
    std::uint32_t exact;
    std::uint32_t index;
};
constexpr std::size_t key_bytes = sizeof(sort_record::key);

void encode_key(const row& each, const sort_columns& columns, sort_record& record)
{
    unsigned char bytes[key_bytes] = {};
    std::size_t used = 0;
    bool exact = true;
    std::size_t count = columns.count(each);
    auto append_characters = [&](std::string_view content) {
        std::size_t fits = std::min(content.size() + 1, key_bytes - used);
        std::memcpy(bytes + used, content.data(), std::min(fits, content.size()));
        used += fits;
        exact = fits == content.size() + 1;
    };
    for (std::size_t i = 0; i < count && exact; ++i) {
        const value& field = columns.at(each, i);
        switch (field.kind()) {
        case value_kind::integer: {
            auto flipped = static_cast<std::uint32_t>(static_cast<const integer_value&>(field).number()) ^ 0x80000000u;
            unsigned char encoded[4]
                = {static_cast<unsigned char>(flipped >> 24), static_cast<unsigned char>(flipped >> 16),
                   static_cast<unsigned char>(flipped >> 8), static_cast<unsigned char>(flipped)};
            std::size_t fits = std::min<std::size_t>(4, key_bytes - used);
            std::memcpy(bytes + used, encoded, fits);
            used += fits;
            exact = fits == 4;
            break;
        }
        case value_kind::string:
            append_characters(static_cast<const string_value&>(field).content());
            break;
        case value_kind::symbol:
            append_characters(static_cast<const symbol_value&>(field).content());
            break;
        }
    }
    for (std::size_t word = 0; word < 3; ++word) {
        std::uint64_t big_endian = 0;
        for (std::size_t i = 0; i < 8; ++i)
            big_endian = (big_endian << 8) | bytes[word * 8 + i];
        record.key[word] = big_endian;
    }
    record.exact = exact;
}

// -1, 0 or 1 as the keys order the two rows; 0 leaves the order to the rows.
inline int compare_keys(const sort_record& a, const sort_record& b) noexcept
{
    for (std::size_t word = 0; word < 3; ++word)
        if (a.key[word] != b.key[word])
            return a.key[word] < b.key[word] ? -1 : 1;
    return 0;
}

// The rows' positions in ascending order of the chosen values, each marked
// as repeating its predecessor or not. Sorting small records rather than
// handles lets the key settle nearly every comparison without touching the
// rows, which lie scattered in memory.
std::vector<sort_record> sorted_order(const row_list& rows, const sort_columns& columns)
{
    std::vector<sort_record> order(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        check_interrupt_every(i);
        prefetch_ahead(rows, i);
        encode_key(*rows[i], columns, order[i]);
        order[i].index = static_cast<std::uint32_t>(i);
    }
    auto row_of = [&rows](const sort_record& record) -> const row& { return *rows[record.index]; };
    // The records are plain data, so an interrupt thrown from the middle of
    // the sort leaves nothing half done but the records, which are dropped.
    std::size_t comparisons = 0;
    std::sort(order.begin(), order.end(), [&](const sort_record& a, const sort_record& b) {
        check_interrupt_every(++comparisons);
        int by_key = compare_keys(a, b);
        if (by_key != 0)
            return by_key < 0;
        return !(a.exact && b.exact) && columns.less(row_of(a), row_of(b));
    });
    return order;
}

// Whether the record at i repeats the one before it in a sorted order.
bool repeats_previous(const std::vector<sort_record>& order, std::size_t i, const row_list& rows,
                      const sort_columns& columns)
{
    if (i == 0 || compare_keys(order[i - 1], order[i]) != 0)
        return false;
    return (order[i - 1].exact && order[i].exact) || !columns.less(*rows[order[i - 1].index], *rows[order[i].index]);
}

// The positions of the rows in ascending order of the chosen values, each
// value combination once. The sort records are given up before returning,
// so that a caller building rows from the positions never holds both.
std::vector<std::uint32_t> kept_in_order(const row_list& rows, const sort_columns& columns)
{
    std::vector<sort_record> order = sorted_order(rows, columns);
    std::vector<std::uint32_t> kept;
    kept.reserve(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        check_interrupt_every(i);
        if (!repeats_previous(order, i, rows, columns))
            kept.push_back(order[i].index);
    }
    return kept;
}
} // namespace

void sort_unique(row_list& rows)
{
    std::vector<std::uint32_t> kept = kept_in_order(rows, sort_columns{nullptr});
    // Gather the kept handles into a new list in order. Reading the old list
    // at known positions can be fetched ahead, which following the cycles of
    // the permutation in place could not; the records are gone by now, so
    // the two lists cost less than the records did. Moving a handle relinks
    // its ring; the repeated rows are released with the old list. Nothing
    // here checks for an interrupt: stopping halfway would leave the table's
    // own list half moved out.
    row_list sorted;
    sorted.reserve(kept.size());
    constexpr std::size_t ahead = 16;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i + ahead < kept.size())
            __builtin_prefetch(&rows[kept[i + ahead]]);
        sorted.push_back(std::move(rows[kept[i]]));
    }
    rows.swap(sorted);
}

namespace {
shared<row> projected_row(const row& source, const std::vector<std::size_t>& indexes)
{
    return row::make(indexes.size(), [&](shared<value>* slots) {
        for (std::size_t i = 0; i < indexes.size(); ++i)
            slots[i] = source[indexes[i]];
    });
}
} // namespace

row_list project_unique(const row_list& source, const std::vector<std::size_t>& indexes, bool prefix_of_sorted)
{
    const sort_columns chosen{&indexes};
    row_list projected;
    if (prefix_of_sorted) {
        // Sorted already; a repeat stands right after the row it repeats.
        for (std::size_t i = 0; i < source.size(); ++i) {
            check_interrupt_every(i);
            prefetch_ahead(source, i);
            if (i > 0 && !chosen.less(*source[i - 1], *source[i]))
                continue;
            projected.push_back(projected_row(*source[i], indexes));
        }
        return projected;
    }
    // Sort the source rows by the projected values and build only the rows
    // that are kept, already in order.
    std::vector<std::uint32_t> kept = kept_in_order(source, chosen);
    projected.reserve(kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        check_interrupt_every(i);
        projected.push_back(projected_row(*source[kept[i]], indexes));
    }
    return projected;
}

} // namespace qorvantel
