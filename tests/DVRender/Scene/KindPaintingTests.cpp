#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "DVGeometry/ElementIndex.hpp"
#include "DVRender/Scene/ElementPainting.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "DVText/TextMetrics.hpp"
#include "PaintTrace.hpp"

namespace dv::test {
namespace {

std::vector<Call> paint(const Element& element, const RenderTheme& theme = RenderTheme::light,
                        ImageProvider* images = nullptr, std::optional<std::string> editing = std::nullopt,
                        const ElementIndex* index = nullptr) {
    static test::FakeImages noImages;
    RecordingContext context;
    drawElement(context, element, index, editing, RenderEnvironment(theme, images ? *images : noImages));
    return test::callsOf(context.displayList());
}

std::vector<double> textYs(const std::vector<Call>& calls) {
    std::vector<double> ys;
    for (const Call& c : named(calls, "fillText")) ys.push_back(c.args[1]);
    return ys;
}

TEST(Boxes, GeometryOfTheOutline) {
    // Negative widths move the corner.
    auto calls = paint(test::rectangle("r", 50, 0, -100, 40));
    ASSERT_EQ(named(calls, "rect").size(), 1u);
    EXPECT_EQ(named(calls, "rect")[0].args, (std::vector<double>{-50, 0, 100, 40}));

    // A corner radius of 80 on 100 × 40 is cut to 20: the rounded outline's arcs have radius 20.
    Element rounded = test::rectangle("r", 0, 0, 100, 40);
    rounded.payload.box()->cornerRadius = 80;
    calls = paint(rounded);
    EXPECT_EQ(countOf(calls, "rect"), 0u);
    for (const Call& arc : named(calls, "arc")) EXPECT_EQ(arc.args[2], 20);
    EXPECT_EQ(countOf(calls, "arc"), 4u);
    rounded.payload.box()->cornerRadius = 0;
    EXPECT_EQ(countOf(paint(rounded), "rect"), 1u);

    // Rough and rounded: the fill is rounded, the hand-drawn outline has sharp corners.
    rounded.payload.box()->cornerRadius = 10;
    rounded.roughness = 1;
    calls = paint(rounded);
    EXPECT_EQ(countOf(calls, "arc"), 4u);
    EXPECT_EQ(countOf(calls, "quadraticCurveTo"), 8u);

    // A rhombus radius of 100 on 100 × 60 is cut to 15 (a quarter of the height).
    Element diamond = test::rhombus("d", 0, 0, 100, 60);
    diamond.payload.box()->cornerRadius = 100;
    calls = paint(diamond);
    ASSERT_EQ(countOf(calls, "arc"), 4u);
    for (const Call& arc : named(calls, "arc")) EXPECT_NEAR(arc.args[2], 15, 1e-12);
    // A square rhombus starts each corner one radius from the vertex, as a rounded square does.
    Element square = test::rhombus("q", 0, 0, 100, 100);
    square.payload.box()->cornerRadius = 10;
    calls = paint(square);
    EXPECT_NEAR(named(calls, "moveTo")[0].args[0], 50 - 10 / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(named(calls, "moveTo")[0].args[1], 10 / std::sqrt(2.0), 1e-12);
    for (const Call& arc : named(calls, "arc")) EXPECT_EQ(arc.args[2], 10);
    // Elsewhere each corner starts where its arc touches the edge, r / tan(angle / 2) from the
    // vertex: the top corner of 160 x 100 is obtuse, so its start lies nearer than r.
    Element wide = test::rhombus("w", 0, 0, 160, 100);
    wide.payload.box()->cornerRadius = 30;
    calls = paint(wide);
    const double topAngle = std::acos((-80.0 * 80 + 50.0 * 50) / (80.0 * 80 + 50.0 * 50));
    const double touch = 25 / std::tan(topAngle / 2);
    const double edge = std::hypot(80.0, 50.0);
    EXPECT_NEAR(named(calls, "moveTo")[0].args[0], 80 - 80 * touch / edge, 1e-9);
    EXPECT_NEAR(named(calls, "moveTo")[0].args[1], 50 * touch / edge, 1e-9);
    for (const Call& arc : named(calls, "arc")) EXPECT_NEAR(arc.args[2], 25, 1e-9);
    // Without a radius: the four vertices, top first.
    diamond.payload.box()->cornerRadius.reset();
    calls = paint(diamond);
    EXPECT_EQ(named(calls, "moveTo")[0].args, (std::vector<double>{50, 0}));
    EXPECT_EQ(countOf(calls, "lineTo"), 3u);
}

TEST(Boxes, LabelLinesAndColours) {
    struct Case {
        const char* name;
        std::string fill;
        std::optional<std::string> labelColor;
        bool dark;
        const char* expected;
    };
    const Case cases[] = {
        {"yellow fill", "#ffeb3b", std::nullopt, false, "#111111"},
        {"dark fill", "#1e1e1e", std::nullopt, false, "#ffffff"},
        {"transparent fill takes the stroke", "transparent", std::nullopt, false, "#000000"},
        {"transparent fill on dark", "transparent", std::nullopt, true, "#e2e2ef"},
        {"label colour", "#ffeb3b", std::string("#ff0000"), false, "#ff0000"},
        {"black label colour on dark without fill", "transparent", std::string("#000000"), true, "#e2e2ef"},
        {"empty label colour", "#ffeb3b", std::string(""), false, "#111111"},
    };
    for (const auto& c : cases) {
        Element e = test::rectangle("r", 0, 50, 200, 100);
        e.fillColor = CSSColor(c.fill);
        e.payload.box()->label = "label";
        if (c.labelColor) e.payload.box()->labelColor = CSSColor(*c.labelColor);
        const auto fills = propertyValues(paint(e, c.dark ? RenderTheme::dark : RenderTheme::light), "fillStyle");
        ASSERT_EQ(fills.size(), 2u) << c.name;
        EXPECT_EQ(fills[1], c.expected) << c.name;
    }

    // Three lines of size 10 centred at y 100: 88, 100, 112, at the centre's x.
    Element e = test::rectangle("r", 0, 50, 200, 100);
    e.payload.box()->label = "one\ntwo\nthree";
    e.payload.box()->labelFontSize = 10;
    auto calls = paint(e);
    EXPECT_EQ(textYs(calls), (std::vector<double>{88, 100, 112}));
    EXPECT_EQ(named(calls, "fillText")[0].args[0], 100);
    EXPECT_EQ(propertyValues(calls, "font"), (std::vector<std::string>{"10px Arial, sans-serif"}));
    EXPECT_EQ(propertyValues(calls, "textAlign"), (std::vector<std::string>{"center"}));
    EXPECT_EQ(propertyValues(calls, "textBaseline"), (std::vector<std::string>{"middle"}));
    EXPECT_EQ(countOf(calls, "clip"), 1u);

    // Default size 16; the label being edited is not drawn, the box still is.
    e.payload.box()->labelFontSize.reset();
    EXPECT_EQ(propertyValues(paint(e), "font"), (std::vector<std::string>{"16px Arial, sans-serif"}));
    calls = paint(e, RenderTheme::light, nullptr, std::string("r"));
    EXPECT_EQ(countOf(calls, "fillText"), 0u);
    EXPECT_EQ(countOf(calls, "stroke"), 1u);
}

TEST(Shapes, FlowchartOutlineDetailsAndLabel) {
    Element::Shape shape;
    shape.kind = ShapeKind::predefinedProcess;  // has inner detail strokes
    shape.width = 160;
    shape.height = 80;
    shape.label = "Step";
    Element e = test::baseElement("s", 10, 20, Element::Payload(shape));
    auto calls = paint(e);
    EXPECT_EQ(countOf(calls, "stroke"), 2u);  // outline, then details
    EXPECT_EQ(countOf(calls, "fillText"), 1u);
    e.roughness = 1;
    calls = paint(e);
    EXPECT_EQ(countOf(calls, "stroke"), 2u);
    EXPECT_GT(countOf(calls, "quadraticCurveTo"), 0u);
}

TEST(Stencils, PicturesAndPlaceholders) {
    test::FakeImages images;
    auto picture = RenderImage::sizeOnly("data:pic", 200, 100);
    images.answers["data:pic"] = ImageLookup::loaded(picture);

    // An embedded 200 × 100 picture in a 100 × 100 stencil: 100 × 50, centred vertically.
    Element e = test::stencil("st", 0, 0, 100, 100, StencilSource::embedded("data:pic", "pack", "name"));
    auto calls = paint(e, RenderTheme::light, &images);
    ASSERT_EQ(countOf(calls, "drawImage"), 1u);
    EXPECT_EQ(named(calls, "drawImage")[0].args, (std::vector<double>{0, 25, 100, 50}));

    // Not loaded: the provider is asked again and the image element's placeholders are painted.
    images.lookups = 0;
    images.fallback = ImageLookup::loading();
    e = test::stencil("st", 0, 0, 100, 100, StencilSource::embedded("data:other", "pack", "name"));
    calls = paint(e, RenderTheme::light, &images);
    EXPECT_EQ(images.lookups, 2);
    EXPECT_EQ(propertyValues(calls, "strokeStyle").back(), "rgba(180,180,200,0.5)");

    // An unknown reference: a dashed 4-on-4 rectangle of width 1.
    e = test::stencil("st", 5, 6, 70, 80, StencilSource::builtin("nowhere/thing"));
    calls = paint(e);
    ASSERT_EQ(countOf(calls, "strokeRect"), 1u);
    EXPECT_EQ(named(calls, "strokeRect")[0].args, (std::vector<double>{5, 6, 70, 80}));
    EXPECT_EQ(named(calls, "setLineDash").back().args, (std::vector<double>{4, 4}));
    EXPECT_EQ(named(calls, "lineWidth").back().args[0], 1);
}

TEST(Stencils, GenericIconsAndCaption) {
    // 96 × 64: the icon is 64 square, centred, scaled by 64 / 24, stroked at 1.5 × the width.
    Element e = test::stencil("st", 0, 0, 96, 64, StencilSource::builtin("generic/server"));
    e.strokeWidth = 1.5;
    auto calls = paint(e);
    EXPECT_EQ(named(calls, "translate")[0].args, (std::vector<double>{16, 0}));
    EXPECT_EQ(named(calls, "scale")[0].args, (std::vector<double>{64.0 / 24, 64.0 / 24}));
    EXPECT_EQ(named(calls, "lineWidth").back().args[0], 2.25);
    EXPECT_EQ(countOf(calls, "fill"), 1u);
    EXPECT_EQ(countOf(calls, "stroke"), 1u);

    // An icon without fill commands is only stroked.
    e = test::stencil("st", 0, 0, 48, 48, StencilSource::builtin("generic/api"));
    EXPECT_EQ(countOf(paint(e), "fill"), 0u);

    // 0 × 0 draws no icon but still its caption below: size 14 by default, top baseline.
    e = test::stencil("st", 10, 20, 0, 0, StencilSource::builtin("generic/server"));
    e.payload.stencil()->label = "db";
    calls = paint(e);
    EXPECT_EQ(countOf(calls, "stroke"), 0u);
    ASSERT_EQ(countOf(calls, "fillText"), 1u);
    EXPECT_EQ(named(calls, "fillText")[0].args, (std::vector<double>{10, 26}));
    EXPECT_EQ(propertyValues(calls, "font"), (std::vector<std::string>{"14px Arial, sans-serif"}));
    EXPECT_EQ(propertyValues(calls, "textBaseline"), (std::vector<std::string>{"top"}));

    // The caption's ink ignores the fill: a black stencil on the dark theme writes "#e2e2ef".
    e.fillColor = CSSColor("#ffeb3b");
    EXPECT_EQ(propertyValues(paint(e, RenderTheme::dark), "fillStyle").back(), "#e2e2ef");
}

TEST(OpenKinds, PolygonsFreehandAndCurves) {
    Element::Polygon polygon;
    polygon.points = {{0, 0}};
    Element e = test::baseElement("p", 0, 0, Element::Payload(polygon));
    EXPECT_EQ(countOf(paint(e), "stroke"), 0u);
    polygon.points = {{0, 0}, {10, 0}, {5, 8}};
    polygon.closed = false;
    e.payload = Element::Payload(polygon);
    auto calls = paint(e);
    EXPECT_EQ(countOf(calls, "closePath"), 0u);
    EXPECT_EQ(countOf(calls, "fill"), 1u);
    EXPECT_EQ(countOf(calls, "stroke"), 1u);

    Element::Freehand freehand;
    freehand.points = {{3, 4}};
    e.payload = Element::Payload(freehand);
    EXPECT_EQ(countOf(paint(e), "fill"), 0u);
    freehand.points = {{0, 0}, {30, 10}, {60, 0}};
    e.payload = Element::Payload(freehand);
    calls = paint(e);
    EXPECT_EQ(countOf(calls, "fill"), 1u);
    EXPECT_EQ(countOf(calls, "stroke"), 0u);
    EXPECT_EQ(propertyValues(calls, "fillStyle").back(), "#000000");

    Element::Curve curve;
    curve.x2 = 100;
    curve.cx = 50;
    curve.cy = 50;
    e = test::baseElement("c", 0, 0, Element::Payload(curve));
    e.roughness = 2;
    calls = paint(e);
    ASSERT_EQ(named(calls, "quadraticCurveTo").size(), 1u);
    EXPECT_EQ(named(calls, "quadraticCurveTo")[0].args, (std::vector<double>{50, 50, 100, 0}));
}

TEST(Text, CodeBlocks) {
    Element e = test::text("t", 0, 40, "first\nsecond", 20);
    auto& t = *e.payload.text();
    t.isCode = true;
    t.textAlign = TextAlign::right;
    t.bold = true;
    t.underline = true;
    auto calls = paint(e);
    const auto texts = named(calls, "fillText");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].args, (std::vector<double>{190, 50}));
    EXPECT_EQ(texts[1].args, (std::vector<double>{190, 50 + 20 * 1.3}));
    EXPECT_EQ(propertyValues(calls, "font"), (std::vector<std::string>{"20px Arial, sans-serif"}));
    EXPECT_EQ(propertyValues(calls, "textAlign"), (std::vector<std::string>{"right", "left"}));
    EXPECT_EQ(countOf(calls, "stroke"), 1u);  // the border only: no underline in code
    EXPECT_EQ(propertyValues(calls, "fillStyle")[1], "rgba(0,0,0,0.05)");
    EXPECT_EQ(propertyValues(paint(e, RenderTheme::dark), "strokeStyle").back(), "rgba(255,255,255,0.15)");
}

TEST(Text, PlainTextBackgroundWrapAndDecorations) {
    Element e = test::text("t", 0, 0, "word", 10);
    EXPECT_EQ(countOf(paint(e), "fillRect"), 0u);
    e.fillColor = CSSColor("#fff");
    auto calls = paint(e);
    ASSERT_EQ(countOf(calls, "fillRect"), 1u);
    EXPECT_EQ(named(calls, "fillRect")[0].args, (std::vector<double>{0, 0, 200, 100}));

    // Padding 0 keeps a long word whole; padding 4 breaks it.
    e = test::text("t", 0, 0, std::string(60, 'm'), 16);
    EXPECT_EQ(countOf(paint(e), "fillText"), 1u);
    e.payload.text()->padding = 4;
    EXPECT_GT(countOf(paint(e), "fillText"), 1u);

    // A centred, underlined line of size 10: underline width max(1, 0.6) = 1 at y + 10 + 1.
    e = test::text("t", 0, 0, "centred words", 10);
    e.payload.text()->textAlign = TextAlign::center;
    e.payload.text()->underline = true;
    e.payload.text()->strikethrough = true;
    e.payload.text()->italic = true;
    e.payload.text()->bold = true;
    calls = paint(e);
    EXPECT_EQ(propertyValues(calls, "font"), (std::vector<std::string>{"italic bold 10px Arial, sans-serif"}));
    const double w = measureTextWidth("centred words", 10, "Arial, sans-serif", true);
    const auto moves = named(calls, "moveTo");
    const auto lines = named(calls, "lineTo");
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].args, (std::vector<double>{100 - w * 0.5, 11}));
    EXPECT_EQ(lines[0].args, (std::vector<double>{100 - w * 0.5 + w, 11}));
    EXPECT_EQ(moves[1].args[1], 5.5);
    EXPECT_EQ(named(calls, "lineWidth").back().args[0], 1);
}

