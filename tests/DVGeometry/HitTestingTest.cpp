// Which element the pointer is over: tolerances per kind and zoom, strict and inclusive limits,
// rotation, open and closed outlines, curves, connector routes and the top-most rule.
#include "ConnectorBoards.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/HitTesting.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace dv {
namespace {

using test::boxOfKind;
using test::rectangle;
using test::Wire;
using test::wire;

Element withStroke(Element e, double strokeWidth) {
    e.strokeWidth = strokeWidth;
    return e;
}

Element curveElement(Point start, Point control, Point end, double strokeWidth) {
    Element::Curve c;
    c.cx = control.x;
    c.cy = control.y;
    c.x2 = end.x;
    c.y2 = end.y;
    return withStroke(test::element("curve", start.x, start.y, Element::Payload(c)), strokeWidth);
}

Element polygonElement(std::vector<Point> points, bool closed) {
    Element e = test::polygon("poly", std::move(points));
    e.payload.polygon()->closed = closed;
    return e;
}

Element freehandElement(std::vector<Point> points) {
    Element::Freehand f;
    f.points = std::move(points);
    return test::element("pen", 0, 0, Element::Payload(f));
}

// The element tested on its own (so a connector resolves to its stored ends).
bool hits(const Element& e, double x, double y, double zoom = 1, double extraPadPx = 0) {
    const ElementIndex index({e});
    return hitTestElement(e, hitGeometry(e, index), x, y, zoom, extraPadPx);
}

struct HitCase {
    const char* name;
    Element element;
    double x, y, zoom, extraPadPx;
    bool hit;
};

void runCases(const std::vector<HitCase>& cases) {
    for (const HitCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(hits(c.element, c.x, c.y, c.zoom, c.extraPadPx), c.hit);
    }
}

TEST(HitTestElement, BoxesIncludeTheirPaddedEdges) {
    // Covers -50 ... 50 horizontally and 0 ... 20 vertically.
    const Element r = rectangle("r", 50, 0, -100, 20);
    Element::Text text;
    text.width = 40;
    text.height = -10;
    const Element t = test::element("t", 0, 0, Element::Payload(text));
    runCases({
        {"4 px pad at zoom 1, edge included", r, -54, 10, 1, 0, true},
        {"just past the pad", r, -54.01, 10, 1, 0, false},
        {"right edge plus pad", r, 54, 10, 1, 0, true},
        {"pad halves at zoom 2", r, -52, 10, 2, 0, true},
        {"past the halved pad", r, -52.01, 10, 2, 0, false},
        {"extra 10 px at zoom 2 adds 5", r, -57, 10, 2, 10, true},
        {"past the extra pad", r, -57.01, 10, 2, 10, false},
        {"stroke width does not widen", withStroke(r, 40), -54.01, 10, 1, 0, false},
        {"negative text height reaches up", t, 20, -14, 1, 0, true},
        {"below the text box", t, 20, 4.01, 1, 0, false},
        {"NaN zoom hits nothing", r, 0, 10, NAN, 0, false},
        {"NaN point hits nothing", r, NAN, 10, 1, 0, false},
    });
}

TEST(HitTestElement, EllipsesAndRhombiCompareInclusively) {
    // Both span 0 ... 100 by 0 ... 50; half extents 50 and 25 around (50, 25).
    const Element ellipse = boxOfKind(ElementType::ellipse, "e", 0, 0, 100, 50);
    const Element flipped = boxOfKind(ElementType::ellipse, "e", 100, 50, -100, -50);
    const Element rhombus = boxOfKind(ElementType::rhombus, "d", 0, 0, 100, 50);
    runCases({
        {"ellipse rim plus pad is exactly 1", ellipse, 104, 25, 1, 0, true},
        {"ellipse just outside", ellipse, 104.01, 25, 1, 0, false},
        {"ellipse bottom plus pad", ellipse, 50, 54, 1, 0, true},
        {"ellipse below the pad", ellipse, 50, 54.01, 1, 0, false},
        {"ellipse corner of its box", ellipse, 2, 2, 1, 0, false},
        {"negative extents cover the same ellipse", flipped, -4, 25, 1, 0, true},
        {"negative extents, outside", flipped, -4.01, 25, 1, 0, false},
        {"rhombus tip plus pad", rhombus, 104, 25, 1, 0, true},
        {"rhombus just past the tip", rhombus, 104.01, 25, 1, 0, false},
        {"rhombus inside its box, outside its outline", rhombus, 10, 5, 1, 0, false},
        {"rhombus centre", rhombus, 50, 25, 1, 0, true},
    });
}

TEST(HitTestElement, StrokesUseTheStrictStrokeTolerance) {
    const Element arrow = withStroke(test::arrow("a", 0, 0, 100, 0), 2);
    const Element dot = withStroke(test::arrow("a", 0, 0, 0, 0), 2);
    runCases({
        // zoom 2: 8/2 + 2/2 = 5, strictly below.
        {"zoom 2 just inside", arrow, 50, 4.99, 2, 0, true},
        {"zoom 2 at the limit", arrow, 50, 5, 2, 0, false},
        {"extra 10 px at zoom 2: limit 10", arrow, 50, 9.99, 2, 10, true},
        {"extra 10 px at zoom 2: at the limit", arrow, 50, 10, 2, 10, false},
        {"beyond the end, measured to the end", arrow, 105, 0, 1, 0, true},
        {"beyond the end, out of reach", arrow, 109, 0, 1, 0, false},
        {"start equals end: within 9 of the point", dot, 0, 8.99, 1, 0, true},
        {"start equals end: at 9", dot, 0, 9, 1, 0, false},
        {"start equals end: elsewhere", dot, 6, 8, 1, 0, false},
    });
}

TEST(HitTestElement, CurvesAddSixUnscaledUnits) {
    // Control polygon (0,0) - (100,0) - (100,100); stroke 2.
    const Element c = curveElement({0, 0}, {100, 0}, {100, 100}, 2);
    runCases({
        {"10.9 from the first leg", c, 50, 10.9, 1, 0, true},
        {"11 is the limit", c, 50, 11, 1, 0, false},
        {"other side of the first leg", c, 50, -10.9, 1, 0, true},
        {"second leg", c, 110.9, 50, 1, 0, true},
        {"zoom 100: just above 7 still hits", c, 50, 7.03, 100, 0, true},
        {"zoom 100: 7.05 misses", c, 50, 7.05, 100, 0, false},
        {"the chord from start to end plays no part", c, 50, 50, 1, 0, false},
    });
}

TEST(HitTestElement, OutlinesHitOnlyNearTheirEdges) {
    const std::vector<Point> triangle{{0, 0}, {100, 0}, {100, 100}};
    const Element open = polygonElement(triangle, false);
    const Element closed = polygonElement(triangle, true);
    const Element square = polygonElement({{0, 0}, {400, 0}, {400, 400}, {0, 400}}, true);
    const Element two = polygonElement({{0, 0}, {100, 0}}, true);
    const Element lone = polygonElement({{0, 0}}, true);
    const Element pen = freehandElement({{0, 0}, {100, 0}, {100, 100}});
    runCases({
        {"open polygon: no closing edge", open, 50, 50, 1, 0, false},
        {"closed polygon: closing edge", closed, 50, 50, 1, 0, true},
        {"open polygon: its edges", open, 100, 50, 1, 0, true},
        {"inside a large polygon", square, 200, 200, 1, 0, false},
        {"polygon edge, pad 4 + half stroke 1", square, 200, 4.99, 1, 0, true},
        {"polygon edge at the limit", square, 200, 5, 1, 0, false},
        {"closed two-point polygon: its segment", two, 50, 3, 1, 0, true},
        {"closed two-point polygon: beside it", two, 50, 6, 1, 0, false},
        {"one point never hits", lone, 0, 0, 1, 0, false},
        {"freehand never closes", pen, 50, 50, 1, 0, false},
        {"freehand edge", pen, 50, 4, 1, 0, true},
        {"freehand of one point", freehandElement({{5, 5}}), 5, 5, 1, 0, false},
    });
}

TEST(HitTestElement, RotationTurnsThePointIntoTheElementsFrame) {
    // 100 x 20 about its centre (50, 10); turned a quarter it covers 40 ... 60 by -40 ... 60.
    Element r = rectangle("r", 0, 0, 100, 20);
    r.rotation = std::numbers::pi / 2;
    Element unturned = r;
    unturned.rotation = -0.0;
    Element nanTurn = r;
    nanTurn.rotation = NAN;
    // Turned an eighth, the long axis runs from the centre toward (+1, +1).
    Element eighth = r;
    eighth.rotation = std::numbers::pi / 4;
    runCases({
        {"inside the turned outline only", r, 50, 50, 1, 0, true},
        {"inside the unturned outline only", r, 90, 10, 1, 0, false},
        {"turned: pad beyond the long side", r, 50, 63.9, 1, 0, true},
        {"turned: past the pad", r, 50, 64.1, 1, 0, false},
        {"eighth: along the turned axis", eighth, 80, 40, 1, 0, true},
        {"eighth: beyond the turned end", eighth, 95, 55, 1, 0, false},
        {"eighth: across the turned axis", eighth, 80, -20, 1, 0, false},
        {"-0 counts as unturned", unturned, 90, 10, 1, 0, true},
        {"NaN counts as unturned", nanTurn, 90, 10, 1, 0, true},
    });
}

TEST(HitTestElement, ConnectorsFollowTheirResolvedPath) {
    // A curved line: start (0,0), end (100,0), control (50,100); its apex is (50, 50).
    const Element curved = wire(Wire{.id = "q", .from = {0, 0}, .to = {100, 0}, .control = Point{50, 100}});
    const Element straightLine = wire(Wire{.id = "l", .from = {0, 0}, .to = {100, 0}, .asLine = true});
    runCases({
        {"curved line near its apex", curved, 50, 58.9, 1, 0, true},
        {"curved line beyond the limit", curved, 50, 59.5, 1, 0, false},
        {"curved line: not its chord", curved, 50, 0, 1, 0, false},
        {"straight line", straightLine, 50, 8.9, 1, 0, true},
        {"straight line at the limit", straightLine, 50, 9, 1, 0, false},
    });

    // Plain geometry for a connector never hits; a route is used whatever the kind.
    EXPECT_FALSE(hitTestElement(straightLine, HitGeometry::plain(), 50, 0, 1, 0));
    const Element r = rectangle("r", 0, 0, 10, 10);
    EXPECT_TRUE(hitTestElement(r, HitGeometry::route({{500, 0}, {600, 0}}), 550, 8.9, 1, 0));
    EXPECT_FALSE(hitTestElement(r, HitGeometry::route({{500, 0}, {600, 0}}), 5, 5, 1, 0));
    EXPECT_FALSE(hitTestElement(r, HitGeometry::route({{500, 0}}), 500, 0, 1, 0));
}

TEST(HitTestElement, ElbowConnectorsUseTheirRouteOnly) {
    const Element elbow = wire(Wire{.id = "w", .from = {0, 0}, .to = {200, 100}, .elbow = true, .asLine = true});
    const ElementIndex index({elbow});
    const HitGeometry geometry = hitGeometry(elbow, index);
    const auto* route = std::get_if<HitGeometry::Route>(&geometry.kind);
    ASSERT_NE(route, nullptr);
    ASSERT_GE(route->points.size(), 3u);
    // Every orthogonal route between the ends keeps clear of this point of the straight chord.
    bool farFromRoute = true;
    for (std::size_t i = 1; i < route->points.size(); ++i) {
        const Point a = route->points[i - 1], b = route->points[i];
        const double d = (a.x == b.x) ? std::fabs(a.x - 40) : std::fabs(a.y - 20);
        farFromRoute = farFromRoute && d > 9;
    }
    ASSERT_TRUE(farFromRoute);
    EXPECT_FALSE(hits(elbow, 40, 20));
    const Point a = route->points[1], b = route->points[2];
    EXPECT_TRUE(hits(elbow, (a.x + b.x) / 2, (a.y + b.y) / 2));
}

TEST(HitTestElement, GeometryByKind) {
    const Element box = rectangle("b", 0, 0, 50, 50);
    const Element straight = wire(Wire{.id = "s", .from = {100, 25}, .to = {25, 25}, .end = "b"});
    const Element elbow = wire(Wire{.id = "e", .from = {100, 100}, .to = {0, 0}, .end = "b", .elbow = true});
    const ElementIndex index({box, straight, elbow});
    EXPECT_EQ(hitGeometry(box, index), HitGeometry::plain());
    EXPECT_EQ(hitGeometry(freehandElement({{0, 0}, {5, 5}}), index), HitGeometry::plain());
    // The bound end moves from the box's centre onto its border.
    EXPECT_EQ(hitGeometry(straight, index), HitGeometry::endpoints({100, 25, 50, 25}));
    EXPECT_TRUE(std::holds_alternative<HitGeometry::Route>(hitGeometry(elbow, index).kind));
}

TEST(HitTest, TopMostWinsAndHiddenOrLockedStillCount) {
    Element below = rectangle("below", 0, 0, 100, 100);
    Element above = rectangle("above", 50, 50, 100, 100);
    EXPECT_EQ(hitTest({below, above}, 75, 75, 1, 0)->id, "above");
    EXPECT_EQ(hitTest({above, below}, 75, 75, 1, 0)->id, "below");
    EXPECT_EQ(hitTest({below, above}, 10, 10, 1, 0)->id, "below");
    EXPECT_FALSE(hitTest({below, above}, 500, 500, 1, 0).has_value());
    EXPECT_FALSE(hitTest({}, 0, 0, 1, 0).has_value());

    above.visible = false;
    EXPECT_EQ(hitTest({below, above}, 75, 75, 1, 0)->id, "above");
    above.visible.reset();
    above.locked = true;
    const std::optional<Element> locked = hitTest({below, above}, 75, 75, 1, 0);
    ASSERT_TRUE(locked.has_value());
    EXPECT_EQ(*locked, above);
}

TEST(HitTest, ConnectorsAreResolvedAgainstTheBoard) {
    // The stored end lies inside the box; bound, it stops at the box's left edge (x = 200).
    const Element box = rectangle("b", 200, 0, 100, 100);
    const Element arrow = wire(Wire{.id = "a", .from = {0, 50}, .to = {250, 50}, .end = "b"});
    const Element cover = rectangle("cover", 180, 30, 10, 40);
    EXPECT_EQ(hitTest({box, arrow}, 195, 50, 1, 0)->id, "a");
    // Between the bound end and the stored end the box is found below the arrow.
    EXPECT_EQ(hitTest({box, arrow}, 230, 50, 1, 0)->id, "b");
    EXPECT_EQ(hitTest({arrow, cover}, 185, 50, 1, 0)->id, "cover");
}

} // namespace
} // namespace dv
