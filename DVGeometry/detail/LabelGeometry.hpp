#pragma once
// The measures the label layout prices its candidates with, closed axis-aligned regions, and a
// uniform grid that finds, among many regions, the few that may meet a query region.

#include "DVGeometry/ElementIndex.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dv::detail {

struct Extent {
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;

    static const Extent& infinite();
    /// Touching edges meet; any comparison with NaN fails.
    bool meets(const Extent& b) const { return minX <= b.maxX && minY <= b.maxY && b.minX <= maxX && b.minY <= maxY; }
    bool operator==(const Extent&) const = default;
};

/// The extent of a rectangle whose width or height may be negative; infinite when any bound is NaN.
Extent extentOfRect(const NormalizedRect& rect);
/// The extent of the segment from (ax, ay) to (bx, by), built the same way.
Extent extentOfSegment(double ax, double ay, double bx, double by);

// The label search prices millions of candidate-obstacle pairs, so these measures are inline,
// with two-operand forms of jsMin and jsMax that give the same results (NaN first, -0 below +0).
inline double min2(double a, double b) {
    if (std::isnan(a)) return a;
    if (std::isnan(b)) return b;
    if (b < a || (b == 0 && a == 0 && std::signbit(b))) return b;
    return a;
}
inline double max2(double a, double b) {
    if (std::isnan(a)) return a;
    if (std::isnan(b)) return b;
    if (b > a || (b == 0 && a == 0 && !std::signbit(b))) return b;
    return a;
}

/// One axis of the parametric clipping below: narrows [t0, t1] to the part of the segment
/// (start, start + delta) inside [low, low + extent]; false when nothing of it is left.
inline bool clipAxis(double start, double delta, double low, double extent, double& t0, double& t1) {
    if (std::fabs(delta) < 1e-9) return !(start < low || start > low + extent);
    const double ta = (low - start) / delta;
    const double tb = (low + extent - start) / delta;
    t0 = max2(t0, delta > 0 ? ta : tb);
    t1 = min2(t1, delta > 0 ? tb : ta);
    return !(t0 > t1);
}

/// Length of the part of the segment (x1, y1)-(x2, y2) inside the closed rectangle, by
/// parametric clipping one axis after the other, with the segment's length given (`length` =
/// jsHypot(x2 - x1, y2 - y1)). NaN inputs give NaN.
inline double segmentRectClip(double x1, double y1, double x2, double y2, double length, const NormalizedRect& rect) {
    double t0 = 0;
    double t1 = 1;
    if (!clipAxis(x1, x2 - x1, rect.x, rect.w, t0, t1)) return 0;
    if (!clipAxis(y1, y2 - y1, rect.y, rect.h, t0, t1)) return 0;
    return length * (t1 - t0);
}

double segmentRectClip(double x1, double y1, double x2, double y2, const NormalizedRect& rect);

/// Area shared by two rectangles; 0 when they only touch, and for any NaN.
inline double overlapArea(const NormalizedRect& a, const NormalizedRect& b) {
    const double width = min2(a.x + a.w, b.x + b.w) - max2(a.x, b.x);
    const double height = min2(a.y + a.h, b.y + b.h) - max2(a.y, b.y);
    if (width > 0 && height > 0) return width * height;
    return 0;
}

/// Items numbered 0, 1, 2, ... in insertion order, each with an extent. `candidates` answers a
/// superset of the items whose extent meets a region, in ascending order, so that a caller that
/// then tests each one exactly sees the same items in the same order as a scan of all of them.
class ExtentGrid {
public:
    /// A grid over `frame` sized for about `expectedItems` items; a frame that is empty or not
    /// finite makes one cell (every query then answers every item).
    ExtentGrid(const Extent& frame, std::size_t expectedItems);

    /// Adds the next item.
    void insert(const Extent& extent);
    std::size_t size() const { return count_; }

    /// Fills `out` with the candidate items for `region`, ascending. Returns false instead when
    /// the candidates would be most items anyway: then every item is a candidate and `out` is
    /// left alone.
    bool candidates(const Extent& region, std::vector<std::uint32_t>& out);

private:
    struct CellRange {
        std::size_t x0, x1, y0, y1;
    };
    CellRange range(const Extent& e) const;
    static std::size_t cellOf(double v, double origin, double size, std::size_t cells);

    double originX_ = 0;
    double originY_ = 0;
    double cellW_ = 1;
    double cellH_ = 1;
    std::size_t cols_ = 1;
    std::size_t rows_ = 1;
    std::size_t count_ = 0;
    std::vector<std::vector<std::uint32_t>> cells_;
    // Items too large to list cell by cell; every query answers them.
    std::vector<std::uint32_t> wide_;
    std::vector<std::uint32_t> seen_;
    std::uint32_t epoch_ = 0;
};

/// Segments numbered 0, 1, 2, ... in the order added, each listed in every cell it passes through
/// or comes within a small margin of (not every cell of its extent: a long diagonal stroke stays
/// in few cells). `candidates` answers, in ascending order, a superset of the segments that come
/// near a region; the margin is far wider than the rounding of `segmentRectClip`, so every
/// segment whose clip against a rectangle inside the region can come out non-zero is among them.
/// Meant for tame coordinates (below 1e15 in magnitude).
class SegmentGrid {
public:
    /// Adds the next segment; nothing is listed until `build`.
    void add(double ax, double ay, double bx, double by);
    /// Lists the segments added so far in cells over `frame`, which must hold them all.
    void build(const Extent& frame);

    /// Fills `out` with the candidate segments for `region` (finite, min below max), ascending.
    void candidates(const Extent& region, std::vector<std::uint32_t>& out);

private:
    struct Ends {
        double ax, ay, bx, by;
    };
    template <class Visit> void cellsOf(const Ends& s, Visit&& visit) const;
    std::size_t column(double x) const;
    std::size_t row(double y) const;

    std::vector<Ends> segments_;
    double originX_ = 0;
    double originY_ = 0;
    double cellW_ = 1;
    double cellH_ = 1;
    double margin_ = 0;
    std::size_t cols_ = 1;
    std::size_t rows_ = 1;
    // Cell c lists items_[start_[c]] to items_[start_[c + 1]], ascending.
    std::vector<std::uint32_t> start_;
    std::vector<std::uint32_t> items_;
    std::vector<std::uint32_t> seen_;
    std::uint32_t epoch_ = 0;
};

} // namespace dv::detail
