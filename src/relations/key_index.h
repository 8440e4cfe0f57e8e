// An index of rows by the values of some of their columns, hashed, for
// pairing rows by equal values: the join of a select over a product.
#pragma once

#include "relations/row.h"
#include "values/value.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qorvantel {

// Spreads the bits of h over the whole word.
std::uint64_t value_hash_mix(std::uint64_t h) noexcept;

// A hash that agrees with value_compare on values of one kind: equal
// values hash alike.
std::uint64_t value_hash(const value& hashed) noexcept;

// An operand's rows reachable by the values of some of their columns. Each
// chain holds its rows in ascending position, so the rows with one key come
// out in the operand's row order.
class key_index {
public:
    // Indexes rows, which must outlive the index, by the values at columns.
    key_index(const std::vector<const row*>& rows, std::vector<std::size_t> columns);

    // Calls visit(row) for each row whose key columns equal the probe's
    // values, in the operand's row order.
    template <class Visit>
    void for_each_match(const std::vector<const value*>& probe, Visit visit) const
    {
        std::uint64_t h = 0;
        for (const value* each : probe)
            h = combine(h, value_hash(*each));
        for (std::uint32_t i = head_[h & mask_]; i != none; i = entries_[i].next) {
            if (entries_[i].hash != h || !equal_key(*rows_[i], probe))
                continue;
            visit(rows_[i]);
        }
    }

    // Fetches into the cache where a probe with these values will start,
    // a few probes ahead of it.
    void prefetch(const std::vector<const value*>& probe) const noexcept
    {
        std::uint64_t h = 0;
        for (const value* each : probe)
            h = combine(h, value_hash(*each));
        __builtin_prefetch(&head_[h & mask_]);
    }

private:
    static constexpr std::uint32_t none = 0xffffffffU;

    static std::uint64_t combine(std::uint64_t h, std::uint64_t v)
    {
        return value_hash_mix(h * 0x9e3779b97f4a7c15ULL + v);
    }

    bool equal_key(const row& candidate, const std::vector<const value*>& probe) const
    {
        for (std::size_t k = 0; k < columns_.size(); ++k)
            if (value_compare(*candidate[columns_[k]], *probe[k]) != 0)
                return false;
        return true;
    }

    const std::vector<const row*>& rows_;
    std::vector<std::size_t> columns_;
    std::uint64_t mask_ = 0;
    std::vector<std::uint32_t> head_;
    // Per row, its key's hash and the next row of its chain, side by side:
    // a probe reads both.
    struct entry {
        std::uint64_t hash;
        std::uint32_t next;
    };
    std::vector<entry> entries_;
};

} // namespace qorvantel
