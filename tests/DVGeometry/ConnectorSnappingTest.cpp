// Where a dragged connector end attaches: ports before border points, ties to the earlier
// candidate, and which elements take part.
#include "ConnectorBoards.hpp"

#include "DVGeometry/ConnectorSnapping.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace dv {
namespace {

using test::anchorAt;
using test::boxOfKind;
using test::rectangle;

std::optional<ElementSnapTarget> snap(const std::vector<Element>& elements, double x, double y,
                                      double borderDistance, double portDistance,
                                      std::optional<std::string> ignoreId = std::nullopt) {
    return findConnectorSnapTarget(elements, x, y, borderDistance, portDistance, ignoreId);
}

// Ports are found by casting rays, so their coordinates may be off by rounding.
void expectTarget(const std::optional<ElementSnapTarget>& actual, const std::optional<ElementSnapTarget>& expected) {
    ASSERT_EQ(actual.has_value(), expected.has_value());
    if (!actual) return;
    EXPECT_EQ(actual->elementId, expected->elementId);
    EXPECT_NEAR(actual->worldX, expected->worldX, 1e-9);
    EXPECT_NEAR(actual->worldY, expected->worldY, 1e-9);
    EXPECT_NEAR(actual->distance, expected->distance, 1e-9);
    ASSERT_EQ(actual->anchor.has_value(), expected->anchor.has_value());
    if (!actual->anchor) return;
    EXPECT_NEAR(actual->anchor->x, expected->anchor->x, 1e-12);
    EXPECT_NEAR(actual->anchor->y, expected->anchor->y, 1e-12);
}

TEST(ConnectorSnapping, PortsComeBeforeNearerBorderPoints) {
    // The border point (60, 0) is 2 away; the top port (50, 0) about 10.2.
    const std::vector<Element> board{rectangle("r", 0, 0, 100, 50)};
    expectTarget(snap(board, 60, 2, 20, 12), ElementSnapTarget{"r", 50, 0, std::sqrt(104.0), anchorAt(0.5, 0)});

    // Out of port reach, the border point is taken, without anchor.
    const std::optional<ElementSnapTarget> border = snap(board, 60, 2, 20, 10);
    ASSERT_TRUE(border);
    EXPECT_EQ(*border, (ElementSnapTarget{"r", 60, 0, 2, std::nullopt}));

    // A port of another element beats a nearer border point of this one.
    const std::vector<Element> two{rectangle("near", 0, 0, 100, 50), rectangle("far", 200, 0, 100, 50)};
    const std::optional<ElementSnapTarget> other = snap(two, 101, 25, 20, 100);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->elementId, "near");  // its right port (100, 25) is 1 away
    const std::optional<ElementSnapTarget> leftPort = snap(two, 160, 25, 100, 45);
    expectTarget(leftPort, ElementSnapTarget{"far", 200, 25, 40, anchorAt(0, 0.5)});

    // The port distance is inclusive.
    EXPECT_TRUE(snap(board, 50, -12, 0, 12));
    EXPECT_FALSE(snap(board, 50, -12.01, 0, 12));
}

TEST(ConnectorSnapping, TiesKeepTheEarlierCandidate) {
    // Two elements in the same place have exactly equally near ports and border points.
    const Element a = rectangle("a", 0, 0, 100, 50);
    const Element b = rectangle("b", 0, 0, 100, 50);
    EXPECT_EQ(snap({a, b}, 50, -5, 0, 30)->elementId, "a");
    EXPECT_EQ(snap({b, a}, 50, -5, 0, 30)->elementId, "b");
    EXPECT_EQ(snap({a, b}, 30, -5, 30, 1)->elementId, "a");
    EXPECT_EQ(snap({b, a}, 30, -5, 30, 1)->elementId, "b");

    // A nearer port of a later element still wins.
    const Element c = rectangle("c", 0, 1, 100, 50);
    EXPECT_EQ(snap({a, c}, 50, 3, 0, 30)->elementId, "c");

    // Border points: equally near elements, the first wins.
    const Element left = rectangle("left", 0, 0, 10, 10);
    const Element right = rectangle("right", 20, 0, 10, 10);
    EXPECT_EQ(findNearestElementSnapTarget({left, right}, 15, 5, 10, std::nullopt)->elementId, "left");
    EXPECT_EQ(findNearestElementSnapTarget({right, left}, 15, 5, 10, std::nullopt)->elementId, "right");
}

