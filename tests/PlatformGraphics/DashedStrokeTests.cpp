// Dashed strokes that cairo's own dasher would walk for too long are dashed within the window
// that can be seen: the dashes keep their phase across everything skipped, dashes finer than a
// tenth of a pixel blend into a lighter solid stroke, and no stroke, however wide or however
// squeezed by its transform, hangs, crashes or leaves cairo unusable.

#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/detail/DashedStroke.hpp"

#include "tests/support/SamePicture.hpp"
#include "tests/support/Subpaths.hpp"
#include "tests/support/TestSurface.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace dv::gfx {
namespace {

using detail::Polyline;

// The x extents of the dashes along a horizontal line.
std::vector<std::pair<double, double>> spans(const std::vector<Polyline>& lines) {
    std::vector<std::pair<double, double>> out;
    for (const Polyline& line : lines)
        if (!line.points.empty()) out.push_back({line.points.front().x, line.points.back().x});
    return out;
}

TEST(DashedStroke, DashesWithinTheWindowKeepTheirPhase) {
    struct Case {
        const char* what;
        double offset;
        double x0, x1;  // the window's columns
        std::vector<std::pair<double, double>> expected;
    };
    // A line from x = -1000 to 1000 dashed 10 on, 10 off: dashes start at -1000 + 20k.
    const Case cases[] = {
        {"window on a dash boundary", 0, 0, 50, {{0, 10}, {20, 30}, {40, 50}}},
        {"window cutting a dash", 0, 5, 45, {{5, 10}, {20, 30}, {40, 45}}},
        {"offset into the pattern", 5, 0, 40, {{0, 5}, {15, 25}, {35, 40}}},
        {"offset past whole periods", 45, 0, 40, {{0, 5}, {15, 25}, {35, 40}}},
        {"window past the end", 0, 980, 2000, {{980, 990}}},
    };
    const detail::LinearMap identity;
    for (const Case& c : cases) {
        const detail::DashPattern dash{{10, 10}, c.offset};
        const auto pieces =
            detail::dashWithin({{{{-1000, 0}, {1000, 0}}, false}}, identity, dash, c.x0, -5, c.x1, 5, 1000);
        EXPECT_TRUE(pieces.averaged.empty()) << c.what;
        const auto got = spans(pieces.dashes);
        ASSERT_EQ(got.size(), c.expected.size()) << c.what;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].first, c.expected[i].first, 1e-9) << c.what << " dash " << i;
            EXPECT_NEAR(got[i].second, c.expected[i].second, 1e-9) << c.what << " dash " << i;
        }
    }
}

TEST(DashedStroke, LengthsAreMeasuredInUserSpace) {
    // Under a scale of 4 a user dash of 10 is 40 device pixels. An odd list runs twice to make
    // one period, its elements on and off in turn: 10 on, 5 off, 5 on, 10 off, 5 on, 5 off.
    const detail::LinearMap scale4{4, 0, 0, 4};
    const auto pieces = detail::dashWithin({{{{0, 0}, {400, 0}}, false}}, scale4, {{10, 5, 5}, 0}, -1, -1, 401, 1, 1000);
    const std::vector<std::pair<double, double>> expected = {{0, 40},    {60, 80},   {120, 140}, {160, 200},
                                                             {220, 240}, {280, 300}, {320, 360}, {380, 400}};
    const auto got = spans(pieces.dashes);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].first, expected[i].first, 1e-9);
        EXPECT_NEAR(got[i].second, expected[i].second, 1e-9);
    }
}

