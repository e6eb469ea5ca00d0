// SVG export against hand-written markup: the document, escaping, number text, and the
// fragments of every element kind.

#include "DVGeometry/ElementIndex.hpp"
#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/ShapeGeometry.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVModel/ShapeDefinition.hpp"
#include "DVRender/Export/SVGExport.hpp"
#include "tests/DVRender/Export/SVGTestSupport.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

namespace {

using namespace dv::svgtest;

TEST(SVGDocument, OneRectangleWithAndWithoutBackground) {
    const std::vector<Element> board{rect(0, 0, 100, 50)};
    const std::string header =
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="148" height="98" viewBox="0 0 148 98">)";
    const std::string shape = R"(<rect x="24" y="24" width="100" height="50" )" + rectStyle + "/>";

    EXPECT_EQ(document(board, {"#ffffff", true}),
              header + "\n" + R"(<rect width="148" height="98" fill="#ffffff"/>)" + "\n" + shape + "\n</svg>");
    EXPECT_EQ(document(board, {"#ffffff", false}), header + "\n" + shape + "\n</svg>");
    EXPECT_EQ(document({}, {"#ffffff", true}), std::nullopt);
}

TEST(SVGDocument, EmptyFragmentsKeepTheirLineAndLabelsComeLast) {
    Element onePoint = plain(t::polygon("p", {{5, 5}}));
    Element labelled = plain(t::line("l", 0, 0, 100, 0));
    labelled.payload.line()->label = "hi";
    const std::vector<Element> board{rect(0, 0, 100, 50), onePoint, labelled, rect(0, 60, 10, 10)};
    const std::string svg = *document(board, {"#ffffff", false});
    std::vector<std::string> lines;
    for (std::size_t from = 0;;) {
        const std::size_t end = svg.find('\n', from);
        lines.push_back(svg.substr(from, end == std::string::npos ? std::string::npos : end - from));
        if (end == std::string::npos) break;
        from = end + 1;
    }
    ASSERT_EQ(lines.size(), 8u);  // header, 4 elements, label patch and text, closing tag
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3].rfind("<line ", 0), 0u);
    EXPECT_EQ(lines[4].rfind("<rect ", 0), 0u);
    EXPECT_EQ(lines[5].rfind("<rect ", 0), 0u);
    EXPECT_NE(lines[5].find(R"(fill="#ffffff"/>)"), std::string::npos);
    EXPECT_EQ(lines[6].rfind("<text ", 0), 0u);
    EXPECT_EQ(lines[7], "</svg>");
}

TEST(SVGDocument, CanvasColourIsEscapedInTheBackgroundAndEveryLabelPatch) {
    Element a = plain(t::arrow("a", 0, 0, 200, 0));
    a.payload.arrow()->label = "first";
    Element b = plain(t::line("b", 0, 100, 200, 100));
    b.payload.line()->label = "second";
    const std::string svg = *document({a, b}, {"x&y", true});
    EXPECT_EQ(count(svg, R"(fill="x&amp;y")"), 3u);
    EXPECT_EQ(count(svg, "x&y"), 0u);
}

TEST(SVGNumbers, RoundedAndPlainText) {
    struct Case {
        double value;
        const char* rounded;
        const char* plain;
    };
    const Case cases[] = {
        {100.005, "100.01", "100.005"},
        {100.004, "100", "100.004"},
        {1.005, "1", "1.005"},  // 100.49999999999999 before rounding
        {0.125, "0.13", "0.125"},
        {-0.125, "-0.12", "-0.125"},  // halves go up
        {-0.001, "0", "-0.001"},
        {0.1 + 0.2, "0.3", "0.30000000000000004"},
        {1e21, "999999999999999900000", "1e+21"},  // 1e23 / 100 is just below 1e21
        {dv::svgtest::nan, "NaN", "NaN"},
        {std::numeric_limits<double>::infinity(), "Infinity", "Infinity"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dv::roundedNumberText(c.value), c.rounded) << c.plain;
        EXPECT_EQ(dv::plainNumberText(c.value), c.plain);
    }
}

TEST(SVGNumbers, RoundedTextFollowsItsDefinitionEverywhere) {
    // The definition, spelled out with the model's JavaScript number functions.
    auto definition = [](double v) { return dv::jsNumberString(dv::jsRound(v * 100) / 100); };
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::uniform_int_distribution<int> exponent(-8, 18);
    for (int i = 0; i < 200000; ++i) {
        double v = unit(rng) * std::pow(10.0, exponent(rng));
        if (i % 4 == 1) v = std::round(v * 1000) / 1000;  // thousandths, many of them halves of hundredths
        if (i % 4 == 2) v = std::nextafter(std::round(v * 200) / 200, i % 8 < 4 ? 0.0 : 1e300);
        ASSERT_EQ(dv::roundedNumberText(v), definition(v)) << std::hexfloat << v;
    }
    for (double v : {9.999999999999995e12, 1e13, -1e13, 9.99999999999999e12 + 0.005, 4503599627370495.5, -0.0, 0.004999})
        EXPECT_EQ(dv::roundedNumberText(v), definition(v)) << std::hexfloat << v;
}

TEST(SVGEscaping, ReferencesDroppedCharactersAndRepairs) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {R"(a"b&c<d>e'f)", "a&quot;b&amp;c&lt;d&gt;e'f"},
        {std::string("a\x01" "b\0c", 5) + "\x0b\x1f\x7f", std::string("abc\x7f")},
        {"tab\tlf\ncr\r", "tab\tlf\ncr\r"},
        {"\xEF\xBF\xBE|\xEF\xBF\xBF|\xEF\xBF\xBD", "||\xEF\xBF\xBD"},  // U+FFFE, U+FFFF dropped; U+FFFD kept
        {"caf\xC3\xA9 \xF0\x9F\x99\x82", "caf\xC3\xA9 \xF0\x9F\x99\x82"},
        {"bad\xFF" "byte \xED\xA0\x80", "bad\xEF\xBF\xBD" "byte \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dv::escapeXml(c.in), c.out);
        std::string appended = "<";
        dv::appendEscapedXml(appended, c.in);
        EXPECT_EQ(appended, "<" + c.out);
    }
}

TEST(SVGEscaping, CleanTextIsHandedBackWithoutACopy) {
    std::string clean(200, 'x');
    clean += "\xC3\xA9 it's fine";
    const std::string expected = clean;
    const char* buffer = clean.data();
    const std::string out = dv::escapeXml(std::move(clean));
    EXPECT_EQ(out, expected);
    EXPECT_EQ(static_cast<const void*>(out.data()), static_cast<const void*>(buffer));
}

TEST(SVGShapes, Boxes) {
    auto cornered = [](double radius) {
        Element e = rect(0, 0, 40, 20);
        e.payload.box()->cornerRadius = radius;
        return e;
    };
    Element quoted = rect(0, 0, 10, 10);
    quoted.fillColor = R"(a"b)";
    Element ellipse = plain(t::element("e", 10, 20, Element::Payload::ellipse({})));
    ellipse.payload.box()->width = -100;
    ellipse.payload.box()->height = 50;
    Element rhombus = plain(t::element("h", 0, 0, Element::Payload::rhombus({})));
    rhombus.payload.box()->width = 100;
    rhombus.payload.box()->height = 50;
    Element dashed = rect(0, 0, 10, 10);
    dashed.strokeStyle = dv::StrokeStyle::dashed;
    Element dotted = rect(0, 0, 10, 10);
    dotted.strokeStyle = dv::StrokeStyle::dotted;

    struct Case {
        const char* name;
        Element element;
        double offset;
        std::string expected;
    };
    const Case cases[] = {
        {"corner radius clamps to half the short side", cornered(50), 0,
         R"(<rect x="0" y="0" width="40" height="20" rx="10" )" + rectStyle + "/>"},
        {"no corner radius", rect(-5, 0, 40, 20), 0, R"(<rect x="-5" y="0" width="40" height="20" )" + rectStyle + "/>"},
        {"negative width moves the corner", rect(10, 10, -30, 20), 24,
         R"(<rect x="4" y="34" width="30" height="20" )" + rectStyle + "/>"},
        {"quoted fill", quoted, 0,
         R"(<rect x="0" y="0" width="10" height="10" fill="a&quot;b" stroke="#000000" stroke-width="2" )"
         R"(stroke-linecap="round" stroke-linejoin="round" opacity="1"/>)"},
        {"ellipse", ellipse, 0, R"(<ellipse cx="-40" cy="45" rx="50" ry="25" )" + rectStyle + "/>"},
        {"rhombus", rhombus, 24, R"(<polygon points="74,24 124,49 74,74 24,49" )" + rectStyle + "/>"},
        {"dashed", dashed, 0,
         R"(<rect x="0" y="0" width="10" height="10" )" + rectStyle + R"( stroke-dasharray="12 6"/>)"},
        {"dotted", dotted, 0,
         R"(<rect x="0" y="0" width="10" height="10" )" + rectStyle + R"( stroke-dasharray="2 6"/>)"},
    };
    for (const Case& c : cases) EXPECT_EQ(fragment(c.element, c.offset, c.offset), c.expected) << c.name;
}

