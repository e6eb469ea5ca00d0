// Fills of many edges crossing the picture: only the pixels the winding number alone cannot
// decide go to cairo, and the picture must stay that of cairo's own fill of every edge.

#include "Platform/Graphics/BandedDrawing.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/detail/SparseFill.hpp"

#include "tests/support/ContextPath.hpp"
#include "tests/support/SamePicture.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace dv::gfx {
namespace {

using detail::Vec2;
using Path = std::vector<std::vector<Vec2>>;

// The hostile zigzag polygon seen at thumbnail scale: each edge crosses the picture, and each
// pass lies a small fraction of a pixel beside the one before.
std::vector<Vec2> zigzag(int count, double step, double phase = 0) {
    std::vector<Vec2> points;
    for (int i = 0; i < count; ++i) {
        const double x = (i % 2 ? -1 : 1) * (118 - (i + phase) * step) + 128;
        const double y = ((i / 2 + int(phase) / 2) % 2 ? -1 : 1) * 117.3 + 128;
        points.push_back({x, y});
    }
    return points;
}

// Points from a fixed linear congruential sequence, rounded to `grain` so that vertices and
// edges fall on pixel corners and sides as often as a grid-aligned drawing would.
std::vector<Vec2> scatter(int count, double grain, std::uint32_t seed) {
    std::vector<Vec2> points;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / double(1 << 24);
    };
    for (int i = 0; i < count; ++i) {
        const double x = std::round((next() * 300 - 22) / grain) * grain;
        const double y = std::round((next() * 300 - 22) / grain) * grain;
        points.push_back({x, y});
    }
    return points;
}

// Concentric squares, alternately turned, with vertices on pixel corners.
std::vector<std::vector<Vec2>> squares(int count) {
    std::vector<std::vector<Vec2>> paths;
    for (int i = 0; i < count; ++i) {
        const double r = 20 + i % 90;
        std::vector<Vec2> sq{{128 - r, 128 - r}, {128 + r, 128 - r}, {128 + r, 128 + r}, {128 - r, 128 + r}};
        if (i % 3 == 0) std::swap(sq[1], sq[3]);
        paths.push_back(sq);
    }
    return paths;
}

void trace(cairo_t* cr, const Path& path) {
    for (const auto& sub : path) {
        for (std::size_t k = 0; k < sub.size(); ++k) {
            if (k == 0) cairo_move_to(cr, sub[k].x, sub[k].y);
            else cairo_line_to(cr, sub[k].x, sub[k].y);
        }
        cairo_close_path(cr);
    }
}

