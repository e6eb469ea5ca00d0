#include "DVGeometry/FreehandOutline.hpp"
#include "DVModel/JSNumber.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <random>

namespace dv {
namespace {

using Points = std::vector<Point>;
using Pressures = std::optional<std::vector<double>>;

TEST(FreehandOutline, SinglePointIsACircle) {
    struct Case {
        double width;
        Pressures pressures;
        double radius;
    };
    const Case cases[] = {
        {4, std::nullopt, 1.4},      // max(2 * 0.7, max(0.15 * 2, 0.35))
        {1, std::nullopt, 0.35},     // 0.5 * 0.7 is 0.35, as is rmin
        {1, {{0.1}}, 0.35},          // below rmin
        {10, {{1, 1}}, 3.5},         // a list of the wrong length is ignored
        {10, {{0.9}}, 4.5},
    };
    for (const Case& c : cases) {
        Points outline = buildFreehandOutline({{5, 7}}, c.pressures, c.width);
        ASSERT_EQ(outline.size(), 16u);
        EXPECT_EQ(outline[0], (Point{5 + c.radius, 7}));
        for (const Point& p : outline) EXPECT_NEAR(std::hypot(p.x - 5, p.y - 7), c.radius, 1e-12);
    }
    EXPECT_TRUE(buildFreehandOutline({}, std::nullopt, 4).empty());
}

TEST(FreehandOutline, ResampledStroke) {
    // Two points 30 apart with step 3: eleven samples, outline 2 * 11 + 14 points. On a straight
    // stroke the Catmull-Rom controls sit at 5 and 25, so the middle sample is exactly at 15.
    Points outline = buildFreehandOutline({{0, 0}, {30, 0}}, std::nullopt, 10);
    ASSERT_EQ(outline.size(), 2u * 11 + 14);
    const double r = 3.5;  // 5 * 0.7
    EXPECT_EQ(outline[0], (Point{0, r}));
    EXPECT_EQ(outline[5], (Point{15, r}));
    EXPECT_EQ(outline[10], (Point{30, r}));
    EXPECT_EQ(outline[11 + 7], (Point{30, -r}));          // right side starts after the end cap
    EXPECT_EQ(outline[11 + 7 + 10], (Point{0, -r}));
    EXPECT_NEAR(outline[11 + 3].x, 30 + r, 1e-12);        // the cap's front point
    EXPECT_NEAR(outline[11 + 3].y, 0, 1e-12);
    EXPECT_NEAR(outline[2 * 11 + 7 + 3].x, -r, 1e-12);    // the start cap's back point
}

TEST(FreehandOutline, RadiiFollowPressureWithinBounds) {
    struct Case {
        double width;
        std::vector<double> pressures;
        double radius;
    };
    const Case cases[] = {
        {1, {2, 2}, 0.5},      // never more than half the width
        {1, {0, 0}, 0.35},     // never less than rmin
        {10, {0.4, 0.4}, 2},
    };
    for (const Case& c : cases) {
        Points outline = buildFreehandOutline({{0, 0}, {30, 0}}, c.pressures, c.width);
        EXPECT_EQ(outline[0], (Point{0, c.radius}));
    }
    FreehandOutlineOptions options;
    options.sampleStep = 10;
    options.minRadiusRatio = 0.9;
    Points coarse = buildFreehandOutline({{0, 0}, {30, 0}}, std::vector<double>{0, 0}, 10, options);
    EXPECT_EQ(coarse.size(), 2u * 4 + 14);
    EXPECT_EQ(coarse[0], (Point{0, 4.5}));
}

TEST(FreehandOutline, NotANumberAndDegenerateSteps) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Every segment NaN: no samples, a circle of radius rmin around the first point.
    Points none = buildFreehandOutline({{1, 2}, {nan, 0}}, std::nullopt, 4);
    ASSERT_EQ(none.size(), 16u);
    EXPECT_EQ(none[0], (Point{1.35, 2}));
    // A zero step asks for infinitely many samples; the count is held at the cap.
    FreehandOutlineOptions zeroStep;
    zeroStep.sampleStep = 0;
    Points capped = buildFreehandOutline({{0, 0}, {30, 0}}, std::nullopt, 4, zeroStep);
    EXPECT_EQ(capped.size(), 2 * (static_cast<std::size_t>(FREEHAND_MAX_SAMPLES) + 1) + 14);
}

TEST(FreehandOutline, HugeStrokesAreBounded) {
    const auto started = std::chrono::steady_clock::now();
    Points longest = buildFreehandOutline({{-1e7, -1e7}, {1e7, 1e7}}, std::nullopt, 4);
    EXPECT_EQ(longest.size(), 2 * (static_cast<std::size_t>(FREEHAND_MAX_SAMPLES) + 1) + 14);
    for (const Point& p : longest) ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));

    Points zigzag;
    for (int i = 0; i < 100000; ++i) zigzag.push_back({i % 2 ? 1e7 : -1e7, i % 2 ? -1e7 : 1e7});
    Points outline = buildFreehandOutline(zigzag, std::nullopt, 4);
    // Every segment keeps at least one sample; together they stay near the cap.
    EXPECT_LE(outline.size(), 2 * (static_cast<std::size_t>(FREEHAND_MAX_SAMPLES) + 100000) + 14);
    EXPECT_GE(outline.size(), 2u * 100000 + 14);
    // Generous: this guards against the unbounded count, not against a slow machine.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

