// CREATE TABLE and INSERT, the rows in batches of a few hundred to a
// statement and the whole load in one transaction, so that a million rows
// load in seconds on every engine.
#include "convert/sql_tables.h"

#include "text/failure.h"
#include "text/shared.h"

#include <cctype>
#include <map>
#include <sstream>

namespace qorvantel {

namespace {

constexpr std::size_t rows_per_insert = 500;

std::string folded(const std::string& name)
{
    std::string out = name;
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

const char* sql_type(const type& column_type, sql_dialect dialect)
{
    if (column_type.kind() == type_kind::integer)
        return "INTEGER";
    switch (dialect) {
    case sql_dialect::sqlite:
        return "TEXT";
    case sql_dialect::postgresql:
        return "TEXT COLLATE \"C\"";
    case sql_dialect::duckdb:
        return "VARCHAR";
    }
    return "TEXT";
}

} // namespace

void require_case_distinct(const schema& columns, sql_dialect dialect)
{
    if (!identifiers_ignore_case(dialect))
        return;
    std::map<std::string, std::string> seen;
    for (const shared<column>& each : columns.columns()) {
        const std::string& name = symbol_text(*each->name());
        auto [other, inserted] = seen.emplace(folded(name), name);
        if (!inserted) {
            std::ostringstream shown;
            columns >> shown;
            throw data_error("The column names " + other->second + " and " + name + " of " + shown.str()
                             + " differ only in case, which " + dialect_name(dialect)
                             + " does not tell apart; rename one of them, or use --dialect postgresql.");
        }
    }
}

const std::string& symbol_text(const value& name) { return static_cast<const symbol_value&>(name).content(); }

std::string sql_tables(const environment& tables, sql_dialect dialect)
{
    std::string out = "-- Written by qorvantel-convert for ";
    out += dialect_name(dialect);
    out += ".\nBEGIN;\n";
    std::map<std::string, std::string> seen;
    for (const auto& [name, stored] : tables.relations()) {
        const std::string& table_name = symbol_text(*name);
        if (identifiers_ignore_case(dialect)) {
            auto [other, inserted] = seen.emplace(folded(table_name), table_name);
            if (!inserted)
                throw data_error("The relation names " + other->second + " and " + table_name
                                 + " differ only in case, which " + dialect_name(dialect)
                                 + " does not tell apart; rename one of them, or use --dialect postgresql.");
        }
        const schema& columns = *stored->relation_schema();
        require_case_distinct(columns, dialect);
        std::ostringstream declared;
        columns >> declared;
        out += "\n-- " + declared.str() + "\nCREATE TABLE " + sql_identifier(table_name) + " (";
        for (std::size_t i = 0; i < columns.columns().size(); ++i) {
            const column& each = *columns.columns()[i];
            out += i == 0 ? "" : ", ";
            out += sql_identifier(symbol_text(*each.name()));
            out += ' ';
            out += sql_type(*each.column_type(), dialect);
            out += " NOT NULL";
        }
        out += ");\n";
        const row_list& rows = stored->relation_table()->rows();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            out += i % rows_per_insert == 0 ? "INSERT INTO " + sql_identifier(table_name) + " VALUES\n(" : ",\n(";
            const row& each = *rows[i];
            for (std::size_t j = 0; j < each.size(); ++j) {
                if (j != 0)
                    out += ", ";
                // A string holds no apostrophe, so its written form is
                // already an SQL string literal.
                append_written(out, *each[j]);
            }
            out += (i + 1) % rows_per_insert == 0 || i + 1 == rows.size() ? ");\n" : ")";
        }
    }
    out += "COMMIT;\n";
    return out;
}

} // namespace qorvantel
