// qorvantel-convert: data in from CSV and SQLite, results out to CSV, SQL
// and LaTeX. The one file of the program that reads and writes files; the
// conversions themselves are pure functions over strings and parsed objects.
#include "algebra/expression.h"
#include "convert/csv_export.h"
#include "convert/csv_import.h"
#include "convert/latex.h"
#include "convert/sql_query.h"
#include "convert/sql_tables.h"
#include "convert/sqlite_import.h"
#include "text/diagnostics.h"
#include "text/failure.h"
#include "text/input_file.h"
#include "text/memory.h"
#include "text/messages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace qorvantel;

namespace {

// A file named on the command line: a pipe there is one the user made
// (a shell's <(command)).
std::string read_file(const std::string& path)
{
    input_file_options named;
    named.pipe_expected = true;
    return read_input_file(path, named);
}

void write_out(const std::string& content)
{
    if (std::fwrite(content.data(), 1, content.size(), stdout) != content.size() || std::fflush(stdout) != 0)
        throw setup_error(std::string("standard output: ") + std::strerror(errno));
}

std::string where_read(const std::string& path) { return path == "-" ? "standard input" : path; }

// An environment read by a command stays until the process ends: releasing
// a table of a million rows visits every row and value once more, and the
// process gives all its memory back at once when it ends. The pointer keeps
// it reachable, so a leak checker does not count it.
shared<environment>* environment_left_behind = nullptr;

shared<environment> read_environment(const std::string& path)
{
    std::string source = read_file(path);
    try {
        shared<environment> read = parse_whole<environment>("environment", source);
        if (environment_left_behind == nullptr)
            environment_left_behind = new shared<environment>(read);
        return read;
    } catch (const input_error& error) {
        throw data_error(where_read(path) + ": " + error.what());
    }
}

shared<expression> read_expression(const std::string& path)
{
    std::string source = read_file(path);
    try {
        return parse_whole<expression>("expression", source);
    } catch (const input_error& error) {
        throw data_error(where_read(path) + ": " + error.what());
    }
}

// Takes "--option VALUE" or "--option=VALUE" at args[i].
bool option_value(const std::vector<std::string>& args, std::size_t& i, const std::string& option, std::string& out)
{
    if (args[i] == option) {
        if (i + 1 >= args.size())
            throw usage_error(option + " needs a value");
        out = args[++i];
        return true;
    }
    if (args[i].compare(0, option.size() + 1, option + "=") == 0) {
        out = args[i].substr(option.size() + 1);
        return true;
    }
    return false;
}

int from_csv(const std::vector<std::string>& args)
{
    std::string name, types;
    bool named = false, typed = false;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (option_value(args, i, "--name", name))
            named = true;
        else if (option_value(args, i, "--types", types))
            typed = true;
        else if (args[i].size() > 1 && args[i][0] == '-')
            throw usage_error("from-csv: unknown option " + args[i]);
        else
            files.push_back(args[i]);
    }
    if (files.empty())
        throw usage_error("from-csv needs at least one CSV file");
    if (named && files.size() != 1)
        throw usage_error("from-csv: --name names one relation, but " + std::to_string(files.size())
                          + " files are given");
    std::vector<type_request> requests = typed ? parse_type_requests(types) : std::vector<type_request>{};
    std::set<std::string> used, relations;
    std::string out;
    for (const std::string& file : files) {
        std::string relation_name = named ? name : relation_name_of_file(file == "-" ? "stdin" : file);
        if (!relations.insert(relation_name).second)
            throw data_error(where_read(file) + ": a second relation named " + relation_name
                             + "; rename one of the files");
        out += relation_from_csv(read_file(file), where_read(file), relation_name, requests, used);
    }
    for (const type_request& request : requests)
        if (used.count(request.column) == 0)
            throw setup_error("--types: no file has a column named " + request.column);
    write_out(out);
    return 0;
}

int from_sqlite(const std::vector<std::string>& args)
{
    if (args.empty())
        throw usage_error("from-sqlite needs a database file");
    write_out(environment_from_sqlite(args[0], std::vector<std::string>(args.begin() + 1, args.end())));
    return 0;
}

