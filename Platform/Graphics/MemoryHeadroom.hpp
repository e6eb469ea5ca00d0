#pragma once
// Memory a drawing call is about to ask of cairo, checked before the call. cairo answers some
// failed allocations (the edges of a shape it is about to fill, kept in pools it grows while
// the shape is added) with a jump to a frame that is not there yet, and the process dies; so
// under an address-space or data limit the memory such a call takes must be known to be there
// before cairo is called.

#include <cstddef>
#include <optional>

namespace dv::gfx {

/// Address space cairo may take for each edge of a shape it fills: the path (9 bytes a point),
/// its polygon while it doubles (28 bytes an edge, its copy and the half not yet used) and the
/// rasteriser's edge. Fills of 100,000 and 1,000,000 edges were measured to touch 92 bytes an
/// edge at their peak, and to reserve about 120.
inline constexpr std::size_t CAIRO_BYTES_PER_EDGE = 128;
/// Calls of fewer edges are not checked: cairo keeps that many edges within its own structures.
inline constexpr double CAIRO_UNCHECKED_EDGES = 32;

/// The memory of one call into cairo, promised for as long as the promise lives. Without an
/// address-space or data limit every promise is kept at no cost. Under one, a promise is kept
/// when the limit leaves room for it and a quarter more, for every other promise still held
/// (bands draw at once) and for a margin taken by the allocations around them.
class MemoryPromise {
public:
    explicit MemoryPromise(std::size_t bytes);
    ~MemoryPromise();
    MemoryPromise(const MemoryPromise&) = delete;
    MemoryPromise& operator=(const MemoryPromise&) = delete;

    bool kept() const { return kept_; }

private:
    std::size_t bytes_ = 0;
    bool held_ = false;
    bool kept_ = true;
};

/// Whether promises are checked at all (a limit is set, or a test pretends one): callers
/// reckon what a call will cost only then.
bool checksMemory();

/// The smaller of the process's address-space and data limits, read once; nothing when neither
/// is set.
std::optional<std::size_t> processMemoryLimit();

namespace detail {
/// Tests: pretend that only `bytes` more can be had (nothing: ask the system again).
void setMemoryHeadroomForTesting(std::optional<std::size_t> bytes);
}  // namespace detail

}  // namespace dv::gfx
