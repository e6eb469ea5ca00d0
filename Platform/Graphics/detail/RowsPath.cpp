#include "Platform/Graphics/detail/RowsPath.hpp"

#include <algorithm>
#include <array>
#include <span>

namespace dv::gfx::detail {

namespace {

// Whether cairo, handed a, b and then c, drops b: the edge to c carries on from b the way the
// edge from a came (the same slope, neither coordinate turning back).
bool carriesOn(const GridPoint& a, const GridPoint& b, const GridPoint& c) {
    const std::int64_t ax = b.x - a.x, ay = b.y - a.y, bx = c.x - b.x, by = c.y - b.y;
    return ay * bx == by * ax && ((ax ^ bx) | (ay ^ by)) >= 0;
}

// Whether cairo keeps every point of `seq` (after `before`, when there is one, and before
// `after`): no point repeats the one before it and none is dropped as carried on.
bool keptAsGiven(const GridPoint* before, std::span<const GridPoint> seq, const GridPoint& after) {
    std::array<GridPoint, 6> all{};
    std::size_t n = 0;
    if (before) all[n++] = *before;
    for (const GridPoint& p : seq) all[n++] = p;
    all[n++] = after;
    for (std::size_t k = 1; k < n; ++k)
        if (all[k] == all[k - 1]) return false;
    for (std::size_t k = 2; k < n; ++k)
        if (carriesOn(all[k - 2], all[k - 1], all[k])) return false;
    return true;
}

} // namespace

std::optional<std::vector<std::vector<GridPoint>>> keptWithinRows(const std::vector<std::vector<GridPoint>>& subpaths,
                                                                 std::int64_t top, std::int64_t bottom) {
    if (!(top < bottom)) return std::nullopt;
    std::int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    bool upright = true;  // every edge level or upright: cairo fills such a path by another road
    for (const auto& path : subpaths) {
        for (std::size_t k = 0; k < path.size(); ++k) {
            const GridPoint& p = path[k];
            const GridPoint& q = path[k + 1 < path.size() ? k + 1 : 0];
            x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
            upright = upright && (p.x == q.x || p.y == q.y);
        }
    }
    if (upright || x0 == x1 || (y0 >= top && y1 <= bottom)) return std::nullopt;

    // 1 at or above the rows, 2 at or below them, 0 within.
    auto side = [&](const GridPoint& p) { return p.y <= top ? 1 : p.y >= bottom ? 2 : 0; };
    std::vector<std::vector<GridPoint>> out;
    out.reserve(subpaths.size() + 2);
    bool cut = false;
    for (const auto& path : subpaths) {
        const std::size_t n = path.size();
        out.emplace_back();
        std::vector<GridPoint>& kept = out.back();
        std::size_t i = 0;
        while (i < n) {
            const int s = side(path[i]);
            std::size_t j = i;
            if (s != 0)
                while (j + 1 < n && side(path[j + 1]) == s) ++j;
            kept.push_back(path[i]);
            if (j < i + 2) {  // no point within the run to leave out
                for (std::size_t k = i + 1; k <= j; ++k) kept.push_back(path[k]);
                i = j + 1;
                continue;
            }
            // The run from path[i] to path[j] lies on one side; path[i] is kept already.
            const GridPoint& from = path[i];
            const GridPoint& to = path[j];
            const GridPoint& after = path[j + 1 < n ? j + 1 : 0];  // the closing edge's end for the last
            const GridPoint* before = kept.size() >= 2 ? &kept[kept.size() - 2] : nullptr;
            const std::int64_t beyond = s == 1 ? std::min(from.y, to.y) - 1 : std::max(from.y, to.y) + 1;
            // The ways to go from `from` to `to`, each as `from` and what follows it: a run
            // coming back to `from` is left out whole; else straight across, or by one point
            // beyond the rows.
            const std::array<std::array<GridPoint, 3>, 4> ways{{{from, to, to},
                                                               {from, {from.x, beyond}, to},
                                                               {from, {to.x, beyond}, to},
                                                               {from, {from.x + 1, beyond}, to}}};
            const std::size_t tried = from == to ? 1 : ways.size();
            std::span<const GridPoint> chosen;
            for (std::size_t w = 0; w < tried && chosen.empty(); ++w) {
                const std::span<const GridPoint> way(ways[w].data(), from == to ? 1 : w == 0 ? 2 : 3);
                if (keptAsGiven(before, way, after)) chosen = way;
            }
            if (chosen.empty()) {
                for (std::size_t k = i + 1; k <= j; ++k) kept.push_back(path[k]);
            } else {
                kept.insert(kept.end(), chosen.begin() + 1, chosen.end());
                cut = true;
            }
            i = j + 1;
        }
    }
    if (!cut) return std::nullopt;
    // The whole path's extents, and a sloping edge, outside the rows (see the header).
    const std::vector<GridPoint> level0{{x0, y0}, {x1, y0}}, level1{{x0, y1}, {x1, y1}};
    if (y0 < top) {
        out.push_back({{x0, y0}, {x1, y0}, {x0, y0 + 1}});
        out.push_back(level1);
    } else {
        out.push_back(level0);
        out.push_back({{x0, y1}, {x1, y1}, {x0, y1 - 1}});
    }
    return out;
}

} // namespace dv::gfx::detail