TEST(FinishFreehandStroke, SmoothAndReduce) {
    struct Case {
        const char* name;
        Points points;
        Pressures pressures;
        FreehandStroke expected;
    };
    const Case cases[] = {
        {"collinear points reduce to the ends", {{0, 0}, {5, 0}, {10, 0}}, {{0.2, 0.6, 1}},
         {{{0, 0}, {10, 0}}, {{0.2, 1}}}},
        {"two points are unchanged", {{0, 0}, {3, 4}}, std::nullopt, {{{0, 0}, {3, 4}}, std::nullopt}},
        {"a bump survives smoothing twice", {{0, 0}, {5, 10}, {10, 0}}, std::nullopt,
         {{{0, 0}, {5, 2.5}, {10, 0}}, std::nullopt}},
        {"a bump flattened below the tolerance", {{0, 0}, {5, 1.6}, {10, 0}}, std::nullopt,
         {{{0, 0}, {10, 0}}, std::nullopt}},
        {"pressures of another length are not carried", {{0, 0}, {5, 0}, {10, 0}}, {{1}},
         {{{0, 0}, {10, 0}}, std::nullopt}},
        {"closed loop measures from the shared end", {{0, 0}, {4, 4}, {8, 0}, {0, 0}}, std::nullopt,
         {{{0, 0}, {3.5, 1}, {0, 0}}, std::nullopt}},
    };
    for (const Case& c : cases) EXPECT_EQ(finishFreehandStroke(c.points, c.pressures), c.expected) << c.name;
}

// Plain recursive point reduction, as the rule is worded, to check the explicit-stack version.
void reduceRecursively(const Points& p, std::size_t lo, std::size_t hi, std::vector<std::size_t>& kept) {
    if (hi - lo + 1 <= 2) return;
    double farthest = 0;
    std::size_t index = lo;
    for (std::size_t i = lo + 1; i < hi; ++i) {
        double dx = p[hi].x - p[lo].x, dy = p[hi].y - p[lo].y, len2 = dx * dx + dy * dy;
        double d;
        if (len2 == 0) {
            d = jsHypot(p[i].x - p[lo].x, p[i].y - p[lo].y);
        } else {
            double v = ((p[i].y - p[lo].y) * dy + dx * (p[i].x - p[lo].x)) / len2;
            d = jsHypot(p[i].x - (p[lo].x + v * dx), p[i].y - (p[lo].y + v * dy));
        }
        if (d > farthest) {
            farthest = d;
            index = i;
        }
    }
    if (!(farthest > 0.5)) return;
    reduceRecursively(p, lo, index, kept);
    kept.push_back(index);
    reduceRecursively(p, index, hi, kept);
}

TEST(FinishFreehandStroke, ReductionKeepsStrokeOrder) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> coordinate(-50, 50);
    for (int iteration = 0; iteration < 200; ++iteration) {
        Points raw(3 + rng() % 60);
        for (Point& p : raw) p = {coordinate(rng), coordinate(rng)};
        // The kept points must be those of the recursive reduction of the same smoothed stroke.
        FreehandStroke finished = finishFreehandStroke(raw, std::nullopt);
        Points smoothed = raw;
        for (int pass = 0; pass < 2; ++pass) {
            Points next = smoothed;
            for (std::size_t i = 1; i + 1 < smoothed.size(); ++i)
                next[i] = {((smoothed[i - 1].x + (smoothed[i].x + smoothed[i].x)) + smoothed[i + 1].x) * 0.25,
                           ((smoothed[i - 1].y + (smoothed[i].y + smoothed[i].y)) + smoothed[i + 1].y) * 0.25};
            smoothed = next;
        }
        std::vector<std::size_t> kept{0};
        reduceRecursively(smoothed, 0, smoothed.size() - 1, kept);
        kept.push_back(smoothed.size() - 1);
        Points expected;
        for (std::size_t i : kept) expected.push_back(smoothed[i]);
        ASSERT_EQ(finished.points, expected) << "iteration " << iteration;
    }
}

} // namespace
} // namespace dv
