#include "DVModel/detail/TreePool.hpp"

#include <atomic>
#include <cstdint>
#include <cstdlib>

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

void retire(TreeCarver& c) noexcept {
    if (c.chunk == nullptr) return;
    auto* chunk = static_cast<ChunkHead*>(c.chunk);
    if (chunk->balance.fetch_add(c.carved, std::memory_order_acq_rel) + c.carved == 0) freeChunk(chunk);
    c = TreeCarver{};
}

void flush(TreeReleaser& r) noexcept {
    auto* chunk = reinterpret_cast<ChunkHead*>(r.chunk);
    if (chunk != nullptr && chunk->balance.fetch_sub(r.pending, std::memory_order_acq_rel) == r.pending)
        freeChunk(chunk);
    r.chunk = 0;
    r.pending = 0;
}

// Settles the thread's chunk and uncounted frees when the thread ends; made on the thread's
// first slow step, so that threads that never touch a tree pay nothing.
struct ThreadEnd {
    ~ThreadEnd() {
        TreeReleaser& r = treeReleaser();
        flush(r);
        r.threadEnded = true;
        retire(treeCarver());
    }
};

thread_local ThreadEnd threadEnd;

}  // namespace

void* treeAllocateFromNewChunk(std::size_t bytes) {
    [[maybe_unused]] ThreadEnd* settle = &threadEnd;
    TreeCarver& c = treeCarver();
    retire(c);
    void* memory = std::aligned_alloc(kTreeChunkBytes, kTreeChunkBytes);
    if (memory == nullptr) throw std::bad_alloc();
    c.chunk = new (memory) ChunkHead;
    c.next = static_cast<char*>(memory) + kHeadBytes;
    c.limit = static_cast<char*>(memory) + kTreeChunkBytes;
    // Under AddressSanitizer only carved blocks may be touched, and only until released.
    ASAN_POISON_MEMORY_REGION(c.next, static_cast<std::size_t>(c.limit - c.next));
    return treeAllocate(bytes);
}

void treeReleaseIntoOtherChunk(void* block) noexcept {
    TreeReleaser& r = treeReleaser();
    ChunkHead* head = chunkOf(block);
    if (r.threadEnded) {
        if (head->balance.fetch_sub(1, std::memory_order_acq_rel) == 1) freeChunk(head);
        return;
    }
    [[maybe_unused]] ThreadEnd* settle = &threadEnd;
    flush(r);
    r.chunk = reinterpret_cast<std::uintptr_t>(head);
    r.pending = 1;
}

}  // namespace dv::detail
