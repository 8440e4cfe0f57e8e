// Rows, tables and relations, the row order, and the output format of the
// whole system: every result is a relation written by its operator>>.
#pragma once

#include "relations/schema.h"
#include "text/dumpable.h"
#include "text/shared.h"
#include "values/dictionary.h"
#include "values/value.h"

#include <cstddef>
#include <vector>

namespace qorvantel {

// A row keeps its value handles inline, right after the object, in one
// allocation from the pool: a large table holds millions of rows.
class row final : public dumpable {
public:
    // A row of count values; fill(slots) assigns the empty handles in place.
    template <class Fill>
    static shared<row> make(std::size_t count, Fill fill)
    {
        shared<row> result(create(count));
        fill(result->slots());
        return result;
    }

    ~row() override;
    static void operator delete(void* object) noexcept;

    std::size_t size() const noexcept { return size_; }
    const shared<value>& operator[](std::size_t index) const noexcept { return slots()[index]; }
    const shared<value>* begin() const noexcept { return slots(); }
    const shared<value>* end() const noexcept { return slots() + size_; }

    // The values separated by ", ", then a line end.
    std::ostream& operator>>(std::ostream& out) const override;

    // Hints for passes over a sorted table, whose rows and values lie
    // scattered in memory: fetch the row's handles, or the values they hold,
    // into the cache ahead of use.
    void prefetch_handles() const noexcept;
    void prefetch_values() const noexcept;

private:
    explicit row(std::size_t count) noexcept;
    static row* create(std::size_t count);

    shared<value>* slots() const noexcept { return reinterpret_cast<shared<value>*>(const_cast<row*>(this) + 1); }

    std::size_t size_;
};

using row_list = std::vector<shared<row>>;

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
    // The rows in the order they are held: for passes whose result does
    // not depend on the order and which repeat nothing they keep.
    const row_list& rows_in_any_order() const noexcept { return rows_; }
    bool sorted() const noexcept { return sorted_; }

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

class relation : public dumpable {
public:
    relation(shared<schema> relation_schema, shared<table> relation_table)
        : schema_(std::move(relation_schema)), table_(std::move(relation_table))
    {
    }

    const shared<schema>& relation_schema() const noexcept { return schema_; }
    const shared<table>& relation_table() const noexcept { return table_; }

    // The schema line, the rows, and an empty line.
    std::ostream& operator>>(std::ostream& out) const override;

private:
    shared<schema> schema_;
    shared<table> table_;
};

// Fetches into the cache the row a fixed distance after current and the
// values of the row half that distance after it, for a pass in order over
// a table whose rows lie scattered in memory.
void prefetch_ahead(const row_list& rows, std::size_t current) noexcept;

// Lexicographic order over the values, a shorter row first on a tie: -1, 0
// or 1 as a sorts before, with or after b.
int row_compare(const row& a, const row& b);
inline bool row_less(const row& a, const row& b) { return row_compare(a, b) < 0; }

// Writes a line end: a newline, then a flush.
std::ostream& line_end(std::ostream& out);

// Reads one row for the schema. An empty handle, position unchanged, when the
// first field cannot be read: that is how a relation's rows end. With a
// dictionary, values equal to ones read before through it are shared.
shared<row> parse_row(text::iterator& position, const schema& row_schema, value_dictionary* shared_values = nullptr);

// Sorts ascending by row_less and drops rows equal to their predecessor.
void sort_unique(row_list& rows);

// New rows holding the values of the source rows at the indexes, in
// ascending row order and each once. prefix_of_sorted says that the source
// is in row order and the indexes are 0, 1, ..., so that the result needs no
// sort. Only the rows kept are built.
row_list project_unique(const row_list& source, const std::vector<std::size_t>& indexes, bool prefix_of_sorted);

} // namespace qorvantel
