// A round pen wider than the whole path it strokes is filled as the outline of its stroke; the
// pixels are those of cairo's own stroke within the tolerance, and strokes that do not qualify
// are left to cairo.

#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/detail/WideStroke.hpp"

#include "tests/support/SamePicture.hpp"
#include "tests/support/Subpaths.hpp"
#include "tests/support/TestSurface.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace dv::gfx {
namespace {

using detail::Polyline;
using detail::Vec2;

constexpr double PI = 3.141592653589793;

std::vector<Vec2> roughRing(double cx, double cy, double rx, double ry, int points, double rough = 0.02) {
    std::vector<Vec2> ring;
    for (int i = 0; i < points; ++i) {
        const double t = i * 2 * PI / points;
        ring.push_back({cx + rx * std::cos(t) + rough * rx * std::sin(7 * t), cy + ry * std::sin(t) + rough * ry * std::cos(5 * t)});
    }
    return ring;
}

TEST(WideStroke, AWidePenFilledAsItsOutlineDrawsCairosStroke) {
    struct Case {
        const char* what;
        test::Subpaths subpaths;  // user space
        bool closed;
        double width;
        double angle, scaleX, scaleY;  // of user space, about the picture's centre
        LineCap cap;
        LineJoin join;
        bool outlined;
    };
    const auto ring = roughRing(110, 110, 6, 5, 48);
    const std::vector<Vec2> tinyZigzag{{108, 108}, {111, 108.4}, {108.5, 109}, {111.5, 109.4}};
    const std::vector<Vec2> line{{100, 105}, {118, 112}};
    const std::vector<Vec2> wideC{{120, 100}, {100, 100}, {100, 120}, {120, 120}};
    const Case cases[] = {
        {"a rough ring", {ring}, true, 120, 0, 1, 1, LineCap::butt, LineJoin::round, true},
        {"a rough ring, rotated and scaled", {ring}, true, 100, 0.3, 2, 2, LineCap::butt, LineJoin::round, true},
        {"a ring drawn mirrored", {ring}, true, 110, 0, -1, 1, LineCap::butt, LineJoin::round, true},
        {"a line, round ends", {line}, false, 90, 0, 1, 1, LineCap::round, LineJoin::round, true},
        {"a small zigzag, round ends", {tinyZigzag}, false, 150, 0, 1, 1, LineCap::round, LineJoin::round, true},
        {"a ring round a smaller one", {ring, roughRing(110, 110, 2, 2, 16)}, true, 100, 0, 1, 1, LineCap::butt,
         LineJoin::round, true},
        // Left to cairo.
        {"an open path with butt ends", {line}, false, 100, 0, 1, 1, LineCap::butt, LineJoin::round, false},
        {"mitred corners", {ring}, true, 120, 0, 1, 1, LineCap::butt, LineJoin::miter, false},
        {"a pen narrower than the path", {ring}, true, 30, 0, 1, 1, LineCap::butt, LineJoin::round, false},
        {"a squashed pen", {ring}, true, 80, 0, 1, 0.5, LineCap::butt, LineJoin::round, false},
        {"a bridge with a deep notch", {wideC}, false, 60, 0, 1, 1, LineCap::round, LineJoin::round, false},
        {"a ring dented too deep", {roughRing(110, 110, 6, 5, 48, 0.08)}, true, 120, 0, 1, 1, LineCap::butt,
         LineJoin::round, false},
    };
    constexpr int side = 220;
    for (const Case& c : cases) {
        const AffineTransform t = [&] {
            const double co = std::cos(c.angle), si = std::sin(c.angle);
            const double a = co * c.scaleX, b = si * c.scaleX, cc = -si * c.scaleY, d = co * c.scaleY;
            return AffineTransform{a, b, cc, d, 110 - (a * 110 + cc * 110), 110 - (b * 110 + d * 110)};
        }();
        test::TestSurface expected(side, side), actual(side, side);
        cairo_t* cr = cairo_create(expected.get());
        cairo_matrix_t matrix{t.a, t.b, t.c, t.d, t.tx, t.ty};
        cairo_set_matrix(cr, &matrix);
        test::addSubpaths(cr, c.subpaths, c.closed);
        cairo_set_line_width(cr, c.width);
        cairo_set_line_cap(cr, c.cap == LineCap::round ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
        cairo_set_line_join(cr, c.join == LineJoin::round ? CAIRO_LINE_JOIN_ROUND : CAIRO_LINE_JOIN_MITER);
        cairo_set_source_rgba(cr, 0.1, 0.3, 0.6, 0.85);
        cairo_stroke(cr);
        cairo_destroy(cr);

        GraphicsContext g(actual.get());
        ASSERT_TRUE(g.concatCTM(t)) << c.what;
        g.setStrokeColor({0.1, 0.3, 0.6, 0.85});
        g.setLineWidth(c.width);
        g.setLineCap(c.cap);
        g.setLineJoin(c.join);
        const std::vector<Polyline> device = test::addSubpaths(g, c.subpaths, c.closed);
        g.strokePath();

        const detail::StrokePen pen{c.width / 2, {t.a, t.b, t.c, t.d}, c.cap, c.join, 10};
        EXPECT_EQ(detail::wideStrokeOutline(device, pen, 0.1).has_value(), c.outlined) << c.what;
        test::expectSamePicture(expected, actual, c.what);
        const test::Difference d = test::compare(expected, actual);
        EXPECT_LE(d.beyondFew, 40) << c.what << ": the outline stays on cairo's";
        EXPECT_GT(actual.inkedTotal(), 1000) << c.what;
    }
}

TEST(WideStroke, PenVerticesGrowWithTheRadius) {
    EXPECT_EQ(detail::penVertices(0.02, 0.1), 1);
    EXPECT_EQ(detail::penVertices(0.05, 0.1), 4);
    int before = 4;
    for (const double r : {1.0, 10.0, 100.0, 1000.0}) {
        const int n = detail::penVertices(r, 0.1);
        EXPECT_EQ(n % 2, 0) << r;
        EXPECT_GT(n, before) << r;
        // Each chord's sagitta stays within the tolerance.
        EXPECT_LE(r * (1 - std::cos(PI / n)), 0.1) << r;
        before = n;
    }
}

}  // namespace
}  // namespace dv::gfx
