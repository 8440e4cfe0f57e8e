// The values pools are made of: a literal's neighbours, sorted value lists
// without repeats, a handful spread over an order, what fits a column.
#pragma once

#include "values/type.h"
#include "values/value.h"

#include <cstddef>
#include <vector>

namespace qorvantel {

// A literal and its neighbours, the values a comparison with it turns on:
// n - 1, n, n + 1; for a string that fits room characters, the string with
// its last character one lower (or left out, when it is the space) and the
// string with a space appended (or its last character one higher, when
// there is no room). The apostrophe, which no string holds, is stepped
// over. Nothing for a literal of another kind than the column's.
void add_neighbours(const value& literal, type_kind kind, std::size_t room, std::vector<shared<value>>& pool);

// In value order, each once.
void sort_unique(std::vector<shared<value>>& values);

// At most n of the sorted values, spread over their order, the first and
// the last among them.
std::vector<shared<value>> spread(const std::vector<shared<value>>& sorted, std::size_t n);

// Whether a value can stand in a column of the type: its kind, and for a
// string, no longer than char(n) allows.
bool fits_column(const type& column_type, const value& v);

shared<value> small_integer(std::int64_t n);

} // namespace qorvantel
