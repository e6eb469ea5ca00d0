// Editor overlays, call by call against a recording, and once through the bitmap back end.

#include "DVRender/Editor/Overlays.hpp"

#include "../Scene/PaintTrace.hpp"
#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace dv::test {
namespace {

std::vector<Call> record(const std::function<void(DrawingContext&)>& draw) {
    RecordingContext context;
    draw(context);
    return callsOf(context.displayList());
}

void expectBalanced(const std::vector<Call>& calls) {
    EXPECT_EQ(countOf(calls, "save"), countOf(calls, "restore"));
    if (!calls.empty()) {
        EXPECT_EQ(calls.front().name, "save");
        EXPECT_EQ(calls.back().name, "restore");
    }
}

std::vector<double> radiiOf(const std::vector<Call>& calls) {
    std::vector<double> radii;
    for (const Call& arc : named(calls, "arc")) radii.push_back(arc.args[2]);
    return radii;
}

const Viewport unit{0, 0, 1};

TEST(Overlays, PortsAndSnapRing) {
    // A line has no ports: nothing at all, not even a save.
    EXPECT_TRUE(record([](DrawingContext& c) {
                    drawPortIndicators(c, line("l", 0, 0, 50, 50), unit, std::nullopt, RenderTheme::light, 2);
                }).empty());

    const Element box = rectangle("r", 0, 0, 100, 50);
    const std::vector<ElementPort> ports = getElementPorts(box);
    ASSERT_FALSE(ports.empty());
    // An anchor 5e-7 away in both coordinates still counts as the active port.
    ConnectorAnchor near = ports[1].anchor;
    near.x += 0.0000005;
    near.y -= 0.0000005;
    auto calls = record([&](DrawingContext& c) { drawPortIndicators(c, box, unit, near, RenderTheme::light, 2); });
    expectBalanced(calls);
    EXPECT_EQ(named(calls, "scale")[0].args, (std::vector<double>{2, 2}));
    std::vector<double> expectedRadii(ports.size(), 4);
    expectedRadii[1] = 5;
    EXPECT_EQ(radiiOf(calls), expectedRadii);
    const auto fills = propertyValues(calls, "fillStyle");
    EXPECT_EQ(fills[1], "#0b6fd0");
    EXPECT_EQ(fills[0], "rgba(255,255,255,0.9)");
    // On the dark canvas the accent is cyan.
    calls = record([&](DrawingContext& c) { drawPortIndicators(c, box, unit, near, RenderTheme::dark, 1); });
    EXPECT_EQ(propertyValues(calls, "strokeStyle")[0], "cyan");

    calls = record([](DrawingContext& c) { drawSnapIndicator(c, 10, 20, Viewport{5, 5, 2}, RenderTheme::light, 1); });
    expectBalanced(calls);
    ASSERT_EQ(named(calls, "arc").size(), 1u);
    EXPECT_EQ(named(calls, "arc")[0].args[0], 25);
    EXPECT_EQ(named(calls, "arc")[0].args[1], 45);
    EXPECT_EQ(named(calls, "arc")[0].args[2], 16);
}

TEST(Overlays, SelectionOfOneRotatedRectangleTurnsEverything) {
    Element box = rectangle("r", 10, 20, 100, 50);
    box.rotation = 0.5;
    const auto calls = record([&](DrawingContext& c) {
        drawSelection(c, {box}, unit, nullptr, RenderTheme::light, 1);
    });
    expectBalanced(calls);
    // The rotation about the box's centre comes before the box and every handle.
    ASSERT_EQ(countOf(calls, "rotate"), 1u);
    EXPECT_EQ(named(calls, "translate")[0].args, (std::vector<double>{60, 45}));
    EXPECT_EQ(named(calls, "rotate")[0].args[0], 0.5);
    EXPECT_EQ(named(calls, "translate")[1].args, (std::vector<double>{-60, -45}));
    const auto rects = named(calls, "strokeRect");
    ASSERT_EQ(rects.size(), 9u);  // the box and eight handles
    EXPECT_EQ(rects[0].args, (std::vector<double>{9, 19, 102, 52}));
    EXPECT_EQ(rects[1].args, (std::vector<double>{6, 16, 8, 8}));      // top-left
    EXPECT_EQ(rects[8].args, (std::vector<double>{106, 66, 8, 8}));    // bottom-right
    EXPECT_EQ(countOf(calls, "fillRect"), 8u);
    // Rotation handle: stem, knob of radius 7 at 34 above the top, and the turn sign.
    EXPECT_EQ(radiiOf(calls), (std::vector<double>{7, 4.5}));
    EXPECT_EQ(named(calls, "arc")[0].args[1], 20 - 34);
    EXPECT_EQ(countOf(calls, "setLineDash"), 2u);  // dashed box, then solid again
}

TEST(Overlays, SelectionOfTwoOutlinesEachMemberUnrotated) {
    Element a = rectangle("a", 0, 0, 10, 10);
    a.rotation = 1;
    Element b = ellipseElement("b", 20, 0, 10, 10);
    const auto calls = record([&](DrawingContext& c) {
        drawSelection(c, {a, b}, unit, nullptr, RenderTheme::light, 1);
    });
    expectBalanced(calls);
    // Each member outline turns inside its own save; the box itself does not turn.
    EXPECT_EQ(countOf(calls, "save"), 3u);
    EXPECT_EQ(countOf(calls, "rotate"), 1u);
    const auto dashes = named(calls, "setLineDash");
    EXPECT_EQ(dashes[0].args, (std::vector<double>{4, 3}));
    EXPECT_EQ(dashes[1].args, (std::vector<double>{4, 3}));
    const auto rects = named(calls, "strokeRect");
    EXPECT_EQ(rects[0].args, (std::vector<double>{-4, -4, 18, 18}));  // the rectangle's outline
    EXPECT_EQ(rects[1].args, (std::vector<double>{-1, -1, 32, 12}));  // the unrotated box
}

TEST(Overlays, EmbeddedPictureHasNoRotationHandle) {
    const Element picture = stencil("s", 0, 0, 40, 40, StencilSource::embedded("data:image/png;base64,AA==", "", ""));
    const auto calls = record([&](DrawingContext& c) {
        drawSelection(c, {picture}, unit, nullptr, RenderTheme::light, 1);
    });
    EXPECT_TRUE(named(calls, "arc").empty());
    EXPECT_EQ(countOf(calls, "strokeRect"), 9u);
}

TEST(Overlays, ConnectorGrips) {
    Element straight = line("l", 0, 0, 100, 0);
    auto calls = record([&](DrawingContext& c) { drawSelection(c, {straight}, unit, nullptr, RenderTheme::light, 1); });
    // rotation knob 7 and sign 4.5, then the two ends and the straight middle
    EXPECT_EQ(radiiOf(calls), (std::vector<double>{7, 4.5, 5, 5, 4}));
    EXPECT_EQ(named(calls, "arc").back().args[0], 50);

    Element bent = straight;
    bent.payload.line()->cx = 50;
    bent.payload.line()->cy = 40;
    calls = record([&](DrawingContext& c) { drawSelection(c, {bent}, unit, nullptr, RenderTheme::light, 1); });
    EXPECT_EQ(radiiOf(calls), (std::vector<double>{7, 4.5, 5, 5, 5}));
    EXPECT_EQ(named(calls, "setLineDash").back().args, (std::vector<double>{}));
    bool guides = false;
    for (const Call& dash : named(calls, "setLineDash")) guides = guides || dash.args == std::vector<double>{3, 3};
    EXPECT_TRUE(guides);

    Element elbow = straight;
    elbow.payload.line()->routing = ConnectorRouting::elbow;
    calls = record([&](DrawingContext& c) { drawSelection(c, {elbow}, unit, nullptr, RenderTheme::light, 1); });
    EXPECT_EQ(radiiOf(calls), (std::vector<double>{7, 4.5, 5, 5}));
}

TEST(Overlays, MarqueeGuidesTextPreviewAndCurveHandle) {
    const auto down = record([](DrawingContext& c) { drawMarquee(c, 10, 20, 50, 60, 2); });
    const auto up = record([](DrawingContext& c) { drawMarquee(c, 50, 60, 10, 20, 2); });
    EXPECT_EQ(named(down, "fillRect")[0].args, (std::vector<double>{10, 20, 40, 40}));
    EXPECT_EQ(named(up, "fillRect")[0].args, named(down, "fillRect")[0].args);
    EXPECT_EQ(named(up, "strokeRect")[0].args, named(down, "strokeRect")[0].args);
    expectBalanced(up);

    EXPECT_TRUE(record([](DrawingContext& c) { drawAlignGuides(c, {}, unit, 100, 100, 2); }).empty());
    const auto guides = record([](DrawingContext& c) {
        drawAlignGuides(c, {{AlignGuide::Axis::x, 10}, {AlignGuide::Axis::y, 10}}, Viewport{0, 0, 2}, 300, 200, 2);
    });
    expectBalanced(guides);
    EXPECT_EQ(countOf(guides, "scale"), 0u);  // device pixels
    EXPECT_EQ(named(guides, "moveTo")[0].args, (std::vector<double>{40, 0}));
    EXPECT_EQ(named(guides, "lineTo")[0].args, (std::vector<double>{40, 200}));
    EXPECT_EQ(named(guides, "moveTo")[1].args, (std::vector<double>{0, 40}));
    EXPECT_EQ(named(guides, "globalAlpha")[0].args[0], 0.85);

    for (double zoom : {0.5, 4.0}) {
        const auto preview = record([&](DrawingContext& c) { drawTextDragPreview(c, 1, 2, 30, 40, Viewport{0, 0, zoom}, 2); });
        expectBalanced(preview);
        EXPECT_EQ(named(preview, "lineWidth")[0].args[0], 1.5 / zoom);
        EXPECT_EQ(named(preview, "fillRect")[0].args, (std::vector<double>{1, 2, 30, 40}));
    }

    EXPECT_TRUE(record([](DrawingContext& c) { drawCurveControlPoint(c, line("l", 0, 0, 1, 1), unit, 2); }).empty());
    Element::Curve curve{100, 0, 50, 80};
    const Element c = baseElement("c", 0, 0, Element::Payload(curve));
    const auto handle = record([&](DrawingContext& context) { drawCurveControlPoint(context, c, unit, 2); });
    expectBalanced(handle);
    EXPECT_EQ(named(handle, "lineTo")[0].args, (std::vector<double>{100, 160}));
    EXPECT_EQ(radiiOf(handle), (std::vector<double>{10}));
    EXPECT_EQ(named(handle, "lineWidth")[1].args[0], 3);
}

TEST(Overlays, HoverAndToolPreview) {
    Element box = rectangle("r", 10, 10, 20, 20);
    auto calls = record([&](DrawingContext& c) { drawHoverHighlight(c, box, Viewport{0, 0, 2}, nullptr, 1); });
    expectBalanced(calls);
    EXPECT_EQ(named(calls, "strokeRect")[0].args, (std::vector<double>{18, 18, 44, 44}));
    Element bent = line("l", 0, 0, 100, 0);
    bent.payload.line()->cx = 50;
    bent.payload.line()->cy = 30;
    calls = record([&](DrawingContext& c) { drawHoverHighlight(c, bent, unit, nullptr, 1); });
    EXPECT_EQ(named(calls, "quadraticCurveTo")[0].args, (std::vector<double>{50, 30, 100, 0}));

    EXPECT_TRUE(record([](DrawingContext& c) {
                    drawToolPreview(c, {}, ElementIndex(), unit, RenderEnvironment(RenderTheme::light), 1);
                }).empty());
    const std::vector<Element> preview{rectangle("p", 0, 0, 10, 10)};
    calls = record([&](DrawingContext& c) {
        drawToolPreview(c, preview, ElementIndex(preview), unit, RenderEnvironment(RenderTheme::light), 1);
    });
    expectBalanced(calls);
    EXPECT_EQ(countOf(calls, "setTransform"), 1u);
    EXPECT_GE(countOf(calls, "stroke"), 1u);
}

// Through the bitmap back end: the selection of a rectangle shows its handles in the
// handle colours of each theme, and the marquee's tint covers its inside.
TEST(Overlays, PixelsInBothThemes) {
    for (const RenderTheme* theme : {&RenderTheme::light, &RenderTheme::dark}) {
        auto bitmap = gfx::Bitmap::create(120, 120);
        ASSERT_TRUE(bitmap);
        {
            CGDrawingContext context(std::make_shared<gfx::GraphicsContext>(*bitmap));
            context.setFillStyle(theme->canvasBackground);
            context.fillRect(0, 0, 120, 120);
            drawSelection(context, {rectangle("r", 20, 50, 80, 40)}, unit, nullptr, *theme, 1);
        }
        // The inside of the top-left handle is the handle fill.
        const std::uint32_t inside = bitmap->pixel(20, 50) & 0xFFFFFF;
        EXPECT_EQ(inside, theme->isLight ? 0xFFFFFFu : 0x1C1C2Au) << theme->isLight;
        // The rotation knob sits 34 above the top edge, centred.
        EXPECT_NE(bitmap->pixel(60, 50 - 34 - 7) & 0xFFFFFF, bitmap->pixel(5, 5) & 0xFFFFFF);
    }
}

}  // namespace
}  // namespace dv::test
