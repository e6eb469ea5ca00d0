// Resize drags: anchors, the new box with aspect lock and minimum size, and the fields that fit
// each kind of element into it.
#include "ConnectorBoards.hpp"

#include "DVGeometry/Resize.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace dv {
namespace {

using test::element;
using test::rectangle;
using H = HandlePosition;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const NormalizedRect kStart{10, 20, 100, 50};

Element text(double width, double height, double fontSize) {
    Element::Text t;
    t.content = "hello";
    t.width = width;
    t.height = height;
    t.fontSize = fontSize;
    t.fontFamily = "Arial, sans-serif";
    return element("t", 10, 20, Element::Payload(t));
}

ResizePayload box(double x, double y, double w, double h) {
    ResizePayload p;
    p.x = x;
    p.y = y;
    p.width = w;
    p.height = h;
    return p;
}

TEST(Resize, AnchorsAndCorners) {
    struct Case {
        HandlePosition handle;
        double x, y;
        bool corner;
    };
    const Case cases[] = {
        {H::nw, 110, 70, true}, {H::n, 60, 70, false}, {H::ne, 10, 70, true},  {H::w, 110, 45, false},
        {H::e, 10, 45, false},  {H::sw, 110, 20, true}, {H::s, 60, 20, false}, {H::se, 10, 20, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(anchorX(c.handle, kStart), c.x) << toWord(c.handle);
        EXPECT_EQ(anchorY(c.handle, kStart), c.y) << toWord(c.handle);
        EXPECT_EQ(isCornerHandle(c.handle), c.corner) << toWord(c.handle);
    }
}

TEST(Resize, NewBoxFromHandle) {
    struct Case {
        const char* name;
        HandlePosition handle;
        Point anchor, pointer;
        bool keepAspect;
        Point sign;
        double minSize;
        std::optional<NormalizedRect> expected;
    };
    const Case cases[] = {
        {"corner drag", H::se, {10, 20}, {60, 30}, false, {1, 1}, 0, NormalizedRect{10, 20, 50, 10}},
        {"aspect lock takes the smaller scale", H::se, {10, 20}, {60, 30}, true, {1, 1}, 0,
         NormalizedRect{10, 20, 20, 10}},
        {"aspect lock on the width", H::se, {10, 20}, {30, 120}, true, {1, 1}, 0, NormalizedRect{10, 20, 20, 10}},
        {"e keeps the top and height", H::e, {10, 45}, {80, 500}, false, {1, 1}, 0, NormalizedRect{10, 20, 70, 50}},
        {"w keeps them too, and ignores the lock", H::w, {110, 45}, {50, -9}, true, {-1, 1}, 0,
         NormalizedRect{50, 20, 60, 50}},
        {"n keeps the left and width", H::n, {60, 70}, {-300, 0}, false, {1, -1}, 0, NormalizedRect{10, 0, 100, 70}},
        {"s keeps them too", H::s, {60, 20}, {999, 90}, true, {1, 1}, 0, NormalizedRect{10, 20, 100, 70}},
        {"past the anchor the box flips", H::se, {10, 20}, {0, 5}, false, {1, 1}, 0, NormalizedRect{0, 5, 10, 15}},
        {"with the lock it keeps growing towards the signs", H::se, {10, 20}, {0, 5}, true, {1, 1}, 0,
         NormalizedRect{10, 20, 10, 5}},
        {"negative signs grow up and left", H::nw, {110, 70}, {90, 40}, true, {-1, -1}, 0,
         NormalizedRect{90, 60, 20, 10}},
        {"narrower than the minimum", H::se, {10, 20}, {13.9, 40}, false, {1, 1}, 4, std::nullopt},
        {"exactly the minimum", H::se, {10, 20}, {14, 40}, false, {1, 1}, 4, NormalizedRect{10, 20, 4, 20}},
        {"lower than the minimum", H::se, {10, 20}, {40, 23}, false, {1, 1}, 4, std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<NormalizedRect> actual = newBoundsFromHandle(
            c.handle, c.anchor.x, c.anchor.y, c.pointer.x, c.pointer.y, kStart, c.keepAspect, c.sign.x, c.sign.y,
            c.minSize);
        EXPECT_EQ(actual, c.expected) << c.name;
    }

    // The minimum test is "minimum > side", which a NaN side passes: the NaN reaches the box.
    const std::optional<NormalizedRect> nanBox = newBoundsFromHandle(H::e, 10, 45, kNaN, 0, kStart, false, 1, 1, 4);
    ASSERT_TRUE(nanBox);
    EXPECT_TRUE(std::isnan(nanBox->x) && std::isnan(nanBox->w));
    EXPECT_EQ(nanBox->y, 20);
    EXPECT_EQ(nanBox->h, 50);

    // A start box without extent cannot give an aspect ratio: the lock is skipped.
    EXPECT_EQ(newBoundsFromHandle(H::se, 0, 0, 30, 10, NormalizedRect{0, 0, 0, 50}, true, 1, 1, 0),
              (NormalizedRect{0, 0, 30, 10}));
}

TEST(Resize, ComputeResize) {
    const Element rect = rectangle("r", 10, 20, 100, 50);
    EXPECT_EQ(computeResize(rect, H::se, 10, 20, 60, 30, kStart, false, 1, 1, 1), box(10, 20, 50, 10));
    EXPECT_EQ(computeResize(rect, H::se, 10, 20, 60, 30, kStart, true, 1, 1, 1), box(10, 20, 20, 10));
    // At zoom 2 the least size is 4 world units.
    EXPECT_EQ(computeResize(rect, H::se, 10, 20, 13.9, 40, kStart, false, 1, 1, 2), std::nullopt);
    EXPECT_EQ(computeResize(rect, H::se, 10, 20, 14, 40, kStart, false, 1, 1, 2), box(10, 20, 4, 20));
    EXPECT_EQ(computeResize(rect, H::se, 10, 20, 14, 40, kStart, false, 1, 1, 1), std::nullopt);

    // Text keeps its proportions on a corner without shift, and its font follows the width.
    const Element t = text(100, 50, 20);
    ResizePayload scaled = box(10, 20, 20, 10);
    scaled.fontSize = 4;
    EXPECT_EQ(computeResize(t, H::se, 10, 20, 60, 30, kStart, false, 1, 1, 1), scaled);
    // On an edge it stretches freely and the font stays.
    EXPECT_EQ(computeResize(t, H::e, 10, 45, 60, 999, kStart, false, 1, 1, 1), box(10, 20, 50, 50));
    // Other kinds keep their proportions only with shift.
    EXPECT_EQ(computeResize(rect, H::se, 10, 20, 60, 30, kStart, false, 1, 1, 1)->width, 50);
}

TEST(Resize, ScaleElementBoxKinds) {
    Element::Shape shape;
    shape.width = 100;
    shape.height = 50;
    Element::Image image;
    image.width = 100;
    image.height = 50;
    const Element elements[] = {
        rectangle("r", 10, 20, 100, 50),
        test::boxOfKind(ElementType::ellipse, "e", 10, 20, 100, 50),
        test::boxOfKind(ElementType::rhombus, "h", 10, 20, 100, 50),
        element("s", 10, 20, Element::Payload(shape)),
        test::stencil("st", 10, 20, 100, 50, "label"),
        element("i", 10, 20, Element::Payload(image)),
    };
    for (const Element& e : elements) {
        // Box-like kinds take the new box as it is; nothing else changes, the font flag included.
        EXPECT_EQ(scaleElement(e, 1, 2, 3, 4, true), box(1, 2, 3, 4)) << toWord(e.type());
    }

    ResizePayload withFont = box(0, 0, 50, 10);
    withFont.fontSize = 8;
    EXPECT_EQ(scaleElement(text(100, 40, 16), 0, 0, 50, 10, true), withFont);
    EXPECT_EQ(scaleElement(text(100, 40, 16), 0, 0, 50, 10, false), box(0, 0, 50, 10));
    // No width to take a ratio from: the font is left alone.
    EXPECT_EQ(scaleElement(text(0, 40, 16), 0, 0, 50, 10, true), box(0, 0, 50, 10));
    EXPECT_EQ(scaleElement(text(-10, 40, 16), 0, 0, 50, 10, true), box(0, 0, 50, 10));
}

TEST(Resize, ScaleElementConnectorsAndCurves) {
    // A flat line keeps its scale on the flat axis.
    ResizePayload lineEnds;
    lineEnds.x = 0;
    lineEnds.y = 0;
    lineEnds.x2 = 50;
    lineEnds.y2 = 0;
    EXPECT_EQ(scaleElement(test::line("l", 0, 0, 100, 0), 0, 0, 50, 10, true), lineEnds);

    // A reversed arrow maps both ends from its bounds (20, 10, 80, 40).
    ResizePayload arrowEnds;
    arrowEnds.x = 5 + 80 * 0.5;
    arrowEnds.y = 5 + 40 * 2;
    arrowEnds.x2 = 5;
    arrowEnds.y2 = 5;
    EXPECT_EQ(scaleElement(test::arrow("a", 100, 50, 20, 10), 5, 5, 40, 80, false), arrowEnds);

    // A curved line keeps its control point; its bounds still include the bulge.
    Element curvedLine = test::wire(test::Wire{.id = "c", .from = {0, 0}, .to = {100, 0}, .control = Point{50, 100}});
    const std::optional<ResizePayload> lineResult = scaleElement(curvedLine, 0, 0, 50, 100, false);
    ASSERT_TRUE(lineResult);
    EXPECT_FALSE(lineResult->cx);
    EXPECT_FALSE(lineResult->cy);
    EXPECT_EQ(lineResult->x2, 50);
    EXPECT_EQ(lineResult->y2, 0);

    // A curve moves all three points; its bounds are the control triangle (0, 0, 100, 100).
    const Element curve = element("q", 0, 0, Element::Payload(Element::Curve{100, 0, 50, 100}));
    ResizePayload curveResult;
    curveResult.x = 10;
    curveResult.y = 10;
    curveResult.x2 = 60;
    curveResult.y2 = 10;
    curveResult.cx = 35;
    curveResult.cy = 60;
    EXPECT_EQ(scaleElement(curve, 10, 10, 50, 50, true), curveResult);
}

TEST(Resize, ScaleElementPointLists) {
    ResizePayload expected;
    expected.x = 5;
    expected.y = 5;
    expected.points = std::vector<Point>{{5, 5}, {25, 5}, {25, 15}};
    EXPECT_EQ(scaleElement(test::polygon("p", {{0, 0}, {10, 0}, {10, 20}}), 5, 5, 20, 10, false), expected);

    Element::Freehand stroke;
    stroke.points = {{10, 10}, {20, 30}};
    ResizePayload strokeResult;
    strokeResult.x = 0;
    strokeResult.y = 0;
    strokeResult.points = std::vector<Point>{{0, 0}, {5, 10}};
    EXPECT_EQ(scaleElement(element("f", 0, 0, Element::Payload(stroke)), 0, 0, 5, 10, false), strokeResult);

    // No width or no height to scale from gives no result at all.
    EXPECT_EQ(scaleElement(test::polygon("p", {{3, 0}, {3, 10}, {3, 20}}), 0, 0, 10, 10, false), std::nullopt);
    EXPECT_EQ(scaleElement(test::polygon("p", {{0, 7}, {10, 7}}), 0, 0, 10, 10, false), std::nullopt);
    EXPECT_EQ(scaleElement(test::polygon("p", {}), 0, 0, 10, 10, false), std::nullopt);
    Element::Freehand dot;
    dot.points = {{4, 4}};
    EXPECT_EQ(scaleElement(element("f", 0, 0, Element::Payload(dot)), 0, 0, 5, 10, false), std::nullopt);
}

TEST(Resize, PayloadEqualityAndHash) {
    const std::hash<ResizePayload> hash;
    ResizePayload a = box(0.0, 1, 2, 3);
    ResizePayload b = box(-0.0, 1, 2, 3);
    EXPECT_EQ(a, b);
    EXPECT_EQ(hash(a), hash(b));

    // Presence counts: an absent field differs from any value.
    ResizePayload c = a;
    c.fontSize = 0;
    EXPECT_NE(a, c);
    EXPECT_NE(hash(a), hash(c));
    ResizePayload emptyPoints = a, noPoints = a;
    emptyPoints.points = std::vector<Point>{};
    EXPECT_NE(emptyPoints, noPoints);
    EXPECT_NE(hash(emptyPoints), hash(noPoints));
    // The same values in other fields are other payloads.
    ResizePayload ends;
    ends.x2 = 2;
    ends.y2 = 3;
    ResizePayload size;
    size.width = 2;
    size.height = 3;
    EXPECT_NE(ends, size);
    EXPECT_NE(hash(ends), hash(size));
}

} // namespace
} // namespace dv
