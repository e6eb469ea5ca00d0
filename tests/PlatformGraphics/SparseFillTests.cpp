// Fills of many edges crossing the picture: only the pixels the winding number alone cannot
// decide go to cairo, and the picture must stay that of cairo's own fill of every edge.

#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/detail/SparseFill.hpp"

#include "tests/support/ContextPath.hpp"
#include "tests/support/SamePicture.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
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

} // namespace
} // namespace dv::gfx