TEST(DashedStroke, ClosedOutlinesJoinTheirLastDashToTheFirst) {
    // A 100 x 100 square, 400 round, dashed 150 on, 25 off: dashes over 0..150, 175..325 and
    // from 350 on, and the last runs on into the first, round the corner at the start.
    const Polyline square{{{0, 0}, {100, 0}, {100, 100}, {0, 100}}, true};
    const auto pieces = detail::dashWithin({square}, {}, {{150, 25}, 0}, -10, -10, 110, 110, 1000);
    std::vector<Polyline> drawn;
    for (const Polyline& line : pieces.dashes)
        if (!line.points.empty()) drawn.push_back(line);
    ASSERT_EQ(drawn.size(), 2u);
    const std::vector<detail::Vec2> joined = {{0, 50}, {0, 0}, {100, 0}, {100, 50}};
    ASSERT_EQ(drawn[1].points.size(), joined.size());
    for (std::size_t i = 0; i < joined.size(); ++i) {
        EXPECT_NEAR(drawn[1].points[i].x, joined[i].x, 1e-9) << i;
        EXPECT_NEAR(drawn[1].points[i].y, joined[i].y, 1e-9) << i;
    }
    EXPECT_FALSE(drawn[1].closed);

    // Dashed wholly on, the outline stays one closed loop.
    const auto loop = detail::dashWithin({square}, {}, {{1000, 10}, 0}, -10, -10, 110, 110, 1000);
    ASSERT_EQ(loop.dashes.size(), 1u);
    EXPECT_TRUE(loop.dashes[0].closed);
}

TEST(DashedStroke, StepsCountWhatCairoWouldWalk) {
    const detail::DashPattern dash{{1, 1}, 0};
    const Polyline line{{{0, 0}, {1000, 0}}, false};
    EXPECT_NEAR(detail::dashSteps({line}, {}, dash), 1001, 1e-6);
    // A transform that squeezes user space makes the same device line long in user space.
    EXPECT_NEAR(detail::dashSteps({line}, {1e-3, 0, 0, 1}, dash), 1e6 + 1, 1e-3);
    EXPECT_TRUE(std::isinf(detail::dashSteps({line}, {5e-324, 0, 0, 1}, dash)));
    // A determinant among the subnormals: cairo's inverse overflows, even where this direction
    // alone would be measured finitely, and so does its walk however long the dashes.
    EXPECT_TRUE(std::isinf(detail::dashSteps({line}, {1e-160, 0, 0, 1e-160}, {{1e300, 1e300}, 0})));
    EXPECT_TRUE(std::isinf(detail::dashSteps({line}, {1e-160, 0, 0, 1e-160}, {{48, 1e308, 155}, 0})));
    // A segment across more than cairo's grid can measure from its start.
    EXPECT_TRUE(std::isinf(detail::dashSteps({{{{-4194304, 0}, {4194304, 1}}, false}}, {}, {{1e9, 1e9}, 0})));
}

using test::compare;
using test::Difference;

// A polygon round a circle of radius 100,000 whose edge crosses the picture, with short dashes:
// a quarter of a million dash steps, nearly all out of sight. Dashed within the picture, it
// draws what cairo's own dasher draws.
TEST(DashedStroke, LongDashedPathsDrawAsCairoDashesThem) {
    struct Case {
        const char* what;
        LineCap cap;
        cairo_line_cap_t cairoCap;
        double offset;
    };
    const Case cases[] = {{"butt", LineCap::butt, CAIRO_LINE_CAP_BUTT, 0},
                          {"round, offset", LineCap::round, CAIRO_LINE_CAP_ROUND, 1.5},
                          {"square", LineCap::square, CAIRO_LINE_CAP_SQUARE, 7}};
    const double dash[] = {3, 2};
    std::vector<detail::Vec2> ring;
    for (int i = 0; i < 20000; ++i)
        ring.push_back({60 + 1e5 * std::sin(i * 3.141592653589793 / 10000), 100055 - 1e5 * std::cos(i * 3.141592653589793 / 10000)});
    for (const Case& c : cases) {
        test::TestSurface expected(120, 110), actual(120, 110);
        cairo_t* cr = cairo_create(expected.get());
        for (const auto& p : ring) cairo_line_to(cr, p.x, p.y);
        cairo_close_path(cr);
        cairo_set_line_width(cr, 2.5);
        cairo_set_line_cap(cr, c.cairoCap);
        cairo_set_dash(cr, dash, 2, c.offset);
        cairo_set_source_rgba(cr, 0.6, 0.1, 0.3, 1);
        cairo_stroke(cr);
        cairo_destroy(cr);

        GraphicsContext g(actual.get());
        g.setStrokeColor({0.6, 0.1, 0.3, 1});
        g.setLineWidth(2.5);
        g.setLineCap(c.cap);
        g.setLineDash(dash, c.offset);
        for (const auto& p : ring) g.addLineTo(p.x, p.y);
        g.closePath();
        g.strokePath();

        const Difference d = compare(expected, actual);
        EXPECT_LE(d.worst, 48) << c.what;
        EXPECT_LE(d.beyondFew, 120 * 110 / 100) << c.what;
        EXPECT_GT(actual.inked(0, 50, 120, 60), 100) << c.what;
    }
}

