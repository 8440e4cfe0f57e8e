// Counterexamples a student recognises: a database cut down to a 1-minimal
// part on which a test still holds, its invented values then replaced by
// ordinary ones of the given database where the test stays true.
#pragma once

#include "check/database.h"
#include "check/instances.h"

#include <functional>
#include <vector>

namespace qorvantel {

using database_test = std::function<bool(const database&)>;

// The rows kept, each relation's in the order given.
database only(const database& rows, const std::vector<row_address>& kept);

// A 1-minimal part of rows on which holds stays true (holds(rows) must
// be); with values, its fields then simplified (below), each row once in
// row order, and the removals tried again. Fields whose value the given
// database does not hold take, where holds stays true, one of the column's
// ordinary values (instance_generator::preferred): the same value everywhere
// in its role first (a key and the references to it together), then the
// field alone.
database minimal_database(const database& rows, const database_test& holds, const database& given,
                          const instance_generator* values);

} // namespace qorvantel
