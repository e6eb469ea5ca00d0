#include "DVGeometry/ViewportGeometry.hpp"

#include "TestElements.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace dv {
namespace {

TEST(ViewportTransforms, RoundTripPanAndZoom) {
    const Viewport v{10, 20, 2};
    EXPECT_EQ(worldToScreen(v, 5, 6), (Point{20, 32}));
    EXPECT_EQ(screenToWorld(v, 20, 32), (Point{5, 6}));
    EXPECT_EQ(pan(v, -3, 4), (Viewport{7, 24, 2}));
    EXPECT_EQ(createViewport(), (Viewport{0, 0, 1}));

    struct Case {
        double factor, expectedZoom;
    };
    for (const Case& c : {Case{0.001, 0.05}, Case{1000, 30}, Case{1.5, 3}}) {
        Viewport zoomed = zoom(v, c.factor, 300, 200);
        EXPECT_EQ(zoomed.zoom, c.expectedZoom);
        // The board point under the cursor stays under it.
        Point before = screenToWorld(v, 300, 200);
        Point after = screenToWorld(zoomed, 300, 200);
        EXPECT_NEAR(after.x, before.x, 1e-9);
        EXPECT_NEAR(after.y, before.y, 1e-9);
    }
}

TEST(FitToElements, Examples) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<Element> elements;
        double canvasWidth, canvasHeight;
        FitInsets insets;
        Viewport expected;
    };
    const Case cases[] = {
        {"one rectangle", {test::rectangle("r", 0, 0, 100, 50)}, 1000, 800, {}, {20, 160, 9.6}},
        {"negative size normalises", {test::rectangle("r", 100, 50, -100, -50)}, 1000, 800, {}, {20, 160, 9.6}},
        {"a point-like line is held at the largest zoom", {test::line("l", 5, 5, 5, 5)}, 1000, 800, {},
         {500 - 30 * 5.5, 400 - 30 * 5.5, 30}},
        {"a canvas smaller than its insets", {test::rectangle("r", 0, 0, 100, 50)}, 30, 100, {},
         {(20 + -10 * 0.5) - 0.05 * 50, (70 + -40 * 0.5) - 0.05 * 25, 0.05}},
        {"insets and maxZoom", {test::line("l", 0, 0, 10, 10)}, 100, 100, {0, 0, 0, 0, 2}, {40, 40, 2}},
        {"polygons use their points", {test::polygon("p", {{10, 10}, {30, 20}})}, 240, 150,
         {5, 5, 10, 10, std::nullopt}, {120 - 11 * 20, 75 - 11 * 15, 11}},
        {"no elements", {}, 1000, 800, {}, {0, 0, 1}},
        // Nothing contributes a point, or a coordinate is not a number: nothing to fit.
        {"only empty polygons", {test::polygon("p", {})}, 1000, 800, {}, {0, 0, 1}},
        {"a NaN coordinate", {test::rectangle("r", nan, 0, 10, 10)}, 1000, 800, {}, {0, 0, 1}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fitToElements(c.elements, c.canvasWidth, c.canvasHeight, c.insets), c.expected) << c.name;

    // A curve counts its whole control triangle.
    Element curve = test::element("c", 0, 0, Element::Payload(Element::Curve{100, 0, 50, 100}));
    Viewport fitted = fitToElements({curve}, 1000, 800);
    EXPECT_EQ(fitted.zoom, 6.6);
    EXPECT_EQ(fitted.offsetY, 400 - 6.6 * 50);
}

} // namespace
} // namespace dv
