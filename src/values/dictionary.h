// Sharing equal values among the rows of a relation as it is read.
//
// A table of a million rows often holds a few dozen departments or grades:
// read plainly, every field is an object of its own. The dictionary
// remembers, per column, a handle to each value read so far, and a repeated
// literal becomes one more handle on that value instead of a new object.
// Values are immutable, so the sharing shows only in memory. Only columns
// with few distinct values are shared; a column whose table fills up
// without enough repeats (a key, a name) is given up, and costs neither
// lookups nor memory from then on.
#pragma once

#include "text/shared.h"
#include "text/text.h"
#include "values/type.h"
#include "values/value.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qorvantel {

class value_dictionary {
public:
    explicit value_dictionary(std::size_t columns);

    // Reads a field of field_type into the empty handle slot, as
    // field_type.parse would, but shares an equal value read before in the
    // same column. Nothing is read, slot empty and position unchanged, when
    // no literal of the type stands there. The dictionary keeps the address
    // of slot: the slot must stay in place while the dictionary is used
    // (slots inside rows do).
    void read(std::size_t column, const type& field_type, text::iterator& position, shared<value>& slot);

private:
    struct entry {
        std::uint64_t key;     // the number, or a hash of the characters
        shared<value>* handle; // the first handle on the value; null when free
    };

    struct column_table {
        std::vector<entry> entries;
        std::size_t used = 0;
        std::size_t lookups = 0; // since the table was last grown
        std::size_t hits = 0;
        bool given_up = false;
    };

    // The first handle on the value with this key for which same holds,
    // or null. spot is left at the value's entry, or at the free entry
    // where it would go.
    template <class Same>
    shared<value>* find(column_table& table, std::uint64_t key, Same same, entry*& spot);
    // Adds the new value in slot at spot, unless the table is full.
    void remember(column_table& table, entry* spot, std::uint64_t key, shared<value>& slot);
    void grow(column_table& table);
    // The first free entry on the key's probe sequence.
    static entry& free_entry(std::vector<entry>& entries, std::uint64_t key);

    std::vector<column_table> columns_;
};

} // namespace qorvantel
