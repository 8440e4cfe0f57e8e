// The driver's own messages, written once: the console's read and write
// failures, the usage text and the memory failure, wherever they are met.
#pragma once

namespace qorvantel::messages {

inline constexpr const char* cannot_read_input = "Cannot read standard input.";
inline constexpr const char* cannot_write_output = "Cannot write standard output.";
inline constexpr const char* out_of_memory = "Out of memory.";
inline constexpr const char* usage = "syntax:\n"
                                     "batch mode:  qorvantel [input-file-spec output-file-spec]\n"
                                     "interactive: qorvantel initial-environment-file-spec";

} // namespace qorvantel::messages
