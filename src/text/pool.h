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
// Builds with AddressSanitizer run this same pool: the space of a chunk that
// holds no live object is poisoned, so a read or write past an object's end
// or after its release is reported, and the regions are registered with the
// leak checker, which then finds the heap objects that pooled objects hold.
#pragma once

#include <cstddef>

namespace qorvantel {

namespace pool {
void* allocate(std::size_t bytes);
// bytes: the size given to allocate for this object.
void release(void* object, std::size_t bytes) noexcept;

// Gives the memory of free chunks back to the system, beyond a small reserve
// kept for the next objects. Called between requests, after a large result
// has gone, so that a long session does not keep its peak memory. Allocates
// nothing, so that it can run when memory is short.
void trim() noexcept;

// Chunks holding at least one live object (always 0 with plain allocation).
std::size_t chunks_in_use() noexcept;
// Bytes of chunk memory mapped from the system, free chunks included
// (always 0 with plain allocation).
std::size_t bytes_mapped() noexcept;
} // namespace pool

// A base that makes a class of fixed size allocate its objects from the pool.
// Objects of varying size (rows, strings) do not use it: their handles end
// them through their own destroy(), which knows the size to release.
struct pooled {
    static void* operator new(std::size_t bytes) { return pool::allocate(bytes); }
    static void operator delete(void* object, std::size_t bytes) noexcept { pool::release(object, bytes); }
};

} // namespace qorvantel
