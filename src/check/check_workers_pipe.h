// What grading's workers and the grading process send each other over
// their pipes: answer numbers down, marks up. A number is its 8 bytes; a
// mark is the answer's number, the memory flag, the score's bits, then
// the output, the warning and the raised message, each its length and its
// bytes. Both ends are the same program, so byte order needs no care.
#pragma once

#include "check/grading.h"

#include <csignal>
#include <cstdint>
#include <string>

namespace qorvantel {

// False when the pipe's reader is gone.
bool write_all(int fd, const std::string& bytes);

// Reads exactly size bytes. False at the end of the pipe, on an error, or
// when a signal interrupted it after setting stop.
bool read_all(int fd, char* data, std::size_t size, const volatile std::sig_atomic_t& stop);

std::string number_bytes(std::uint64_t number);
bool read_number(int fd, std::uint64_t& number, const volatile std::sig_atomic_t& stop);

std::string mark_bytes(std::uint64_t answer, const answer_mark& mark);
// False as read_all is, and on a length no mark can have.
bool read_mark(int fd, std::uint64_t& answer, answer_mark& mark, const volatile std::sig_atomic_t& stop);

} // namespace qorvantel