TEST(Text, DecorationsOfAWrappedTextAreSetUpOnceForAllItsLines) {
    // One letter a line: every line is underlined and struck through, and the stroke settings
    // are made once for the block, not saved and restored around every line.
    std::string letters;
    for (int i = 0; i < 40; ++i) letters += i ? " x" : "x";
    Element e = test::text("t", 0, 0, letters, 10);
    e.payload.text()->width = 8;
    const auto plain = paint(e);
    ASSERT_EQ(countOf(plain, "fillText"), 40u);
    e.payload.text()->underline = true;
    e.payload.text()->strikethrough = true;
    const auto calls = paint(e);
    EXPECT_EQ(countOf(calls, "fillText"), 40u);
    EXPECT_EQ(countOf(calls, "stroke"), 80u);
    EXPECT_EQ(countOf(calls, "save"), countOf(plain, "save") + 1);
    EXPECT_EQ(countOf(calls, "restore"), countOf(plain, "restore") + 1);
    EXPECT_EQ(named(calls, "lineWidth").size(), named(plain, "lineWidth").size() + 1);
    // Each line's underline sits under that line, and its width is that line's.
    const auto moves = named(calls, "moveTo");
    const auto ends = named(calls, "lineTo");
    ASSERT_EQ(moves.size(), 80u);
    const double w = measureTextWidth("x", 10, "Arial, sans-serif", false);
    for (std::size_t i = 0; i < 40; ++i) {
        EXPECT_EQ(moves[2 * i].args[1], static_cast<double>(i) * 10 * 1.2 + 10 + 1) << i;
        EXPECT_EQ(ends[2 * i].args[0] - moves[2 * i].args[0], w) << i;
        EXPECT_EQ(moves[2 * i + 1].args[1], static_cast<double>(i) * 10 * 1.2 + 5.5) << i;
    }
}

