#pragma once
// The measures the label layout prices its candidates with, closed axis-aligned regions, and a
// uniform grid that finds, among many regions, the few that may meet a query region.

#include "DVGeometry/ElementIndex.hpp"

#include <algorithm>
#include <array>
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
    bool meets(const Extent& b) const {
        return (minX <= b.maxX) & (minY <= b.maxY) & (b.minX <= maxX) & (b.minY <= maxY);
    }
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

/// How far from a rectangle a segment can lie and still get a non-zero `segmentRectClip`, for
/// coordinates up to `magnitude`: the clip takes an axis that moves by less than 1e-9 as still
/// and rounds by a few units in the last place, and this reach is far wider than both.
inline double clipReach(double magnitude) { return 1e-6 + 1e-9 * magnitude; }

/// Whether the whole rectangle lies on one side of the line through the segment, farther from
/// it than `reach` (`length` = jsHypot(x2 - x1, y2 - y1)). `segmentRectClip` of the two is then 0
/// when `reach` is `clipReach` of the largest magnitude among the coordinates, and this test,
/// free of divisions, is the cheaper way to learn it. False for any NaN.
inline bool lineClearOfRect(double x1, double y1, double x2, double y2, double length, const NormalizedRect& rect,
                            double reach) {
    const double dx = x2 - x1;
    const double dy = y2 - y1;
    // Twice the signed area spanned with each corner: the distance from the line times `length`.
    const double c00 = dx * (rect.y - y1) - dy * (rect.x - x1);
    const double c10 = c00 - dy * rect.w;
    const double c01 = c00 + dx * rect.h;
    const double c11 = c10 + dx * rect.h;
    const double limit = reach * length;
    // All four beyond the limit on one side: the nearest corner is. (Few branches, since the
    // search asks this of many segments; a NaN anywhere makes the sum NaN and the answer false.)
    const double low = std::min(std::min(c00, c10), std::min(c01, c11));
    const double high = std::max(std::max(c00, c10), std::max(c01, c11));
    const double all = c00 + c10 + c01 + c11 + limit;
    return ((low > limit) | (high < -limit)) & (all == all);
}

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
    bool candidates(const Extent& region, std::vector<std::uint32_t>& out) const;
    /// The same candidates passed to `visit` in no particular order, an item listed in several
    /// of the region's cells once per cell; false instead, visiting nothing, where `candidates`
    /// is.
    template <class Visit> bool visitCandidates(const Extent& region, Visit&& visit) const {
        if (count_ == 0) return true;
        if (std::isnan(region.minX) || std::isnan(region.minY) || std::isnan(region.maxX) || std::isnan(region.maxY)) {
            return false;
        }
        const CellRange r = range(region);
        if (r.x1 < r.x0 || r.y1 < r.y0) return false;
        std::size_t listed = wide_.size();
        for (std::size_t y = r.y0; y <= r.y1; ++y) {
            for (std::size_t x = r.x0; x <= r.x1; ++x) listed += cells_[y * cols_ + x].size();
        }
        if (listed * 4 >= count_ * 3) return false;
        for (std::size_t y = r.y0; y <= r.y1; ++y) {
            for (std::size_t x = r.x0; x <= r.x1; ++x) {
                for (std::uint32_t id : cells_[y * cols_ + x]) visit(id);
            }
        }
        for (std::uint32_t id : wide_) visit(id);
        return true;
    }

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
};

/// Square cells over a frame (cells outside it are clamped onto its border cells), and the cells
/// that an extent covers or that a segment passes through or comes within a margin of; the margin
/// is `clipReach` of the frame, so that a segment whose clip against a rectangle can come out
/// non-zero passes near one of the rectangle's cells. Long segments are walked cell by cell, not
/// listed by their extent. Meant for tame coordinates (below 1e15 in magnitude).
class CellLattice {
public:
    /// One cell.
    CellLattice() = default;
    /// About `cells` cells over `frame`, fewer when walking segments whose lengths add up to
    /// `span` would visit too many; one cell when the frame is not finite.
    CellLattice(const Extent& frame, double cells, double span);

    std::size_t size() const { return cols_ * rows_; }
    std::size_t columns() const { return cols_; }

    /// The cells of an extent (finite, min below max) as (first column, last column, first row,
    /// last row).
    std::array<std::size_t, 4> cellsOf(const Extent& e) const { return {column(e.minX), column(e.maxX), row(e.minY), row(e.maxY)}; }

