// The tables of an environment as an SQL script: CREATE TABLE and INSERT
// for every relation.
#pragma once

#include "convert/sql_dialect.h"
#include "relations/environment.h"

#include <string>

namespace qorvantel {

// Raises a runtime error when two relation names differ only in case and
// the dialect cannot tell them apart.
std::string sql_tables(const environment& tables, sql_dialect dialect);

// Raises a runtime error when two column names of the schema differ only
// in case and the dialect cannot tell them apart.
void require_case_distinct(const schema& columns, sql_dialect dialect);

// The symbol's characters; what a name of a schema or column holds.
const std::string& symbol_text(const value& name);

} // namespace qorvantel
