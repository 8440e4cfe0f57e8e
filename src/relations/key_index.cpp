// Hashed row indexes.
#include "relations/key_index.h"

#include "text/interrupt.h"

#include <functional>
#include <string_view>

namespace qorvantel {

std::uint64_t value_hash_mix(std::uint64_t h) noexcept
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

std::uint64_t value_hash(const value& hashed) noexcept
{
    switch (hashed.kind()) {
    case value_kind::integer:
        return value_hash_mix(static_cast<std::uint32_t>(static_cast<const integer_value&>(hashed).number()) + 1);
    case value_kind::string:
        return std::hash<std::string_view>()(static_cast<const string_value&>(hashed).content());
    case value_kind::symbol:
        return std::hash<std::string_view>()(static_cast<const symbol_value&>(hashed).content());
    }
    return 0;
}

key_index::key_index(const std::vector<const row*>& rows, std::vector<std::size_t> columns)
    : rows_(rows), columns_(std::move(columns))
{
    std::size_t buckets = 16;
    while (buckets < 2 * rows.size())
        buckets *= 2;
    mask_ = buckets - 1;
    head_.assign(buckets, none);
    entries_.resize(rows.size());
    for (std::size_t i = rows.size(); i > 0; --i) {
        check_interrupt_every(i);
        std::uint64_t h = 0;
        for (std::size_t column : columns_)
            h = combine(h, value_hash(*(*rows[i - 1])[column]));
        std::uint32_t& first = head_[h & mask_];
        entries_[i - 1] = entry{h, first};
        first = static_cast<std::uint32_t>(i - 1);
    }
}

} // namespace qorvantel