TEST(Images, LoadedAndPlaceholders) {
    test::FakeImages images;
    images.answers["ok"] = ImageLookup::loaded(RenderImage::sizeOnly("ok", 10, 10));
    images.answers["zero"] = ImageLookup::loaded(RenderImage::sizeOnly("zero", 0, 10));
    images.answers["wait"] = ImageLookup::loading();

    auto calls = paint(test::image("i", 5, 6, -40, 30, "ok"), RenderTheme::light, &images);
    ASSERT_EQ(countOf(calls, "drawImage"), 1u);
    EXPECT_EQ(named(calls, "drawImage")[0].args, (std::vector<double>{5, 6, -40, 30}));

    for (const char* src : {"wait", "zero"}) {
        calls = paint(test::image("i", 5, 6, 40, 30, src), RenderTheme::light, &images);
        EXPECT_EQ(propertyValues(calls, "fillStyle").back(), "rgba(100,100,120,0.3)") << src;
        EXPECT_EQ(named(calls, "setLineDash").back().args, (std::vector<double>{4, 4})) << src;
        EXPECT_EQ(countOf(calls, "fillText"), 0u) << src;
    }

    calls = paint(test::image("i", 5, 6, 40, 30, "missing"), RenderTheme::light, &images);
    ASSERT_EQ(countOf(calls, "fillText"), 1u);
    EXPECT_EQ(named(calls, "fillText")[0].text, "\xE2\x9A\xA0 image error");
    EXPECT_EQ(named(calls, "fillText")[0].args, (std::vector<double>{11, 22}));
    EXPECT_EQ(propertyValues(calls, "font"), (std::vector<std::string>{"12px monospace"}));
    EXPECT_EQ(named(calls, "strokeRect")[0].args, (std::vector<double>{5, 6, 40, 30}));
}

