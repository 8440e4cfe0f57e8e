// Relations from a SQLite database, read through the SQLite library when
// the program was built with it.
#pragma once

#include <string>
#include <vector>

namespace qorvantel {

// False when the program was built without the SQLite library.
bool sqlite_available() noexcept;

// The environment text of the named tables (or views), or of every table
// in name order when none is named. INTEGER values become int when every
// value of the column fits, text becomes char(n). Raises a runtime error
// naming the table, the row and the column for a value the environment
// format cannot hold (NULL, a real number, a blob, an integer outside 32
// bits in a column that holds no text, a string it cannot hold).
std::string environment_from_sqlite(const std::string& database, const std::vector<std::string>& tables);

} // namespace qorvantel
