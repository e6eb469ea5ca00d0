#include "Platform/Graphics/GraphicsContext.hpp"

#include "tests/support/TestSurface.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace dv::gfx {
namespace {

using test::TestSurface;

constexpr Color RED{1, 0, 0, 1};
constexpr Color BLACK{0, 0, 0, 1};

TEST(GraphicsFill, RulesDecideTheHoleOfNestedRectangles) {
    struct Case {
        FillRule rule;
        int innerAlpha;
    };
    for (const Case c : {Case{FillRule::winding, 255}, Case{FillRule::evenOdd, 0}}) {
        TestSurface s(100, 100);
        GraphicsContext g(s.get());
        g.setFillColor(RED);
        g.addRect({10, 10, 80, 80});
        g.addRect({30, 30, 40, 40});
        g.fillPath(c.rule);
        EXPECT_EQ(s.alpha(15, 15), 255);
        EXPECT_EQ(s.alpha(50, 50), c.innerAlpha);
        EXPECT_EQ(s.alpha(5, 5), 0);
    }
}

TEST(GraphicsFill, IntegerRectanglesHaveHardEdgesAndGlobalAlphaScalesTheSource) {
    TestSurface s(100, 100);
    GraphicsContext g(s.get());
    g.setFillColor(RED);
    g.fillRect({10, 20, 30, 40});
    EXPECT_EQ(s.at(10, 20).r, 255);
    EXPECT_EQ(s.at(39, 59).a, 255);
    EXPECT_EQ(s.alpha(9, 20), 0);
    EXPECT_EQ(s.alpha(40, 60), 0);
    g.setAlpha(0.5);
    g.fillRect({60, 0, 10, 10});
    const auto p = s.at(65, 5);
    EXPECT_NEAR(p.a, 128, 1);
    EXPECT_NEAR(p.r, 128, 1);
    EXPECT_EQ(p.g, 0);
}

TEST(GraphicsPath, PaintingKeepsThePathAndTransformsApplyWhenPointsAreAdded) {
    TestSurface s(100, 100);
    GraphicsContext g(s.get());
    g.addRect({20, 20, 20, 20});
    g.setFillColor(RED);
    g.fillPath(FillRule::winding);
    EXPECT_FALSE(g.isPathEmpty());
    g.setStrokeColor(BLACK);
    g.setLineWidth(4);
    // The transform changes after the points were added: the outline stays where it was.
    g.scaleCTM(2, 2);
    g.strokePath();
    EXPECT_EQ(s.at(18, 30).a, 255); // stroke outside the fill, 2 px wide half-width
    EXPECT_EQ(s.at(18, 30).r, 0);
    EXPECT_EQ(s.alpha(45, 30), 0); // not doubled by the later scale
}

TEST(GraphicsState, RefusedInputNeverBreaksTheContext) {
    TestSurface s(50, 50);
    GraphicsContext g(s.get());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(g.restoreGState());
    g.scaleCTM(0, 1);
    g.concatCTM({1, 2, 2, 4, 0, 0});
    g.concatCTM({nan, 0, 0, 1, 0, 0});
    g.translateCTM(inf, 0);
    EXPECT_EQ(g.userToDevice(), AffineTransform{});
    const std::vector<double> zeros{0, 0};
    g.setLineDash(zeros, 0);
    g.moveTo(nan, 1);
    g.addLineTo(inf, 2);
    g.addArc(10, 10, -1, 0, 1, false);
    g.setLineWidth(nan);
    g.setAlpha(nan);
    g.setShadow(nan, 0, 1, BLACK);
    EXPECT_TRUE(g.isPathEmpty());
    // An all-zero dash draws solid.
    g.moveTo(0, 25);
    g.addLineTo(50, 25);
    g.setLineWidth(2);
    g.strokePath();
    EXPECT_TRUE(g.isHealthy());
    for (int x = 0; x < 50; ++x) ASSERT_EQ(s.alpha(x, 25), 255) << x;
}

TEST(GraphicsState, SaveAndRestoreCoverPaintSettingsTransformAndClip) {
    TestSurface s(40, 40);
    GraphicsContext g(s.get());
    g.saveGState();
    g.setFillColor(RED);
    g.translateCTM(5, 5);
    g.clipToRect({0, 0, 10, 10});
    g.setAlpha(0.25);
    EXPECT_TRUE(g.restoreGState());
    EXPECT_FALSE(g.restoreGState());
    g.fillRect({0, 0, 40, 40});
    EXPECT_EQ(s.at(0, 0).a, 255);
    EXPECT_EQ(s.at(0, 0).r, 0); // black again
    EXPECT_EQ(s.at(39, 39).a, 255);
}

TEST(GraphicsClip, EmptyPathClipsEverythingAway) {
    TestSurface s(20, 20);
    GraphicsContext g(s.get());
    g.saveGState();
    g.clip(FillRule::winding);
    g.fillRect({0, 0, 20, 20});
    EXPECT_EQ(s.inkedTotal(), 0);
    g.restoreGState();
    g.fillRect({0, 0, 20, 20});
    EXPECT_EQ(s.inkedTotal(), 400);
}

TEST(GraphicsGuardBox, FarCoordinatesNeitherVanishNorBend) {
    // The clip a connector uses around its arrow heads: a huge rectangle with a hole.
    TestSurface s(100, 100);
    GraphicsContext g(s.get());
    g.scaleCTM(2, 2);
    g.addRect({-1e7, -1e7, 2e7, 2e7});
    g.addRect({10, 10, 20, 20});
    g.clip(FillRule::evenOdd);
    g.beginPath();
    g.fillRect({0, 0, 50, 50});
    EXPECT_EQ(s.alpha(5, 5), 255);
    EXPECT_EQ(s.alpha(95, 95), 255);
    EXPECT_EQ(s.alpha(40, 40), 0);
    EXPECT_TRUE(g.isHealthy());

    // A long line through the bitmap stays straight.
    TestSurface line(100, 100);
    GraphicsContext l(line.get());
    l.moveTo(-1e9, 50.5);
    l.addLineTo(1e9, 50.5);
    l.strokePath();
    for (int x = 0; x < 100; ++x) ASSERT_EQ(line.alpha(x, 50), 255) << x;
    EXPECT_EQ(line.inkedTotal(), 100);

    // A far curve is flattened and cut, but what lies inside the bitmap is where it belongs.
    TestSurface curve(100, 100);
    GraphicsContext c(curve.get());
    c.setFillColor(RED);
    c.moveTo(-3e7, 0);
    c.addCurveTo(-3e7, 100, 3e7, 100, 3e7, 0);
    c.closePath();
    c.fillPath(FillRule::winding);
    EXPECT_EQ(curve.alpha(50, 10), 255);
    EXPECT_EQ(curve.alpha(50, 90), 0); // the curve's middle is at y = 75
}

TEST(GraphicsStroke, DashesAndCaps) {
    TestSurface s(60, 30);
    GraphicsContext g(s.get());
    g.setLineWidth(2);
    const std::vector<double> dash{4, 4};
    g.setLineDash(dash, 0);
    g.moveTo(0, 10);
    g.addLineTo(60, 10);
    g.strokePath();
    // Runs of 4 inked, 4 empty columns on row 10.
    for (int x = 0; x < 56; ++x) EXPECT_EQ(s.alpha(x, 10) > 0, (x / 4) % 2 == 0) << x;

    g.setLineDash({}, 0);
    g.setLineCap(LineCap::round);
    g.beginPath();
    g.moveTo(10, 20);
    g.addLineTo(50, 20);
    g.strokePath();
    EXPECT_GT(s.alpha(9, 20), 0);
    EXPECT_GT(s.alpha(50, 20), 0);
    EXPECT_EQ(s.alpha(7, 20), 0);
    EXPECT_EQ(s.alpha(52, 20), 0);
}

TEST(GraphicsShadow, GoesDownForPositiveOffsetsAndFadesWithinItsPad) {
    TestSurface s(100, 100);
    GraphicsContext g(s.get());
    g.setShadow(0, 10, 0, BLACK);
    g.setFillColor(RED);
    g.fillRect({20, 20, 20, 20});
    EXPECT_EQ(s.at(30, 45).a, 255);
    EXPECT_EQ(s.at(30, 45).r, 0); // shadow, not the red shape
    EXPECT_EQ(s.alpha(30, 15), 0);
    EXPECT_EQ(s.at(30, 30).r, 255); // the shape covers its own shadow

    TestSurface b(100, 100);
    GraphicsContext blurred(b.get());
    blurred.setShadow(0, 10, 10, BLACK);
    blurred.fillRect({40, 20, 20, 20});
    // Below the shape: the shadow's edge is at y = 50, the pad (10 + 1.5·10 + 1) ends at y = 66.
    int previous = 256;
    for (int y = 41; y < 100; ++y) {
        const int a = b.alpha(50, y);
        EXPECT_LE(a, previous) << y;
        previous = a;
        if (y >= 40 + 26) {
            EXPECT_EQ(a, 0) << y;
        }
    }
    EXPECT_GT(b.alpha(50, 55), 0);
    EXPECT_LT(b.alpha(50, 55), b.alpha(50, 45));
    // Sideways the shadow reaches at most 1.5·blur + 1 beyond the shape.
    EXPECT_EQ(b.alpha(40 - 17, 35), 0);
    EXPECT_GT(b.alpha(38, 35), 0);

    TestSurface none(60, 60);
    GraphicsContext clear(none.get());
    clear.setShadow(0, 0, 10, Color{0, 0, 0, 0});
    clear.fillRect({20, 20, 20, 20});
    EXPECT_EQ(none.inked(0, 0, 60, 60), 400);
}

TEST(GraphicsShadow, StrokesCastOneShadowAndGlobalAlphaAppliesToIt) {
    TestSurface s(60, 60);
    GraphicsContext g(s.get());
    g.setAlpha(0.5);
    g.setShadow(20, 0, 0, BLACK);
    g.moveTo(10, 10);
    g.addLineTo(10, 50);
    g.setLineWidth(4);
    g.strokePath();
    EXPECT_NEAR(s.alpha(30, 30), 128, 1);
    EXPECT_NEAR(s.alpha(10, 30), 128, 1);
    EXPECT_EQ(s.alpha(20, 30), 0);
}

// Ink without alpha, from its colour or the global alpha, neither paints nor casts a shadow,
// however strong the shadow's own colour.
TEST(GraphicsShadow, InvisibleInkCastsNoShadow) {
    struct Case {
        const char* what;
        Color ink;
        double alpha;
        bool stroke;
    };
    const Case cases[] = {
        {"transparent fill", {1, 0, 0, 0}, 1, false},
        {"transparent stroke", {1, 0, 0, 0}, 1, true},
        {"fill at no global alpha", RED, 0, false},
        {"stroke at no global alpha", RED, 0, true},
    };
    for (const Case& c : cases) {
        TestSurface s(60, 60);
        GraphicsContext g(s.get());
        g.setAlpha(c.alpha);
        g.setShadow(10, 10, 4, BLACK);
        g.setFillColor(c.ink);
        g.setStrokeColor(c.ink);
        g.setLineWidth(6);
        g.addRect({10, 10, 30, 30});
        if (c.stroke) g.strokePath();
        else g.fillPath(FillRule::winding);
        EXPECT_EQ(s.inkedTotal(), 0) << c.what;
    }
}

std::vector<std::uint32_t> pixels(std::initializer_list<std::uint32_t> words) { return words; }

TEST(GraphicsImage, MirrorsNegativeSizesAndKeepsEdgesHard) {
    // Red | blue, premultiplied ARGB words.
    auto redBlue = pixels({0xFFFF0000u, 0xFF0000FFu});
    const PixelView view{reinterpret_cast<const std::uint8_t*>(redBlue.data()), 2, 1, 8};
    TestSurface s(20, 10);
    GraphicsContext g(s.get());
    g.setInterpolationQuality(InterpolationQuality::none);
    g.drawImage(view, {10, 0, -10, 10});
    EXPECT_EQ(s.at(1, 5).b, 255);
    EXPECT_EQ(s.at(8, 5).r, 255);
    EXPECT_EQ(s.alpha(12, 5), 0);

    std::vector<std::uint32_t> green(16 * 16, 0xFF00FF00u);
    const PixelView tile{reinterpret_cast<const std::uint8_t*>(green.data()), 16, 16, 64};
    TestSurface big(100, 100);
    GraphicsContext h(big.get());
    h.drawImage(tile, {10, 10, 80, 80});
    EXPECT_EQ(big.alpha(11, 11), 255);
    EXPECT_EQ(big.alpha(10, 10), 255);
    EXPECT_EQ(big.alpha(89, 89), 255);
    EXPECT_EQ(big.alpha(9, 9), 0);
    EXPECT_EQ(big.alpha(90, 90), 0);

    h.drawImage(tile, {0, 0, 0, 10});
    h.drawImage(tile, {0, 0, 1e300, 1e300});
    EXPECT_TRUE(h.isHealthy());
}

// Shapes whose path lies outside the clip are skipped before they reach cairo; whatever they
// would have painted inside it must still appear: miter tips, square caps, wide dashed pens and
// shadows cast into the clip. The reference draws the same path with one more point, a lone
// move inside the clip, which paints nothing but keeps the shape from being skipped.
TEST(GraphicsClip, ShapesOutsideTheClipStillPaintWhatReachesIn) {
    struct Case {
        const char* what;
        void (*path)(GraphicsContext&);
        bool stroke;
    };
    const Case cases[] = {
        {"miter tip", [](GraphicsContext& g) {
             g.setLineWidth(12);
             g.setLineJoin(LineJoin::miter);
             g.setMiterLimit(10);
             g.moveTo(10, 70);
             g.addLineTo(40, 75);
             g.addLineTo(10, 80);
         }, true},
        {"square cap", [](GraphicsContext& g) {
             g.setLineWidth(16);
             g.setLineCap(LineCap::square);
             g.moveTo(20, 60);
             g.addLineTo(45, 60);
         }, true},
        {"dashed wide pen", [](GraphicsContext& g) {
             const double dash[] = {7, 3};
             g.setLineDash(dash, 1);
             g.setLineWidth(30);
             g.moveTo(40, 10);
             g.addLineTo(40, 140);
         }, true},
        {"shadow cast in", [](GraphicsContext& g) {
             g.setShadow(30, 25, 6, Color{0, 0, 0.5, 0.8});
             g.addRect({10, 20, 35, 40});
         }, false},
    };
    const Rect clip{50, 50, 60, 60};
    for (const Case& c : cases) {
        TestSurface skipped(160, 160), reference(160, 160);
        GraphicsContext gs(skipped.get()), gr(reference.get());
        for (GraphicsContext* g : {&gs, &gr}) {
            g->clipToRect(clip);
            g->setFillColor(RED);
            g->setStrokeColor(BLACK);
            c.path(*g);
            if (g == &gr) g->moveTo(80, 80);
            if (c.stroke) g->strokePath();
            else g->fillPath(FillRule::winding);
        }
        int differing = 0;
        for (int y = 0; y < 160; ++y)
            for (int x = 0; x < 160; ++x) {
                const auto a = skipped.at(x, y), b = reference.at(x, y);
                differing += a.r != b.r || a.g != b.g || a.b != b.b || a.a != b.a;
            }
        EXPECT_EQ(differing, 0) << c.what;
        EXPECT_GT(reference.inked(50, 50, 110, 110), 0) << c.what << ": something reaches into the clip";
    }
}

} // namespace
} // namespace dv::gfx
