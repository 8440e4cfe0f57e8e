// The pool allocator.
#include "text/pool.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <new>
#include <vector>

#ifndef QORVANTEL_PLAIN_ALLOCATION
#include <sys/mman.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define QORVANTEL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QORVANTEL_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef QORVANTEL_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace qorvantel::pool {

#ifdef QORVANTEL_PLAIN_ALLOCATION

// Every object from the global allocator: only for measuring what the pool
// is worth (see pool.h).
void* allocate(std::size_t bytes) { return ::operator new(bytes); }
void release(void* object, std::size_t) noexcept { ::operator delete(object); }
void trim() noexcept {}
std::size_t chunks_in_use() noexcept { return 0; }
std::size_t bytes_mapped() noexcept { return 0; }

#else

namespace {

// Under AddressSanitizer, memory the pool holds but no object owns is
// poisoned; elsewhere these do nothing.
#ifdef QORVANTEL_ADDRESS_SANITIZER
void poison(void* start, std::size_t bytes) noexcept { ASAN_POISON_MEMORY_REGION(start, bytes); }
void unpoison(void* start, std::size_t bytes) noexcept { ASAN_UNPOISON_MEMORY_REGION(start, bytes); }
void watch_for_leaks(void* region, std::size_t bytes) noexcept { __lsan_register_root_region(region, bytes); }
void unwatch(void* region, std::size_t bytes) noexcept { __lsan_unregister_root_region(region, bytes); }
#else
void poison(void*, std::size_t) noexcept {}
void unpoison(void*, std::size_t) noexcept {}
void watch_for_leaks(void*, std::size_t) noexcept {}
void unwatch(void*, std::size_t) noexcept {}
#endif

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
    std::uint16_t returned; // 1 while the pages past the header are given back
    // In the first chunk of a region, during trim(): the region's free chunks.
    std::uint16_t free_in_region;
    chunk_header* next_free;
};
static_assert(chunks_per_region <= UINT16_MAX, "free_in_region counts the chunks of a region");

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
    watch_for_leaks(region, region_size);
    return region;
}

void unmap_region(char* region) noexcept
{
    unwatch(region, region_size);
    // The next mapping at this address starts clean.
    unpoison(region, region_size);
    munmap(region, region_size);
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
    poison(next_unused, static_cast<std::size_t>(chunk_end - next_unused));
}

std::size_t rounded_size(std::size_t bytes) noexcept
{
    std::size_t rounded = (bytes + granule - 1) / granule * granule;
    return rounded == 0 ? granule : rounded;
}

// Sorts the first count chunks of list by address, count >= 1; rest
// receives the chunk that followed them. A merge sort of the list itself,
// so that trim() allocates nothing.
chunk_header* sort_by_address(chunk_header* list, std::size_t count, chunk_header** rest) noexcept
{
    if (count == 1) {
        *rest = list->next_free;
        list->next_free = nullptr;
        return list;
    }
    chunk_header* middle = nullptr;
    chunk_header* low = sort_by_address(list, count / 2, &middle);
    chunk_header* high = sort_by_address(middle, count - count / 2, rest);
    chunk_header* head = nullptr;
    chunk_header** tail = &head;
    while (low != nullptr && high != nullptr) {
        chunk_header*& first = std::less<chunk_header*>()(low, high) ? low : high;
        *tail = first;
        tail = &first->next_free;
        first = first->next_free;
    }
    *tail = low != nullptr ? low : high;
    return head;
}

// The chunks carved so far from a region: all of them, but for the region
// being carved.
std::size_t carved_chunks(const char* region) noexcept
{
    bool carving = region_next != nullptr && region_next > region && region_next <= region + region_size;
    return carving ? static_cast<std::size_t>(region_next - region) / chunk_size : chunks_per_region;
}

chunk_header* first_chunk(char* region) noexcept { return reinterpret_cast<chunk_header*>(region); }

// A region goes back whole when every chunk carved from it is free.
bool wholly_free(char* region) noexcept
{
    std::size_t carved = carved_chunks(region);
    return carved != 0 && first_chunk(region)->free_in_region == carved;
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
    unpoison(object, bytes);
    return object;
}

void release(void* object, std::size_t bytes) noexcept
{
    if (object == nullptr)
        return;
    std::size_t rounded = rounded_size(bytes);
    if (rounded > largest_pooled) {
        ::operator delete(object);
        return;
    }
    poison(object, rounded);
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
    // In address order, so that the chunks reused first are the lowest and
    // the highest regions have the best chance to empty.
    chunk_header* rest = nullptr;
    free_chunks = sort_by_address(free_chunks, free_count, &rest);

    // Each region's free chunks, counted in its first chunk's header: the
    // free list and the regions are both in address order.
    for (char* region : regions)
        first_chunk(region)->free_in_region = 0;
    auto region = regions.begin();
    for (chunk_header* each = free_chunks; each != nullptr; each = each->next_free) {
        while (reinterpret_cast<char*>(each) >= *region + region_size)
            ++region;
        ++first_chunk(*region)->free_in_region;
    }

    // The chunks of wholly free regions leave the list; the others beyond
    // the reserve keep only their header page, the rest of their memory
    // given back until they are reused.
    region = regions.begin();
    std::size_t kept = 0;
    for (chunk_header** link = &free_chunks; *link != nullptr;) {
        chunk_header* chunk = *link;
        while (reinterpret_cast<char*>(chunk) >= *region + region_size)
            ++region;
        if (wholly_free(*region)) {
            *link = chunk->next_free;
            --free_count;
            continue;
        }
        if (++kept > reserve_chunks && chunk->returned == 0) {
            madvise(reinterpret_cast<char*>(chunk) + kept_page, chunk_size - kept_page, MADV_DONTNEED);
            chunk->returned = 1;
        }
        link = &chunk->next_free;
    }
    auto gone = std::remove_if(regions.begin(), regions.end(), [](char* each) {
        if (!wholly_free(each))
            return false;
        if (region_next != nullptr && region_next > each && region_next <= each + region_size)
            region_next = region_end = nullptr;
        unmap_region(each);
        return true;
    });
    regions.erase(gone, regions.end());
}

std::size_t chunks_in_use() noexcept { return chunks_used; }

std::size_t bytes_mapped() noexcept { return regions.size() * region_size; }

#endif

} // namespace qorvantel::pool
