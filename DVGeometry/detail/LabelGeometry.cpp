#include "DVGeometry/detail/LabelGeometry.hpp"

#include "DVModel/JSNumber.hpp"

#include <algorithm>
#include <cmath>

namespace dv::detail {

namespace {

// Items covering more cells than this are kept aside and answered by every query.
constexpr std::size_t kWideCells = 64;
constexpr std::size_t kMaxCellsPerAxis = 256;

double lesser(double a, double b) { return b < a ? b : a; }
double greater(double a, double b) { return b > a ? b : a; }

} // namespace

const Extent& Extent::infinite() {
    static const Extent value{-HUGE_VAL, -HUGE_VAL, HUGE_VAL, HUGE_VAL};
    return value;
}

Extent extentOfSegment(double ax, double ay, double bx, double by) {
    const Extent e{lesser(ax, bx), lesser(ay, by), greater(ax, bx), greater(ay, by)};
    if (std::isnan(e.minX) || std::isnan(e.minY) || std::isnan(e.maxX) || std::isnan(e.maxY)) return Extent::infinite();
    return e;
}

Extent extentOfRect(const NormalizedRect& r) { return extentOfSegment(r.x, r.y, r.x + r.w, r.y + r.h); }

double segmentRectClip(double x1, double y1, double x2, double y2, const NormalizedRect& rect) {
    return segmentRectClip(x1, y1, x2, y2, jsHypot(x2 - x1, y2 - y1), rect);
}

ExtentGrid::ExtentGrid(const Extent& frame, std::size_t expectedItems) {
    const double width = frame.maxX - frame.minX;
    const double height = frame.maxY - frame.minY;
    if (!(std::isfinite(width) && std::isfinite(height) && width >= 0 && height >= 0)) {
        cells_.resize(1);
        return;
    }
    std::size_t side = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(expectedItems))));
    side = std::clamp<std::size_t>(side, 1, kMaxCellsPerAxis);
    cols_ = rows_ = side;
    originX_ = frame.minX;
    originY_ = frame.minY;
    cellW_ = width > 0 ? width / static_cast<double>(cols_) : 1;
    cellH_ = height > 0 ? height / static_cast<double>(rows_) : 1;
    cells_.resize(cols_ * rows_);
}

std::size_t ExtentGrid::cellOf(double v, double origin, double size, std::size_t cells) {
    // Clamped into the grid: the clamp keeps two overlapping ranges overlapping, so an item
    // outside the frame still lands where every query that could meet it looks.
    const double t = (v - origin) / size;
    if (!(t > 0)) return 0;
    if (t >= static_cast<double>(cells - 1)) return cells - 1;
    return static_cast<std::size_t>(t);
}

ExtentGrid::CellRange ExtentGrid::range(const Extent& e) const {
    return {cellOf(e.minX, originX_, cellW_, cols_), cellOf(e.maxX, originX_, cellW_, cols_),
            cellOf(e.minY, originY_, cellH_, rows_), cellOf(e.maxY, originY_, cellH_, rows_)};
}

void ExtentGrid::insert(const Extent& extent) {
    const auto id = static_cast<std::uint32_t>(count_++);
    // A NaN bound (which the extents built here never hold) would make the clamped range
    // meaningless; such an item is answered by every query.
    if (std::isnan(extent.minX) || std::isnan(extent.minY) || std::isnan(extent.maxX) || std::isnan(extent.maxY)) {
        wide_.push_back(id);
        return;
    }
    const CellRange r = range(extent);
    if (r.x1 < r.x0 || r.y1 < r.y0 || (r.x1 - r.x0 + 1) * (r.y1 - r.y0 + 1) > kWideCells) {
        wide_.push_back(id);
        return;
    }
    for (std::size_t y = r.y0; y <= r.y1; ++y) {
        for (std::size_t x = r.x0; x <= r.x1; ++x) cells_[y * cols_ + x].push_back(id);
    }
}

bool ExtentGrid::candidates(const Extent& region, std::vector<std::uint32_t>& out) const {
    out.clear();
    if (!visitCandidates(region, [&out](std::uint32_t id) { out.push_back(id); })) return false;
    // An item listed in several cells is answered once.
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return true;
}

namespace {

// Cells of a lattice are kept below these counts, and so is the number of cells that walking all
// the segments visits.
constexpr double kMaxLatticeCells = double(1 << 20);
constexpr double kMaxLatticeCellsPerAxis = 4096;
constexpr double kMaxLatticeVisits = double(1 << 22);
// Cells of a segment grid: about eight per segment.
constexpr double kSegmentCellsPerSegment = 8;

std::size_t axisCells(double length, double side) {
    if (!(length > 0) || !(side > 0)) return 1;
    return static_cast<std::size_t>(std::clamp(std::ceil(length / side), 1.0, kMaxLatticeCellsPerAxis));
}

} // namespace

CellLattice::CellLattice(const Extent& frame, double cells, double span) {
    const double width = frame.maxX - frame.minX;
    const double height = frame.maxY - frame.minY;
    if (!(std::isfinite(width) && std::isfinite(height) && width >= 0 && height >= 0)) return;
    margin_ = clipReach(std::max({std::fabs(frame.minX), std::fabs(frame.maxX), std::fabs(frame.minY), std::fabs(frame.maxY)}));
    cells = std::clamp(cells, 1.0, kMaxLatticeCells);
    double side = width > 0 && height > 0 ? std::sqrt(width * height / cells) : std::max(width, height) / cells;
    side = std::max(side, span / kMaxLatticeVisits);
    cols_ = axisCells(width, side);
    rows_ = axisCells(height, side);
    originX_ = frame.minX;
    originY_ = frame.minY;
    cellW_ = width > 0 ? width / static_cast<double>(cols_) : 1;
    cellH_ = height > 0 ? height / static_cast<double>(rows_) : 1;
    perW_ = 1 / cellW_;
    perH_ = 1 / cellH_;
}

void SegmentGrid::add(double ax, double ay, double bx, double by) {
    segments_.push_back({ax, ay, bx, by});
}

void SegmentGrid::build(const Extent& frame) {
    double span = 0;
    for (const Ends& s : segments_) span += std::fabs(s.bx - s.ax) + std::fabs(s.by - s.ay);
    lattice_ = CellLattice(frame, kSegmentCellsPerSegment * static_cast<double>(segments_.size()), span);
    lists_.build(lattice_.size(), segments_.size(), [&](std::size_t i, auto&& add) {
        const Ends& s = segments_[i];
        lattice_.walk(s.ax, s.ay, s.bx, s.by, add);
    });
    built_ = true;
}

void SegmentGrid::candidates(const Extent& region, std::vector<std::uint32_t>& out) const {
    out.clear();
    visitCandidates(region, [&out](std::uint32_t id) { out.push_back(id); });
    // A segment that passes through several of the cells is answered once.
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
}

} // namespace dv::detail
