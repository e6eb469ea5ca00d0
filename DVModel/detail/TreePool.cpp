#include "DVModel/detail/TreePool.hpp"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include <sanitizer/asan_interface.h>

namespace dv::detail {

namespace {

// The head of a chunk. `balance` counts the frees as they come (down) and, once the owning
// thread has moved on to another chunk, the blocks it carved (up, in one step): the chunk is
// freed by whoever brings it back to zero, which cannot happen while the owner still carves.
struct alignas(64) ChunkHead {
    std::atomic<std::int64_t> balance{0};
};

constexpr std::size_t kHeadBytes = sizeof(ChunkHead);

ChunkHead* chunkOf(void* block) noexcept {
    return reinterpret_cast<ChunkHead*>(reinterpret_cast<std::uintptr_t>(block) & ~(kTreeChunkBytes - 1));
}

void freeChunk(ChunkHead* head) noexcept {
    head->~ChunkHead();
    ASAN_UNPOISON_MEMORY_REGION(head, kTreeChunkBytes);
    std::free(head);
}

// The chunk a thread carves from.
struct Carver {
    ChunkHead* chunk = nullptr;
    char* next = nullptr;
    char* limit = nullptr;
    std::int64_t carved = 0;

    void retire() noexcept {
        if (chunk == nullptr) return;
        if (chunk->balance.fetch_add(carved, std::memory_order_acq_rel) + carved == 0) freeChunk(chunk);
        chunk = nullptr;
        next = limit = nullptr;
        carved = 0;
    }

    ~Carver() { retire(); }

    void refill() {
        retire();
        void* memory = std::aligned_alloc(kTreeChunkBytes, kTreeChunkBytes);
        if (memory == nullptr) throw std::bad_alloc();
        chunk = new (memory) ChunkHead;
        next = static_cast<char*>(memory) + kHeadBytes;
        limit = static_cast<char*>(memory) + kTreeChunkBytes;
        // Under AddressSanitizer only carved blocks may be touched, and only until released.
        ASAN_POISON_MEMORY_REGION(next, static_cast<std::size_t>(limit - next));
    }
};

thread_local Carver carver;

// The frees a thread has made into one chunk and not yet counted there. A tree dies block after
// block in the order it was carved, so nearly every free lands in the chunk of the one before:
// counting them here spares an atomic operation each, and one chunk at most waits a little
// longer for its memory to go back.
struct Releaser {
    ChunkHead* chunk = nullptr;
    std::int64_t pending = 0;
    bool gone = false;  // the thread is ending: frees are counted at once

    void flush() noexcept {
        if (chunk != nullptr && chunk->balance.fetch_sub(pending, std::memory_order_acq_rel) == pending)
            freeChunk(chunk);
        chunk = nullptr;
        pending = 0;
    }

    ~Releaser() {
        flush();
        gone = true;
    }
};

thread_local Releaser releaser;

}  // namespace

void* treeAllocate(std::size_t bytes) {
    // Never empty: a block must lie inside its chunk for its release to find the chunk.
    bytes = bytes == 0 ? 16 : (bytes + 15) & ~std::size_t{15};
    Carver& c = carver;
    if (static_cast<std::size_t>(c.limit - c.next) < bytes) c.refill();
    void* block = c.next;
    c.next += bytes;
    ++c.carved;
    ASAN_UNPOISON_MEMORY_REGION(block, bytes);
    return block;
}

void treeRelease(void* block, [[maybe_unused]] std::size_t bytes) noexcept {
    ASAN_POISON_MEMORY_REGION(block, bytes);
    ChunkHead* head = chunkOf(block);
    Releaser& r = releaser;
    if (head == r.chunk) {
        ++r.pending;
        return;
    }
    if (r.gone) {
        if (head->balance.fetch_sub(1, std::memory_order_acq_rel) == 1) freeChunk(head);
        return;
    }
    r.flush();
    r.chunk = head;
    r.pending = 1;
}

}  // namespace dv::detail
