// Bounds, border points, ports, anchors and the resolved ends and routes of bound connectors.
#include "ConnectorBoards.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace dv {
namespace {

using test::anchorAt;
using test::boxOfKind;
using test::rectangle;
using test::stencil;
using test::Wire;
using test::wire;

void expectPoint(Point actual, Point expected, double tolerance = 1e-9) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
}

ConnectorEnds endsOf(const Element& e) { return *connectorEnds(e); }

TEST(ElementBounds, ByKind) {
    Element rotated = rectangle("r", 10, 10, -4, 5);
    rotated.rotation = 0.7;
    Element::Curve curve{100, 0, 50, 100};
    Element::Text text;
    text.width = 30;
    text.height = -8;
    Element::Line curvedLine;
    curvedLine.x2 = 100;
    curvedLine.cx = 50;
    curvedLine.cy = 100;
    struct Case {
        const char* name;
        Element element;
        NormalizedRect expected;
    } cases[] = {
        {"negative width", rectangle("r", 10, 10, -4, 5), {6, 10, 4, 5}},
        {"rotation ignored", rotated, {6, 10, 4, 5}},
        {"ellipse", boxOfKind(ElementType::ellipse, "e", 1, 2, 3, 4), {1, 2, 3, 4}},
        {"text", test::element("t", 5, 20, Element::Payload(text)), {5, 12, 30, 8}},
        {"empty polygon", test::polygon("p", {}), {0, 0, 0, 0}},
        {"polygon points as stored", test::polygon("p", {{3, 9}, {-2, 4}, {7, 5}}), {-2, 4, 9, 5}},
        {"polygon through the origin", test::polygon("p", {{0, 3}, {-2, 0}, {4, -1}}), {-2, -1, 6, 4}},
        {"curve hull, not the curve", test::element("c", 0, 0, Element::Payload(curve)), {0, 0, 100, 100}},
        {"straight line", test::line("l", 10, 20, 0, 5), {0, 5, 10, 15}},
        {"curved line: exact curve box", test::element("q", 0, 0, Element::Payload(curvedLine)), {0, 0, 100, 50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(getElementBounds(c.element), c.expected);
    }
    // A NaN anywhere makes the box NaN, as Math.min and Math.max do.
    const NormalizedRect withNaN = getElementBounds(test::polygon("p", {{1, 1}, {std::nan(""), 2}, {3, 4}}));
    EXPECT_TRUE(std::isnan(withNaN.x) && std::isnan(withNaN.w));
    EXPECT_EQ(withNaN.y, 1);
    // A polygon with no points keeps its own position.
    Element empty = test::polygon("p", {});
    empty.x = 3;
    empty.y = 4;
    EXPECT_EQ(getElementBounds(empty), (NormalizedRect{3, 4, 0, 0}));
}

TEST(ElementBounds, ConnectorsResolveThroughTheIndex) {
    const Element target = rectangle("t", 180, -20, 40, 40);
    const Element a = wire({.id = "a", .from = {0, 0}, .to = {100, 0}, .end = "t"});
    EXPECT_EQ(getElementBounds(a), (NormalizedRect{0, 0, 100, 0}));
    EXPECT_EQ(getElementBounds(a, std::vector<Element>{target, a}), (NormalizedRect{0, 0, 180, 0}));
    // An elbow connector without an index is routed alone: its binding finds nothing.
    const Element elbow = wire({.id = "b", .from = {0, 0}, .to = {100, 50}, .end = "t", .elbow = true});
    EXPECT_EQ(getElementBounds(elbow), (NormalizedRect{0, 0, 100, 50}));
}

TEST(ElementBounds, ElbowBoundToItselfTerminates) {
    const Element self = wire({.id = "s", .from = {0, 0}, .to = {100, 50}, .start = "s", .end = "s", .elbow = true});
    EXPECT_EQ(getElementBounds(self), (NormalizedRect{0, 0, 100, 50}));
    const std::vector<Element> board{self};
    const NormalizedRect b = getElementBounds(self, board);
    EXPECT_TRUE(std::isfinite(b.x) && std::isfinite(b.y) && std::isfinite(b.w) && std::isfinite(b.h));
    EXPECT_FALSE(resolveConnectorRoute(endsOf(self), board).empty());
}

TEST(ConnectorBox, StencilGrowsByItsLabel) {
    const Element plain = stencil("s", 0, 0, 64, 64, std::nullopt);
    EXPECT_EQ(getConnectorBox(plain), (NormalizedRect{0, 0, 64, 64}));
    // One short line at 14: the label is 64 wide (narrower text) and 14 * 1.2 + 6 high.
    const Element labelled = stencil("s", 0, 0, 64, 64, "db");
    const NormalizedRect box = getConnectorBox(labelled);
    EXPECT_EQ(box.x, 0);
    EXPECT_EQ(box.w, 64);
    EXPECT_NEAR(box.h, 64 + 22.8, 1e-9);
    Element rotated = labelled;
    rotated.rotation = 0.5;
    EXPECT_EQ(getConnectorBox(rotated), (NormalizedRect{0, 0, 64, 64}));
}

TEST(BorderPoint, TowardAPoint) {
    const Element r = rectangle("r", 0, 0, 100, 50);
    Element quarterTurn = r;
    quarterTurn.rotation = std::acos(-1.0) / 2;
    struct Case {
        const char* name;
        Element element;
        Point toward;
        Point expected;
    } cases[] = {
        {"toward the centre itself", r, {50.0005, 24.9995}, {50, 25}},
        {"box, right side", r, {250, 25}, {100, 25}},
        {"box, corner ray", r, {150, 75}, {100, 50}},
        {"rhombus", boxOfKind(ElementType::rhombus, "d", 0, 0, 100, 50), {150, 75}, {75, 37.5}},
        {"ellipse uses the parametric angle", boxOfKind(ElementType::ellipse, "e", 0, 0, 100, 50), {50, 125}, {50, 50}},
        {"a quarter turn: the long side faces down", quarterTurn, {50, 200}, {50, 75}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectPoint(getElementBorderPoint(c.element, c.toward.x, c.toward.y), c.expected);
    }
}

TEST(BorderPoint, DegenerateDirectionsStayFinite) {
    // A zero-width rhombus met straight from above: the box rule's crossing, the top of the line.
    const Element flat = boxOfKind(ElementType::rhombus, "d", 100, 100, 0, 50);
    const Point top = getElementBorderPoint(flat, 100, 0);
    EXPECT_EQ(top.x, 100);
    EXPECT_EQ(top.y, 100);
    for (const ElementPort& port : getElementPorts(flat)) {
        EXPECT_TRUE(std::isfinite(port.worldX) && std::isfinite(port.worldY));
        EXPECT_TRUE(std::isfinite(port.anchor.x) && std::isfinite(port.anchor.y));
    }
    // A connector bound straight above that rhombus starts on it.
    const Element bound = wire({.id = "a", .from = {0, 500}, .to = {100, 0}, .start = "d"});
    const ConnectorEndpoints ends = resolveArrowEndpoints(endsOf(bound), std::vector<Element>{flat, bound});
    EXPECT_EQ(ends.x, 100);
    EXPECT_EQ(ends.y, 100);

    // Neither component exceeds 0.001, but they are not both below it: the centre.
    const Element box = rectangle("r", -5, -5, 10, 10);
    const Element arrow = wire({.id = "a", .from = {0, 0}, .to = {0, 0.001}, .start = "r"});
    const ConnectorEndpoints short_ = resolveArrowEndpoints(endsOf(arrow), std::vector<Element>{box, arrow});
    EXPECT_EQ(short_.x, 0);
    EXPECT_EQ(short_.y, 0);
}

Element quarterTurnedBox() {
    Element r = rectangle("r", 0, 0, 100, 50);
    r.rotation = std::acos(-1.0) / 2;
    return r;
}

TEST(NearestBorderPoint, ByKind) {
    const Element r = rectangle("r", 0, 0, 100, 50);
    // Two label lines at the default 14: 2 * 14 * 1.2 + 6 below the bottom edge.
    const Element s = stencil("s", 0, 0, 64, 64, "Server\nrack");
    struct Case {
        const char* name;
        Element element;
        Point from;
        Point expected;
    } cases[] = {
        {"inside, nearest edge", r, {90, 20}, {100, 20}},
        {"inside, ties keep the left edge", r, {25, 25}, {0, 25}},
        {"outside clamps", r, {150, -30}, {100, 0}},
        {"ellipse centre gives top centre", boxOfKind(ElementType::ellipse, "e", 0, 0, 100, 50), {50, 25}, {50, 0}},
        {"ellipse", boxOfKind(ElementType::ellipse, "e", 0, 0, 100, 50), {50, 100}, {50, 50}},
        {"rhombus", boxOfKind(ElementType::rhombus, "d", 0, 0, 100, 50), {100, 50}, {75, 37.5}},
        {"flat rhombus: top centre", boxOfKind(ElementType::rhombus, "d", 0, 0, 0, 50), {30, 30}, {0, 0}},
        {"stencil bottom edge sits below its label", s, {32, 70}, {32, 64 + 39.6}},
        {"a quarter-turned box, measured in its own frame", quarterTurnedBox(), {50, 90}, {50, 75}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectPoint(getNearestElementBorderPoint(c.element, c.from.x, c.from.y), c.expected);
    }
}

TEST(DistToShapeBoundary, ByKind) {
    const Element r = rectangle("r", 0, 0, 100, 50);
    const NormalizedRect b{0, 0, 100, 50};
    EXPECT_EQ(distToShapeBoundary(r, b, 50, 20), 20);
    EXPECT_EQ(distToShapeBoundary(r, b, 103, 54), 5);
    EXPECT_EQ(distToShapeBoundary(boxOfKind(ElementType::rhombus, "d", 0, 0, 100, 50), b, 50, 25), 25);
    EXPECT_EQ(distToShapeBoundary(boxOfKind(ElementType::ellipse, "e", 0, 0, 100, 50), b, 150, 25), 25);
    EXPECT_EQ(distToShapeBoundary(r, NormalizedRect{0, 0, 0, 50}, 3, 29), 5);
}

TEST(Ports, SidesInOrder) {
    const std::vector<ElementPort> ports = getElementPorts(rectangle("r", 0, 0, 100, 50));
    ASSERT_EQ(ports.size(), 4u);
    const Point world[] = {{50, 0}, {100, 25}, {50, 50}, {0, 25}};
    const Point anchors[] = {{0.5, 0}, {1, 0.5}, {0.5, 1}, {0, 0.5}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        expectPoint({ports[i].worldX, ports[i].worldY}, world[i]);
        expectPoint({ports[i].anchor.x, ports[i].anchor.y}, anchors[i]);
        EXPECT_EQ(ports[i].anchor.extra.count(), 0u);
    }
    Element::Curve curve{1, 1, 2, 2};
    Element::Freehand freehand;
    for (const Element& e : {test::line("l", 0, 0, 1, 1), test::arrow("a", 0, 0, 1, 1), test::polygon("p", {Point{0, 0}}),
                             test::element("c", 0, 0, Element::Payload(curve)),
                             test::element("f", 0, 0, Element::Payload(freehand))}) {
        EXPECT_TRUE(getElementPorts(e).empty());
    }
}

TEST(Anchors, WorldToAnchorAndBack) {
    const Element r = rectangle("r", 0, 0, 100, 50);
    struct Case {
        double x, y, ax, ay;
    } cases[] = {{25, 10, 0.25, 0.2}, {-40, 80, 0, 1}, {140, -5, 1, 0}};
    for (const Case& c : cases) {
        const ConnectorAnchor a = worldToAnchor(r, c.x, c.y);
        EXPECT_EQ(a.x, c.ax);
        EXPECT_EQ(a.y, c.ay);
    }
    EXPECT_EQ(worldToAnchor(rectangle("z", 0, 0, 0, 50), 10, 25).x, 0.5);
    // An anchor inside lands on the nearest border point.
    expectPoint(anchorToWorld(r, anchorAt(0.9, 0.2)), {100, 10});
}

TEST(ResolvedEnds, BindingsAndAnchors) {
    const Element target = rectangle("t", 180, -20, 40, 40);
    const std::vector<Element> scene{target};
    struct Case {
        const char* name;
        Wire wire;
        ConnectorEndpoints expected;
    } cases[] = {
        {"bound end meets the border toward the start", {.id = "a", .from = {0, 0}, .to = {100, 0}, .end = "t"},
         {0, 0, 180, 0}},
        {"anchor wins over the stored end",
         {.id = "a", .from = {0, 0}, .to = {500, 300}, .end = "t", .endAnchor = anchorAt(0, 0.5)},
         {0, 0, 180, 0}},
        {"unknown id keeps the stored point", {.id = "a", .from = {0, 0}, .to = {100, 7}, .end = "nobody"},
         {0, 0, 100, 7}},
        {"anchor on a missing element is ignored",
         {.id = "a", .from = {1, 2}, .to = {3, 4}, .start = "nobody", .startAnchor = anchorAt(1, 1)}, {1, 2, 3, 4}},
        {"empty id binds nothing", {.id = "a", .from = {1, 2}, .to = {3, 4}, .end = ""}, {1, 2, 3, 4}},
        {"stored point within 1 of the border stays on it",
         {.id = "a", .from = {220.5, 10}, .to = {400, 300}, .start = "t"}, {220, 10, 400, 300}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Element> elements = scene;
        elements.push_back(wire(c.wire));
        const ConnectorEndpoints e = resolveArrowEndpoints(endsOf(elements.back()), elements);
        expectPoint({e.x, e.y}, {c.expected.x, c.expected.y});
        expectPoint({e.x2, e.y2}, {c.expected.x2, c.expected.y2});
    }
}

// An arrow from far left bound at its end to an element of each kind filling (0, 0)-(100, 100),
// with and without an anchor on it.
TEST(ResolvedEnds, EachKindAndAnchor) {
    Element::Image image;
    image.width = image.height = 100;
    Element::Text text;
    text.width = text.height = 100;
    const Element labelled = stencil("k", 0, 0, 64, 64, "Server\nrack");
    struct Case {
        const char* name;
        Element target;
        std::optional<ConnectorAnchor> anchor;
        Point expected;
    } cases[] = {
        {"rectangle", rectangle("k", 0, 0, 100, 100), std::nullopt, {0, 50}},
        {"ellipse", boxOfKind(ElementType::ellipse, "k", 0, 0, 100, 100), std::nullopt, {0, 50}},
        {"rhombus", boxOfKind(ElementType::rhombus, "k", 0, 0, 100, 100), std::nullopt, {0, 50}},
        {"text", test::element("k", 0, 0, Element::Payload(text)), std::nullopt, {0, 50}},
        {"image", test::element("k", 0, 0, Element::Payload(image)), std::nullopt, {0, 50}},
        {"hexagon shape: its left vertex", test::flowShape("k", ShapeKind::preparation, 0, 0, 100, 100), std::nullopt,
         {0, 50}},
        {"slanted shape: its leaning side", test::flowShape("k", ShapeKind::data, 0, 0, 100, 100), std::nullopt,
         {10, 50}},
        {"stencil: the ray passes beside its label", labelled, std::nullopt, {0, 32}},
        {"rectangle, corner anchor", rectangle("k", 0, 0, 100, 100), anchorAt(1, 0), {100, 0}},
        {"ellipse, side anchor", boxOfKind(ElementType::ellipse, "k", 0, 0, 100, 100), anchorAt(1, 0.5), {100, 50}},
        {"rhombus, corner anchor", boxOfKind(ElementType::rhombus, "k", 0, 0, 100, 100), anchorAt(0, 0), {25, 25}},
        {"slanted shape, side anchor", test::flowShape("k", ShapeKind::data, 0, 0, 100, 100), anchorAt(0, 0.5),
         {500.0 / 52, 100 - 2500.0 / 52}},
        {"stencil, bottom anchor lands below its label", labelled, anchorAt(0.5, 1), {32, 64 + 39.6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Element> elements{
            c.target, wire({.id = "a", .from = {-300, c.target.type() == ElementType::stencil ? 32.0 : 50.0},
                            .to = {500, 500}, .end = "k", .endAnchor = c.anchor})};
        const ConnectorEndpoints e = resolveArrowEndpoints(endsOf(elements[1]), elements);
        expectPoint({e.x2, e.y2}, c.expected);
    }
}

TEST(ElbowRoutes, ExitsStubsAndAlignment) {
    const Element a = rectangle("A", 0, 0, 100, 100);
    Element rounded = rectangle("A", 0, 0, 100, 15);
    rounded.payload.box()->cornerRadius = 10;
    struct Case {
        const char* name;
        std::vector<Element> nodes;
        Wire wire;
        std::vector<Point> expected;
    } cases[] = {
        {"overlapping sides share the start's centre level",
         {a, rectangle("B", 300, 50, 100, 100)},
         {.id = "w", .start = "A", .end = "B", .elbow = true},
         {{100, 50}, {300, 50}}},
        {"overlap below 1: each side's own port",
         {a, rectangle("B", 300, 99.5, 100, 100)},
         {.id = "w", .start = "A", .end = "B", .elbow = true},
         {{100, 50}, {200, 50}, {200, 149.5}, {300, 149.5}}},
        {"square corners: aligned",
         {rectangle("A", 0, 0, 100, 15), rectangle("B", 300, 5, 100, 15)},
         {.id = "w", .start = "A", .end = "B", .elbow = true},
         {{100, 7.5}, {300, 7.5}}},
        {"corner radius 10 on a 15 high side leaves no straight run",
         {rounded, rectangle("B", 300, 5, 100, 15)},
         {.id = "w", .start = "A", .end = "B", .elbow = true},
         {{100, 7.5}, {200, 7.5}, {200, 12.5}, {300, 12.5}}},
        {"unbound: stored ends, no directions", {}, {.id = "w", .from = {0, 0}, .to = {100, 50}, .elbow = true},
         {{0, 0}, {50, 0}, {50, 50}, {100, 50}}},
        {"anchor (0.9, 0.2) leaves to the right",
         {a},
         {.id = "w", .to = {300, 20}, .start = "A", .startAnchor = anchorAt(0.9, 0.2), .elbow = true},
         {{100, 20}, {300, 20}}},
        {"anchor (0.5, 0.5) ties horizontal and leaves to the right",
         {a},
         {.id = "w", .to = {300, 50}, .start = "A", .startAnchor = anchorAt(0.5, 0.5), .elbow = true},
         {{0, 50}, {300, 50}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Element> elements = c.nodes;
        elements.push_back(wire(c.wire));
        const std::vector<Point> route = resolveConnectorRoute(endsOf(elements.back()), elements);
        ASSERT_EQ(route.size(), c.expected.size());
        for (std::size_t i = 0; i < route.size(); ++i) expectPoint(route[i], c.expected[i]);
    }
}

TEST(ElbowRoutes, StraightConnectorIsItsTwoEnds) {
    const std::vector<Element> elements{rectangle("t", 180, -20, 40, 40),
                                        wire({.id = "a", .from = {0, 0}, .to = {100, 0}, .end = "t"})};
    const std::vector<Point> route = resolveConnectorRoute(endsOf(elements[1]), elements);
    ASSERT_EQ(route.size(), 2u);
    expectPoint(route[1], {180, 0});
}

// Every bound end, route point and port of random boards (zero, negative and rotated sizes
// included) is a finite number.
TEST(ConnectorGeometryProperty, FiniteOnRandomBoards) {
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        test::RandomBoard random(seed);
        const std::vector<Element> board = random.board(60);
        const ElementIndex index(board);
        for (const Element& e : board) {
            SCOPED_TRACE(e.id);
            for (const ElementPort& p : getElementPorts(e)) {
                ASSERT_TRUE(std::isfinite(p.worldX) && std::isfinite(p.worldY));
            }
            const NormalizedRect b = getElementBounds(e, &index);
            ASSERT_TRUE(std::isfinite(b.x) && std::isfinite(b.y) && std::isfinite(b.w) && std::isfinite(b.h));
            const std::optional<ConnectorEnds> ends = connectorEnds(e);
            if (!ends) continue;
            for (const Point& p : resolveConnectorRoute(*ends, index)) {
                ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
            }
        }
    }
}

} // namespace
} // namespace dv
