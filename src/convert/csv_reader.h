// A reader of comma-separated values as RFC 4180 has them: fields separated
// by commas, records by CRLF or LF, fields in double quotes may hold commas,
// line ends and doubled quotes. Works on the file's bytes in memory.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace qorvantel {

struct csv_field {
    std::string_view text; // the value, quotes removed and doubled quotes undone
    bool quoted = false;   // written between double quotes
    std::size_t line = 0;  // the line the field begins on, from 1
};

class csv_reader {
public:
    // data must outlive the reader. A UTF-8 byte order mark at the start is
    // skipped: it marks the encoding and is not part of the first name.
    csv_reader(std::string_view data, std::string file_name);

    // Reads the next record into fields; false when the data is used up.
    // Raises a runtime error naming the file and line for an unclosed
    // quote, text after a closing quote, a quote inside an unquoted field,
    // a NUL byte or a carriage return that ends no line.
    bool next(std::vector<csv_field>& fields);

    const std::string& file_name() const noexcept { return file_name_; }
    // Nothing but line ends remains unread.
    bool only_line_ends_left() const noexcept
    {
        return data_.find_first_not_of("\r\n", position_) == std::string_view::npos;
    }

private:
    [[noreturn]] void fail(std::size_t line, const std::string& what) const;
    [[noreturn]] void fail_lone_carriage_return() const;
    std::string_view quoted_field(std::size_t index, std::size_t start_line);

    std::string_view data_;
    std::string file_name_;
    std::size_t position_ = 0;
    std::size_t line_ = 1;
    // Undone doubled quotes, one buffer per field index; a deque, so that
    // the views into earlier buffers stay valid while the record grows.
    std::deque<std::string> unquoted_;
};

} // namespace qorvantel
