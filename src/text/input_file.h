// Reading an input file for the companion programs (the checker, the
// converter, the Python module), within the memory budget.
//
// A named file must be a regular file: a directory, a device, a socket and
// (unless the caller expects one) a named pipe are refused by name before
// anything is opened, so that "database: /dev/zero" or a directory given
// as a submission says what it is instead of reading without end or as
// nothing. Standard input ("-") is read whatever it is, as the user chose
// it. A regular file larger than the budget (usable_memory()) is refused
// before it is read, standard input included; a stream (standard input, an
// expected pipe) is read until it passes the budget and then refused. A leading UTF-8 byte order
// mark is skipped: editors on some systems write one, and it is never part
// of the data. (The interpreter reads its input its own way and keeps the
// mark, as designed.)
//
// Every refusal is a setup_error (text/failure.h) whose message names the
// file, in the texts of text/messages.h.
#pragma once

#include <cstdint>
#include <string>

namespace qorvantel {

struct input_file_options {
    // A named pipe is read like standard input: for a name the user gave
    // on the command line (a shell's <(command) is one), not for a name
    // found inside another file.
    bool pipe_expected = false;
    // Bytes the file may hold; 0 is usable_memory().
    std::uint64_t budget = 0;
};

// The content of the file named path, "-" being standard input.
std::string read_input_file(const std::string& path, const input_file_options& options = {});

// The checks of read_input_file that come before reading, for a file that
// a library opens itself (a SQLite database): raises the same refusals;
// returns the file's size in bytes.
std::uint64_t check_input_file(const std::string& path, const input_file_options& options = {});

// Removes a leading UTF-8 byte order mark from content.
void skip_byte_order_mark(std::string& content);

} // namespace qorvantel