TEST(SVGShapes, RotationAttribute) {
    struct Case {
        double rotation;
        std::string expected;
    };
    const Case cases[] = {
        {std::numbers::pi / 2, R"~( transform="rotate(90,74,49)")~"},
        {-std::numbers::pi / 4, R"~( transform="rotate(-45,74,49)")~"},
        {0, ""},
        {dv::svgtest::nan, ""},
    };
    for (const Case& c : cases) {
        Element e = rect(0, 0, 100, 50);
        e.rotation = c.rotation;
        EXPECT_EQ(fragment(e, 24, 24), R"(<rect x="24" y="24" width="100" height="50" )" + rectStyle + c.expected + "/>")
            << c.rotation;
    }
}

TEST(SVGShapes, BoxLabels) {
    auto labelled = [](std::string fill, std::optional<std::string> color) {
        Element e = rect(0, 76, 200, 48);
        e.fillColor = std::move(fill);
        e.payload.box()->label = "one\ntwo\nsix";
        e.payload.box()->labelFontSize = 10;
        if (color) e.payload.box()->labelColor = dv::CSSColor(*color);
        return e;
    };
    auto text = [](const char* color) {
        return std::string(R"(<text font-family="Arial, sans-serif" font-size="10" fill=")") + color +
               R"(" opacity="1" text-anchor="middle" dominant-baseline="central">)"
               R"(<tspan x="100" y="88">one</tspan><tspan x="100" y="100">two</tspan>)"
               R"(<tspan x="100" y="112">six</tspan></text>)";
    };
    const std::string rectHead = R"(<rect x="0" y="76" width="200" height="48" fill=")";
    const std::string rectTail =
        R"(" stroke="#000000" stroke-width="2" stroke-linecap="round" stroke-linejoin="round" opacity="1"/>)";

    EXPECT_EQ(fragment(labelled("transparent", std::nullopt)), rectHead + "none" + rectTail + "\n" + text("#000000"));
    EXPECT_EQ(fragment(labelled("#ffffff", std::nullopt)), rectHead + "#ffffff" + rectTail + "\n" + text("#111111"));
    EXPECT_EQ(fragment(labelled("#000000", std::nullopt)), rectHead + "#000000" + rectTail + "\n" + text("#ffffff"));
    EXPECT_EQ(fragment(labelled("#000000", "<red>")), rectHead + "#000000" + rectTail + "\n" + text("&lt;red&gt;"));

    // A rotated box keeps its label upright.
    Element rotated = labelled("transparent", std::nullopt);
    rotated.rotation = 1;
    const std::string out = fragment(rotated);
    EXPECT_EQ(count(out, "transform="), 1u);
    EXPECT_LT(out.find("transform="), out.find('\n'));
}

