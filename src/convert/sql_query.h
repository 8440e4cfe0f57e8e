// An expression as one SQL SELECT that returns the rows the interpreter
// returns for it, in the same order.
#pragma once

#include "algebra/expression.h"
#include "convert/sql_dialect.h"

#include <string>

namespace qorvantel {

// The SELECT statement, ended by a semicolon and a newline. The expression
// is checked first over relations with the environment's schemas and no
// rows, and each condition against the schema it tests: what the
// interpreter would reject for every non-empty input (an unknown relation
// or column, schemas that do not fit, a comparison of different kinds) is
// raised as a runtime error with the interpreter's message: the one the
// interpreter raises for the environment's rows when it raises one.
std::string sql_query(const shared<expression>& query, const shared<environment>& tables, sql_dialect dialect);

} // namespace qorvantel
