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
#include <new>

namespace dv::detail {

inline constexpr std::size_t kTreeChunkBytes = std::size_t{64} << 10;
inline constexpr std::size_t kTreeBlockLimit = std::size_t{2} << 10;

// `bytes` at most kTreeBlockLimit; the block is aligned to 16 bytes.
void* treeAllocate(std::size_t bytes);
// A block of `bytes` from treeAllocate, from any thread.
void treeRelease(void* block, std::size_t bytes) noexcept;

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
