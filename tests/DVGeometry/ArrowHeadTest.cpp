#include "DVGeometry/ArrowHeads.hpp"

#include "TestElements.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace dv {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// cos(pi/6) and sin(pi/6) as rounded to double.
constexpr double C = 0.8660254037844387;
constexpr double S = 0.49999999999999994;

void expectNear(const std::vector<Point>& actual, const std::vector<Point>& expected, const char* name) {
    ASSERT_EQ(actual.size(), expected.size()) << name;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i].x, expected[i].x, 1e-12) << name << " point " << i;
        EXPECT_NEAR(actual[i].y, expected[i].y, 1e-12) << name << " point " << i;
    }
}

TEST(ArrowHeads, Length) {
    EXPECT_EQ(getArrowHeadLength(2), 12);
    EXPECT_EQ(getArrowHeadLength(5), 20);
    EXPECT_EQ(getArrowHeadLength(0), 12);
    EXPECT_TRUE(std::isnan(getArrowHeadLength(NaN)));
}

TEST(ArrowHeads, ShapesPointingRight) {
    // Tip (10, 0) seen from the origin, stroke 2: L = 12, theta = 0.
    const double L = 12;
    const Point tip{10, 0};
    const Point wing1{10 - C * L, S * L};
    const Point wing2{10 - C * L, -S * L};
    const std::vector<Point> diamond{tip, {10 - 0.6 * L, 0.35 * L}, {10 - 1.2 * L, 0}, {10 - 0.6 * L, -0.35 * L}};
    struct Case {
        ArrowHeadStyle style;
        std::vector<Point> points;
        bool polyline;
        bool filled;
    };
    const Case cases[] = {
        {ArrowHeadStyle::open, {wing1, tip, wing2}, true, false},
        {ArrowHeadStyle::triangle, {tip, wing1, wing2}, false, false},
        {ArrowHeadStyle::triangleFilled, {tip, wing1, wing2}, false, true},
        {ArrowHeadStyle::diamond, diamond, false, false},
        {ArrowHeadStyle::diamondFilled, diamond, false, true},
    };
    for (const Case& c : cases) {
        const char* name = toWord(c.style).data();
        ArrowHeadShape shape = getArrowHeadShape(c.style, 0, 0, 10, 0, 2);
        if (c.polyline) {
            const auto* polyline = std::get_if<ArrowHeadShape::Polyline>(&shape.shape);
            ASSERT_TRUE(polyline) << name;
            expectNear(polyline->points, c.points, name);
        } else {
            const auto* polygon = std::get_if<ArrowHeadShape::Polygon>(&shape.shape);
            ASSERT_TRUE(polygon) << name;
            EXPECT_EQ(polygon->filled, c.filled) << name;
            expectNear(polygon->points, c.points, name);
        }
    }
    ArrowHeadShape circle = getArrowHeadShape(ArrowHeadStyle::circle, 0, 0, 10, 0, 2);
    const auto* c = std::get_if<ArrowHeadShape::Circle>(&circle.shape);
    ASSERT_TRUE(c);
    EXPECT_NEAR(c->cx, 10 - 0.35 * L, 1e-12);
    EXPECT_NEAR(c->cy, 0, 1e-12);
    EXPECT_EQ(c->r, L * 0.35);
}

TEST(ArrowHeads, DirectionFollowsTheVector) {
    // Pointing up (towards smaller y) from (0, 10) to (0, 0), stroke 5: L = 20.
    ArrowHeadShape up = getArrowHeadShape(ArrowHeadStyle::open, 0, 10, 0, 0, 5);
    expectNear(std::get<ArrowHeadShape::Polyline>(up.shape).points, {{S * 20, C * 20}, {0, 0}, {-S * 20, C * 20}},
               "up");
    // From equal to tip: atan2(0, 0) = 0, so the head points along +x.
    ArrowHeadShape same = getArrowHeadShape(ArrowHeadStyle::triangle, 3, 4, 3, 4, 1);
    expectNear(std::get<ArrowHeadShape::Polygon>(same.shape).points,
               {{3, 4}, {3 - C * 12, 4 + S * 12}, {3 - C * 12, 4 - S * 12}}, "degenerate");
    ArrowHeadShape nan = getArrowHeadShape(ArrowHeadStyle::open, 0, 0, 10, 0, NaN);
    for (const Point& p : std::get<ArrowHeadShape::Polyline>(nan.shape).points) {
        if (!(p.x == 10 && p.y == 0)) {
            EXPECT_TRUE(std::isnan(p.x) || std::isnan(p.y));
        }
    }
}

