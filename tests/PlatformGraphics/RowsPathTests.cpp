// A path cut down to the rows of a clip fills those rows as the whole path does, to the bit:
// cairo builds the same polygon from both. Paths on a coarse grid meet their own lines often,
// so that the cuts are tried against the points cairo would merge.

#include "Platform/Graphics/detail/RowsPath.hpp"

#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace dv::gfx {
namespace {

using detail::GridPoint;
using Subpaths = std::vector<std::vector<GridPoint>>;

constexpr int SIDE = 64;

// The subpaths as cairo keeps them.
Subpaths normalised(const Subpaths& raw) {
    detail::GridPath grid;
    for (const auto& path : raw) {
        for (std::size_t k = 0; k < path.size(); ++k) {
            if (k == 0) grid.moveTo(path[k]);
            else grid.lineTo(path[k]);
        }
        grid.close();
    }
    Subpaths out;
    for (const auto& path : grid.subpaths())
        if (path.size() >= 2) out.push_back(path);
    return out;
}

// The coverage of the subpaths, left open as the fill closes them, under a clip of rows.
std::vector<std::uint8_t> coverage(const Subpaths& subpaths, int top, int bottom) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, SIDE, SIDE);
    cairo_t* cr = cairo_create(surface);
    cairo_rectangle(cr, 0, top, SIDE, bottom - top);
    cairo_clip(cr);
    for (const auto& path : subpaths) {
        for (std::size_t k = 0; k < path.size(); ++k) {
            const double x = static_cast<double>(path[k].x) / 256, y = static_cast<double>(path[k].y) / 256;
            if (k == 0) cairo_move_to(cr, x, y);
            else cairo_line_to(cr, x, y);
        }
    }
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    std::vector<std::uint8_t> levels;
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < SIDE; ++y) {
        const std::uint8_t* row = cairo_image_surface_get_data(surface) + y * stride;
        levels.insert(levels.end(), row, row + SIDE);
    }
    cairo_surface_destroy(surface);
    return levels;
}

std::size_t pointsOf(const Subpaths& s) {
    std::size_t n = 0;
    for (const auto& p : s) n += p.size();
    return n;
}

// A scribble: long passes back and forth with `step` between the grid's points, drifting down
// and up the picture and past its edges.
Subpaths scribble(std::mt19937& random, int points, int step) {
    std::uniform_int_distribution<int> across(-8, SIDE + 8), drift(-3, 3);
    std::vector<GridPoint> path;
    int y = SIDE / 2;
    for (int k = 0; k < points; ++k) {
        y = std::clamp(y + drift(random), -10, SIDE + 10);
        const int x = across(random);
        path.push_back({static_cast<std::int64_t>(x) * 256 / step * step, static_cast<std::int64_t>(y) * 256 / step * step});
    }
    return {path};
}

TEST(RowsPath, CutPathsFillTheRowsAsTheWholePathDoes) {
    std::mt19937 random(7);
    std::size_t cutAway = 0, total = 0;
    for (int trial = 0; trial < 300; ++trial) {
        // Coarse steps put many points on the rows' edges and in line with one another.
        const int step = trial % 3 == 0 ? 256 : trial % 3 == 1 ? 64 : 1;
        Subpaths raw = scribble(random, 40 + trial % 200, step);
        if (trial % 4 == 0) {
            const Subpaths more = scribble(random, 30, step);
            raw.insert(raw.end(), more.begin(), more.end());
        }
        const Subpaths path = normalised(raw);
        const int top = static_cast<int>(random() % (SIDE - 8)), bottom = top + 1 + static_cast<int>(random() % 16);
        const auto cut = detail::keptWithinRows(path, std::int64_t{top} * 256, std::int64_t{bottom} * 256);
        total += pointsOf(path);
        if (!cut) continue;
        cutAway += pointsOf(path) - std::min(pointsOf(path), pointsOf(*cut));
        ASSERT_EQ(coverage(path, top, bottom), coverage(*cut, top, bottom))
            << "trial " << trial << ", rows " << top << " to " << bottom;
    }
    // Most points lie outside rows this thin: the cuts must take most of them away.
    EXPECT_GT(cutAway * 2, total);
}

TEST(RowsPath, PathsWithNothingToCutAreLeftAlone) {
    const Subpaths within = normalised({{{0, 2560}, {5000, 3000}, {2000, 5000}}});
    EXPECT_FALSE(detail::keptWithinRows(within, 2560, 5120));
    // Level and upright edges only: cairo fills such a path by its boxes.
    Subpaths steps{{}};
    for (int k = 0; k < 50; ++k) {
        steps[0].push_back({k * 256, (k % 2) * 8000});
        steps[0].push_back({k * 256 + 256, (k % 2) * 8000});
    }
    EXPECT_FALSE(detail::keptWithinRows(normalised(steps), 2560, 5120));
    EXPECT_FALSE(detail::keptWithinRows(within, 5120, 2560));
}

// Runs whose chord would carry on the edge before or after them, and runs coming back to
// where they left, on the row's edge itself.
TEST(RowsPath, CutsThatCairoWouldMergeAreMadeOtherwise) {
    const Subpaths paths[] = {
        // In line: in from the row's edge, out above along the same line and back.
        normalised({{{2560, 2560}, {2560 + 512, 2560 - 512}, {2560 + 1024, 2560 - 1024}, {2560 + 512, 2560 - 2048},
                     {2560 - 1024, 2560 + 1024}, {2560 - 2048, 2560 + 4096}, {9000, 9000}}}),
        // Back to the point the run left from.
        normalised({{{1000, 4000}, {1200, 2560}, {3000, 100}, {5000, 900}, {1200, 2560}, {9000, 6000}}}),
        // Along the row's edge, then above it.
        normalised({{{0, 2560}, {3000, 2560}, {6000, 2000}, {9000, 2560}, {12000, 2560}, {8000, 7000}}}),
    };
    for (const Subpaths& path : paths) {
        const auto cut = detail::keptWithinRows(path, 2560, 5120);
        if (!cut) continue;
        EXPECT_EQ(coverage(path, 10, 20), coverage(*cut, 10, 20));
    }
}

}  // namespace
}  // namespace dv::gfx
