#pragma once
// A fill whose edges cross the picture by the ten thousand (a polygon zigzagging across a range
// a few hundred times wider than the picture) costs cairo every edge on every one of its sample
// rows, and its sorting of the edges grows faster still where they cross each other: a
// 100,000-point zigzag took eight seconds at 256 pixels. Where the edges neither coincide on
// cairo's grid nor cancel, most pixels are still decided by the winding number alone.
//
// The picture is therefore examined pixel by pixel first. A pixel no edge touches takes the
// winding number of its corner; with the nonzero rule, a pixel whose corner winds further than
// the edges touching it can unwind is covered whole. Only the remaining pixels go to cairo, each
// as what decides it within it: the winding carried in from its left side (as whole-pixel
// rectangles, and steps where an edge crosses that side) and the parts of the edges inside it,
// closed along its right side, where they change nothing inside it. Level edges at one height
// are summed along the row first, and parts lying only where the left side's winding is beyond
// their reach are left out. Where all the parts in a pixel run one way, the winding is zero at
// most between two neighbouring parts: the pixel goes whole with that gap cut out, its sides
// followed to within 1/512 of a pixel. Within such pixels cairo then finds the same coverage,
// up to the rounding of the cut ends to its grid.
#include "Platform/Graphics/detail/GuardBox.hpp"

#include <array>
#include <climits>
#include <cstddef>
#include <optional>
#include <vector>

namespace dv::gfx::detail {

/// Device pixels [x0, x1) × [y0, y1).
struct PixelRange {
    int x0, y0, x1, y1;
};

/// Device rows [top, bottom).
struct PixelRows {
    int top = INT_MIN, bottom = INT_MAX;
};

/// What one call did itself, with the idle band threads it took in; calls filling the same path
/// within the same window at once (or soon after one another) share the rest.
struct SparseFillWork {
    std::size_t rowsWeighed = 0;      // rows of the window whose pixels it weighed
    std::size_t edgeRowsVisited = 0;  // rows crossed by an edge, counted for each edge, as it weighed them
    std::size_t pixelsDrawn = 0;      // undecided pixels it drew
};

/// Paths crossing fewer pixel rows than this in all (an edge counted once for every row it
/// crosses) are left to cairo: it fills them quickly enough.
inline constexpr double SPARSE_FILL_MIN_EDGE_ROWS = 1 << 21;

/// Largest window examined: the counts take two words a pixel.
inline constexpr long long SPARSE_FILL_MAX_PIXELS = 1 << 22;

/// A closed loop of four corners.
using Quad = std::array<Vec2, 4>;

/// Closed subpaths (each implicitly closed) in device pixels, as closed four-cornered loops that
/// fill the same pixels within `window` under the nonzero rule. Absent under the even-odd rule
/// (every pixel an edge touches would stay undecided), when the path is too light to bother, the
/// window too large, or the pixels left undecided would hand cairo more than `maxUndecidedShare`
/// of the work. Whether the path qualifies is the window's to say, but only the loops of the
/// pixels in `rows` (and of a few rows beside them) are returned: within those rows they are the
/// loops the whole window has there, and the pixels cairo fills from them are the same.
std::optional<std::vector<Quad>> sparseFill(const std::vector<std::vector<Vec2>>& subpaths,
                                          bool evenOdd, PixelRange window,
                                          double minEdgeRows = SPARSE_FILL_MIN_EDGE_ROWS,
                                          double maxUndecidedShare = 0.5, PixelRows rows = {},
                                          SparseFillWork* work = nullptr);

} // namespace dv::gfx::detail
