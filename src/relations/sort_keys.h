// The sort-key engine: bringing rows into row order, each once, by sorting
// small keys rather than the rows themselves.
#pragma once

#include "relations/row.h"

#include <cstddef>
#include <vector>

namespace qorvantel {

// Sorts ascending by row_less and drops rows equal to their predecessor.
void sort_unique(row_list& rows);

// New rows holding the values of the source rows at the indexes, in
// ascending row order and each once. prefix_of_sorted says that the source
// is in row order and the indexes are 0, 1, ..., so that the result needs no
// sort. Only the rows kept are built.
row_list project_unique(const row_list& source, const std::vector<std::size_t>& indexes, bool prefix_of_sorted);

} // namespace qorvantel
