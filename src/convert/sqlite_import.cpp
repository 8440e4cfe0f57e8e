// Reading a SQLite database: each table is read twice, once to check the
// values and find the column types, once to write the rows, so that a
// large table is never held in memory.
#include "convert/sqlite_import.h"

#include "convert/field_text.h"
#include "convert/names.h"

#include "text/failure.h"
#include "text/input_file.h"
#include "text/messages.h"

#include <algorithm>

#ifdef QORVANTEL_HAVE_SQLITE
#include <sqlite3.h>
#endif

namespace qorvantel {

#ifndef QORVANTEL_HAVE_SQLITE

bool sqlite_available() noexcept { return false; }

std::string environment_from_sqlite(const std::string&, const std::vector<std::string>&)
{
    throw setup_error("from-sqlite is not available: this qorvantel-convert was built without the SQLite "
                      "library (on Debian, install libsqlite3-dev and build again)");
}

#else

bool sqlite_available() noexcept { return true; }

namespace {

class database {
public:
    explicit database(const std::string& path) : path_(path)
    {
        if (sqlite3_open_v2(path.c_str(), &handle_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            std::string reason = handle_ ? sqlite3_errmsg(handle_) : messages::out_of_memory;
            sqlite3_close(handle_);
            throw data_error(path + ": cannot open the database: " + reason);
        }
    }
    ~database() { sqlite3_close(handle_); }
    database(const database&) = delete;
    database& operator=(const database&) = delete;

    sqlite3_stmt* prepare(const std::string& sql)
    {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(handle_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
            throw data_error(path_ + ": " + sqlite3_errmsg(handle_));
        return statement;
    }
    bool step(sqlite3_stmt* statement)
    {
        int status = sqlite3_step(statement);
        if (status == SQLITE_ROW)
            return true;
        if (status == SQLITE_DONE)
            return false;
        throw data_error(path_ + ": " + sqlite3_errmsg(handle_));
    }

private:
    std::string path_;
    sqlite3* handle_ = nullptr;
};

// A prepared statement finalized when it goes.
struct statement_guard {
    sqlite3_stmt* statement;
    ~statement_guard() { sqlite3_finalize(statement); }
};

std::string quoted(const std::string& name, char quote)
{
    std::string out(1, quote);
    for (char c : name)
        out += c == quote ? std::string(2, quote) : std::string(1, c);
    return out + quote;
}

std::string quoted_identifier(const std::string& name) { return quoted(name, '"'); }
std::string quoted_literal(const std::string& text) { return quoted(text, '\''); }

std::vector<std::string> every_table(database& source)
{
    statement_guard query{
        source.prepare("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                       "ORDER BY name")};
    std::vector<std::string> names;
    while (source.step(query.statement))
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(query.statement, 0)));
    return names;
}

// "table" or "view": what the name is in the database, as the messages
// call it; a name that is neither is left to the SELECT to report.
std::string kind_of(database& source, const std::string& name)
{
    statement_guard query{source.prepare("SELECT type FROM sqlite_master WHERE name = " + quoted_literal(name)
                                         + " AND type IN ('table', 'view')")};
    if (source.step(query.statement))
        return reinterpret_cast<const char*>(sqlite3_column_text(query.statement, 0));
    return "table";
}

struct column_facts {
    std::string name;
    bool text_seen = false;
    std::size_t longest = 0;
};

std::string relation_from_table(database& source, const std::string& path, const std::string& table)
{
    std::string place = path + ", " + kind_of(source, table) + " " + table;
    if (!name_problem(table, name_role::relation).empty())
        throw data_error(name_error(place, table, name_role::relation) + " (rename the table, or name a view of it)");
    std::string select = "SELECT * FROM " + quoted_identifier(table);
    statement_guard first{source.prepare(select)};
    std::vector<column_facts> columns(sqlite3_column_count(first.statement));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        columns[i].name = sqlite3_column_name(first.statement, static_cast<int>(i));
        if (!name_problem(columns[i].name, name_role::column).empty())
            throw data_error(name_error(place, columns[i].name, name_role::column)
                             + " (rename the column, or name a view that renames it)");
    }
    std::size_t row_number = 0;
    while (source.step(first.statement)) {
        ++row_number;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            int column = static_cast<int>(i);
            std::string at = place + ", row " + std::to_string(row_number) + ", column " + columns[i].name;
            int kind = sqlite3_column_type(first.statement, column);
            if (kind == SQLITE_NULL)
                throw data_error(at
                                 + ": NULL, which the environment format has no value for; fill it in, "
                                   "or name a view that leaves such rows out or replaces NULL (COALESCE)");
            if (kind == SQLITE_FLOAT)
                throw data_error(
                    at + ": the real number "
                    + std::string(reinterpret_cast<const char*>(sqlite3_column_text(first.statement, column)))
                    + ", and the environment format holds whole numbers only; name a view that "
                      "casts the column to INTEGER or to TEXT");
            if (kind == SQLITE_BLOB)
                throw data_error(at
                                 + ": a blob, which the environment format cannot hold; name a view that leaves "
                                   "the column out or gives it as hexadecimal text, hex("
                                 + columns[i].name + ") AS " + columns[i].name);
            const char* bytes = reinterpret_cast<const char*>(sqlite3_column_text(first.statement, column));
            std::string_view value(bytes, static_cast<std::size_t>(sqlite3_column_bytes(first.statement, column)));
            if (kind == SQLITE_INTEGER) {
                if (!integer_of(value) && !columns[i].text_seen)
                    throw data_error(at + ": the integer " + std::string(value)
                                     + " is outside the range of int (-2147483647 to 2147483647); name a "
                                       "view that casts the column to TEXT");
            } else {
                std::string problem = string_problem(value);
                if (!problem.empty())
                    throw data_error(at + ": the value " + quoted_for_message(value) + " " + problem
                                     + " (or name a view that replaces it)");
                columns[i].text_seen = true;
            }
            if (value.size() > columns[i].longest)
                columns[i].longest = value.size();
        }
    }
    std::string out = table + "(";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out += (i == 0 ? "" : ", ") + columns[i].name;
        out += columns[i].text_seen ? " char(" + std::to_string(columns[i].longest ? columns[i].longest : 1) + ")"
                                    : std::string(" int");
    }
    out += ")\n";
    statement_guard second{source.prepare(select)};
    while (source.step(second.statement)) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            int column = static_cast<int>(i);
            const char* bytes = reinterpret_cast<const char*>(sqlite3_column_text(second.statement, column));
            std::string_view value(bytes, static_cast<std::size_t>(sqlite3_column_bytes(second.statement, column)));
            out += i == 0 ? "" : ", ";
            if (columns[i].text_seen) {
                // An integer in a text column: the problems of a string
                // never apply to digits.
                out += '\'';
                out += value;
                out += '\'';
            } else {
                out += value;
            }
        }
        out += '\n';
    }
    return out + "\n";
}

} // namespace

std::string environment_from_sqlite(const std::string& path, const std::vector<std::string>& tables)
{
    // A directory, a device or a pipe is refused by name; an empty file
    // would open as a database with nothing in it. SQLite reads pages as it
    // needs them, so the file's size is not held against the budget.
    input_file_options any_size;
    any_size.budget = ~std::uint64_t{0};
    if (check_input_file(path, any_size) == 0)
        throw data_error(path + ": the file is empty, so it holds no tables");
    database source(path);
    // Each named once, in the order first named: a relation can be defined
    // only once in an environment.
    std::vector<std::string> names;
    for (const std::string& table : tables.empty() ? every_table(source) : tables)
        if (std::find(names.begin(), names.end(), table) == names.end())
            names.push_back(table);
    if (names.empty())
        throw data_error(path + ": the database holds no tables");
    std::string out;
    for (const std::string& table : names)
        out += relation_from_table(source, path, table);
    return out;
}

#endif

} // namespace qorvantel
