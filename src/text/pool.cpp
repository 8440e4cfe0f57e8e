// The pool allocator.
#include "text/pool.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#ifndef QORVANTEL_PLAIN_ALLOCATION
#include <sys/mman.h>
#endif

namespace qorvantel::pool {

namespace {
std::size_t recorded_size = 0;
} // namespace

void record_size(std::size_t bytes) noexcept { recorded_size = bytes; }
void release_recorded(void* object) noexcept { release(object, recorded_size); }

#ifdef QORVANTEL_PLAIN_ALLOCATION

void* allocate(std::size_t bytes) { return ::operator new(bytes); }
void release(void* object, std::size_t) noexcept { ::operator delete(object); }
void trim() noexcept {}
std::size_t chunks_in_use() noexcept { return 0; }
std::size_t bytes_mapped() noexcept { return 0; }

#else

namespace {

constexpr std::size_t chunk_size = 64 * 1024;
constexpr std::size_t chunks_per_region = 64;
constexpr std::size_t region_size = chunks_per_region * chunk_size;
constexpr std::size_t granule = 8;
// Larger objects get an allocation of their own, so that the space a chunk
// leaves unused at its end stays small.
constexpr std::size_t largest_pooled = 4096;
// Free chunks trim() leaves alone: enough for the next small request.
constexpr std::size_t reserve_chunks = 16;
// The part of a free chunk trim() hands back while the chunk stays on the
// free list: all but the page holding its header.
constexpr std::size_t kept_page = 4096;

// The head of every chunk; objects start after it.
struct alignas(16) chunk_header {
    std::uint32_t live;     // objects allocated and not yet released
    std::uint32_t returned; // 1 while the pages past the header are given back
    chunk_header* next_free;
};

char* next_unused = nullptr; // bump pointer in the current chunk
char* chunk_end = nullptr;
chunk_header* current = nullptr;
chunk_header* free_chunks = nullptr; // emptied chunks, for reuse
std::size_t free_count = 0;
char* region_next = nullptr; // the next chunk never used in the newest region
char* region_end = nullptr;
std::vector<char*> regions; // every mapped region, in ascending address order
std::size_t chunks_used = 0;

// A region of region_size bytes aligned to chunk_size, straight from the
// system so that it can be given back whole.
char* map_region()
{
    std::size_t length = region_size + chunk_size;
    void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    auto start = reinterpret_cast<std::uintptr_t>(mapped);
    std::uintptr_t aligned = (start + chunk_size - 1) & ~(static_cast<std::uintptr_t>(chunk_size) - 1);
    if (aligned != start)
        munmap(mapped, aligned - start);
    std::size_t tail = (start + length) - (aligned + region_size);
    if (tail != 0)
        munmap(reinterpret_cast<char*>(aligned + region_size), tail);
    char* region = reinterpret_cast<char*>(aligned);
    try {
        regions.insert(std::upper_bound(regions.begin(), regions.end(), region), region);
    } catch (...) {
        munmap(region, region_size);
        throw;
    }
    return region;
}

chunk_header* new_chunk()
{
    if (free_chunks != nullptr) {
        chunk_header* reused = free_chunks;
        free_chunks = reused->next_free;
        --free_count;
        return reused;
    }
    if (region_next == region_end) {
        region_next = map_region();
        region_end = region_next + region_size;
    }
    auto* chunk = reinterpret_cast<chunk_header*>(region_next);
    region_next += chunk_size;
    return chunk;
}

void push_free(chunk_header* chunk) noexcept
{
    chunk->next_free = free_chunks;
    free_chunks = chunk;
    ++free_count;
}

// Makes a fresh chunk current. The chunk it replaces is kept by its live
// objects, or goes back to the free list at once if it has none.
void start_chunk()
{
    chunk_header* chunk = new_chunk();
    chunk->live = 0;
    chunk->returned = 0;
    chunk->next_free = nullptr;
    ++chunks_used;
    if (current != nullptr && current->live == 0) {
        push_free(current);
        --chunks_used;
    }
    current = chunk;
    next_unused = reinterpret_cast<char*>(chunk) + sizeof(chunk_header);
    chunk_end = reinterpret_cast<char*>(chunk) + chunk_size;
}

std::size_t rounded_size(std::size_t bytes) noexcept
{
    std::size_t rounded = (bytes + granule - 1) / granule * granule;
    return rounded == 0 ? granule : rounded;
}

} // namespace

void* allocate(std::size_t bytes)
{
    std::size_t rounded = rounded_size(bytes);
    if (rounded > largest_pooled)
        return ::operator new(bytes);
    if (current == nullptr || static_cast<std::size_t>(chunk_end - next_unused) < rounded)
        start_chunk();
    void* object = next_unused;
    next_unused += rounded;
    ++current->live;
    return object;
}

void release(void* object, std::size_t bytes) noexcept
{
    if (object == nullptr)
        return;
    if (rounded_size(bytes) > largest_pooled) {
        ::operator delete(object);
        return;
    }
    auto address = reinterpret_cast<std::uintptr_t>(object);
    auto* chunk = reinterpret_cast<chunk_header*>(address & ~(static_cast<std::uintptr_t>(chunk_size) - 1));
    if (--chunk->live != 0)
        return;
    if (chunk == current) {
        // Nothing lives in the current chunk: start it over.
        next_unused = reinterpret_cast<char*>(chunk) + sizeof(chunk_header);
        return;
    }
    push_free(chunk);
    --chunks_used;
}

void trim() noexcept
{
    if (free_count <= reserve_chunks)
        return;
    std::vector<chunk_header*> free_list;
    try {
        free_list.reserve(free_count);
    } catch (const std::bad_alloc&) {
        return; // nothing is lost by trying again after the next request
    }
    for (chunk_header* each = free_chunks; each != nullptr; each = each->next_free)
        free_list.push_back(each);
    std::sort(free_list.begin(), free_list.end());

    // A region goes back whole when every chunk carved from it is free;
    // the region still being carved counts only its carved chunks.
    std::vector<chunk_header*> kept;
    kept.reserve(free_list.size()); // no larger than free_list: cannot fail
    std::vector<char*> kept_regions;
    kept_regions.reserve(regions.size());
    std::size_t next = 0;
    for (char* region : regions) {
        std::size_t first = next;
        while (next < free_list.size() && reinterpret_cast<char*>(free_list[next]) < region + region_size)
            ++next;
        bool carving = region_next != nullptr && region_next > region && region_next <= region + region_size;
        std::size_t carved = carving ? static_cast<std::size_t>(region_next - region) / chunk_size : chunks_per_region;
        if (carved != 0 && next - first == carved) {
            munmap(region, region_size);
            free_count -= carved;
            if (carving)
                region_next = region_end = nullptr;
            continue;
        }
        kept_regions.push_back(region);
        kept.insert(kept.end(), free_list.begin() + static_cast<std::ptrdiff_t>(first),
                    free_list.begin() + static_cast<std::ptrdiff_t>(next));
    }
    regions.swap(kept_regions);

    // The remaining free chunks beyond the reserve keep only their header
    // page; the rest of their memory is given back until they are reused.
    free_chunks = nullptr;
    for (std::size_t i = kept.size(); i > 0; --i) {
        chunk_header* chunk = kept[i - 1];
        if (i > reserve_chunks && chunk->returned == 0) {
            madvise(reinterpret_cast<char*>(chunk) + kept_page, chunk_size - kept_page, MADV_DONTNEED);
            chunk->returned = 1;
        }
        chunk->next_free = free_chunks;
        free_chunks = chunk;
    }
}

std::size_t chunks_in_use() noexcept { return chunks_used; }

std::size_t bytes_mapped() noexcept { return regions.size() * region_size; }

#endif

} // namespace qorvantel::pool