TEST(Connectors, HeadsClipsAndShafts) {
    struct Case {
        const char* name;
        std::optional<ArrowHeadStyle> head;
        double length;
        double roughness;
        std::size_t clips, fills, strokes, quads;
    };
    const Case cases[] = {
        // An arrow's end head is drawn even without a style (an open one).
        {"open head", ArrowHeadStyle::open, 100, 0, 0, 0, 2, 0},
        {"triangle", ArrowHeadStyle::triangle, 100, 0, 1, 0, 2, 0},
        {"filled triangle", ArrowHeadStyle::triangleFilled, 100, 0, 1, 1, 2, 0},
        {"circle is stroked only", ArrowHeadStyle::circle, 100, 0, 1, 0, 2, 0},
        {"rough", ArrowHeadStyle::triangle, 100, 1, 1, 0, 2, 2},
        {"rough and too short: heads only", ArrowHeadStyle::triangle, 0.5, 1, 1, 0, 1, 0},
    };
    for (const auto& c : cases) {
        Element a = test::arrow("a", 0, 0, c.length, 0);
        a.roughness = c.roughness;
        a.payload.arrow()->endHeadStyle = c.head;
        const auto calls = paint(a);
        EXPECT_EQ(countOf(calls, "clip"), c.clips) << c.name;
        EXPECT_EQ(countOf(calls, "fill"), c.fills) << c.name;
        EXPECT_EQ(countOf(calls, "stroke"), c.strokes) << c.name;
        EXPECT_EQ(countOf(calls, "quadraticCurveTo"), c.quads) << c.name;
        if (c.clips) {
            EXPECT_EQ(named(calls, "clip")[0].text, "evenodd") << c.name;
            EXPECT_EQ(named(calls, "rect")[0].args, (std::vector<double>{-1e7, -1e7, 2e7, 2e7})) << c.name;
        }
    }

    // A dashed arrow: dashed shaft, solid heads.
    Element a = test::arrow("a", 0, 0, 100, 0);
    a.strokeStyle = StrokeStyle::dashed;
    const auto dashes = named(paint(a), "setLineDash");
    ASSERT_EQ(dashes.size(), 2u);
    EXPECT_EQ(dashes[0].args, (std::vector<double>{12, 6}));
    EXPECT_TRUE(dashes[1].args.empty());

    // A curved line with roughness 2 is one smooth quadratic.
    Element l = test::line("l", 0, 0, 100, 0);
    l.payload.line()->cx = 50;
    l.payload.line()->cy = 40;
    l.roughness = 2;
    const auto quads = named(paint(l), "quadraticCurveTo");
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(quads[0].args, (std::vector<double>{50, 40, 100, 0}));
}

