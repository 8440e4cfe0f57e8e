// The per-column value dictionary used while reading relations.
#include "values/dictionary.h"

#include <string_view>

namespace qorvantel {

namespace {
// Tables start small and double: a relation of many columns and few rows
// must not cost a full table per column (with a hundred thousand columns,
// 256 entries each came to 400 MB while the file held 9 MB).
constexpr std::size_t initial_capacity = 8;
// A table grows while at most half full, up to this size, which stays in
// the cache. Sharing pays only for values that repeat densely (a few
// hundred departments or grades): every repeat joins the value's ring, and
// releasing it later writes to the handles beside it, which for a value
// seen once in thousands of rows lie anywhere in memory. Measured on a
// million rows, a table of 32,768 entries saved 15% more memory but made
// every query 10 to 30% slower.
constexpr std::size_t largest_capacity = std::size_t(1) << 11;
// The share of lookups that must find a value for a full table to be kept.
constexpr std::size_t least_hits_percent = 50;

inline std::size_t slot_of(std::uint64_t key, std::size_t capacity) noexcept
{
    // Fibonacci hashing: the high bits of the product spread neighbouring
    // numbers over the table.
    std::uint64_t mixed = key * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(mixed >> 32) & (capacity - 1);
}

std::uint64_t hash_characters(std::string_view characters) noexcept
{
    // FNV-1a over the bytes; names are short.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (char c : characters) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}
} // namespace

value_dictionary::value_dictionary(std::size_t columns) : columns_(columns) {}

value_dictionary::entry& value_dictionary::free_entry(std::vector<entry>& entries, std::uint64_t key)
{
    std::size_t mask = entries.size() - 1;
    std::size_t at = slot_of(key, entries.size());
    while (entries[at].handle != nullptr)
        at = (at + 1) & mask;
    return entries[at];
}

template <class Same>
shared<value>* value_dictionary::find(column_table& table, std::uint64_t key, Same same, entry*& spot)
{
    if (table.entries.empty())
        table.entries.assign(initial_capacity, entry{0, nullptr});
    ++table.lookups;
    std::size_t mask = table.entries.size() - 1;
    for (std::size_t at = slot_of(key, table.entries.size());; at = (at + 1) & mask) {
        entry& probe = table.entries[at];
        spot = &probe;
        if (probe.handle == nullptr)
            return nullptr;
        if (probe.key == key && same(*probe.handle->get())) {
            ++table.hits;
            return probe.handle;
        }
    }
}

void value_dictionary::remember(column_table& table, entry* spot, std::uint64_t key, shared<value>& slot)
{
    if ((table.used + 1) * 2 > table.entries.size()) {
        if (table.entries.size() >= largest_capacity) {
            // Full: keep the table only while it pays for itself; new
            // values are no longer added either way.
            if (table.hits * 100 < table.lookups * least_hits_percent) {
                table.given_up = true;
                table.entries = std::vector<entry>();
            }
            return;
        }
        grow(table);
        spot = &free_entry(table.entries, key);
    }
    spot->key = key;
    spot->handle = &slot;
    ++table.used;
}

void value_dictionary::grow(column_table& table)
{
    std::vector<entry> old = std::move(table.entries);
    table.entries.assign(old.size() * 2, entry{0, nullptr});
    for (const entry& each : old)
        if (each.handle != nullptr)
            free_entry(table.entries, each.key) = each;
    // The share of repeats is judged afresh for the larger table.
    table.lookups = 0;
    table.hits = 0;
}

void value_dictionary::read(std::size_t column, const type& field_type, text::iterator& position, shared<value>& slot)
{
    column_table& table = columns_[column];
    if (table.given_up) {
        slot = field_type.parse(position);
        return;
    }
    entry* spot = nullptr;
    shared<value>* found = nullptr;
    std::uint64_t key = 0;
    switch (field_type.kind()) {
    case type_kind::symbol:
        // Symbols are not shared.
        slot = field_type.parse(position);
        return;
    case type_kind::integer: {
        auto number = read_integer_literal(position);
        if (!number)
            return;
        // The key is the number itself: equal keys are equal values.
        key = static_cast<std::uint32_t>(*number);
        auto same = [](const value&) { return true; };
        found = find(table, key, same, spot);
        if (found == nullptr)
            slot = shared<value>(new integer_value(*number));
        break;
    }
    case type_kind::string: {
        auto characters = static_cast<const string_type&>(field_type).read(position);
        if (!characters)
            return;
        key = hash_characters(*characters);
        auto same = [&characters](const value& seen) {
            return static_cast<const string_value&>(seen).content() == *characters;
        };
        found = find(table, key, same, spot);
        if (found == nullptr)
            slot = string_value::make(*characters);
        break;
    }
    }
    if (found != nullptr) {
        slot = *found;
        return;
    }
    remember(table, spot, key, slot);
}

} // namespace qorvantel
