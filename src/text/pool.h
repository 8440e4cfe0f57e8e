// The allocator for the small immutable objects of the interpreter (values
// and rows), which a large table holds by the million.
//
// Objects are carved one after another from 64 KiB chunks, whatever their
// size, so a row and the values read with it lie side by side in memory: a
// pass over a table then touches one short stretch of memory per row rather
// than one scattered place per value. Each chunk is headed by a count of its
// live objects, found from an object's address by masking; the chunk is
// reused once the count falls to zero. Chunks come from regions mapped from
// the system; trim() gives wholly free ones back. Objects too large for a
// chunk get a plain allocation of their own size, which is why release is
// told the size that was allocated. Single-threaded, like the rest of the
// program.
//
// Sanitizer builds define QORVANTEL_PLAIN_ALLOCATION, which routes every
// object through the global allocator so that leaks and uses after release
// are still found.
#pragma once

#include <cstddef>

namespace qorvantel {

namespace pool {
void* allocate(std::size_t bytes);
// bytes: the size given to allocate for this object.
void release(void* object, std::size_t bytes) noexcept;

// Gives the memory of free chunks back to the system, beyond a small reserve
// kept for the next objects. Called between requests, after a large result
// has gone, so that a long session does not keep its peak memory.
void trim() noexcept;

// Chunks holding at least one live object (always 0 with plain allocation).
std::size_t chunks_in_use() noexcept;
// Bytes of chunk memory mapped from the system, free chunks included
// (always 0 with plain allocation).
std::size_t bytes_mapped() noexcept;

// Objects of varying size (rows, strings) are released by their class's
// operator delete, which is not told their size: their destructor records
// it here as its last step, and the operator delete that follows passes it
// on to release.
void record_size(std::size_t bytes) noexcept;
void release_recorded(void* object) noexcept;
} // namespace pool

// A base that makes a class of fixed size allocate its objects from the pool.
struct pooled {
    static void* operator new(std::size_t bytes) { return pool::allocate(bytes); }
    static void operator delete(void* object, std::size_t bytes) noexcept { pool::release(object, bytes); }
};

} // namespace qorvantel
