#pragma once
#include "Platform/Graphics/detail/BoxBlur.hpp"

#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>
#include <vector>

namespace dv::gfx::detail {

/// Blurred shadow masks of the shapes drawn so far on one picture. Boards repeat shapes (one
/// element type and size, moved by whole device pixels, or stacked), and a wide blur costs far
/// more than drawing the shape: a shape whose pixels equal those of one blurred before, under
/// the same blur, takes its mask from the kept one. A blurred pixel depends only on the shape's
/// pixels and, for a blur computed on a grid of cells, on where they lie within a cell, exactly,
/// so a kept mask gives the pixels a fresh blur gives.
///
/// Masks are kept up to a byte limit. When it is reached, masks that have not served a second
/// shape make room, oldest first; one that has stays. Shadows known to blur to nothing, and
/// masks too large for the limit, are not kept.
class ShadowMaskCache {
public:
    explicit ShadowMaskCache(std::size_t byteLimit) : byteLimit_(byteLimit) {}

    /// Returns what gaussianBlurAlpha(shape, dst, dstStride, cast, sigma) returns and, when that
    /// is true, writes the pixels it writes. It may also return false, leaving `dst` alone, when
    /// a bound shows that no pixel of the blur exceeds `faint`: the level at and below which a
    /// mask changes nothing of the picture it is laid on.
    bool blur(const AlphaPlane& shape, std::uint8_t* dst, int dstStride, const PixelWindow& cast, double sigma,
              int faint = 0);

    /// The same for a shape known by its cells, as gaussianBlurCells takes them: returns what
    /// gaussianBlurCells(cells, dst, dstStride, cast, sigma) returns and writes what it writes.
    /// Cells are kept apart from pixels, and a shape whose cells equal those of one blurred
    /// before, moved by whole cells, takes its blur, which is kept on the cells (a k × k-th of
    /// the pixels) and serves any window.
    bool blurCells(const AlphaPlane& cells, std::uint8_t* dst, int dstStride, const PixelWindow& cast, double sigma,
                   int faint = 0);

    /// Bytes held by the kept shapes and masks.
    std::size_t bytes() const { return bytes_; }
    /// Blurs answered from a kept mask so far.
    std::size_t hits() const { return hits_; }

    /// How far beyond the asked window a mask is blurred before it is kept, so that the same
    /// shape with a shadow moved by a few pixels (another offset, or a position a few pixels
    /// further on a picture edge) still finds it.
    static constexpr int SLACK = 8;

private:
    /// A shape in pixels (`cell` 1) or in cells of `cell` pixels.
    struct Shape {
        const AlphaPlane& plane;
        int cell;
    };
    bool blur(const Shape& shape, std::uint8_t* dst, int dstStride, const PixelWindow& cast, double sigma, int faint);

    struct Entry {
        std::uint64_t hash = 0;
        std::uint64_t sigmaBits = 0;
        int cell = 1;                    // of the shape: 1 for pixels
        int width = 0, height = 0;       // of the shape, in its cells
        int phaseX = 0, phaseY = 0;      // where the shape lies within the blur's cells
        std::vector<std::uint8_t> shape;  // rows packed
        // In pixels relative to the shape's corner, or for a shape on cells, the blurred cells
        // relative to its first cell.
        PixelWindow mask;
        std::vector<std::uint8_t> pixels; // rows of mask.width(), empty when every pixel is 0
        bool used = false;
        std::size_t size() const { return shape.capacity() + pixels.capacity() + sizeof(Entry); }
    };
    using Entries = std::list<Entry>;

    const Entry* find(std::uint64_t hash, std::uint64_t sigmaBits, const Shape& shape, const PixelWindow& cast);
    /// Takes the entry when room can be made for it; nullptr, leaving it alone, when not.
    const Entry* keep(Entry& entry);
    /// Drops an entry of `unused_`.
    void forget(Entries::iterator it);

    std::size_t byteLimit_;
    std::size_t bytes_ = 0;
    std::size_t hits_ = 0;
    Entries unused_;  // not yet asked for again, oldest first
    Entries used_;
    std::unordered_multimap<std::uint64_t, Entries::iterator> byHash_;
};

} // namespace dv::gfx::detail
