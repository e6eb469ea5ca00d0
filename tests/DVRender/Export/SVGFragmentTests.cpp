// SVG fragments of connectors, heads and masks, connector labels, stencils, text and freehand
// strokes against hand-written markup.

#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/ShapeGeometry.hpp"
#include "DVRender/Images/BundledIconPacks.hpp"
#include "DVRender/Scene/GenericIcons.hpp"
#include "tests/DVRender/Export/SVGTestSupport.hpp"

#include <gtest/gtest.h>

#include <numbers>

namespace {

using namespace dv::svgtest;

Element arrow(std::string id, std::optional<dv::ArrowHeadStyle> head) {
    Element e = plain(t::arrow(std::move(id), 0, 0, 100, 0));
    e.payload.arrow()->endHeadStyle = head;
    return e;
}

Element styledLine(std::optional<dv::StrokeStyle> style) {
    Element e = plain(t::line("l", 0, 0, 100, 0));
    e.strokeStyle = style;
    return e;
}

const std::string line0to100 = R"(<line x1="0" y1="0" x2="100" y2="0" )" + connectorStyle;
const std::string filledTriangle = R"(points="100,0 89.61,6 89.61,-6")";

std::string maskOpen(const std::string& id) {
    return R"(<mask id=")" + id + R"(" maskUnits="userSpaceOnUse" )" + maskRect + "><rect " + maskRect +
           R"( fill="white"/>)";
}

TEST(SVGConnectors, ShaftsAndDashes) {
    Element dashedArrow = arrow("a", dv::ArrowHeadStyle::open);
    dashedArrow.strokeStyle = dv::StrokeStyle::dashed;
    Element curved = styledLine(std::nullopt);
    curved.payload.line()->cx = 10.123;
    curved.payload.line()->cy = -50;
    struct Case {
        const char* name;
        Element element;
        double offset;
        std::string expected;
    };
    const Case cases[] = {
        {"straight line", styledLine(std::nullopt), 24,
         R"(<line x1="24" y1="24" x2="124" y2="24" )" + connectorStyle + "/>"},
        {"dashed line", styledLine(dv::StrokeStyle::dashed), 0, line0to100 + R"( stroke-dasharray="12 6"/>)"},
        {"dotted line", styledLine(dv::StrokeStyle::dotted), 0, line0to100 + R"( stroke-dasharray="2 6"/>)"},
        {"dashed straight arrow has a solid shaft", dashedArrow, 0,
         line0to100 + "/>\n" + R"(<polyline points="89.61,6 100,0 89.61,-6" )" + headStyle + R"( fill="none"/>)"},
        {"curved line, rounded", curved, 0, R"(<path d="M 0 0 Q 10.12 -50 100 0" )" + connectorStyle + "/>"},
    };
    for (const Case& c : cases) EXPECT_EQ(fragment(c.element, c.offset, c.offset), c.expected) << c.name;
}

TEST(SVGConnectors, HeadsWithAndWithoutMasks) {
    Element bothEnds = styledLine(std::nullopt);
    bothEnds.id = "l-1";
    bothEnds.payload.line()->arrowHead = dv::ArrowHead::both;
    bothEnds.payload.line()->endHeadStyle = dv::ArrowHeadStyle::circle;
    bothEnds.payload.line()->startHeadStyle = dv::ArrowHeadStyle::triangle;
    struct Case {
        const char* name;
        Element element;
        std::string expected;
    };
    const Case cases[] = {
        {"filled triangle: mask of the allowed id characters, masked shaft, filled head",
         arrow("a.b c", dv::ArrowHeadStyle::triangleFilled),
         maskOpen("mh-abc") + "<polygon " + filledTriangle + R"( fill="black"/></mask>)" + "\n" +
             R"~(<g mask="url(#mh-abc)">)~" + line0to100 + "/></g>\n<polygon " + filledTriangle + " " + headStyle +
             R"( fill="#000000"/>)"},
        {"an arrow without a head style has an open head and no mask", arrow("a", std::nullopt),
         line0to100 + "/>\n" + R"(<polyline points="89.61,6 100,0 89.61,-6" )" + headStyle + R"( fill="none"/>)"},
        {"end head first, unfilled shapes", bothEnds,
         maskOpen("mh-l-1") + R"(<circle cx="95.8" cy="0" r="4.2" fill="black"/>)" +
             R"(<polygon points="0,0 10.39,-6 10.39,6" fill="black"/></mask>)" + "\n" +
             R"~(<g mask="url(#mh-l-1)">)~" + line0to100 + "/></g>\n" + R"(<circle cx="95.8" cy="0" r="4.2" )" +
             headStyle + R"( fill="none"/>)" + "\n" + R"(<polygon points="0,0 10.39,-6 10.39,6" )" + headStyle +
             R"( fill="none"/>)"},
    };
    for (const Case& c : cases) EXPECT_EQ(fragment(c.element), c.expected) << c.name;
}

TEST(SVGConnectors, RotatedClosedHeadsAreCutWhereTheyAreDrawn) {
    Element e = arrow("a", dv::ArrowHeadStyle::triangleFilled);
    e.rotation = std::numbers::pi / 2;
    const std::string rotate = R"~( transform="rotate(90,50,0)")~";
    EXPECT_EQ(fragment(e), maskOpen("mh-a") + "<g" + rotate + "><polygon " + filledTriangle +
                               R"( fill="black"/></g></mask>)" + "\n" + R"~(<g mask="url(#mh-a)">)~" + line0to100 +
                               rotate + "/></g>\n<polygon " + filledTriangle + " " + headStyle +
                               R"( fill="#000000")" + rotate + "/>");
}

TEST(SVGConnectors, MaskIdentifiersAreUniqueInADocument) {
    const std::vector<std::string> ids{"a.b", "ab", "\xC3\xA9", "\xC3\xBC", "ab-2", "ab"};
    const std::vector<std::string> expected{"mh-ab", "mh-ab-2", "mh-", "mh--2", "mh-ab-2-2", "mh-ab-3"};
    std::vector<Element> board;
    for (const std::string& id : ids) board.push_back(arrow(id, dv::ArrowHeadStyle::diamond));
    const std::vector<std::string> out = fragments(board);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(out[i].rfind(R"(<mask id=")" + expected[i] + "\"", 0), 0u) << i;
        EXPECT_NE(out[i].find(R"~(<g mask="url(#)~" + expected[i] + ")\">"), std::string::npos) << i;
    }
}

TEST(SVGConnectors, ElbowRoutes) {
    Element elbow = styledLine(dv::StrokeStyle::dashed);
    elbow.payload.line()->x2 = 100;
    elbow.payload.line()->y2 = 60;
    elbow.payload.line()->routing = dv::ConnectorRouting::elbow;
    elbow.payload.line()->arrowHead = dv::ArrowHead::end;
    elbow.payload.line()->endHeadStyle = dv::ArrowHeadStyle::triangleFilled;
    elbow.rotation = 1;
    const std::string out = fragment(elbow);
    // The shaft is dashed, and neither it nor the heads are rotated.
    EXPECT_NE(out.find(R"~(<g mask="url(#mh-l)"><polyline points="0,0 )~"), std::string::npos) << out;
    EXPECT_NE(out.find(R"( stroke-dasharray="12 6"/></g>)"), std::string::npos) << out;
    EXPECT_EQ(out.find("transform"), std::string::npos) << out;
    EXPECT_NE(out.find(R"( fill="#000000"/>)"), std::string::npos) << out;

    Element point = styledLine(std::nullopt);
    point.payload.line()->x2 = 0;
    point.payload.line()->routing = dv::ConnectorRouting::elbow;
    EXPECT_EQ(fragment(point), "");
}

TEST(SVGConnectors, CurvesKeepTheirNumbers) {
    auto curve = [](std::optional<dv::StrokeStyle> style) {
        Element::Curve c;
        c.x2 = 100;
        c.cx = 10.123;
        c.cy = -50;
        Element e = plain(t::element("c", 0, 0, Element::Payload(c)));
        e.strokeStyle = style;
        e.rotation = 1;
        return e;
    };
    const std::string head = R"(<path d="M 24 24 Q 34.123 -26 124 24" fill="none" stroke="#000000" stroke-width="2" )"
                             R"(opacity="1" )";
    EXPECT_EQ(fragment(curve(std::nullopt), 24, 24), head + "/>");
    EXPECT_EQ(fragment(curve(dv::StrokeStyle::dashed), 24, 24), head + R"(stroke-dasharray="8,4"/>)");
    EXPECT_EQ(fragment(curve(dv::StrokeStyle::dotted), 24, 24), head + R"(stroke-dasharray="2,4"/>)");
}

TEST(SVGConnectors, Labels) {
    const dv::LabelBox box{100, 50, 40, 20};
    Element l = plain(t::line("l", 0, 0, 100, 0));
    EXPECT_EQ(label(l, box, 0, 0, "#fff"), "");
    l.payload.line()->label = "one\n\ntwo";
    EXPECT_EQ(label(l, box, 0, 0, "a&amp;b"),
              R"(<rect x="80" y="40" width="40" height="20" fill="a&amp;b"/>)"
              "\n"
              R"(<text font-family="Arial, sans-serif" font-size="12" fill="#000000" opacity="1" )"
              R"(text-anchor="middle" dominant-baseline="central"><tspan x="100" y="35.6">one</tspan>)"
              R"(<tspan x="100" y="50"></tspan><tspan x="100" y="64.4">two</tspan></text>)");

    Element a = plain(t::arrow("a", 0, 0, 100, 0));
    a.payload.arrow()->label = "<x>";
    a.payload.arrow()->labelFontSize = 10;
    a.payload.arrow()->labelFontFamily = "A\"B";
    a.payload.arrow()->labelColor = dv::CSSColor("red");
    a.opacity = 0.25;
    EXPECT_EQ(label(a, box, 24, 24, "#fff"),
              R"(<rect x="104" y="64" width="40" height="20" fill="#fff"/>)"
              "\n"
              R"(<text font-family="A&quot;B" font-size="10" fill="red" opacity="0.25" )"
              R"(text-anchor="middle" dominant-baseline="central"><tspan x="124" y="74">&lt;x&gt;</tspan></text>)");
}

Element stencil(dv::StencilSource source, double w, double h) {
    Element::Stencil s;
    s.width = w;
    s.height = h;
    s.source = std::move(source);
    return plain(t::element("s", 0, 0, Element::Payload(s)));
}

TEST(SVGContent, StencilIcons) {
    const dv::GenericIcon* server = dv::getGenericIcon("generic/server");
    ASSERT_TRUE(server && server->fill);
    const std::string fillPath = dv::shapeCommandsToPathData(*server->fill, 0, 0);
    const std::string strokePath = dv::shapeCommandsToPathData(server->strokes, 0, 0);
    auto generic = [](std::string fill, double strokeWidth) {
        Element e = stencil(dv::StencilSource::builtin("generic/server"), 48, 96);
        e.fillColor = std::move(fill);
        e.strokeWidth = strokeWidth;
        return e;
    };
    auto strokes = [&](const char* width) {
        return "<path d=\"" + strokePath + R"(" fill="none" stroke="#000000" stroke-width=")" + width +
               R"(" stroke-linecap="round" stroke-linejoin="round"/>)";
    };
    const std::string group = R"~(<g><g opacity="1" transform="translate(24 48) scale(2)">)~";
    const dv::BundledIcon* pod = dv::BundledIconPacks::icon("k8s/pod");
    ASSERT_NE(pod, nullptr);
    const std::string placeholder = R"(fill="none" stroke="#000000" stroke-dasharray="4 4"/></g>)";

    struct Case {
        const char* name;
        Element element;
        std::string expected;
    };
    const Case cases[] = {
        {"generic icon, filled", generic("#ff0000", 4),
         group + "<path d=\"" + fillPath + R"(" fill="#ff0000" stroke="none"/>)" + strokes("3") + "</g></g>"},
        {"generic icon, transparent fill", generic("transparent", 0.5), group + strokes("1.5") + "</g></g>"},
        {"generic icon, no fill", generic("none", 1), group + strokes("1.5") + "</g></g>"},
        {"resource icon", stencil(dv::StencilSource::builtin("k8s/pod"), 48, 96),
         R"(<g><image href=")" + pod->src +
             R"(" x="24" y="24" width="48" height="96" opacity="1" preserveAspectRatio="xMidYMid meet"/></g>)"},
        {"embedded picture", stencil(dv::StencilSource::embedded("data:a<b", "p", "n"), -48, 96),
         R"(<g><image href="data:a&lt;b" x="-24" y="24" width="48" height="96" opacity="1" )"
         R"(preserveAspectRatio="xMidYMid meet"/></g>)"},
        {"unknown reference", stencil(dv::StencilSource::builtin("nope/x"), 48, 96),
         R"(<g><rect x="24" y="24" width="48" height="96" )" + placeholder},
        {"generic icon of no size", stencil(dv::StencilSource::builtin("generic/server"), 0, 96),
         R"(<g><rect x="24" y="24" width="0" height="96" )" + placeholder},
        {"embedded without a source never looks up an icon",
         stencil(dv::StencilSource::embedded("", "generic", "server"), 48, 96),
         R"(<g><rect x="24" y="24" width="48" height="96" )" + placeholder},
    };
    for (const Case& c : cases) EXPECT_EQ(fragment(c.element, 24, 24), c.expected) << c.name;
}

TEST(SVGContent, StencilCaptionAndRotation) {
    Element e = stencil(dv::StencilSource::builtin("nope/x"), 64, 64);
    e.payload.stencil()->label = "DB";
    e.rotation = std::numbers::pi;
    EXPECT_EQ(fragment(e, 24, 24),
              R"~(<g transform="rotate(180,56,56)"><rect x="24" y="24" width="64" height="64" fill="none" )~"
              R"(stroke="#000000" stroke-dasharray="4 4"/><text font-family="Arial, sans-serif" font-size="14" )"
              R"(fill="#000000" opacity="1" text-anchor="middle" dominant-baseline="central">)"
              R"(<tspan x="56" y="101">DB</tspan></text></g>)");
}

Element textElement(std::optional<double> padding, std::optional<dv::TextAlign> align) {
    Element::Text text;
    text.content = "Supercalifragilistic";
    text.fontSize = 16;
    text.fontFamily = "Arial";
    text.width = 50;
    text.height = 30;
    text.padding = padding;
    text.textAlign = align;
    return plain(t::element("t", 0, 0, Element::Payload(text)));
}

TEST(SVGContent, TextElements) {
    const std::string tail = R"( fill="#000000" opacity="1" text-anchor=")";
    const std::string open = R"(<text font-family="Arial" font-size="16")";
    EXPECT_EQ(fragment(textElement(0, dv::TextAlign::right), 24, 24),
              open + tail + R"(end" dominant-baseline="text-before-edge"><tspan x="74" y="24">)"
                            "Supercalifragilistic</tspan></text>");

    // With padding, a word too wide for the box is broken; lines are 1.2 font sizes apart.
    const std::string padded = fragment(textElement(8, dv::TextAlign::right), 24, 24);
    EXPECT_GT(count(padded, "<tspan"), 1u) << padded;
    EXPECT_NE(padded.find(R"(<tspan x="66" y="32">)"), std::string::npos) << padded;
    EXPECT_NE(padded.find(R"(<tspan x="66" y="51.2">)"), std::string::npos) << padded;

    Element styled = textElement(std::nullopt, dv::TextAlign::center);
    styled.fillColor = "#eeeeee";
    styled.payload.text()->bold = true;
    styled.payload.text()->italic = true;
    styled.payload.text()->isCode = true;
    styled.payload.text()->underline = true;
    styled.rotation = std::numbers::pi;
    const std::string rotate = R"~( transform="rotate(180,49,39)")~";
    EXPECT_EQ(fragment(styled, 24, 24),
              R"(<rect x="24" y="24" width="50" height="30" fill="#eeeeee" opacity="1")" + rotate + "/>" + open +
                  R"( font-weight="bold" font-style="italic")" + tail + R"(middle" dominant-baseline="text-before-edge")" +
                  rotate + R"(><tspan x="49" y="24">Supercalifragilistic</tspan></text>)");

    Element notBold = textElement(std::nullopt, std::nullopt);
    notBold.payload.text()->bold = false;
    notBold.payload.text()->italic = false;
    EXPECT_EQ(fragment(notBold), open + tail +
                                     R"(start" dominant-baseline="text-before-edge"><tspan x="0" y="0">)"
                                     "Supercalifragilistic</tspan></text>");
}

TEST(SVGContent, FreehandStrokes) {
    auto freehand = [](std::vector<dv::Point> points) {
        Element::Freehand f;
        f.points = std::move(points);
        return plain(t::element("f", 0, 0, Element::Payload(f)));
    };
    const std::string style =
        R"(" stroke="#000000" stroke-width="2" stroke-linecap="round" stroke-linejoin="round" fill="none" opacity="1"/>)";
    EXPECT_EQ(fragment(freehand({{0, 0}})), "");
    EXPECT_EQ(fragment(freehand({{0, 0}, {10, 10}})), R"(<path d="M 0 0 L 10 10)" + style);
    EXPECT_EQ(fragment(freehand({{0, 0}, {10, 0}, {10, 10}})), R"(<path d="M 0 0 Q 10 0 7.5 2.5 L 10 10)" + style);
    EXPECT_EQ(fragment(freehand({{0, 0}, {10, 0}, {10, 10}, {0.001, 10}}), 1, 2),
              R"(<path d="M 1 2 Q 11 2 8.5 4.5 Q 11 12 8.5 9.5 L 1 12)" + style);
}

}  // namespace
