#pragma once
// A filled path that runs along an edge and later back along the same edge adds nothing to the
// winding number anywhere: the two crossings cancel. Outlines far thinner than a device pixel
// are made almost wholly of such pairs once cairo has rounded their points to its 1/256 grid,
// and its rasteriser pays for every edge that crosses a row, which for long criss-crossing
// strokes grows with the square of the edge count (a 100,000-point zigzag stroke took half a
// minute to fill at 256 pixels).
//
// The rasteriser does not only sum directions, though: where no edge lies within one grid step
// it closes a span, so an edge whose runs cancel still counts by being there. Each edge is
// therefore kept once for every run it has beyond the runs back, and an edge whose runs
// balance is kept as one run each way. Where many edges crowd into one pixel, cairo's
// anti-aliasing can still move by a few levels in a few pixels; only paths that lose most of
// their edges are changed at all, which ordinary strokes never do.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace dv::gfx::detail {

/// A point on cairo's fixed-point grid, in units of 1/256 device pixel.
struct GridPoint {
    std::int64_t x, y;
    bool operator==(const GridPoint&) const = default;
};

/// A device point as cairo stores it: rounded to the nearest 1/256, ties to even; absent for a
/// point beyond ±2^22. Inline, as a long path converts every one of its points.
inline std::optional<GridPoint> gridPoint(double x, double y) {
    // Well inside cairo's range of ±2^23, so that products of two differences fit in 64 bits.
    constexpr double limit = 4194304.0;  // 2^22
    if (!(std::fabs(x) < limit && std::fabs(y) < limit)) return std::nullopt;
    // Scaling by 256 is exact; rounding is left to the current mode, nearest-even unless changed,
    // which is what cairo's own conversion relies on too.
    return GridPoint{static_cast<std::int64_t>(std::rint(x * 256)), static_cast<std::int64_t>(std::rint(y * 256))};
}

/// Collects a path on the grid as cairo keeps it: a point equal to the current one is skipped,
/// a point that carries on in the direction of the last edge replaces that edge's end, and
/// closing drops a last point that lies on the closing edge.
class GridPath {
public:
    /// Room for the first subpath to take `points` without moving.
    void reserve(std::size_t points);
    void moveTo(GridPoint p);
    void lineTo(GridPoint p) {
        if (subpaths_.empty()) return moveTo(p);
        std::vector<GridPoint>& path = subpaths_.back();
        const GridPoint current = path.back();
        if (p == current) return;
        if (path.size() >= 2) {
            const GridPoint previous = path[path.size() - 2];
            const std::int64_t ax = current.x - previous.x, ay = current.y - previous.y;
            const std::int64_t bx = p.x - current.x, by = p.y - current.y;
            // Same slope and neither coordinate turning back.
            if (ay * bx == by * ax && ((ax ^ bx) | (ay ^ by)) >= 0) path.pop_back();
        }
        path.push_back(p);
    }
    void close();
    const std::vector<std::vector<GridPoint>>& subpaths() const { return subpaths_; }
    std::vector<std::vector<GridPoint>> takeSubpaths() && { return std::move(subpaths_); }

private:
    std::vector<std::vector<GridPoint>> subpaths_;
    std::size_t reserved_ = 0;
};

/// Paths with fewer edges than this are filled as they are: the pairs cost them little.
inline constexpr std::size_t OPPOSED_EDGES_MIN_EDGES = 4096;

/// The runs of a path's edges as dropOpposedEdges tallies them, for the fills that merge the same
/// runs (see BandedFill.hpp): the edges of non-zero height, and how many distinct ones among them
/// are run more often one way than the other. `known` only once every edge was tallied.
/// `hardlyCoincide` when a sample of the edges alone showed that few of them lie on another
/// (see dropOpposedEdges): nothing was tallied, and merging runs would keep nearly every edge.
struct EdgeRunCounts {
    bool known = false;
    std::size_t sloped = 0, slopedLeft = 0;
    bool hardlyCoincide = false;
};

/// The closed subpaths (each implicitly closed from its last point to its first) with their
/// opposite runs of an edge cancelled as above, rejoined into closed subpaths. Absent when the
/// path has fewer than `minEdges` edges of non-zero length, would keep more than half of them or
/// has a point beyond 32 bits (never one from gridPoint). A long path is refused at once when,
/// of an even sample of its edges, fewer than one in eight lies on the same two points as
/// another edge: it would keep nearly all of them (a scribble crossing itself), and tallying
/// half a million edges cost more than the fill it was meant to save.
std::optional<std::vector<std::vector<GridPoint>>> dropOpposedEdges(
    const std::vector<std::vector<GridPoint>>& subpaths, std::size_t minEdges = OPPOSED_EDGES_MIN_EDGES,
    EdgeRunCounts* runs = nullptr);

} // namespace dv::gfx::detail
