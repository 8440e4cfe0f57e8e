// The console's history file, shared by every session of a user. Each line
// is appended under a lock as soon as it is run, and the file is cut back to
// its newest entries when a session ends, so that sessions running side by
// side keep all of each other's lines instead of overwriting them.
//
// The file is libedit's: a header line, then one entry per line with
// blanks, backslashes and control characters escaped. Files without the
// header, as GNU readline writes them, are read one entry per line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qorvantel {

// The file keeps the newest entries up to this many.
constexpr std::size_t history_limit = 1000;

// One entry as a line of the file, without the line end, and back.
std::string encode_history_entry(const std::string& entry);
std::string decode_history_entry(const std::string& line);

class history_file {
public:
    explicit history_file(std::string name) : name_(std::move(name)) {}

    const std::string& name() const { return name_; }

    // The newest history_limit entries into entries, oldest first. A file
    // that does not exist holds none; false when it cannot be read.
    bool load(std::vector<std::string>& entries) const;

    // Adds entry at the end of the file, which is made when missing. False
    // when it cannot be written.
    bool append(const std::string& entry) const;

    // Cuts the file back to its newest history_limit entries, in the format
    // above. False when it cannot be rewritten.
    bool trim() const;

private:
    std::string name_;
};

} // namespace qorvantel
