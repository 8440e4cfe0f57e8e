// A pool allocator for the small immutable objects of the interpreter
// (values and rows), which a large table holds by the million.
//
// Memory comes in 64 KiB blocks, each serving one size class (a multiple of
// 8 bytes) and headed by that size, so releasing needs only the pointer: the
// block is found by masking the address. Freed slots go on a free list of
// their class and are reused; blocks are kept for the life of the process.
// Objects too large for a class get a block of their own, returned to the
// system when released. Single-threaded, like the rest of the program.
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
} // namespace pool

// A base that makes a class allocate its objects from the pool.
struct pooled {
    static void* operator new(std::size_t bytes) { return pool::allocate(bytes); }
    static void operator delete(void* object) noexcept { pool::release(object); }
};

} // namespace qorvantel
