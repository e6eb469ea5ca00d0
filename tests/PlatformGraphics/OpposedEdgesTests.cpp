#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/detail/OpposedEdges.hpp"

#include "tests/support/TestSurface.hpp"

#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace dv::gfx {
namespace {

using detail::GridPoint;
using Subpaths = std::vector<std::vector<GridPoint>>;
using EdgeCounts = std::map<std::pair<std::pair<long, long>, std::pair<long, long>>, int>;

// The directed edges of closed subpaths with how often each is run; zero-length ones left out.
EdgeCounts edgesOf(const Subpaths& subpaths) {
    EdgeCounts counts;
    for (const auto& path : subpaths) {
        for (std::size_t i = 0; i < path.size(); ++i) {
            const GridPoint a = path[i], b = path[(i + 1) % path.size()];
            if (!(a == b)) ++counts[{{a.x, a.y}, {b.x, b.y}}];
        }
    }
    return counts;
}

Subpaths repeated(const Subpaths& pattern, int times) {
    Subpaths out;
    for (int i = 0; i < times; ++i) out.insert(out.end(), pattern.begin(), pattern.end());
    return out;
}

Subpaths joined(Subpaths a, const Subpaths& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(OpposedEdges, KeepNetRunsAndOnePairWhereRunsBalance) {
    const std::vector<GridPoint> square{{0, 0}, {400, 0}, {400, 400}, {0, 400}};
    const std::vector<GridPoint> triangle{{0, 0}, {900, 0}, {0, 700}};
    const std::vector<GridPoint> backwards{{0, 700}, {900, 0}, {0, 0}};
    const std::vector<GridPoint> spur{{0, 0}, {900, 900}};  // out and back
    const std::vector<GridPoint> negativeSpur{{-5, 3}, {-1073741824, -7}};
    const std::vector<GridPoint> farSpur{{0, 0}, {std::int64_t{1} << 32, 0}};  // beyond cairo's grid
    struct Case {
        const char* name;
        Subpaths subpaths;
        std::size_t minEdges;
        std::optional<Subpaths> sameEdgesAs;  // absent: the path is left alone
    };
    const Case cases[] = {
        {"a spur run out and back six times keeps one trip", joined({square}, repeated({spur}, 6)), 1,
         Subpaths{square, spur}},
        {"three runs one way and one back keep two", joined(repeated({triangle}, 3), {backwards}), 1,
         repeated({triangle}, 2)},
        {"balanced runs of a whole outline keep one each way", repeated({triangle, backwards}, 4), 1,
         Subpaths{triangle, backwards}},
        {"fewer than half cancelling", joined({square}, {spur}), 1, std::nullopt},
        {"nothing cancelling", repeated({square}, 1), 1, std::nullopt},
        {"fewer edges than the threshold", repeated({spur}, 40), 81, std::nullopt},
        {"just at the threshold", repeated({spur}, 40), 80, Subpaths{spur}},
        {"no edges at all", Subpaths{{{5, 5}}, {}}, 0, std::nullopt},
        {"negative coordinates cancel as well", joined({square}, repeated({negativeSpur}, 6)), 1,
         Subpaths{square, negativeSpur}},
        {"a point beyond 32 bits leaves the path alone", joined({square}, repeated({farSpur}, 6)), 1, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto walks = detail::dropOpposedEdges(c.subpaths, c.minEdges);
        ASSERT_EQ(walks.has_value(), c.sameEdgesAs.has_value()) << c.name;
        if (!walks) continue;
        EXPECT_EQ(edgesOf(*walks), edgesOf(*c.sameEdgesAs)) << c.name;
    }
}

TEST(OpposedEdges, WalksCloseOnThemselvesWhateverTheOrderOfTheEdges) {
    // Zigzags each run back and forth a different number of times, plus a diamond
    // traced twice forwards and once backwards, all interleaved.
    Subpaths subpaths;
    const std::vector<GridPoint> diamond{{500, 0}, {1000, 500}, {500, 1000}, {0, 500}};
    const std::vector<GridPoint> reversed(diamond.rbegin(), diamond.rend());
    for (int k = 0; k < 12; ++k) {
        for (int r = 0; r < k + 2; ++r)
            subpaths.push_back({{k * 100, 0}, {k * 100 + 50, 300}, {k * 100 + 100, 0}, {k * 100 + 50, 300}});
        if (k % 4 == 0) subpaths.push_back(k == 8 ? reversed : diamond);
    }
    const auto walks = detail::dropOpposedEdges(subpaths, 1);
    ASSERT_TRUE(walks.has_value());
    EdgeCounts expected = edgesOf({diamond});
    for (int k = 0; k < 12; ++k) {
        const auto edges = edgesOf({{{k * 100, 0}, {k * 100 + 50, 300}, {k * 100 + 100, 0}, {k * 100 + 50, 300}}});
        expected.insert(edges.begin(), edges.end());
    }
    EXPECT_EQ(edgesOf(*walks), expected);
}

// The path as cairo keeps it: its points rounded to the grid, consecutive collinear edges merged,
// points on the closing edge dropped.
Subpaths cairosOwn(const std::vector<std::pair<char, std::pair<double, double>>>& ops) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 8, 8);
    cairo_t* cr = cairo_create(surface);
    for (const auto& [op, p] : ops) {
        if (op == 'M') cairo_move_to(cr, p.first, p.second);
        else if (op == 'L') cairo_line_to(cr, p.first, p.second);
        else cairo_close_path(cr);
    }
    cairo_path_t* path = cairo_copy_path(cr);
    Subpaths out;
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
        const cairo_path_data_t* d = &path->data[i];
        const GridPoint p{std::lround(d[1].point.x * 256), std::lround(d[1].point.y * 256)};
        if (d->header.type == CAIRO_PATH_MOVE_TO) out.push_back({p});
        else if (d->header.type == CAIRO_PATH_LINE_TO) out.back().push_back(p);
    }
    cairo_path_destroy(path);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return out;
}