TEST(ArrowHeads, WhichHeads) {
    std::vector<HeadPlacement> asked;
    auto vectorFor = [&](HeadPlacement placement) {
        asked.push_back(placement);
        return placement == HeadPlacement::end ? ArrowHeadVector{0, 0, 9, 9} : ArrowHeadVector{9, 9, 0, 0};
    };

    Element plainArrow = test::arrow("a", 0, 0, 9, 9);
    EXPECT_EQ(getConnectorHeads(plainArrow, vectorFor),
              (std::vector<ConnectorHead>{{ArrowHeadStyle::open, {0, 0, 9, 9}}}));
    EXPECT_EQ(asked, std::vector<HeadPlacement>{HeadPlacement::end});
    EXPECT_TRUE(hasEndHead(plainArrow));
    EXPECT_FALSE(hasStartHead(plainArrow));

    Element styledLine = test::line("l", 0, 0, 9, 9);
    styledLine.payload.line()->endHeadStyle = ArrowHeadStyle::diamond;
    styledLine.payload.line()->startHeadStyle = ArrowHeadStyle::circle;
    asked.clear();
    EXPECT_TRUE(getConnectorHeads(styledLine, vectorFor).empty());
    EXPECT_TRUE(asked.empty());

    styledLine.payload.line()->arrowHead = ArrowHead::both;
    EXPECT_EQ(getConnectorHeads(styledLine, vectorFor),
              (std::vector<ConnectorHead>{{ArrowHeadStyle::diamond, {0, 0, 9, 9}},
                                          {ArrowHeadStyle::circle, {9, 9, 0, 0}}}));
    EXPECT_EQ(asked, (std::vector<HeadPlacement>{HeadPlacement::end, HeadPlacement::start}));

    struct Case {
        std::optional<ArrowHead> arrowHead;
        bool start, end;
    };
    const Case cases[] = {{std::nullopt, false, false},
                          {ArrowHead::none, false, false},
                          {ArrowHead::start, true, false},
                          {ArrowHead::end, false, true},
                          {ArrowHead::both, true, true}};
    for (const Case& c : cases) {
        Element l = test::line("l", 0, 0, 1, 1);
        l.payload.line()->arrowHead = c.arrowHead;
        EXPECT_EQ(hasStartHead(l), c.start);
        EXPECT_EQ(hasEndHead(l), c.end);
    }
    Element rect = test::rectangle("r", 0, 0, 1, 1);
    EXPECT_FALSE(hasEndHead(rect));
    EXPECT_TRUE(getConnectorHeads(rect, vectorFor).empty());
}

TEST(ArrowHeads, RouteHeadVector) {
    const std::vector<Point> route{{0, 0}, {10, 0}, {10, 20}};
    EXPECT_EQ(getRouteHeadVector(route, HeadPlacement::end), (ArrowHeadVector{10, 0, 10, 20}));
    EXPECT_EQ(getRouteHeadVector(route, HeadPlacement::start), (ArrowHeadVector{10, 0, 0, 0}));
    EXPECT_EQ(getRouteHeadVector({{0, 0}, {5, 5}}, HeadPlacement::start), (ArrowHeadVector{5, 5, 0, 0}));
    EXPECT_EQ(getRouteHeadVector({{0, 0}, {5, 5}}, HeadPlacement::end), (ArrowHeadVector{0, 0, 5, 5}));
    EXPECT_EQ(getRouteHeadVector({{7, 8}}, HeadPlacement::end), (ArrowHeadVector{0, 0, 7, 8}));
    EXPECT_EQ(getRouteHeadVector({}, HeadPlacement::start), (ArrowHeadVector{0, 0, 0, 0}));
}

TEST(ArrowHeads, LineControlPoint) {
    using Pair = std::optional<std::pair<double, double>>;
    struct Case {
        const char* name;
        std::optional<double> cx;
        JSONObject extra;
        Pair expected;
    };
    auto extra = [](std::initializer_list<std::pair<const char*, JSONValue>> entries) {
        JSONObject object;
        for (const auto& [key, value] : entries) object.set(key, value);
        return object;
    };
    const Case cases[] = {
        {"payload cx and extra cy true", 10, extra({{"cy", true}}), std::pair{10.0, 1.0}},
        {"extra cy a string", 10, extra({{"cy", "5"}}), std::nullopt},
        {"extra numbers", std::nullopt, extra({{"cx", 3.5}, {"cy", -2}}), std::pair{3.5, -2.0}},
        {"false and null are 0", std::nullopt, extra({{"cx", false}, {"cy", nullptr}}), std::pair{0.0, 0.0}},
        {"a missing key", 10, extra({}), std::nullopt},
        {"an array", std::nullopt, extra({{"cx", JSONValue::Array{}}, {"cy", 1}}), std::nullopt},
    };
    for (const Case& c : cases) {
        Element l = test::line("l", 0, 0, 1, 1);
        l.payload.line()->cx = c.cx;
        l.extra = c.extra;
        EXPECT_EQ(lineControlPoint(l), c.expected) << c.name;
    }
    Element l = test::line("l", 0, 0, 1, 1);
    l.payload.line()->cx = 1;
    l.payload.line()->cy = 2;
    EXPECT_EQ(lineControlPoint(l), (Pair{std::pair{1.0, 2.0}}));
    Element a = test::arrow("a", 0, 0, 1, 1);
    a.extra = extra({{"cx", 1}, {"cy", 2}});
    EXPECT_EQ(lineControlPoint(a), std::nullopt);
}

} // namespace
} // namespace dv
