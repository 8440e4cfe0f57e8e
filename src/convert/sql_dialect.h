// The SQL dialects the converter writes, and the spellings that differ
// between them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qorvantel {

enum class sql_dialect : unsigned char { sqlite, postgresql, duckdb };

std::optional<sql_dialect> dialect_named(std::string_view name);
const char* dialect_name(sql_dialect dialect) noexcept;

// A quoted identifier: double quotes, with a double quote inside doubled.
std::string sql_identifier(std::string_view name);

// Whether the dialect's identifiers ignore case even when quoted: then two
// names that differ only in case cannot stand side by side.
bool identifiers_ignore_case(sql_dialect dialect) noexcept;

// What follows a string operand so that it compares byte by byte: the
// default of SQLite and DuckDB, COLLATE "C" in PostgreSQL.
const char* bytewise_collation(sql_dialect dialect) noexcept;

} // namespace qorvantel
