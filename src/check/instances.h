// Generated databases: small relations with the given database's schemas,
// whose fields are drawn for each column from the values that matter for
// it: the column's values in the given database, the literals of the
// expressions compared and their neighbours, and the bounds of its type.
#pragma once

#include "algebra/expression.h"
#include "check/database.h"

#include <cstdint>
#include <vector>

namespace qorvantel {

// The integer and string literals of the expressions' conditions.
std::vector<shared<value>> literals_of(const std::vector<const expression*>& queries);

// The values a column's fields are drawn from, each once, in value order.
// An int takes its neighbours n - 1 and n + 1 and the bounds -2147483647
// (the lowest integer a literal can write) and 2147483647. A string that
// fits the column takes as neighbours the
// string with its last character one lower (or left out, when it is the
// lowest, the space) and the string with a space appended (or, when the
// column has no room, its last character one higher); the apostrophe,
// which no string holds, is stepped over. The lowest string, the empty one,
// is the bound of char(n).
std::vector<shared<value>> column_pool(const database& given, std::size_t relation, std::size_t column,
                                       const std::vector<shared<value>>& literals);

// Deterministic pseudo-random numbers (splitmix64): the same seed draws the
// same databases on every platform.
class draws {
public:
    explicit draws(std::uint64_t seed) noexcept : state_(seed) {}
    std::uint64_t next() noexcept;
    std::size_t below(std::size_t bound) noexcept { return static_cast<std::size_t>(next() % bound); }

private:
    std::uint64_t state_;
};

// Fills the relations of a copy of given with up to max_rows rows each,
// drawn from the pools; relations that neither expression reads stay empty.
struct instance_generator {
    instance_generator(const database& given, const std::vector<const expression*>& queries);
    database next(draws& random) const;

    const database& shape;
    std::vector<bool> used;
    std::vector<std::vector<std::vector<shared<value>>>> pools;
    static constexpr std::size_t max_rows = 4;
};

} // namespace qorvantel
