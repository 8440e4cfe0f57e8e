// The allocator for the small immutable objects of the interpreter (values
// and rows), which a large table holds by the million.
//
// Objects are carved one after another from 64 KiB chunks, whatever their
// size, so a row and the values read with it lie side by side in memory: a
// pass over a table then touches one short stretch of memory per row rather
// than one scattered place per value. Each chunk is headed by a count of its
// live objects, found from an object's address by masking; the chunk is
// reused once the count falls to zero. Objects too large for a chunk get an
// allocation of their own, returned to the system when released.
// Single-threaded, like the rest of the program.
//
// Sanitizer builds define QORVANTEL_PLAIN_ALLOCATION, which routes every
// object through the global allocator so that leaks and uses after release
// are still found.
#pragma once

#include <cstddef>

namespace qorvantel {

namespace pool {
void* allocate(std::size_t bytes);
void release(void* object) noexcept;

// Chunks holding at least one live object (always 0 with plain allocation).
std::size_t chunks_in_use() noexcept;
} // namespace pool

// A base that makes a class allocate its objects from the pool.
struct pooled {
    static void* operator new(std::size_t bytes) { return pool::allocate(bytes); }
    static void operator delete(void* object) noexcept { pool::release(object); }
};

} // namespace qorvantel