void fill(test::TestSurface& surface, bool evenOdd, const std::function<void(cairo_t*)>& path) {
    cairo_t* cr = cairo_create(surface.get());
    path(cr);
    cairo_set_fill_rule(cr, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_set_source_rgba(cr, 0.2, 0.4, 0.8, 1);
    cairo_fill(cr);
    cairo_destroy(cr);
}

TEST(SparseFill, UndecidedPixelsKeepTheWindingOfThePath) {
    struct Case {
        const char* what;
        Path path;
        detail::PixelRange window;
    };
    const detail::PixelRange whole{0, 0, 256, 256};
    const Case cases[] = {
        {"zigzag", {zigzag(6000, 0.02)}, whole},
        {"two zigzags against each other", {zigzag(3000, 0.03), zigzag(3001, 0.031, 1)}, whole},
        {"scattered points", {scatter(400, 0.01, 7)}, whole},
        {"points on pixel corners", {scatter(500, 1, 11)}, whole},
        {"points on half pixels", {scatter(300, 0.5, 5)}, whole},
        {"squares on pixel corners, turning both ways", squares(400), whole},
        {"window inside the picture", {zigzag(6000, 0.02)}, {40, 30, 200, 210}},
    };
    for (const Case& c : cases) {
        test::TestSurface expected(256, 256), actual(256, 256);
        fill(expected, false, [&](cairo_t* cr) {
            cairo_rectangle(cr, c.window.x0, c.window.y0, c.window.x1 - c.window.x0, c.window.y1 - c.window.y0);
            cairo_clip(cr);
            trace(cr, c.path);
        });
        const auto quads = detail::sparseFill(c.path, false, c.window, 0, INFINITY);
        ASSERT_TRUE(quads.has_value()) << c.what;
        fill(actual, false, [&](cairo_t* cr) {
            cairo_rectangle(cr, c.window.x0, c.window.y0, c.window.x1 - c.window.x0, c.window.y1 - c.window.y0);
            cairo_clip(cr);
            for (const auto& q : *quads) trace(cr, {{q.begin(), q.end()}});
        });
        test::expectSamePicture(expected, actual, c.what);
        EXPECT_GT(actual.inkedTotal(), 1000) << c.what;
    }
}

TEST(SparseFill, OnlyHeavyPathsWithFewUndecidedPixelsQualify) {
    const detail::PixelRange whole{0, 0, 256, 256};
    EXPECT_FALSE(detail::sparseFill({zigzag(600, 0.02)}, false, whole).has_value()) << "light enough for cairo";
    EXPECT_FALSE(detail::sparseFill({zigzag(6000, 0.02)}, false, {0, 0, 5000, 5000}, 0).has_value())
        << "window too large to count";
    EXPECT_FALSE(detail::sparseFill({zigzag(20000, 0.0055)}, true, whole).has_value())
        << "even-odd leaves every pixel an edge touches undecided";
    const auto heavy = detail::sparseFill({zigzag(20000, 0.0055)}, false, whole);
    ASSERT_TRUE(heavy.has_value());
    EXPECT_LT(heavy->size(), 10000u * 235 / 2);
}

// Through the drawing context, the way a painter fills a heavy polygon: cairo's own fill of every
// edge is the picture to match.
TEST(SparseFill, HeavyPolygonFillsAsCairoFillsEveryEdge) {
    const std::vector<Vec2> points = zigzag(20000, 0.0055);
    test::TestSurface expected(256, 256), actual(256, 256);
    fill(expected, false, [&](cairo_t* cr) { trace(cr, {points}); });
    GraphicsContext g(actual.get());
    g.setFillColor({0.2, 0.4, 0.8, 1});
    test::traceClosed(g, points);
    g.fillPath(FillRule::winding);
    test::expectSamePicture(expected, actual, "zigzag");
    EXPECT_GT(actual.inkedTotal(), 20000);
}

// The fan of the hostile board: every pass crosses the picture through its middle, turning a
// little from the one before, so that rows far apart share no edge crossing and most pixels
// near the middle stay undecided. `turn` makes paths of the same kind that no call has seen.
std::vector<Vec2> fan(int count, double turn) {
    std::vector<Vec2> points;
    for (int i = 0; i < count; ++i) {
        const double reach = 120 - i * (110.0 / count) - turn;
        points.push_back({128 + (i % 2 ? -1 : 1) * reach, 128 + ((i / 2) % 2 ? -1 : 1) * 119.5});
    }
    return points;
}

// Rows crossed by the edges of a path within a window, counting an edge once for each row: what
// weighing the window once must visit.
double edgeRowsWithin(const std::vector<Vec2>& points, detail::PixelRange w) {
    double rows = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const Vec2 a = points[k], b = points[(k + 1) % points.size()];
        const double top = std::fmax(std::floor(std::fmin(a.y, b.y)), w.y0);
        const double bottom = std::fmin(std::fmax(std::ceil(std::fmax(a.y, b.y)) - 1, std::floor(std::fmin(a.y, b.y))), w.y1 - 1);
        if (a.y != b.y && bottom >= top) rows += bottom - top + 1;
    }
    return rows;
}

void traceQuads(cairo_t* cr, const std::vector<detail::Quad>& quads) {
    for (const auto& q : quads) trace(cr, {{q.begin(), q.end()}});
}

// Rows [top, bottom) the same to the bit.
bool sameRows(const test::TestSurface& a, const test::TestSurface& b, int top, int bottom) {
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < a.width(); ++x) {
            const test::Pixel p = a.at(x, y), q = b.at(x, y);
            if (p.r != q.r || p.g != q.g || p.b != q.b || p.a != q.a) return false;
        }
    return true;
}

// The bands of one picture each ask for their own rows: the window is weighed and drawn once
// between them, however they come, and each band's rows hold the loops of the whole window.
TEST(SparseFill, BandsShareTheWindowsWorkAndKeepItsPixels) {
    const detail::PixelRange whole{0, 0, 256, 256};
    const int edges[] = {0, 50, 101, 170, 256};
    {
        const Path path{fan(8000, 0.5)};
        std::vector<detail::SparseFillWork> work(4);
        std::vector<std::vector<detail::Quad>> loops(4);
        for (int band = 3; band >= 0; --band) {  // in any order
            const auto got = detail::sparseFill(path, false, whole, 0, INFINITY, {edges[band], edges[band + 1]}, &work[band]);
            ASSERT_TRUE(got.has_value());
            loops[band] = *got;
        }
        EXPECT_EQ(work[3].rowsWeighed, 256u) << "the first band to come weighs the window";
        const double crossed = edgeRowsWithin(path[0], whole);
        EXPECT_EQ(static_cast<double>(work[3].edgeRowsVisited), crossed) << "each edge visited once in each row it crosses";
        EXPECT_GT(work[3].pixelsDrawn, 1000u);
        for (int band = 0; band < 3; ++band) {
            EXPECT_EQ(work[band].rowsWeighed, 0u) << band;
            EXPECT_EQ(work[band].edgeRowsVisited, 0u) << band;
            EXPECT_EQ(work[band].pixelsDrawn, 0u) << band;
        }
        // A band is handed the loops of rows near its own, not the window's.
        std::size_t handed = 0;
        for (const auto& l : loops) handed += l.size();
        const auto all = detail::sparseFill(path, false, whole, 0, INFINITY);
        ASSERT_TRUE(all.has_value());
        EXPECT_LT(handed, all->size() * 3 / 2);
        test::TestSurface expected(256, 256);
        fill(expected, false, [&](cairo_t* cr) { traceQuads(cr, *all); });
        for (int band = 0; band < 4; ++band) {
            test::TestSurface actual(256, 256);
            fill(actual, false, [&](cairo_t* cr) { traceQuads(cr, loops[band]); });
            EXPECT_TRUE(sameRows(expected, actual, edges[band], edges[band + 1])) << "band " << band;
        }
    }
    {
        // At once, on threads of their own.
        const Path path{fan(8000, 0.75)};
        std::vector<detail::SparseFillWork> work(4);
        std::vector<std::thread> threads;
        for (int band = 0; band < 4; ++band)
            threads.emplace_back([&, band] {
                detail::sparseFill(path, false, whole, 0, INFINITY, {edges[band], edges[band + 1]}, &work[band]);
            });
        for (auto& t : threads) t.join();
        std::size_t rows = 0, visited = 0;
        for (const auto& w : work) {
            rows += w.rowsWeighed;
            visited += w.edgeRowsVisited;
        }
        EXPECT_EQ(rows, 256u);
        EXPECT_EQ(static_cast<double>(visited), edgeRowsWithin(path[0], whole));
    }
}

