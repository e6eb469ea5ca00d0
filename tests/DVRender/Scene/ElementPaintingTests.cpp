#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "DVGeometry/ElementIndex.hpp"
#include "DVRender/Scene/ElementPainting.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "PaintTrace.hpp"

namespace dv::test {
namespace {

struct Painted {
    std::vector<Call> calls;
    CanvasState finalState;
};

Painted paint(const Element& element, const RenderTheme& theme = RenderTheme::light,
              ImageProvider* images = nullptr, const ElementIndex* index = nullptr,
              std::optional<std::string> editing = std::nullopt) {
    static test::FakeImages noImages;
    RecordingContext context;
    RenderEnvironment environment(theme, images ? *images : noImages);
    drawElement(context, element, index, editing, environment);
    return {test::callsOf(context.displayList()), context.state()};
}

// Saves and restores pair up and never go below the starting depth.
void expectBalanced(const std::vector<Call>& calls, const std::string& what) {
    int depth = 0;
    for (const Call& c : calls) {
        if (c.name == "save") ++depth;
        if (c.name == "restore") --depth;
        ASSERT_GE(depth, 0) << what;
    }
    EXPECT_EQ(depth, 0) << what;
}

TEST(DrawElement, EveryKindLeavesTheStateAsFound) {
    for (const RenderTheme* theme : {&RenderTheme::light, &RenderTheme::dark}) {
        for (double roughness : {0.0, 1.5}) {
            for (Element e : test::everyKind()) {
                e.roughness = roughness;
                e.rotation = 0.3;
                e.shadowBlur = 3;
                e.strokeStyle = StrokeStyle::dashed;
                const std::string what = e.id + " roughness " + std::to_string(roughness);
                const Painted p = paint(e, *theme);
                EXPECT_EQ(p.finalState, CanvasState()) << what;
                expectBalanced(p.calls, what);
                EXPECT_GT(p.calls.size(), 10u) << what;
            }
        }
    }
}

TEST(DrawElement, CommonStyle) {
    struct Case {
        const char* name;
        std::function<void(Element&)> change;
        bool dark;
        const char* property;
        std::vector<std::string> expected;  // every value set, in order
    };
    const Case cases[] = {
        {"transparent fill", [](Element& e) { e.fillColor = CSSColor("transparent"); }, false, "fillStyle",
         {"rgba(0,0,0,0)"}},
        {"capital Transparent", [](Element& e) { e.fillColor = CSSColor("Transparent"); }, false, "fillStyle",
         {"Transparent"}},
        {"none fill paints nothing", [](Element& e) { e.fillColor = CSSColor("none"); }, false, "fillStyle",
         {"rgba(0,0,0,0)"}},
        {"none stroke paints nothing", [](Element& e) { e.strokeColor = CSSColor("none"); }, false, "strokeStyle",
         {"rgba(0,0,0,0)"}},
        {"dark default ink", [](Element& e) { e.strokeColor = CSSColor("#000"); }, true, "strokeStyle", {"#e2e2ef"}},
        {"dark ink over a fill", [](Element& e) {
             e.strokeColor = CSSColor("#000");
             e.fillColor = CSSColor("#ffcc80");
         }, true, "strokeStyle", {"#000"}},
        {"default caps", [](Element&) {}, false, "lineCap", {"round"}},
        {"butt caps", [](Element& e) { e.lineCap = LineCap::butt; }, false, "lineCap", {"butt"}},
        {"dotted is round", [](Element& e) {
             e.lineCap = LineCap::butt;
             e.strokeStyle = StrokeStyle::dotted;
         }, false, "lineCap", {"butt", "round"}},
        {"bevel joins", [](Element& e) { e.lineJoin = LineJoin::bevel; }, false, "lineJoin", {"bevel"}},
        {"no blur no shadow", [](Element& e) {
             e.shadowBlur = 0;
             e.shadowColor = CSSColor("#ff0000");
         }, false, "shadowColor", {}},
        {"default shadow", [](Element& e) { e.shadowBlur = 5; }, false, "shadowColor", {"rgba(0,0,0,0.35)"}},
        {"dark shadow", [](Element& e) { e.shadowBlur = 5; }, true, "shadowColor", {"rgba(255,255,255,0.24)"}},
    };
    for (const auto& c : cases) {
        Element e = test::rectangle("r", 0, 0, 100, 50);
        c.change(e);
        const Painted p = paint(e, c.dark ? RenderTheme::dark : RenderTheme::light);
        std::vector<std::string> values = propertyValues(p.calls, c.property);
        // The rectangle sets no further paints of its own (no label), so these are the style's.
        EXPECT_EQ(values, c.expected) << c.name;
    }
}

TEST(DrawElement, DashesAndShadowOffsets) {
    struct Case { StrokeStyle style; double width; std::vector<double> dash; };
    const Case cases[] = {
        {StrokeStyle::solid, 2, {}},
        {StrokeStyle::dashed, 2, {12, 6}},
        {StrokeStyle::dotted, 2, {2, 6}},
        {StrokeStyle::dashed, 1, {8, 4}},
    };
    for (const auto& c : cases) {
        Element e = test::rectangle("r", 0, 0, 100, 50);
        e.strokeStyle = c.style;
        e.strokeWidth = c.width;
        const auto dashes = named(paint(e).calls, "setLineDash");
        ASSERT_EQ(dashes.size(), 1u);
        EXPECT_EQ(dashes[0].args, c.dash);
    }
    Element e = test::rectangle("r", 0, 0, 100, 50);
    e.shadowBlur = 5;
    const auto calls = paint(e).calls;
    EXPECT_EQ(named(calls, "shadowOffsetX")[0].args[0], 4);
    EXPECT_EQ(named(calls, "shadowOffsetY")[0].args[0], 4);
    EXPECT_EQ(named(calls, "shadowBlur")[0].args[0], 5);
}

TEST(DrawElement, RotationAboutTheBoundsCentre) {
    Element e = test::rectangle("r", 10, 20, 100, 50);
    EXPECT_EQ(countOf(paint(e).calls, "rotate"), 0u);
    e.rotation = 0;
    EXPECT_EQ(countOf(paint(e).calls, "rotate"), 0u);
    e.rotation = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(countOf(paint(e).calls, "rotate"), 0u);
    e.rotation = M_PI / 2;
    const auto calls = paint(e).calls;
    const auto translates = named(calls, "translate");
    ASSERT_EQ(translates.size(), 2u);
    EXPECT_EQ(translates[0].args, (std::vector<double>{60, 45}));
    EXPECT_EQ(translates[1].args, (std::vector<double>{-60, -45}));
    EXPECT_EQ(named(calls, "rotate")[0].args[0], M_PI / 2);
}

TEST(HandDrawn, PieceCounts) {
    struct Case { const char* name; Element element; const char* call; std::size_t count; };
    Element roughRect = test::rectangle("r", 0, 0, 100, 50);
    roughRect.roughness = 1;
    Element plainRect = roughRect;
    plainRect.roughness = 0.04;
    Element roughEllipse = test::ellipseElement("e", 0, 0, 100, 50);
    roughEllipse.roughness = 1;
    Element flatEllipse = test::ellipseElement("e", 0, 0, 0, 50);
    flatEllipse.roughness = 1;
    Element nanRough = roughRect;
    nanRough.roughness = std::numeric_limits<double>::quiet_NaN();
    Element edgeRough = roughRect;
    edgeRough.roughness = 0.05;
    const Case cases[] = {
        {"rough rectangle", roughRect, "quadraticCurveTo", 8},
        {"plain rectangle", plainRect, "quadraticCurveTo", 0},
        {"roughness 0.05 is rough", edgeRough, "quadraticCurveTo", 8},
        // The NaN amplitude makes the canvas drop the wobbly pieces, but the outline is the
        // closed hand-drawn one, not the plain rectangle.
        {"NaN roughness is rough", nanRough, "closePath", 1},
        {"plain rectangle is not closed by hand", plainRect, "closePath", 0},
        {"rough ellipse", roughEllipse, "lineTo", 48},
        {"rough ellipse of width 0", flatEllipse, "lineTo", 48},
    };
    for (const auto& c : cases) EXPECT_EQ(countOf(paint(c.element).calls, c.call), c.count) << c.name;
}

TEST(HandDrawn, RoughSegmentPiecesByLength) {
    // n = max(2, round(len / 80)), at most 1024; a segment shorter than 1 is not drawn.
    struct Case { double length; std::size_t pieces; };
    const Case cases[] = {
        {0.5, 0}, {1, 2}, {100, 2}, {200, 3}, {400, 5}, {1000, 13},
        {81880, 1024}, {81960, 1024}, {1e6, 1024}, {2e7, 1024},
    };
    for (const auto& c : cases) {
        Element a = test::line("a", 0, 0, c.length, 0);
        a.roughness = 1;
        const auto calls = paint(a).calls;
        EXPECT_EQ(countOf(calls, "quadraticCurveTo"), c.pieces) << c.length;
        EXPECT_EQ(countOf(calls, "stroke"), c.pieces ? 1u : 0u) << c.length;
    }
    // Length 100: amplitude roughness × min(100 × 0.04, 14) = 4 for roughness 1, along the normal.
    Element a = test::line("a", 0, 0, 100, 0);
    a.roughness = 1;
    const auto quads = named(paint(a).calls, "quadraticCurveTo");
    const double phase = hashId("a") * 0.001;
    EXPECT_NEAR(quads[0].args[0], 25, 1e-9);
    EXPECT_NEAR(quads[0].args[1], std::sin(phase) * 4, 1e-9);
    EXPECT_NEAR(quads[1].args[1], std::sin(phase + 1.7) * 4, 1e-9);
    EXPECT_EQ(quads[1].args[2], 100);
}

TEST(HandDrawn, RoughQuadJitter) {
    // The first control point of edge 0 sits at the quarter point pushed by a·sin(phase + 1.7).
    Element e = test::rectangle("ab", 0, 0, 100, 40);
    e.roughness = 2;
    const auto quads = named(paint(e).calls, "quadraticCurveTo");
    ASSERT_EQ(quads.size(), 8u);
    const double a = 2 * 40 * 0.03;
    const double phase = 3105 * 0.001;
    const double phaseY = (3105 + 99) * 0.001;
    EXPECT_NEAR(quads[0].args[0], 25 + a * std::sin(phase + 1.7), 1e-9);
    EXPECT_NEAR(quads[0].args[1], 0 + a * std::sin(phaseY + 1.7), 1e-9);
    EXPECT_NEAR(quads[1].args[0], 75 + a * std::sin(phase + 5.1), 1e-9);
    EXPECT_EQ(quads[1].args[2], 100);
    EXPECT_NEAR(quads[7].args[1], 10 + a * std::sin(phaseY + 40.8), 1e-9);
}

TEST(HandDrawn, DeterministicAndIndependentOfPosition) {
    for (Element e : test::everyKind()) {
        e.roughness = 1.2;
        EXPECT_EQ(paint(e).calls.size(), paint(e).calls.size()) << e.id;
        const auto first = paint(e).calls;
        const auto second = paint(e).calls;
        ASSERT_EQ(first.size(), second.size());
        for (std::size_t i = 0; i < first.size(); ++i) {
            EXPECT_EQ(first[i].name, second[i].name);
            EXPECT_EQ(first[i].args, second[i].args) << e.id << " call " << i;
        }
    }
    // Moving a rough rectangle moves every point by the same amount: the jitter stays.
    Element e = test::rectangle("moving", 0, 0, 100, 40);
    e.roughness = 1;
    Element moved = e;
    moved.x += 300;
    const auto a = named(paint(e).calls, "quadraticCurveTo");
    const auto b = named(paint(moved).calls, "quadraticCurveTo");
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(b[i].args[0] - a[i].args[0], 300, 1e-9);
        EXPECT_EQ(b[i].args[1], a[i].args[1]);
    }
    // Another id wobbles differently.
    Element other = e;
    other.id = "other";
    EXPECT_NE(named(paint(other).calls, "quadraticCurveTo")[0].args, a[0].args);
}

}  // namespace
}  // namespace dv::test