TEST(ConnectorSnapping, WhichElementsTakePart) {
    Element hidden = rectangle("hidden", 0, 0, 100, 50);
    hidden.visible = false;
    Element locked = rectangle("locked", 0, 0, 100, 50);
    locked.locked = true;
    Element shown = rectangle("shown", 0, 0, 100, 50);
    shown.visible = true;
    const Element self = rectangle("self", 0, 0, 100, 50);
    const Element line = test::line("line", 0, 200, 100, 200);
    const Element arrow = test::arrow("arrow", 0, 200, 100, 200);
    const Element polygon = test::polygon("poly", {{0, 0}, {100, 0}, {0, 100}});

    struct Case {
        const char* name;
        std::vector<Element> board;
        double x, y;
        std::optional<std::string> ignoreId;
        std::optional<ElementSnapTarget> expected;
    } cases[] = {
        {"hidden never snaps", {hidden}, 50, 0, std::nullopt, std::nullopt},
        {"visible true snaps", {shown}, 50, 0, std::nullopt, ElementSnapTarget{"shown", 50, 0, 0, anchorAt(0.5, 0)}},
        {"locked snaps", {locked}, 50, 0, std::nullopt, ElementSnapTarget{"locked", 50, 0, 0, anchorAt(0.5, 0)}},
        {"ignored id never snaps", {self}, 50, 0, "self", std::nullopt},
        {"ignore compares whole ids", {self}, 50, 0, "sel", ElementSnapTarget{"self", 50, 0, 0, anchorAt(0.5, 0)}},
        {"hidden skipped, the next one found", {hidden, shown}, 50, 0, std::nullopt,
         ElementSnapTarget{"shown", 50, 0, 0, anchorAt(0.5, 0)}},
        {"lines never snap", {line}, 50, 201, std::nullopt, std::nullopt},
        {"arrows never snap", {arrow}, 50, 201, std::nullopt, std::nullopt},
        // Inside the polygon's box (0 ... 100), the nearest box edge is the right one, 10 away;
        // the polygon's own slanted edge is about 56.6 away.
        {"polygon by its bounding box", {polygon}, 90, 90, std::nullopt, ElementSnapTarget{"poly", 100, 90, 10, std::nullopt}},
        {"nothing in reach", {self}, 500, 500, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectTarget(snap(c.board, c.x, c.y, 20, 8, c.ignoreId), c.expected);
    }
}

TEST(ConnectorSnapping, CurvesStrokesTextsAndImagesSnapToTheirBounds) {
    Element::Curve c;
    c.x2 = 100;
    c.cx = 50;
    c.cy = 100;
    const Element curve = test::element("curve", 0, 0, Element::Payload(c));
    Element::Freehand f;
    f.points = {{0, 0}, {100, 40}};
    const Element pen = test::element("pen", 0, 0, Element::Payload(f));
    Element::Image img;
    img.width = 40;
    img.height = 30;
    const Element image = test::element("img", 0, 0, Element::Payload(img));

    // Curve hull 0 ... 100 by 0 ... 100: no ports, the box's bottom edge.
    expectTarget(snap({curve}, 50, 104, 5, 100), ElementSnapTarget{"curve", 50, 100, 4, std::nullopt});
    expectTarget(snap({pen}, 50, 45, 10, 100), ElementSnapTarget{"pen", 50, 40, 5, std::nullopt});
    // Images have ports.
    expectTarget(snap({image}, 20, 33, 10, 5), ElementSnapTarget{"img", 20, 30, 3, anchorAt(0.5, 1)});
}

TEST(ConnectorSnapping, DegenerateElementsGiveNoNaNTarget) {
    // A rhombus of zero width: every port must stay finite so that no NaN end is stored.
    const Element flat = boxOfKind(ElementType::rhombus, "flat", 10, 0, 0, 40);
    for (double y : {-5.0, 0.0, 20.0, 45.0}) {
        const std::optional<ElementSnapTarget> t = snap({flat}, 10, y, 50, 50);
        ASSERT_TRUE(t);
        EXPECT_TRUE(std::isfinite(t->worldX) && std::isfinite(t->worldY) && std::isfinite(t->distance));
    }
}

TEST(ConnectorSnapping, NaNDistanceIsTakenOnlyFirst) {
    // A NaN pointer gives NaN distances: the first candidate is taken and kept.
    const std::vector<Element> board{rectangle("a", 0, 0, 10, 10), rectangle("b", 100, 0, 10, 10)};
    const std::optional<ElementSnapTarget> t = snap(board, NAN, 5, 1, 1);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->elementId, "a");
    EXPECT_TRUE(std::isnan(t->distance));
}

TEST(ElementSnapTarget, EqualityAndHashAgree) {
    const ElementSnapTarget plus{"a", 0.0, 1, 2, anchorAt(0.0, 1)};
    const ElementSnapTarget minus{"a", -0.0, 1, 2, anchorAt(-0.0, 1)};
    EXPECT_EQ(plus, minus);
    EXPECT_EQ(std::hash<ElementSnapTarget>{}(plus), std::hash<ElementSnapTarget>{}(minus));

    ElementSnapTarget noAnchor = plus;
    noAnchor.anchor.reset();
    ElementSnapTarget otherId = plus;
    otherId.elementId = "b";
    ElementSnapTarget extraKey = plus;
    extraKey.anchor->extra.set("k", JSONValue(1.0));
    for (const ElementSnapTarget& other : {noAnchor, otherId, extraKey}) {
        EXPECT_NE(plus, other);
        EXPECT_NE(std::hash<ElementSnapTarget>{}(plus), std::hash<ElementSnapTarget>{}(other));
    }
}

} // namespace
} // namespace dv