// Whether a window qualifies is found once and holds for every band that comes later, whichever
// of the two weighings (the undecided pixels, then the loops they leave) refused it.
TEST(SparseFill, EveryBandFindsTheWindowsVerdict) {
    const detail::PixelRange whole{0, 0, 256, 256};
    const Path paths[] = {{fan(8000, 0.125)}, {scatter(400, 0.01, 3)}, {zigzag(6000, 0.021)}};
    for (const Path& path : paths) {
        int taken = 0, refused = 0;
        for (double share = 1e-2; share < 100; share *= 1.25) {
            const auto first = detail::sparseFill(path, false, whole, 0, share, {200, 256});
            for (const auto& [top, bottom] : {std::pair{0, 60}, {60, 200}, {200, 256}}) {
                const auto later = detail::sparseFill(path, false, whole, 0, share, {top, bottom});
                EXPECT_EQ(first.has_value(), later.has_value()) << "share " << share << ", rows " << top;
            }
            (first ? taken : refused) += 1;
        }
        EXPECT_GT(taken, 0) << path[0].size() << " points";
        EXPECT_GT(refused, 0) << path[0].size() << " points";
    }
}

// Rows weighed apart from the rest of the window give the loops the window gives there.
TEST(SparseFill, RowsTakenApartFillAsTheWholeWindow) {
    const Path paths[] = {{fan(8000, 1)}, {zigzag(6000, 0.02)}, {scatter(400, 0.01, 9)}, squares(300)};
    const detail::PixelRange whole{0, 0, 256, 256};
    for (const Path& path : paths) {
        const auto all = detail::sparseFill(path, false, whole, 0, INFINITY);
        ASSERT_TRUE(all.has_value());
        test::TestSurface expected(256, 256);
        fill(expected, false, [&](cairo_t* cr) { traceQuads(cr, *all); });
        for (const auto& [top, bottom] : {std::pair{0, 7}, {7, 100}, {100, 101}, {129, 256}}) {
            const auto part = detail::sparseFill(path, false, {0, top, 256, bottom}, 0, INFINITY);
            ASSERT_TRUE(part.has_value());
            test::TestSurface actual(256, 256);
            fill(actual, false, [&](cairo_t* cr) { traceQuads(cr, *part); });
            EXPECT_TRUE(sameRows(expected, actual, top, bottom)) << "rows " << top << " to " << bottom;
        }
    }
}

// Through the drawing context, drawn in bands: the picture drawn at once, to the bit.
TEST(SparseFill, HeavyFillsDrawnInBandsGiveThePictureDrawnAtOnce) {
    const int width = 256, height = 256;
    const std::vector<Vec2> points = fan(20000, 0.25);
    auto draw = [&](GraphicsContext& g) {
        g.setFillColor({0.2, 0.4, 0.8, 1});
        test::traceClosed(g, points);
        g.fillPath(FillRule::winding);
    };
    auto whole = Bitmap::create(width, height);
    {
        GraphicsContext g(*whole);
        draw(g);
    }
    for (const int count : {2, 3, 5}) {
        std::vector<BandRows> bands;
        for (int band = 0; band < count; ++band) {
            const int top = height * band / count, bottom = height * (band + 1) / count;
            bands.push_back({top, bottom, std::max(0, top - BAND_OVERLAP_ROWS), std::min(height, bottom + BAND_OVERLAP_ROWS)});
        }
        auto bitmap = Bitmap::create(width, height);
        ASSERT_TRUE(drawInBands(*bitmap, bands, [&](const auto& context, const BandRows&) { draw(*context); }));
        int differing = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) differing += whole->pixel(x, y) != bitmap->pixel(x, y);
        EXPECT_EQ(differing, 0) << count << " bands";
    }
}

} // namespace
} // namespace dv::gfx
