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
    seen_.push_back(0);
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

bool ExtentGrid::candidates(const Extent& region, std::vector<std::uint32_t>& out) {
    out.clear();
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

    if (++epoch_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0);
        epoch_ = 1;
    }
    for (std::size_t y = r.y0; y <= r.y1; ++y) {
        for (std::size_t x = r.x0; x <= r.x1; ++x) {
            for (std::uint32_t id : cells_[y * cols_ + x]) {
                if (seen_[id] != epoch_) {
                    seen_[id] = epoch_;
                    out.push_back(id);
                }
            }
        }
    }
    out.insert(out.end(), wide_.begin(), wide_.end());
    std::sort(out.begin(), out.end());
    return true;
}

namespace {

// Cells of a segment grid: about sixteen per segment, fewer when the segments are so long that
// listing them cell by cell would pass this many entries.
constexpr double kSegmentCellsPerSegment = 16;
constexpr double kMaxSegmentEntries = double(1 << 22);
constexpr double kMaxSegmentCells = double(1 << 20);
constexpr double kMaxSegmentCellsPerAxis = 4096;

std::size_t clampedCell(double v, double origin, double size, std::size_t cells) {
    const double t = (v - origin) / size;
    if (!(t > 0)) return 0;
    if (t >= static_cast<double>(cells - 1)) return cells - 1;
    return static_cast<std::size_t>(t);
}

std::size_t axisCells(double length, double side) {
    if (!(length > 0) || !(side > 0)) return 1;
    return static_cast<std::size_t>(std::clamp(std::ceil(length / side), 1.0, kMaxSegmentCellsPerAxis));
}

} // namespace

void SegmentGrid::add(double ax, double ay, double bx, double by) {
    segments_.push_back({ax, ay, bx, by});
    seen_.push_back(0);
}

inline std::size_t SegmentGrid::column(double x) const { return clampedCell(x, originX_, cellW_, cols_); }
inline std::size_t SegmentGrid::row(double y) const { return clampedCell(y, originY_, cellH_, rows_); }

// Calls `visit` once for each cell that the segment passes through or comes within the margin
// of. The segment is walked band by band along its longer axis, so that the other coordinate
// over one band is found with a slope of at most 1, whose rounding stays far below the margin.
template <class Visit> void SegmentGrid::cellsOf(const Ends& s, Visit&& visit) const {
    const double dx = s.bx - s.ax;
    const double dy = s.by - s.ay;
    const bool steep = std::fabs(dy) >= std::fabs(dx);
    // Along the walked axis (u) and across it (v).
    const double ua = steep ? s.ay : s.ax;
    const double va = steep ? s.ax : s.ay;
    const double du = steep ? dy : dx;
    const double dv = steep ? dx : dy;
    const double uLow = std::min(ua, ua + du);
    const double uHigh = std::max(ua, ua + du);
    const double vLow = std::min(va, va + dv);
    const double vHigh = std::max(va, va + dv);
    const double origin = steep ? originY_ : originX_;
    const double side = steep ? cellH_ : cellW_;
    const std::size_t bands = steep ? rows_ : cols_;
    auto bandOf = [&](double u) { return clampedCell(u, origin, side, bands); };
    auto acrossOf = [&](double v) { return steep ? column(v) : row(v); };
    const std::size_t first = bandOf(uLow - margin_);
    const std::size_t last = bandOf(uHigh + margin_);
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
        const std::size_t from = acrossOf(v0 - margin_);
        const std::size_t to = acrossOf(v1 + margin_);
        for (std::size_t across = from; across <= to; ++across) {
            visit(steep ? band * cols_ + across : across * cols_ + band);
        }
    }
}

void SegmentGrid::build(const Extent& frame) {
    const double width = frame.maxX - frame.minX;
    const double height = frame.maxY - frame.minY;
    cols_ = rows_ = 1;
    originX_ = originY_ = 0;
    cellW_ = cellH_ = 1;
    margin_ = 0;
    if (std::isfinite(width) && std::isfinite(height) && width >= 0 && height >= 0) {
        const double magnitude = std::max({std::fabs(frame.minX), std::fabs(frame.maxX), std::fabs(frame.minY),
                                           std::fabs(frame.maxY)});
        // Clipping treats an axis moving by less than 1e-9 as still, and rounds by a few units in
        // the last place of the coordinates; the margin is far wider than both.
        margin_ = 1e-6 + 1e-9 * magnitude;
        double span = 0;
        for (const Ends& s : segments_) span += std::fabs(s.bx - s.ax) + std::fabs(s.by - s.ay);
        const double cells =
            std::clamp(kSegmentCellsPerSegment * static_cast<double>(segments_.size()), 1.0, kMaxSegmentCells);
        double side = width > 0 && height > 0 ? std::sqrt(width * height / cells) : std::max(width, height) / cells;
        side = std::max(side, span / kMaxSegmentEntries);
        cols_ = axisCells(width, side);
        rows_ = axisCells(height, side);
        originX_ = frame.minX;
        originY_ = frame.minY;
        cellW_ = width > 0 ? width / static_cast<double>(cols_) : 1;
        cellH_ = height > 0 ? height / static_cast<double>(rows_) : 1;
    }
    // One walk of every segment notes its cells; a counting sort by cell then lists each cell's
    // segments in ascending order.
    const std::size_t cellCount = cols_ * rows_;
    std::vector<std::uint32_t> cellOfEntry;
    std::vector<std::size_t> firstEntry;
    firstEntry.reserve(segments_.size() + 1);
    start_.assign(cellCount + 1, 0);
    for (const Ends& s : segments_) {
        firstEntry.push_back(cellOfEntry.size());
        cellsOf(s, [&](std::size_t c) {
            cellOfEntry.push_back(static_cast<std::uint32_t>(c));
            ++start_[c + 1];
        });
    }
    firstEntry.push_back(cellOfEntry.size());
    for (std::size_t c = 0; c < cellCount; ++c) start_[c + 1] += start_[c];
    items_.resize(start_[cellCount]);
    std::vector<std::uint32_t> fill(start_.begin(), start_.end() - 1);
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        for (std::size_t k = firstEntry[i]; k < firstEntry[i + 1]; ++k) {
            items_[fill[cellOfEntry[k]]++] = static_cast<std::uint32_t>(i);
        }
    }
}

void SegmentGrid::candidates(const Extent& region, std::vector<std::uint32_t>& out) {
    out.clear();
    if (segments_.empty()) return;
    if (++epoch_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0);
        epoch_ = 1;
    }
    const std::size_t x0 = column(region.minX);
    const std::size_t x1 = column(region.maxX);
    const std::size_t y0 = row(region.minY);
    const std::size_t y1 = row(region.maxY);
    for (std::size_t y = y0; y <= y1; ++y) {
        for (std::size_t x = x0; x <= x1; ++x) {
            const std::size_t c = y * cols_ + x;
            for (std::uint32_t k = start_[c]; k < start_[c + 1]; ++k) {
                const std::uint32_t id = items_[k];
                if (seen_[id] != epoch_) {
                    seen_[id] = epoch_;
                    out.push_back(id);
                }
            }
        }
    }
    std::sort(out.begin(), out.end());
}

} // namespace dv::detail
