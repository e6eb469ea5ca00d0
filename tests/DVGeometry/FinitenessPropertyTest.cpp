// Every shape the geometry computes for elements a board file may hold (coordinates and sizes
// within +-1e7, zero and negative sizes included) must be made of finite numbers: a NaN or an
// infinity would reach the raster back end or be written back as null.
#include "DVGeometry/ArrowHeads.hpp"
#include "DVGeometry/ElbowRoute.hpp"
#include "DVGeometry/FreehandOutline.hpp"
#include "DVGeometry/QuadraticCurve.hpp"
#include "DVGeometry/ShapeGeometry.hpp"
#include "DVGeometry/ViewportGeometry.hpp"

#include "TestElements.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace dv {
namespace {

bool finite(const Point& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

bool finite(const std::vector<Point>& points) {
    for (const Point& p : points)
        if (!finite(p)) return false;
    return true;
}

class Random {
public:
    explicit Random(unsigned seed) : rng_(seed) {}

    // Mostly ordinary values, sometimes the bounds, zero, or tiny and huge magnitudes.
    double coordinate() {
        switch (rng_() % 8) {
        case 0: return 0;
        case 1: return rng_() % 2 ? 1e7 : -1e7;
        case 2: return std::uniform_real_distribution<double>(-1e-6, 1e-6)(rng_);
        case 3: return std::uniform_real_distribution<double>(-1e7, 1e7)(rng_);
        default: return std::uniform_real_distribution<double>(-500, 500)(rng_);
        }
    }
    double within(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    std::size_t below(std::size_t n) { return rng_() % n; }

private:
    std::mt19937_64 rng_;
};

TEST(Finiteness, GeometryOfValidElements) {
    Random random(42);
    const ArrowHeadStyle styles[] = {ArrowHeadStyle::open,    ArrowHeadStyle::triangle,      ArrowHeadStyle::triangleFilled,
                                     ArrowHeadStyle::diamond, ArrowHeadStyle::diamondFilled, ArrowHeadStyle::circle};
    const std::optional<RouteDirection> directions[] = {std::nullopt, RouteDirection::up(), RouteDirection::right(),
                                                        RouteDirection::down(), RouteDirection::left()};
    std::vector<Element> board;
    for (int iteration = 0; iteration < 2000; ++iteration) {
        const double x = random.coordinate(), y = random.coordinate();
        const double w = random.coordinate(), h = random.coordinate();
        const double x2 = random.coordinate(), y2 = random.coordinate();
        const double cx = random.coordinate(), cy = random.coordinate();
        SCOPED_TRACE(testing::Message() << "iteration " << iteration << ": " << x << ", " << y << ", " << w << ", "
                                        << h << ", " << x2 << ", " << y2);

        const auto kind = static_cast<ShapeKind>(random.below(8));
        ASSERT_TRUE(finite(getShapeOutlinePolygon(kind, w, h)));
        ASSERT_TRUE(finite(getShapeNearestBorderPoint(kind, w, h, cx, cy)));
        ASSERT_TRUE(std::isfinite(getShapeDistToBoundary(kind, w, h, cx, cy)));
        ASSERT_TRUE(finite(getShapeBorderPointToward(kind, w, h, cx - w * 0.5, cy - h * 0.5)));
        const ShapeBox textBox = getShapeTextBox(kind, w, h);
        ASSERT_TRUE(std::isfinite(textBox.x) && std::isfinite(textBox.y) && std::isfinite(textBox.w) &&
                    std::isfinite(textBox.h));
        const double fontSize = random.within(1, 1000);
        ASSERT_TRUE(std::isfinite(getLabelWrapWidth({kind, fontSize}, w, h)));
        ASSERT_TRUE(std::isfinite(getLabelWrapWidth({LabeledShape::Ellipse{}, std::nullopt}, w, h)));

        Element icon = test::stencil("s", x, y, w, h, std::string(1 + random.below(40), 'w') + " label");
        icon.payload.stencil()->labelFontSize = fontSize;
        std::optional<NormalizedRect> labelBox = getStencilLabelBox(icon);
        ASSERT_TRUE(labelBox);
        ASSERT_TRUE(std::isfinite(labelBox->x) && std::isfinite(labelBox->y) && std::isfinite(labelBox->w) &&
                    std::isfinite(labelBox->h));

        const auto route = computeElbowRoute({x, y}, directions[random.below(5)], {x2, y2},
                                             directions[random.below(5)], ELBOW_STUB, random.within(0, 100));
        ASSERT_TRUE(finite(route));
        ASSERT_TRUE(finite(getRoutePointAt(route, random.within(-0.5, 1.5))));
        ASSERT_TRUE(std::isfinite(getRouteLength(route)));

        const double strokeWidth = random.within(0, 1000);
        const ArrowHeadVector vector = getArrowHeadVector({x, y, x2, y2}, {cx, cy}, HeadPlacement::end);
        const ArrowHeadShape head =
            getArrowHeadShape(styles[random.below(6)], vector.fromX, vector.fromY, vector.tipX, vector.tipY, strokeWidth);
        if (const auto* c = std::get_if<ArrowHeadShape::Circle>(&head.shape))
            ASSERT_TRUE(std::isfinite(c->cx) && std::isfinite(c->cy) && std::isfinite(c->r));
        else if (const auto* p = std::get_if<ArrowHeadShape::Polygon>(&head.shape))
            ASSERT_TRUE(finite(p->points));
        else
            ASSERT_TRUE(finite(std::get<ArrowHeadShape::Polyline>(head.shape).points));

        const QuadraticBounds bounds = getQuadraticBounds(x, y, cx, cy, x2, y2);
        ASSERT_TRUE(std::isfinite(bounds.minX) && std::isfinite(bounds.minY) && std::isfinite(bounds.maxX) &&
                    std::isfinite(bounds.maxY));
        ASSERT_TRUE(std::isfinite(distToQuadraticCurve(cx, cy, x, y, x2, y2, x, y, 24)));

        // Strokes spanning the whole range resample into the most points allowed, which takes
        // a while: only every 200th stroke may be that long.
        const double reach = iteration % 200 == 0 ? 1e7 : 500;
        std::vector<Point> stroke{{x, y}};
        if (reach < 1e7) stroke[0] = {random.within(-reach, reach), random.within(-reach, reach)};
        std::optional<std::vector<double>> pressures = std::vector<double>{random.within(0, 1)};
        for (std::size_t i = random.below(6); i > 0; --i) {
            stroke.push_back({random.within(-reach, reach), random.within(-reach, reach)});
            pressures->push_back(random.within(0, 1));
        }
        if (random.below(2)) pressures.reset();
        ASSERT_TRUE(finite(buildFreehandOutline(stroke, pressures, strokeWidth)));
        ASSERT_TRUE(finite(finishFreehandStroke(stroke, pressures).points));

        switch (random.below(4)) {
        case 0: board.push_back(test::rectangle("r", x, y, w, h)); break;
        case 1: board.push_back(test::line("l", x, y, x2, y2)); break;
        case 2: board.push_back(test::polygon("p", stroke)); break;
        default: board.push_back(icon); break;
        }
        if (board.size() > 5) board.erase(board.begin());
        const Viewport fitted = fitToElements(board, random.within(-100, 4000), random.within(-100, 4000));
        ASSERT_TRUE(std::isfinite(fitted.offsetX) && std::isfinite(fitted.offsetY) && std::isfinite(fitted.zoom));
    }
}

TEST(Finiteness, InfiniteWhereTheRulesSaySo) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(distToQuadraticCurve(0, 0, 0, 0, 1, 1, 2, 0, 0), inf);
    EXPECT_EQ(distToRoute(0, 0, {{1, 1}}), inf);
    EXPECT_EQ(distToRoute(0, 0, {}), inf);
}

} // namespace
} // namespace dv