int to_csv(const std::vector<std::string>& args)
{
    if (args.size() != 2)
        throw usage_error("to-csv needs an environment file and a directory");
    shared<environment> source = read_environment(args[0]);
    const std::string& directory = args[1];
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& [name, stored] : source->relations()) {
        const std::string& relation_name = symbol_text(*name);
        std::string problem = file_name_problem(relation_name);
        if (!problem.empty())
            throw data_error("the relation name " + relation_name + " " + problem + "; rename it first");
        files.emplace_back(directory + "/" + relation_name + ".csv", relation_to_csv(*stored));
    }
    if (mkdir(directory.c_str(), 0777) != 0 && errno != EEXIST)
        throw setup_error(directory + ": " + std::strerror(errno));
    // Each file is written under a temporary name and renamed only when all
    // are written: a failure leaves no partial file behind.
    std::vector<std::string> written;
    auto remove_written = [&] {
        for (const std::string& path : written)
            std::remove(path.c_str());
    };
    std::string suffix = ".part" + std::to_string(getpid());
    for (const auto& [path, content] : files) {
        std::string temporary = path + suffix;
        std::FILE* file = std::fopen(temporary.c_str(), "wb");
        if (!file) {
            int error = errno;
            remove_written();
            throw setup_error(path + ": " + std::strerror(error));
        }
        written.push_back(temporary);
        bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
        ok = std::fclose(file) == 0 && ok;
        if (!ok) {
            int error = errno;
            remove_written();
            throw setup_error(path + ": " + std::strerror(error));
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (std::rename(written[i].c_str(), files[i].first.c_str()) != 0) {
            int error = errno;
            remove_written();
            throw setup_error(files[i].first + ": " + std::strerror(error));
        }
    }
    return 0;
}

int to_sql(const std::vector<std::string>& args)
{
    std::string dialect_text = "sqlite";
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (option_value(args, i, "--dialect", dialect_text))
            continue;
        if (args[i].size() > 1 && args[i][0] == '-')
            throw usage_error("to-sql: unknown option " + args[i]);
        files.push_back(args[i]);
    }
    std::optional<sql_dialect> dialect = dialect_named(dialect_text);
    if (!dialect)
        throw usage_error("to-sql: unknown dialect " + dialect_text + " (sqlite, postgresql or duckdb)");
    if (files.empty() || files.size() > 2)
        throw usage_error("to-sql needs an environment file and at most one expression file");
    if (files.size() == 2 && files[0] == "-" && files[1] == "-")
        throw usage_error("to-sql: the environment and the expression cannot both be standard input");
    shared<environment> tables = read_environment(files[0]);
    std::string out = sql_tables(*tables, *dialect);
    if (files.size() == 2) {
        shared<expression> query = read_expression(files[1]);
        try {
            out += "\n-- " + written(*query) + "\n" + sql_query(query, tables, *dialect);
        } catch (const std::runtime_error& error) {
            throw data_error(where_read(files[1]) + ": " + error.what());
        }
    }
    write_out(out);
    return 0;
}

int to_latex(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        throw usage_error("to-latex needs one expression file");
    write_out("$" + latex_formula(*read_expression(args[0])) + "$\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The interpreter's memory budget: past it an allocation fails and the
    // program says "Out of memory." instead of being killed.
    limit_memory();
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.empty())
            throw usage_error("a command is needed");
        std::string command = args[0];
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (command == "--help" || command == "-h") {
            write_out(std::string(messages::convert_usage) + "\n" + messages::convert_help);
            return 0;
        }
        if (command == "--version") {
            write_out("qorvantel-convert 1.0.0\n");
            return 0;
        }
        if (command == "from-csv")
            return from_csv(rest);
        if (command == "from-sqlite")
            return from_sqlite(rest);
        if (command == "to-csv")
            return to_csv(rest);
        if (command == "to-sql")
            return to_sql(rest);
        if (command == "to-latex")
            return to_latex(rest);
        throw usage_error("unknown command " + command);
    } catch (...) {
        failure failed = failure_of(std::current_exception());
        std::cerr << "qorvantel-convert: " << failed.message << "\n";
        if (failed.kind == failure_kind::usage) {
            std::cerr << messages::convert_usage;
            return 2;
        }
        return 1;
    }
}
