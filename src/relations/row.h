// Rows: a relation's values in one allocation, the row order, and reading a
// row from text.
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
    // Ends the row and releases it with its values' handles; what its
    // handles call.
    void destroy() noexcept;

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
    static void operator delete(void*) noexcept;

    shared<value>* slots() const noexcept { return reinterpret_cast<shared<value>*>(const_cast<row*>(this) + 1); }

    std::size_t size_;
};

using row_list = std::vector<shared<row>>;

// Fetches into the cache the row a fixed distance after current and the
// values of the row half that distance after it, for a pass in order over
// a table whose rows lie scattered in memory.
void prefetch_ahead(const row_list& rows, std::size_t current) noexcept;

// Lexicographic order over the values, a shorter row first on a tie: -1, 0
// or 1 as a sorts before, with or after b.
int row_compare(const row& a, const row& b);
inline bool row_less(const row& a, const row& b) { return row_compare(a, b) < 0; }

// Reads one row for the schema. An empty handle, position unchanged, when the
// first field cannot be read: that is how a relation's rows end. With a
// dictionary, values equal to ones read before through it are shared.
shared<row> parse_row(text::iterator& position, const schema& row_schema, value_dictionary* shared_values = nullptr);

} // namespace qorvantel
