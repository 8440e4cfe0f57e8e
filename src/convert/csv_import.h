// Relations from CSV: a header row of column names, one row per record,
// column types inferred or requested, every value checked against what the
// environment format can hold.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qorvantel {

// A type asked for with --types: int, char (length from the data) or
// char(n).
struct type_request {
    std::string column;
    bool integer = false;
    std::optional<std::uint32_t> length;
};

// Reads "name=type,name=type"; the name is everything before the last "="
// of each entry. Raises a runtime error for a malformed list.
std::vector<type_request> parse_type_requests(std::string_view types);

// The relation name a file gives: its base name without the last extension.
std::string relation_name_of_file(std::string_view path);

// The environment text of one relation read from the CSV data of
// file_name: its schema line, its rows in file order, and an empty line.
// The requests name columns of any file given together; those found here
// are added to used. Raises a runtime error naming the file, the line, the
// column and the value for anything the environment format cannot hold.
std::string relation_from_csv(std::string_view data, const std::string& file_name, const std::string& relation_name,
                              const std::vector<type_request>& requests, std::set<std::string>& used);

} // namespace qorvantel
