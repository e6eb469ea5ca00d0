#include "Platform/Graphics/detail/BandedFill.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <tuple>

namespace dv::gfx::detail {

namespace {

// An edge going down the page (y0 < y1) with the winding it adds.
struct WeightedEdge {
    std::int64_t x0, y0, x1, y1;
    long winding;

    double xAt(double y) const {
        // Clamped to the edge itself: an almost level edge must not swing far outside its ends.
        const double t = std::clamp((y - static_cast<double>(y0)) / static_cast<double>(y1 - y0), 0.0, 1.0);
        return static_cast<double>(x0) + t * static_cast<double>(x1 - x0);
    }
};

// cairo samples each pixel row at 15 rows of its own, an edge taking part in the rows its
// rounded ends span. The bands are those rows, so that cairo finds in each band's trapezoids the
// spans it would have found among the edges themselves.
constexpr std::int64_t ROWS_PER_PIXEL = 15;

// Tiles of this many pixel rows are drawn afresh.
constexpr std::int64_t TILE_PIXEL_ROWS = 256;
constexpr std::int64_t TILE_ROWS = TILE_PIXEL_ROWS * ROWS_PER_PIXEL;
// The smallest power of two no shorter than a tile.
constexpr std::int64_t MAX_STRIDE = std::bit_ceil(static_cast<std::uint64_t>(TILE_ROWS));

std::int64_t floorDivide(std::int64_t a, std::int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

std::int64_t sampleRow(std::int64_t gridY) {
    const std::int64_t scaled = gridY * ROWS_PER_PIXEL + 128;
    return scaled >= 0 ? scaled / 256 : -((-scaled + 255) / 256);
}

std::vector<WeightedEdge> mergedEdges(const std::vector<std::vector<GridPoint>>& subpaths, std::size_t& edgeCount) {
    std::vector<WeightedEdge> edges;
    edgeCount = 0;
    for (const auto& path : subpaths) {
        for (std::size_t i = 0; i < path.size(); ++i) {
            const GridPoint a = path[i];
            const GridPoint b = path[i + 1 < path.size() ? i + 1 : 0];
            if (a.y == b.y) continue;  // level edges change no winding
            ++edgeCount;
            if (a.y < b.y) edges.push_back({a.x, a.y, b.x, b.y, 1});
            else edges.push_back({b.x, b.y, a.x, a.y, -1});
        }
    }
    auto key = [](const WeightedEdge& e) { return std::tie(e.y0, e.x0, e.y1, e.x1); };
    std::sort(edges.begin(), edges.end(), [&](const WeightedEdge& a, const WeightedEdge& b) { return key(a) < key(b); });
    std::size_t out = 0;
    for (std::size_t i = 0; i < edges.size();) {
        WeightedEdge merged = edges[i];
        std::size_t j = i + 1;
        for (; j < edges.size() && key(edges[j]) == key(merged); ++j) merged.winding += edges[j].winding;
        if (merged.winding != 0) edges[out++] = merged;
        i = j;
    }
    edges.resize(out);
    return edges;  // sorted by their top
}

} // namespace

std::optional<std::vector<Trapezoid>> bandedFill(const std::vector<std::vector<GridPoint>>& subpaths, bool evenOdd,
                                                 double rowTop, double rowBottom, std::size_t minEdges,
                                                 const EdgeRunCounts* runs) {
    std::size_t edgeCount = 0;
    for (const auto& path : subpaths) edgeCount += path.size();
    if (edgeCount < minEdges) return std::nullopt;
    // A sample showed that merging would keep nearly every edge.
    if (runs && runs->hardlyCoincide) return std::nullopt;
    // The tally's edges of non-zero height are those merged below, and the ones it leaves run
    // more one way are those whose winding does not sum to zero: the test below, made early.
    if (runs && runs->known && (runs->sloped < minEdges || runs->slopedLeft * 2 > runs->sloped)) return std::nullopt;
    const std::vector<WeightedEdge> edges = mergedEdges(subpaths, edgeCount);
    if (edgeCount < minEdges || edges.size() * 2 > edgeCount) return std::nullopt;

    std::vector<Trapezoid> out;
    if (edges.empty() || !(rowTop < rowBottom)) return out;
    std::int64_t yEnd = edges.front().y1;
    for (const auto& e : edges) yEnd = std::max(yEnd, e.y1);
    // The rows are taken a tile at a time, from the tile holding the first visible row to the
    // one holding the last, and each tile starts afresh: the trapezoids of a tile, and so every
    // pixel, do not depend on which rows are visible (a picture drawn in bands is the same to
    // the bit as one drawn at once).
    const double clipTop = std::floor(std::fmax(rowTop, -4194304)), clipBottom = std::ceil(std::fmin(rowBottom, 4194304));
    const std::int64_t tileTop = floorDivide(static_cast<std::int64_t>(clipTop), TILE_PIXEL_ROWS) * TILE_ROWS;
    const std::int64_t tileBottom = -floorDivide(-static_cast<std::int64_t>(clipBottom), TILE_PIXEL_ROWS) * TILE_ROWS;
    const std::int64_t first = std::max(sampleRow(edges.front().y0), tileTop);
    const std::int64_t last = std::min(sampleRow(yEnd), tileBottom);
    if (first >= last) return out;
    auto gridY = [](std::int64_t row) { return static_cast<double>(row) * 256 / ROWS_PER_PIXEL; };

    // Spans open since row `since`, each between two edges; they carry on while the next row has
    // the same spans between the same edges.
    struct Span {
        std::size_t left, right;
        bool operator==(const Span&) const = default;
    };
    std::vector<Span> open, spans;
    std::int64_t since = first;
    auto close = [&](std::int64_t row) {
        const double from = gridY(since), to = gridY(row);
        for (const Span& s : open) {
            const WeightedEdge& l = edges[s.left];
            const WeightedEdge& r = edges[s.right];
            out.push_back({BandPoint{l.xAt(from) / 256, from / 256}, BandPoint{r.xAt(from) / 256, from / 256},
                           BandPoint{r.xAt(to) / 256, to / 256}, BandPoint{l.xAt(to) / 256, to / 256}});
        }
        open.clear();
    };

    std::vector<std::size_t> active;
    std::vector<double> xs(edges.size());
    auto middleOf = [&](std::int64_t row) { return gridY(row) + 128.0 / ROWS_PER_PIXEL; };
    // Whether the active edges keep their order at `row`.
    auto keepsOrder = [&](std::int64_t row) {
        const double middle = middleOf(row);
        double before = -INFINITY;
        for (std::size_t i : active) {
            const double x = edges[i].xAt(middle);
            if (x < before) return false;
            before = x;
        }
        return true;
    };
    std::size_t next = 0;
    std::int64_t stride = 1;
    for (std::int64_t row = first; row < last; ++row) {
        // Between the rows where edges start or end, every active edge is straight (its ends
        // lie outside the middles of those rows), and two straight edges in the same order at
        // two rows are in that order at every row between: rows up to one where the order is
        // still the last row's have its spans, and are passed over. Which rows are passed over
        // depends on the edges alone, not on the rows drawn.
        auto startsTile = [&](std::int64_t r) { return r == first || floorDivide(r, TILE_ROWS) * TILE_ROWS == r; };
        if (!startsTile(row) && !active.empty()) {
            std::int64_t change = std::min(last, (floorDivide(row, TILE_ROWS) + 1) * TILE_ROWS);
            if (next < edges.size()) change = std::min(change, sampleRow(edges[next].y0));
            for (std::size_t i : active) change = std::min(change, sampleRow(edges[i].y1));
            while (row < change) {
                const std::int64_t ahead = std::min(row + stride - 1, change - 1);
                if (keepsOrder(ahead)) {
                    row = ahead + 1;
                    // Never more than a tile's rows are left to pass over, so a longer stride
                    // tests the same rows; unbounded, it would overflow on a long run of rows.
                    if (stride < MAX_STRIDE) stride *= 2;
                } else if (stride > 1) {
                    stride /= 2;
                } else {
                    break;
                }
            }
            if (row >= last) break;
        }
        const bool tileStarts = startsTile(row);
        while (next < edges.size() && sampleRow(edges[next].y0) <= row) active.push_back(next++);
        active.erase(std::remove_if(active.begin(), active.end(), [&](std::size_t i) { return sampleRow(edges[i].y1) <= row; }),
                     active.end());
        // The order changes little from row to row: insertion sort on the last order, except
        // where a tile starts and the edges are ordered afresh.
        const double middle = middleOf(row);
        for (std::size_t i : active) xs[i] = edges[i].xAt(middle);
        if (tileStarts) {
            std::sort(active.begin(), active.end(), [&](std::size_t a, std::size_t b) {
                return xs[a] < xs[b] || (xs[a] == xs[b] && a < b);
            });
            stride = 1;
        }
        for (std::size_t i = 1; i < active.size(); ++i) {
            const std::size_t v = active[i];
            std::size_t j = i;
            for (; j > 0 && xs[active[j - 1]] > xs[v]; --j) active[j] = active[j - 1];
            active[j] = v;
        }
        spans.clear();
        long winding = 0;
        std::size_t from = 0;
        for (std::size_t i : active) {
            const bool wasInside = evenOdd ? (winding & 1) != 0 : winding != 0;
            winding += edges[i].winding;
            const bool inside = evenOdd ? (winding & 1) != 0 : winding != 0;
            if (!wasInside && inside) from = i;
            else if (wasInside && !inside) spans.push_back({from, i});
        }
        if (spans != open || tileStarts) {
            close(row);
            open = spans;
            since = row;
        }
    }
    close(last);
    return out;
}

} // namespace dv::gfx::detail
