// Tables: a relation's rows, brought into row order when first needed.
#pragma once

#include "relations/row.h"
#include "text/dumpable.h"
#include "text/interrupt.h"
#include "text/shared.h"

#include <cstddef>
#include <vector>

namespace qorvantel {

// A table's rows are in ascending row order, each row once. A table read
// from an environment is brought into that order only when something first
// needs it: a query that selects a few rows of a large relation then sorts
// those rows alone, and a table that is never used is never sorted.
class table : public dumpable {
public:
    table() = default;
    // Rows already in ascending row order, each once.
    explicit table(row_list rows) : rows_(std::move(rows)) {}
    // Rows in any order, possibly repeated; sorted on first use.
    static shared<table> unsorted(row_list rows);
    ~table() override;

    // The rows in ascending row order, each once.
    const row_list& rows() const;

    // The rows keep(row) accepts, as a table of their own. A test that
    // cannot raise runs over the rows as they are held, so that a table not
    // yet sorted sorts only the rows kept; one that may raise runs in row
    // order, so that the first row in order that fails is the one named.
    template <class Keep>
    shared<table> filtered(Keep keep, bool may_raise) const
    {
        const row_list& source = may_raise ? rows() : rows_;
        row_list kept;
        for (std::size_t i = 0; i < source.size(); ++i) {
            check_interrupt_every(i);
            if (keep(source[i]))
                kept.push_back(source[i]);
        }
        // A subsequence of a sorted, duplicate-free list stays so.
        return sorted_ ? shared<table>(new table(std::move(kept))) : unsorted(std::move(kept));
    }

    // New rows holding the values at the column indexes, each once, in row
    // order. starts_with_all says the indexes are 0, 1, ...: a sorted table
    // then keeps its order and repeats stand together.
    shared<table> projected(const std::vector<std::size_t>& indexes, bool starts_with_all) const;

    std::ostream& operator>>(std::ostream& out) const override;

private:
    // Sorting changes the order of the held handles, not the table's
    // contents, so it may happen behind a const reference.
    mutable row_list rows_;
    mutable bool sorted_ = true;
    // Sorted after it was filled, so the rows no longer stand in the order
    // they were made in.
    mutable bool reordered_ = false;
};

} // namespace qorvantel