    /// Calls `visit` once for each cell that the segment passes through or comes within the
    /// margin of. The segment is walked band by band along its longer axis, so that the other
    /// coordinate over one band is found with a slope of at most 1, whose rounding stays far
    /// below the margin.
    template <class Visit> void walk(double ax, double ay, double bx, double by, Visit&& visit) const {
        const double dx = bx - ax;
        const double dy = by - ay;
        const bool steep = std::fabs(dy) >= std::fabs(dx);
        // Along the walked axis (u) and across it (v).
        const double ua = steep ? ay : ax;
        const double va = steep ? ax : ay;
        const double du = steep ? dy : dx;
        const double dv = steep ? dx : dy;
        const double uLow = std::min(ua, ua + du);
        const double uHigh = std::max(ua, ua + du);
        const double vLow = std::min(va, va + dv);
        const double vHigh = std::max(va, va + dv);
        const double origin = steep ? originY_ : originX_;
        const double side = steep ? cellH_ : cellW_;
        const std::size_t bands = steep ? rows_ : cols_;
        const double perSide = steep ? perH_ : perW_;
        const std::size_t first = cell(uLow - margin_, origin, perSide, bands);
        const std::size_t last = cell(uHigh + margin_, origin, perSide, bands);
        for (std::size_t band = first; band <= last; ++band) {
            const double bandLow = band == 0 ? -HUGE_VAL : origin + static_cast<double>(band) * side - margin_;
            const double bandHigh = band + 1 == bands ? HUGE_VAL : origin + static_cast<double>(band + 1) * side + margin_;
            const double u0 = std::max(uLow, bandLow);
            const double u1 = std::min(uHigh, bandHigh);
            if (u0 > u1) continue;
            double v0 = vLow;
            double v1 = vHigh;
            if (du != 0) {
                const double slope = dv / du;
                const double at0 = va + (u0 - ua) * slope;
                const double at1 = va + (u1 - ua) * slope;
                v0 = std::min(at0, at1);
                v1 = std::max(at0, at1);
            }
            const std::size_t from = steep ? column(v0 - margin_) : row(v0 - margin_);
            const std::size_t to = steep ? column(v1 + margin_) : row(v1 + margin_);
            for (std::size_t across = from; across <= to; ++across) {
                visit(steep ? band * cols_ + across : across * cols_ + band);
            }
        }
    }

private:
    // The cell of v along one axis, clamped into the lattice. (Multiplying by the reciprocal
    // of the side may put a point on a border in the neighbouring cell; the margin covers it.)
    static std::size_t cell(double v, double origin, double perSide, std::size_t cells) {
        const double t = (v - origin) * perSide;
        if (!(t > 0)) return 0;
        if (t >= static_cast<double>(cells - 1)) return cells - 1;
        return static_cast<std::size_t>(t);
    }
    std::size_t column(double x) const { return cell(x, originX_, perW_, cols_); }
    std::size_t row(double y) const { return cell(y, originY_, perH_, rows_); }

    double originX_ = 0;
    double originY_ = 0;
    double cellW_ = 1;
    double cellH_ = 1;
    double perW_ = 1;
    double perH_ = 1;
    double margin_ = 0;
    std::size_t cols_ = 1;
    std::size_t rows_ = 1;
};

/// Items numbered 0, 1, 2, ... listed cell by cell (ascending within a cell), built once.
class CellLists {
public:
    /// Lists item i in every cell that `cellsOfItem(i, add)` passes to `add`.
    template <class CellsOf> void build(std::size_t cells, std::size_t items, CellsOf&& cellsOfItem) {
        start_.assign(cells + 1, 0);
        std::vector<std::uint32_t> cellOfEntry;
        std::vector<std::size_t> firstEntry(items + 1, 0);
        for (std::size_t i = 0; i < items; ++i) {
            firstEntry[i] = cellOfEntry.size();
            cellsOfItem(i, [&](std::size_t c) {
                cellOfEntry.push_back(static_cast<std::uint32_t>(c));
                ++start_[c + 1];
            });
        }
        firstEntry[items] = cellOfEntry.size();
        for (std::size_t c = 0; c < cells; ++c) start_[c + 1] += start_[c];
        items_.resize(start_[cells]);
        std::vector<std::uint32_t> fill(start_.begin(), start_.end() - 1);
        for (std::size_t i = 0; i < items; ++i) {
            for (std::size_t k = firstEntry[i]; k < firstEntry[i + 1]; ++k) {
                items_[fill[cellOfEntry[k]]++] = static_cast<std::uint32_t>(i);
            }
        }
    }
    const std::uint32_t* begin(std::size_t cell) const { return items_.data() + start_[cell]; }
    const std::uint32_t* end(std::size_t cell) const { return items_.data() + start_[cell + 1]; }

private:
    std::vector<std::uint32_t> start_;
    std::vector<std::uint32_t> items_;
};

/// Segments numbered 0, 1, 2, ... in the order added, each listed in the cells of a lattice that
/// it walks through. `candidates` answers, in ascending order, a superset of the segments whose
/// clip against a rectangle inside a region can come out non-zero.
class SegmentGrid {
public:
    /// Adds the next segment; nothing is listed until `build`.
    void add(double ax, double ay, double bx, double by);
    /// Lists the segments added so far in cells over `frame`, which must hold them all.
    void build(const Extent& frame);
    bool built() const { return built_; }

    /// Fills `out` with the candidate segments for `region` (finite, min below max), ascending.
    void candidates(const Extent& region, std::vector<std::uint32_t>& out) const;
    /// The same candidates passed to `visit` in no particular order, a segment that passes
    /// through several of the region's cells once per cell.
    template <class Visit> void visitCandidates(const Extent& region, Visit&& visit) const {
        if (segments_.empty()) return;
        const auto [x0, x1, y0, y1] = lattice_.cellsOf(region);
        for (std::size_t y = y0; y <= y1; ++y) {
            for (std::size_t x = x0; x <= x1; ++x) {
                const std::size_t c = y * lattice_.columns() + x;
                for (const std::uint32_t* it = lists_.begin(c); it != lists_.end(c); ++it) visit(*it);
            }
        }
    }
    std::size_t size() const { return segments_.size(); }

private:
    struct Ends {
        double ax, ay, bx, by;
    };
    std::vector<Ends> segments_;
    CellLattice lattice_;
    CellLists lists_;
    bool built_ = false;
};

} // namespace dv::detail
