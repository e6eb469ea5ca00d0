#include "DVGeometry/ElbowRoute.hpp"
#include "DVGeometry/QuadraticCurve.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace dv {
namespace {

using Route = std::vector<Point>;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

TEST(QuadraticCurve, Bounds) {
    struct Case {
        const char* name;
        double x0, y0, cx, cy, x2, y2;
        QuadraticBounds expected;
    };
    const Case cases[] = {
        {"y extremum at t = 0.5", 0, 0, 50, 100, 100, 0, {0, 0, 100, 50}},
        {"control on the chord midpoint in x", 0, 0, 50, 10, 100, 0, {0, 0, 100, 5}},
        {"extremum outside 0..1 is ignored", 0, 0, 30, 0, 100, 0, {0, 0, 100, 0}},
        {"x extremum beyond both ends", 0, 0, 100, 0, 0, 0, {0, 0, 50, 0}},
        {"a NaN control adds no candidate", 0, 0, NaN, 20, 100, 0, {0, 0, 100, 10}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(getQuadraticBounds(c.x0, c.y0, c.cx, c.cy, c.x2, c.y2), c.expected) << c.name;
}

TEST(QuadraticCurve, PointAndDistance) {
    EXPECT_EQ(getQuadraticPoint(0, 0, 50, 100, 100, 0, 0.5), (Point{50, 50}));
    EXPECT_EQ(getQuadraticPoint(0, 0, 50, 100, 100, 0, 1), (Point{100, 0}));
    EXPECT_EQ(distToQuadraticCurve(50, 10, 0, 0, 50, 100, 100, 0, 0), Inf);
    EXPECT_EQ(distToQuadraticCurve(50, 10, 0, 0, 50, 100, 100, 0, -3), Inf);
    // One step is the chord from start to end.
    EXPECT_EQ(distToQuadraticCurve(50, 10, 0, 0, 50, 100, 100, 0, 1), 10);
    EXPECT_EQ(distToQuadraticCurve(-3, 4, 0, 0, 50, 100, 100, 0, 1), 5);
    // On the curve at t = 0.5 with an even step count.
    EXPECT_EQ(distToQuadraticCurve(50, 50, 0, 0, 50, 100, 100, 0, 8), 0);
    // A NaN segment never replaces the best distance.
    EXPECT_EQ(distToQuadraticCurve(NaN, 0, 0, 0, 50, 100, 100, 0, 4), Inf);
}

TEST(QuadraticCurve, HeadVector) {
    const ConnectorEndpoints ends{0, 0, 100, 0};
    struct Case {
        const char* name;
        QuadraticControlPoint control;
        HeadPlacement placement;
        ArrowHeadVector expected;
    };
    const Case cases[] = {
        {"straight end", {}, HeadPlacement::end, {0, 0, 100, 0}},
        {"straight start", {}, HeadPlacement::start, {100, 0, 0, 0}},
        {"only cx is straight", {50, std::nullopt}, HeadPlacement::end, {0, 0, 100, 0}},
        {"curved end follows the tangent", {50, 40}, HeadPlacement::end, {50, 40, 100, 0}},
        {"curved start", {50, 40}, HeadPlacement::start, {50, 40, 0, 0}},
        {"control on the tip", {100.0005, 0}, HeadPlacement::end, {0, 0, 100, 0}},
        {"control just outside the tip", {100.002, 0}, HeadPlacement::end, {100.002, 0, 100, 0}},
        {"control on the opposite end", {0, 0}, HeadPlacement::end, {0, 0, 100, 0}},
        {"NaN control is kept", {NaN, 0}, HeadPlacement::end, {NaN, 0, 100, 0}},
    };
    for (const Case& c : cases) {
        ArrowHeadVector v = getArrowHeadVector(ends, c.control, c.placement);
        if (std::isnan(c.expected.fromX))
            EXPECT_TRUE(std::isnan(v.fromX)) << c.name;
        else
            EXPECT_EQ(v, c.expected) << c.name;
    }
}

TEST(HeadPlacement, ExactWordsOnly) {
    EXPECT_EQ(fromWord<HeadPlacement>("start"), HeadPlacement::start);
    EXPECT_EQ(fromWord<HeadPlacement>("end"), HeadPlacement::end);
    for (const char* word : {"End", " end", "end ", "", "START"}) EXPECT_FALSE(fromWord<HeadPlacement>(word)) << word;
    EXPECT_EQ(toWord(HeadPlacement::end), "end");
    EXPECT_EQ(allCases<HeadPlacement>(), (std::array{HeadPlacement::start, HeadPlacement::end}));
}

TEST(ElbowRoute, WorkedRoutes) {
    const auto R = RouteDirection::right(), L = RouteDirection::left(), D = RouteDirection::down();
    const auto none = std::optional<RouteDirection>();
    struct Case {
        const char* name;
        Point start;
        std::optional<RouteDirection> startDir;
        Point end;
        std::optional<RouteDirection> endDir;
        Route expected;
    };
    const Case cases[] = {
        {"right to left, nothing points away", {0, 0}, R, {100, 100}, L, {{0, 0}, {50, 0}, {50, 100}, {100, 100}}},
        {"both stubs point away: detour above", {0, 0}, L, {100, 0}, R,
         {{0, 0}, {-16, 0}, {-16, -32}, {116, -32}, {116, 0}, {100, 0}}},
        {"equal extents count as horizontal", {0, 0}, none, {50, 50}, none, {{0, 0}, {25, 0}, {25, 50}, {50, 50}}},
        {"only a start direction: one corner", {0, 0}, D, {50, 80}, none, {{0, 0}, {0, 80}, {50, 80}}},
        {"vertical without directions", {0, 0}, none, {10, 50}, none, {{0, 0}, {0, 25}, {10, 25}, {10, 50}}},
        {"both vertical, start points away: detour left", {0, 0}, RouteDirection::up(), {0.5, 100}, D,
         {{0, 0}, {0, -16}, {-32, -16}, {-32, 116}, {0.5, 116}, {0.5, 100}}},
        {"start horizontal, end vertical", {0, 0}, R, {100, 100}, RouteDirection::up(),
         {{0, 0}, {100, 0}, {100, 100}}},
        {"start horizontal pointing away, end vertical", {0, 0}, L, {100, 100}, RouteDirection::up(),
         {{0, 0}, {-16, 0}, {-16, 84}, {100, 84}, {100, 100}}},
        {"start vertical, end horizontal", {0, 0}, D, {100, 100}, L, {{0, 0}, {0, 100}, {100, 100}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(computeElbowRoute(c.start, c.startDir, c.end, c.endDir, ELBOW_STUB, ELBOW_STUB), c.expected)
            << c.name;
}

TEST(ElbowRoute, Simplify) {
    struct Case {
        const char* name;
        Route in, expected;
    };
    const Case cases[] = {
        {"near duplicates and collinear points", {{0, 0}, {0.3, 0}, {10, 0}, {20, 0}}, {{0, 0}, {20, 0}}},
        {"a turn back is removed", {{0, 0}, {10, 0}, {5, 0}}, {{0, 0}, {5, 0}}},
        {"corners stay", {{0, 0}, {10, 0}, {10, 10}}, {{0, 0}, {10, 0}, {10, 10}}},
        {"exactly 0.5 apart is a duplicate", {{0, 0}, {0.5, 0}}, {{0, 0}}},
        {"a NaN point is dropped", {{0, 0}, {NaN, 3}, {0, 10}}, {{0, 0}, {0, 10}}},
        {"empty", {}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(simplifyRoute(c.in), c.expected) << c.name;
}

TEST(RouteQueries, LengthPointAndDistance) {
    const Route route{{0, 0}, {10, 0}, {10, 10}};
    EXPECT_EQ(getRouteLength(route), 20);
    EXPECT_EQ(getRouteLength({{3, 3}}), 0);

    struct Case {
        const char* name;
        Route route;
        double t;
        Point expected;
    };
    const Case cases[] = {
        {"halfway is the corner", route, 0.5, {10, 0}},
        {"three quarters", route, 0.75, {10, 5}},
        {"t beyond the end", route, 2, {10, 10}},
        {"t before the start", route, -1, {0, 0}},
        {"NaN t", route, NaN, {10, 10}},
        {"zero-length segments", {{1, 1}, {1, 1}, {1, 1}}, 0.5, {1, 1}},
        {"one point", {{4, 5}}, 0.5, {4, 5}},
        {"no points", {}, 0.5, {0, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(getRoutePointAt(c.route, c.t), c.expected) << c.name;

    EXPECT_EQ(distToRoute(5, 3, route), 3);
    EXPECT_EQ(distToRoute(13, 14, route), 5);
    EXPECT_EQ(distToRoute(0, 0, {{1, 1}}), Inf);
    EXPECT_EQ(distToRoute(0, 0, {}), Inf);
    EXPECT_TRUE(std::isnan(distToRoute(0, 0, {{0, 0}, {10, 0}, {NaN, 0}})));
}

} // namespace
} // namespace dv

namespace dv {
namespace {

// Every pair of attached sides (and free ends), between ends in every relative position: the
// route runs horizontally and vertically from S to E, leaves S along the start direction
// and enters E against the end direction.
TEST(ElbowRoute, EveryPairOfSides) {
    const std::optional<RouteDirection> directions[] = {std::nullopt, RouteDirection::up(), RouteDirection::right(),
                                                        RouteDirection::down(), RouteDirection::left()};
    const Point ends[] = {{200, 100}, {-150, 80}, {120, -90}, {-60, -200}, {0, 300}, {250, 0}, {0.3, 40}, {40, -0.3}};
    for (const auto& startDir : directions) {
        for (const auto& endDir : directions) {
            for (const Point& end : ends) {
                const Point start{0, 0};
                const Route route = computeElbowRoute(start, startDir, end, endDir, ELBOW_STUB, ELBOW_STUB);
                SCOPED_TRACE(testing::Message() << "start dir " << (startDir ? startDir->dx : 9) << ","
                                                << (startDir ? startDir->dy : 9) << " end dir "
                                                << (endDir ? endDir->dx : 9) << "," << (endDir ? endDir->dy : 9)
                                                << " end " << end.x << "," << end.y);
                ASSERT_GE(route.size(), 2u);
                EXPECT_EQ(route.front(), start);
                EXPECT_LE(std::hypot(route.back().x - end.x, route.back().y - end.y), 0.5);
                // Jogs of half a unit or less are dropped as duplicates, so a run may lean that much.
                for (std::size_t i = 1; i < route.size(); ++i)
                    EXPECT_TRUE(std::fabs(route[i].x - route[i - 1].x) <= 0.5 ||
                                std::fabs(route[i].y - route[i - 1].y) <= 0.5)
                        << "segment " << i;
                if (startDir && route.size() > 2) {
                    const double along = (route[1].x - start.x) * startDir->dx + (route[1].y - start.y) * startDir->dy;
                    EXPECT_GT(along, 0) << "leaves along its side";
                }
                if (endDir && route.size() > 2) {
                    const Point& before = route[route.size() - 2];
                    const double along = (before.x - end.x) * endDir->dx + (before.y - end.y) * endDir->dy;
                    EXPECT_GT(along, 0) << "enters against its side";
                }
            }
        }
    }
}

} // namespace
} // namespace dv
