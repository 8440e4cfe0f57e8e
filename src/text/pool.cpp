// The pool allocator.
#include "text/pool.h"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace qorvantel::pool {

#ifdef QORVANTEL_PLAIN_ALLOCATION

void* allocate(std::size_t bytes) { return ::operator new(bytes); }
void release(void* object) noexcept { ::operator delete(object); }
std::size_t chunks_in_use() noexcept { return 0; }

#else

namespace {

constexpr std::size_t chunk_size = 64 * 1024;
constexpr std::size_t region_size = 64 * chunk_size;
constexpr std::size_t granule = 8;
// Larger objects get an allocation of their own, so that the space a chunk
// leaves unused at its end stays small.
constexpr std::size_t largest_pooled = 4096;

// The head of every chunk; objects start after it.
struct alignas(16) chunk_header {
    std::uint32_t live;     // objects allocated and not yet released
    std::uint32_t separate; // 1 for an allocation holding one large object
    chunk_header* next_free;
};

char* next_unused = nullptr; // bump pointer in the current chunk
char* chunk_end = nullptr;
chunk_header* current = nullptr;
chunk_header* free_chunks = nullptr; // emptied chunks, for reuse
char* region_next = nullptr;
char* region_end = nullptr;
std::size_t chunks_used = 0;

chunk_header* new_chunk()
{
    if (free_chunks != nullptr) {
        chunk_header* reused = free_chunks;
        free_chunks = reused->next_free;
        return reused;
    }
    if (region_next == region_end) {
        void* region = std::aligned_alloc(chunk_size, region_size);
        if (region == nullptr)
            throw std::bad_alloc();
        region_next = static_cast<char*>(region);
        region_end = region_next + region_size;
    }
    auto* chunk = reinterpret_cast<chunk_header*>(region_next);
    region_next += chunk_size;
    return chunk;
}

// Makes a fresh chunk current. The chunk it replaces is kept by its live
// objects, or goes back to the free list at once if it has none.
void start_chunk()
{
    chunk_header* chunk = new_chunk();
    chunk->live = 0;
    chunk->separate = 0;
    chunk->next_free = nullptr;
    ++chunks_used;
    if (current != nullptr && current->live == 0) {
        current->next_free = free_chunks;
        free_chunks = current;
        --chunks_used;
    }
    current = chunk;
    next_unused = reinterpret_cast<char*>(chunk) + sizeof(chunk_header);
    chunk_end = reinterpret_cast<char*>(chunk) + chunk_size;
}

} // namespace

void* allocate(std::size_t bytes)
{
    std::size_t rounded = (bytes + granule - 1) / granule * granule;
    if (rounded == 0)
        rounded = granule;
    if (rounded > largest_pooled) {
        std::size_t total = (sizeof(chunk_header) + rounded + chunk_size - 1) / chunk_size * chunk_size;
        auto* chunk = static_cast<chunk_header*>(std::aligned_alloc(chunk_size, total));
        if (chunk == nullptr)
            throw std::bad_alloc();
        chunk->live = 1;
        chunk->separate = 1;
        chunk->next_free = nullptr;
        return reinterpret_cast<char*>(chunk) + sizeof(chunk_header);
    }
    if (current == nullptr || static_cast<std::size_t>(chunk_end - next_unused) < rounded)
        start_chunk();
    void* object = next_unused;
    next_unused += rounded;
    ++current->live;
    return object;
}

void release(void* object) noexcept
{
    if (object == nullptr)
        return;
    auto address = reinterpret_cast<std::uintptr_t>(object);
    auto* chunk = reinterpret_cast<chunk_header*>(address & ~(static_cast<std::uintptr_t>(chunk_size) - 1));
    if (chunk->separate != 0) {
        std::free(chunk);
        return;
    }
    if (--chunk->live != 0)
        return;
    if (chunk == current) {
        // Nothing lives in the current chunk: start it over.
        next_unused = reinterpret_cast<char*>(chunk) + sizeof(chunk_header);
        return;
    }
    chunk->next_free = free_chunks;
    free_chunks = chunk;
    --chunks_used;
}

std::size_t chunks_in_use() noexcept { return chunks_used; }

#endif

} // namespace qorvantel::pool
