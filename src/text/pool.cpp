// The pool allocator.
#include "text/pool.h"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace qorvantel::pool {

#ifdef QORVANTEL_PLAIN_ALLOCATION

void* allocate(std::size_t bytes) { return ::operator new(bytes); }
void release(void* object) noexcept { ::operator delete(object); }

#else

namespace {

constexpr std::size_t block_size = 64 * 1024;
constexpr std::size_t region_size = 64 * block_size;
constexpr std::size_t granule = 8;
constexpr std::size_t largest_class = 512;
constexpr std::size_t class_count = largest_class / granule + 1;

// The head of every block; objects start after it.
struct alignas(16) block_header {
    std::size_t slot_size; // 0 for a block holding one large object
};

struct free_slot {
    free_slot* next;
};

struct size_class {
    free_slot* free_list = nullptr;
    char* next_unused = nullptr; // bump pointer in the newest block
    char* block_end = nullptr;
};

size_class classes[class_count];
char* region_next = nullptr;
char* region_end = nullptr;

char* new_block()
{
    if (region_next == region_end) {
        void* region = std::aligned_alloc(block_size, region_size);
        if (region == nullptr)
            throw std::bad_alloc();
        region_next = static_cast<char*>(region);
        region_end = region_next + region_size;
    }
    char* block = region_next;
    region_next += block_size;
    return block;
}

} // namespace

void* allocate(std::size_t bytes)
{
    std::size_t rounded = (bytes + granule - 1) / granule * granule;
    if (rounded == 0)
        rounded = granule;
    if (rounded > largest_class) {
        std::size_t total = (sizeof(block_header) + rounded + block_size - 1) / block_size * block_size;
        void* block = std::aligned_alloc(block_size, total);
        if (block == nullptr)
            throw std::bad_alloc();
        static_cast<block_header*>(block)->slot_size = 0;
        return static_cast<char*>(block) + sizeof(block_header);
    }
    size_class& chosen = classes[rounded / granule];
    if (chosen.free_list != nullptr) {
        free_slot* slot = chosen.free_list;
        chosen.free_list = slot->next;
        return slot;
    }
    if (chosen.next_unused == nullptr || chosen.block_end - chosen.next_unused < static_cast<std::ptrdiff_t>(rounded)) {
        char* block = new_block();
        reinterpret_cast<block_header*>(block)->slot_size = rounded;
        chosen.next_unused = block + sizeof(block_header);
        chosen.block_end = block + block_size;
    }
    void* slot = chosen.next_unused;
    chosen.next_unused += rounded;
    return slot;
}

void release(void* object) noexcept
{
    if (object == nullptr)
        return;
    auto address = reinterpret_cast<std::uintptr_t>(object);
    auto* header = reinterpret_cast<block_header*>(address & ~(static_cast<std::uintptr_t>(block_size) - 1));
    if (header->slot_size == 0) {
        std::free(header);
        return;
    }
    auto* slot = static_cast<free_slot*>(object);
    size_class& owner = classes[header->slot_size / granule];
    slot->next = owner.free_list;
    owner.free_list = slot;
}

#endif

} // namespace qorvantel::pool