TEST(Connectors, ElbowRoutes) {
    // Unbound elbow arrow: routed even without an index.
    Element a = test::arrow("a", 0, 0, 200, 120);
    a.payload.arrow()->routing = ConnectorRouting::elbow;
    const auto plain = paint(a);
    // The shaft is everything up to the first stroke; the heads follow.
    std::vector<Point> route;
    for (const Call& c : plain) {
        if (c.name == "stroke") break;
        if (c.name == "moveTo" || c.name == "lineTo") route.push_back({c.args[0], c.args[1]});
    }
    const std::size_t heads = countOf(plain, "stroke") - 1;
    ASSERT_GE(route.size(), 3u);

    // Rough: every segment is stroked on its own, segment i wobbling with phase seed + 31 i.
    a.roughness = 1;
    const auto rough = paint(a);
    EXPECT_EQ(countOf(rough, "stroke"), route.size() - 1 + heads);
    const auto quads = named(rough, "quadraticCurveTo");
    std::size_t q = 0;
    for (std::size_t i = 1; i < route.size(); ++i) {
        const Point p = route[i - 1];
        const double dx = route[i].x - p.x, dy = route[i].y - p.y;
        const double len = std::hypot(dx, dy);
        if (len < 1) continue;
        const double n = std::max(2.0, std::round(len / 80));
        const double off = std::sin((hashId("a") + 31.0 * i) * 0.001) * std::min(len * 0.04, 14.0);
        ASSERT_LT(q, quads.size());
        EXPECT_NEAR(quads[q].args[0], p.x + dx * (0.5 / n) - dy / len * off, 1e-9) << i;
        EXPECT_NEAR(quads[q].args[1], p.y + dy * (0.5 / n) + dx / len * off, 1e-9) << i;
        q += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(q, quads.size());

    // A route that collapses to one point draws nothing, heads included.
    Element dot = test::arrow("d", 5, 5, 5, 5);
    dot.payload.arrow()->routing = ConnectorRouting::elbow;
    dot.payload.arrow()->endHeadStyle = ArrowHeadStyle::triangle;
    const auto calls = paint(dot);
    EXPECT_EQ(countOf(calls, "stroke"), 0u);
    EXPECT_EQ(countOf(calls, "clip"), 0u);
}

}  // namespace
}  // namespace dv::test