// A dash longer than each subpath covers all of it, and the stroke is still cairo's dashed one,
// to the bit: its plain stroker gave other levels along the edges of such strokes, up to 170 of
// them; and so is one whose dash ends on the path.
TEST(DashedStroke, AStrokeWithinItsFirstDashDrawsAsCairoDashesIt) {
    struct Case {
        const char* what;
        test::Subpaths subpaths;  // user space
        bool closed;
        double scale;  // of user space
        LineCap cap;
        cairo_line_cap_t cairoCap;
        std::vector<double> dash;
        double offset;
        bool covered;
    };
    std::vector<detail::Vec2> ring;  // a rough small ellipse, 12 units across
    for (int i = 0; i < 48; ++i) {
        const double t = i * 2 * 3.141592653589793 / 48;
        ring.push_back({100 + 6 * std::cos(t) + 0.4 * std::sin(7 * t), 100 + 5 * std::sin(t) + 0.3 * std::cos(5 * t)});
    }
    const std::vector<detail::Vec2> zigzag{{80, 90}, {110, 95}, {85, 105}, {115, 110}};
    const std::vector<detail::Vec2> far{{150, 40}, {160, 45}};
    const Case cases[] = {
        {"a dotted ring", {ring}, true, 1, LineCap::round, CAIRO_LINE_CAP_ROUND, {100, 300}, 0, true},
        {"an open zigzag, butt ends", {zigzag}, false, 1, LineCap::butt, CAIRO_LINE_CAP_BUTT, {90, 20}, 0, true},
        {"two subpaths, square ends", {zigzag, far}, false, 1, LineCap::square, CAIRO_LINE_CAP_SQUARE, {95, 10}, 0, true},
        {"offset into the first dash", {ring}, true, 1, LineCap::round, CAIRO_LINE_CAP_ROUND, {100, 5}, 40, true},
        {"user space scaled up", {ring}, true, 3, LineCap::round, CAIRO_LINE_CAP_ROUND, {40, 5}, 0, true},
        {"the dash ends on the ring", {ring}, true, 1, LineCap::butt, CAIRO_LINE_CAP_BUTT, {30, 5}, 0, false},
        {"the offset starts off a dash", {zigzag}, false, 1, LineCap::butt, CAIRO_LINE_CAP_BUTT, {90, 20}, 95, false},
        {"an odd pattern, covered", {zigzag}, false, 1, LineCap::round, CAIRO_LINE_CAP_ROUND, {90}, 0, true},
    };
    constexpr int side = 220;
    for (const Case& c : cases) {
        const double width = 24;
        test::TestSurface expected(side, side), actual(side, side);
        cairo_t* cr = cairo_create(expected.get());
        cairo_scale(cr, c.scale, c.scale);
        cairo_translate(cr, (1 - c.scale) * 50, (1 - c.scale) * 50);
        test::addSubpaths(cr, c.subpaths, c.closed);
        cairo_set_line_width(cr, width);
        cairo_set_line_cap(cr, c.cairoCap);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_set_dash(cr, c.dash.data(), static_cast<int>(c.dash.size()), c.offset);
        cairo_set_source_rgba(cr, 0.2, 0.1, 0.5, 0.9);
        cairo_stroke(cr);
        cairo_destroy(cr);

        GraphicsContext g(actual.get());
        g.scaleCTM(c.scale, c.scale);
        g.translateCTM((1 - c.scale) * 50, (1 - c.scale) * 50);
        g.setStrokeColor({0.2, 0.1, 0.5, 0.9});
        g.setLineWidth(width);
        g.setLineCap(c.cap);
        g.setLineJoin(LineJoin::round);
        g.setLineDash(c.dash, c.offset);
        const std::vector<Polyline> device = test::addSubpaths(g, c.subpaths, c.closed);
        g.strokePath();

        EXPECT_EQ(test::compare(expected, actual).worst, 0) << c.what << (c.covered ? ", covered by its first dash" : "");
        EXPECT_GT(actual.inkedTotal(), 600) << c.what;
    }
}

