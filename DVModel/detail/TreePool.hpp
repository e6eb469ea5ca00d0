#pragma once
// Memory for the small blocks of JSON value trees (array items, object members): a parse makes
// hundreds of thousands of them at once and frees them together, which a general-purpose heap
// serves poorly. Each thread carves blocks in turn out of 64 KiB chunks of its own; a chunk goes
// back to the heap once every block carved from it has been freed, by whichever thread. Larger
// blocks come straight from the heap.
//
// A block kept long after its neighbours are gone keeps its whole chunk: trees are expected to
// live and die as a whole, with only a few values moved out of them.

#include <cstddef>
#include <cstdint>
#include <new>

#include <sanitizer/asan_interface.h>

namespace dv::detail {

inline constexpr std::size_t kTreeChunkBytes = std::size_t{64} << 10;
inline constexpr std::size_t kTreeBlockLimit = std::size_t{2} << 10;

// The chunk a thread carves from, and the frees it has made into one chunk and not yet counted
// there. Plain data, so that the common cases below compile to a few instructions in place; the
// rest, and what is left when a thread ends, is settled in TreePool.cpp.
struct TreeCarver {
    char* next = nullptr;
    char* limit = nullptr;
    void* chunk = nullptr;
    std::int64_t carved = 0;
};
struct TreeReleaser {
    std::uintptr_t chunk = 0;
    std::int64_t pending = 0;
    bool threadEnded = false;
};

// The thread's own. Held in functions rather than declared for other files to reach, so that no
// access goes through a thread-local wrapper.
inline TreeCarver& treeCarver() noexcept {
    static constinit thread_local TreeCarver carver;
    return carver;
}
inline TreeReleaser& treeReleaser() noexcept {
    static constinit thread_local TreeReleaser releaser;
    return releaser;
}

void* treeAllocateFromNewChunk(std::size_t bytes);
void treeReleaseIntoOtherChunk(void* block) noexcept;

// `bytes` at most kTreeBlockLimit; the block is aligned to 16 bytes.
inline void* treeAllocate(std::size_t bytes) {
    // Never empty: a block must lie inside its chunk for its release to find the chunk.
    bytes = bytes == 0 ? 16 : (bytes + 15) & ~std::size_t{15};
    TreeCarver& c = treeCarver();
    if (static_cast<std::size_t>(c.limit - c.next) < bytes) return treeAllocateFromNewChunk(bytes);
    void* block = c.next;
    c.next += bytes;
    ++c.carved;
    ASAN_UNPOISON_MEMORY_REGION(block, bytes);
    return block;
}

// A block of `bytes` from treeAllocate, from any thread.
inline void treeRelease(void* block, [[maybe_unused]] std::size_t bytes) noexcept {
    ASAN_POISON_MEMORY_REGION(block, bytes);
    // A tree dies block after block in the order it was carved, so nearly every free lands in
    // the chunk of the one before: those are counted here, which spares an atomic operation
    // each, and the chunk hears of them when the thread frees into another chunk.
    TreeReleaser& r = treeReleaser();
    if ((reinterpret_cast<std::uintptr_t>(block) & ~(kTreeChunkBytes - 1)) == r.chunk) {
        ++r.pending;
        return;
    }
    treeReleaseIntoOtherChunk(block);
}

// The allocator of the containers in a value tree. All instances are interchangeable.
template <class T>
struct TreeAllocator {
    using value_type = T;

    TreeAllocator() noexcept = default;
    template <class U>
    TreeAllocator(const TreeAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        static_assert(alignof(T) <= 16);
        if (count > kTreeBlockLimit / sizeof(T)) return static_cast<T*>(::operator new(count * sizeof(T)));
        return static_cast<T*>(treeAllocate(count * sizeof(T)));
    }
    void deallocate(T* block, std::size_t count) noexcept {
        if (count > kTreeBlockLimit / sizeof(T)) ::operator delete(block, count * sizeof(T));
        else treeRelease(block, count * sizeof(T));
    }

    template <class U>
    friend bool operator==(const TreeAllocator&, const TreeAllocator<U>&) noexcept {
        return true;
    }
};

}  // namespace dv::detail
