// Generated databases: small relations with the given database's schemas.
//
// Columns that play one role share one pool of values: the columns a
// condition compares with each other, the columns a union or a difference
// puts in one place, the columns a rename gives new names (followed
// through every operator back to the relations), and the two sides of a
// declared reference. A pool holds a bounded handful of its columns' values
// in the given database (never all of them: a column of 100,000 values
// gives at most five, spread over their order), the literals its columns
// are compared with and their neighbours; only a pool with none of these
// takes invented values (1, 2, 3 or 'a', 'b', 'c'). Each database draws
// every pool down to one to three values, so that repeated names, shared
// keys and matching join columns are common, and then keeps the declared
// keys and references: a referring row without its target gets one, a row
// that breaks a key or still lacks a target is left out.
#pragma once

#include "algebra/expression.h"
#include "check/constraints.h"
#include "check/database.h"
#include "check/pool_values.h"

#include <cstdint>
#include <vector>

namespace qorvantel {

// The integer and string literals of the expressions' conditions.
std::vector<shared<value>> literals_of(const std::vector<const expression*>& queries);

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

class instance_generator {
public:
    instance_generator(const database& given, const std::vector<const expression*>& queries,
                       const resolved_constraints& constraints = {});
    database next(draws& random) const;

    // The pool a column draws from, values that fit it, in value order.
    std::vector<shared<value>> column_pool(std::size_t relation, std::size_t column) const;
    // The values a field of the column is simplified to, most ordinary
    // first: the given database's values of its pool, then the others.
    std::vector<shared<value>> preferred(std::size_t relation, std::size_t column) const;
    // The pool (role) of a column: columns of one role share it.
    std::size_t role_of(std::size_t relation, std::size_t column) const { return roles_[relation][column]; }
    bool read(std::size_t relation) const { return read_[relation]; }

    static constexpr std::size_t max_rows = 4;
    // Given values a pool keeps at most.
    static constexpr std::size_t handful = 5;

private:
    void keep_constraints(database& made, const std::vector<std::vector<shared<value>>>& domains, draws& random) const;
    shared<value> draw(std::size_t relation, std::size_t column, const std::vector<std::vector<shared<value>>>& domains,
                       draws& random) const;

    const database& shape_;
    resolved_constraints constraints_;
    std::vector<bool> read_;
    std::vector<std::vector<std::size_t>> roles_;
    // Per role: the given values kept, and all its values in value order.
    std::vector<std::vector<shared<value>>> given_;
    std::vector<std::vector<shared<value>>> pools_;
};

} // namespace qorvantel