TEST(DashedStroke, DashesFinerThanThePixelsBlendIntoLighterInk) {
    struct Case {
        const char* what;
        std::vector<double> dash;
        LineCap cap;
        int alpha;  // the share of the stroke the dashes cover
    };
    const Case cases[] = {
        {"a quarter on", {1e-7, 3e-7}, LineCap::butt, 64},
        {"half on, in three lengths", {1e-7, 2e-7, 3e-7}, LineCap::butt, 128},
        {"square caps closing the gaps", {1e-7, 3e-7}, LineCap::square, 255},
    };
    for (const Case& c : cases) {
        test::TestSurface surface(64, 32);
        GraphicsContext g(surface.get());
        g.setLineWidth(10);
        g.setLineCap(c.cap);
        g.setLineDash(c.dash, 0);
        g.moveTo(-10, 16);
        g.addLineTo(74, 16);
        g.strokePath();
        EXPECT_TRUE(g.isHealthy());
        EXPECT_NEAR(surface.alpha(32, 16), c.alpha, 3) << c.what;
        EXPECT_EQ(surface.alpha(32, 4), 0) << c.what;
    }
}

// Strokes cairo cannot draw as given: nearly singular transforms (a dash walk that would never
// end), and pens millions of pixels wide or wider (minutes of pen vertices, cairo running out of
// memory, or crashing under a clip).
TEST(DashedStroke, UnwieldyStrokesStillDrawAndLeaveCairoUsable) {
    struct Case {
        const char* what;
        AffineTransform transform;
        double width;
        bool dashed, clipped;
        LineCap cap;
        LineJoin join;
        bool coversAll;  // a round pen wider than the picture covers every pixel
    };
    const AffineTransform identity;
    const Case cases[] = {
        {"nearly singular, dashed", {-1, -12.114, 4.94e-324, 0, 0, 0}, 115, true, false, LineCap::butt, LineJoin::miter, false},
        {"squeezed, dashed", {1, 0, 0, 1e-300, 0, 0}, 1, true, true, LineCap::butt, LineJoin::miter, false},
        {"tiny, long dashes", {1e-160, 0, 0, 1e-160, 0, 0}, 1e160, true, false, LineCap::butt, LineJoin::miter, false},
        {"1e308 wide, dashed, clipped", identity, 1e308, true, true, LineCap::round, LineJoin::miter, true},
        {"1e308 wide, clipped", identity, 1e308, false, true, LineCap::butt, LineJoin::miter, false},
        {"1e308 wide, round, clipped", identity, 1e308, false, true, LineCap::round, LineJoin::round, true},
        {"1e13 wide, round", identity, 1e13, false, false, LineCap::round, LineJoin::round, true},
        {"1e15 wide, round, dashed", identity, 1e15, true, false, LineCap::round, LineJoin::round, true},
    };
    const double dash[] = {44.8, 112.8, 1e300};
    for (const Case& c : cases) {
        test::TestSurface surface(64, 64);
        GraphicsContext g(surface.get());
        if (c.clipped) g.clipToRect({0, 0, 64, 64});
        g.setLineCap(c.cap);
        g.setLineJoin(c.join);
        g.moveTo(-20, 20);
        g.addLineTo(80, 30);
        g.addCurveTo(100, 100, -50, 70, -30, 40);
        ASSERT_TRUE(g.setCTM(c.transform));
        g.setLineWidth(c.width);
        if (c.dashed) g.setLineDash(dash, 0);
        g.strokePath();
        EXPECT_TRUE(g.isHealthy()) << c.what;
        if (c.coversAll) {
            EXPECT_EQ(surface.inkedTotal(), 64 * 64) << c.what;
        }
    }
}

} // namespace
} // namespace dv::gfx
