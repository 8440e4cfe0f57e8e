// Relations as CSV: a header row of the column names, then the rows in row
// order. Strings are always quoted and integers never, so that reading the
// file back gives the same column kinds even for text made of digits; the
// names of text columns are quoted too, for a relation with no rows.
#pragma once

#include "relations/relation.h"

#include <string>

namespace qorvantel {

std::string relation_to_csv(const relation& written);

// Why a relation name cannot name a file in a directory (it holds a
// slash), or empty when it can.
std::string file_name_problem(const std::string& relation_name);

} // namespace qorvantel