TEST(SVGShapes, FlowchartShapesAreGroupedWithTheirDetailsAndLabel) {
    Element::Shape payload;
    payload.kind = dv::ShapeKind::predefinedProcess;
    payload.width = 120;
    payload.height = 60;
    payload.label = "Go";
    Element e = plain(t::element("s", 10, 20, Element::Payload(payload)));
    const dv::ShapeDefinition& d = dv::definition(dv::ShapeKind::predefinedProcess);
    ASSERT_NE(d.details, nullptr);
    const std::string outline = dv::shapeCommandsToPathData(d.outline(120, 60), 34, 44);
    const std::string details = dv::shapeCommandsToPathData(d.details(120, 60), 34, 44);
    const std::string expected =
        "<g><path d=\"" + outline + "\" " + rectStyle + "/><path d=\"" + details + "\" " + rectStyle +
        "/>" R"(<text font-family="Arial, sans-serif" font-size="16" fill="#000000" opacity="1" )"
        R"(text-anchor="middle" dominant-baseline="central"><tspan x="94" y="74">Go</tspan></text></g>)";
    EXPECT_EQ(fragment(e, 24, 24), expected);

    e.rotation = std::numbers::pi;
    e.payload.shape()->label.reset();
    EXPECT_EQ(fragment(e, 24, 24).rfind(R"~(<g transform="rotate(180,94,74)"><path d=")~", 0), 0u);
}

TEST(SVGShapes, PolygonsAndImages) {
    auto polygon = [](bool closed, std::optional<dv::StrokeStyle> style) {
        Element e = plain(t::polygon("p", {{0, 0}, {10, 0}, {5, 8.1}}));
        e.payload.polygon()->closed = closed;
        e.fillColor = "#ff0000";
        e.strokeStyle = style;
        return e;
    };
    const std::string points = R"(points="0.2,0.1 10.2,0.1 5.2,8.2" fill="#ff0000" )";
    Element image = plain(t::element("i", 0, 0, Element::Payload(Element::Image{"data:a&b", 10, -20, 0, 0})));
    image.opacity = 0.5;
    Element rotatedImage = image;
    rotatedImage.rotation = std::numbers::pi;
    struct Case {
        const char* name;
        Element element;
        std::string expected;
    };
    const Case cases[] = {
        {"closed", polygon(true, std::nullopt),
         "<polygon " + points + R"(stroke="#000000" stroke-width="2" opacity="1" />)"},
        {"open is filled too", polygon(false, std::nullopt),
         "<polyline " + points + R"(stroke="#000000" stroke-width="2" opacity="1" />)"},
        {"dashed", polygon(true, dv::StrokeStyle::dashed),
         "<polygon " + points + R"(stroke="#000000" stroke-width="2" opacity="1" stroke-dasharray="8,4"/>)"},
        {"dotted", polygon(false, dv::StrokeStyle::dotted),
         "<polyline " + points + R"(stroke="#000000" stroke-width="2" opacity="1" stroke-dasharray="2,4"/>)"},
        {"one point", plain(t::polygon("p", {{1, 1}})), ""},
        {"image", image,
         R"(<image href="data:a&amp;b" x="0.2" y="-19.9" width="10" height="20" opacity="0.5" )"
         R"(preserveAspectRatio="none"/>)"},
        {"rotated image", rotatedImage,
         R"(<image href="data:a&amp;b" x="0.2" y="-19.9" width="10" height="20" opacity="0.5" )"
         R"~(transform="rotate(180,5.2,-9.9)" preserveAspectRatio="none"/>)~"},
    };
    for (const Case& c : cases) EXPECT_EQ(fragment(c.element, 0.2, 0.1), c.expected) << c.name;

    Element unrounded = plain(t::polygon("p", {{0.1, 1.005}, {2, 2}}));
    // Polygon points are written unrounded.
    EXPECT_EQ(fragment(unrounded, 0.2, 0).rfind(R"(<polygon points="0.30000000000000004,1.005 2.2,2" )", 0), 0u);
}

}  // namespace