// Subpaths of a single point, which cairo may keep as a move and a line back to it, fill nothing.
Subpaths withEdges(Subpaths subpaths) {
    std::erase_if(subpaths, [](const auto& path) {
        return std::all_of(path.begin(), path.end(), [&](const GridPoint& p) { return p == path.front(); });
    });
    return subpaths;
}

TEST(OpposedEdges, GridPathKeepsThePointsCairoKeeps) {
    // Steps along a few directions, so that edges carry on, turn back or stop short, with
    // coordinates that fall on, between and exactly halfway between grid points.
    std::mt19937 random(7);
    const double fractions[] = {0, 0.5 / 256, 1.5 / 256, 0.3 / 256, 2.0 / 256, 0.25};
    const std::pair<int, int> steps[] = {{1, 0}, {0, 1}, {1, 1}, {2, 1}, {-1, 0}, {-2, -1}, {0, 0}, {3, -3}};
    for (int round = 0; round < 200; ++round) {
        std::vector<std::pair<char, std::pair<double, double>>> ops;
        double x = 100 + fractions[random() % 6], y = 50 - fractions[random() % 6];
        ops.push_back({'M', {x, y}});
        for (int k = 0; k < 40; ++k) {
            const unsigned pick = random() % 20;
            if (pick == 0) {
                ops.push_back({'Z', {}});
                continue;
            }
            const auto [dx, dy] = steps[random() % 8];
            const double scale = (pick % 3 + 1) / 256.0 * (pick < 10 ? 1 : 97);
            x += dx * scale;
            y += dy * scale;
            if (pick == 1) x += fractions[random() % 6];
            ops.push_back({pick == 2 ? 'M' : 'L', {x, y}});
        }
        detail::GridPath grid;
        for (const auto& [op, p] : ops) {
            if (op == 'Z') {
                grid.close();
                continue;
            }
            const auto point = detail::gridPoint(p.first, p.second);
            ASSERT_TRUE(point.has_value());
            if (op == 'M') grid.moveTo(*point);
            else grid.lineTo(*point);
        }
        ASSERT_EQ(withEdges(grid.subpaths()), withEdges(cairosOwn(ops))) << "round " << round;
    }
    EXPECT_FALSE(detail::gridPoint(4194304.5, 0).has_value());
    EXPECT_FALSE(detail::gridPoint(0, std::numeric_limits<double>::quiet_NaN()).has_value());
}

// A long path that runs along most of its edges and back again fills exactly like the part of it
// that encloses anything: a pentagon, apart from a fan of spurs each run out and back many times.
TEST(OpposedEdges, RetracedSpursLeaveTheFilledPictureAlone) {
    struct Case {
        FillRule rule;
        bool shadow;
        int pentagonRuns;  // > 1: one run of them backwards
    };
    const Case cases[] = {{FillRule::winding, false, 1}, {FillRule::evenOdd, false, 1},
                          {FillRule::winding, true, 1},  {FillRule::winding, false, 4},
                          {FillRule::evenOdd, false, 4}, {FillRule::evenOdd, true, 3}};
    const std::vector<std::pair<double, double>> pentagon{
        {30.3, 10.7}, {55.2, 28.9}, {45.6, 57.1}, {15.1, 57.4}, {5.8, 28.2}};
    auto addPentagon = [&](GraphicsContext& g, int runs, bool oneBackwards) {
        for (int r = 0; r < runs; ++r) {
            const bool back = oneBackwards && r == 0;
            for (std::size_t i = 0; i < pentagon.size(); ++i) {
                const auto& [x, y] = pentagon[back ? pentagon.size() - 1 - i : i];
                if (i == 0) g.moveTo(x, y);
                else g.addLineTo(x, y);
            }
            g.closePath();
        }
    };
    for (const Case& c : cases) {
        test::TestSurface expected(140, 80), actual(140, 80);
        GraphicsContext plain(expected.get()), spurred(actual.get());
        for (GraphicsContext* g : {&plain, &spurred}) {
            g->setFillColor({0.2, 0.4, 0.8, 1});
            if (c.shadow) g->setShadow(3.5, 4.25, 6, {0, 0, 0, 0.5});
        }
        // Net runs of the pentagon: all but one of them less the one backwards (even-odd leaves
        // two runs empty).
        addPentagon(plain, c.pentagonRuns > 1 ? c.pentagonRuns - 2 : 1, false);
        addPentagon(spurred, c.pentagonRuns, c.pentagonRuns > 1);
        for (int k = 0; k < 24; ++k) {
            const double x = 70.25 + k * 2.5;
            spurred.moveTo(x, 5.5);
            for (int r = 0; r < 100; ++r) {
                spurred.addLineTo(x + 1.125, 74.75);
                spurred.addLineTo(x, 5.5);
            }
        }
        plain.fillPath(c.rule);
        spurred.fillPath(c.rule);
        int differing = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 140; ++x) {
                const auto a = expected.at(x, y), b = actual.at(x, y);
                differing += a.r != b.r || a.g != b.g || a.b != b.b || a.a != b.a;
            }
        EXPECT_EQ(differing, 0) << "rule " << int(c.rule) << ", shadow " << c.shadow << ", runs " << c.pentagonRuns;
        EXPECT_EQ(actual.inked(70, 0, 140, 80), 0) << "the spurs themselves paint nothing";
    }
}

}  // namespace
}  // namespace dv::gfx
