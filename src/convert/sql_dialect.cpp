// Dialect names and spellings.
#include "convert/sql_dialect.h"

namespace qorvantel {

std::optional<sql_dialect> dialect_named(std::string_view name)
{
    if (name == "sqlite")
        return sql_dialect::sqlite;
    if (name == "postgresql")
        return sql_dialect::postgresql;
    if (name == "duckdb")
        return sql_dialect::duckdb;
    return std::nullopt;
}

const char* dialect_name(sql_dialect dialect) noexcept
{
    switch (dialect) {
    case sql_dialect::sqlite:
        return "sqlite";
    case sql_dialect::postgresql:
        return "postgresql";
    case sql_dialect::duckdb:
        return "duckdb";
    }
    return "";
}

std::string sql_identifier(std::string_view name)
{
    std::string out = "\"";
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

bool identifiers_ignore_case(sql_dialect dialect) noexcept { return dialect != sql_dialect::postgresql; }

const char* bytewise_collation(sql_dialect dialect) noexcept
{
    return dialect == sql_dialect::postgresql ? " COLLATE \"C\"" : "";
}

} // namespace qorvantel
