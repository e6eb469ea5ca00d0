// Guides between a dragged selection and the edges and centre lines of the other elements.
#include "TestElements.hpp"

#include "DVGeometry/AlignGuides.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace dv {
namespace {

using test::rectangle;
using Axis = AlignGuide::Axis;
using Ids = std::unordered_set<JSStringKey>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Element hidden(Element e) {
    e.visible = false;
    return e;
}

TEST(AlignGuides, Examples) {
    // The selection is always "s", a box from x 0 to 100 and y 0 to 50 unless the case says
    // otherwise; targets sit far below it unless they are meant to match vertically.
    struct Case {
        const char* name;
        std::vector<Element> elements;
        Ids selected;
        double zoom;
        std::vector<AlignGuide> expected;
    };
    const Case cases[] = {
        {"right edge near a left edge", {rectangle("s", 0, 0, 100, 50), rectangle("t", 103, 500, 100, 50)}, {"s"}, 1,
         {{Axis::x, 103}}},
        {"a wider threshold still misses the centre lines 50 and 153",
         {rectangle("s", 0, 0, 100, 50), rectangle("t", 103, 500, 100, 50)}, {"s"}, 0.5, {{Axis::x, 103}}},
        {"too far at zoom 2", {rectangle("s", 0, 0, 100, 50), rectangle("t", 103, 500, 100, 50)}, {"s"}, 2, {}},
        {"two positions rounding alike give one guide",
         {rectangle("s", 0, 0, 100, 50), rectangle("t", 100.004, 500, 50, 50), rectangle("u", 100.001, 800, 50, 50)},
         {"s"}, 1, {{Axis::x, 100}}},
        {"guides exactly the threshold apart are both kept",
         {rectangle("s", 0, 0, 102.5, 50), rectangle("t", 100, 500, 300, 50), rectangle("u", 105, 800, 300, 50)},
         {"s"}, 1, {{Axis::x, 100}, {Axis::x, 105}}},
        {"halves round toward +infinity", {rectangle("s", 0, 0, 10, 50), rectangle("t", 10.125, 500, 1000, 50)},
         {"s"}, 1, {{Axis::x, 10.13}}},
        {"negative halves too", {rectangle("s", -10, 0, 5, 50), rectangle("t", -10.125, 500, 1000, 50)}, {"s"}, 1,
         {{Axis::x, -10.12}}},
        {"both axes", {rectangle("s", 0, 0, 100, 50), rectangle("t", 103, 53, 10, 10)}, {"s"}, 1,
         {{Axis::x, 103}, {Axis::y, 53}}},
        {"target by target, x before y within one",
         {rectangle("s", 0, 0, 100, 50), rectangle("t", 500, 52, 10, 10), rectangle("u", 101, 500, 10, 10),
          rectangle("v", -3, 23, 600, 300)},
         {"s"}, 1, {{Axis::y, 52}, {Axis::x, 101}, {Axis::x, -3}, {Axis::y, 23}}},
        {"an invisible selected element still widens the selection",
         {rectangle("s", 0, 0, 100, 50), hidden(rectangle("h", 200, 0, 100, 50)), rectangle("t", 303, 500, 10, 10)},
         {"s", "h"}, 1, {{Axis::x, 303}}},
        {"selected and invisible elements are no targets",
         {rectangle("s", 0, 0, 100, 50), rectangle("s2", 0, 0, 100, 50), hidden(rectangle("h", 1, 1, 100, 50))},
         {"s", "s2"}, 1, {}},
        {"explicitly visible elements are targets",
         {rectangle("s", 0, 0, 100, 50), [] { Element e = rectangle("t", 103, 500, 10, 10); e.visible = true; return e; }()},
         {"s"}, 1, {{Axis::x, 103}}},
        {"zoom 0: everything matches, one guide per axis survives",
         {rectangle("s", 0, 0, 100, 50), rectangle("t", 1000, 2000, 10, 10), rectangle("u", -7000, 9000, 10, 10)},
         {"s"}, 0, {{Axis::x, 1000}, {Axis::y, 2000}}},
        {"NaN coordinates never match", {rectangle("s", 0, 0, 100, 50), rectangle("t", kNaN, 50, 10, 20)}, {"s"}, 1,
         {{Axis::y, 50}}},
        {"a NaN zoom matches nothing", {rectangle("s", 0, 0, 100, 50), rectangle("t", 100, 50, 10, 10)}, {"s"}, kNaN,
         {}},
        {"nothing selected", {rectangle("s", 0, 0, 100, 50), rectangle("t", 100, 50, 10, 10)}, {}, 1, {}},
        {"nothing else to align with", {rectangle("s", 0, 0, 100, 50)}, {"s"}, 1, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(computeAlignGuides(c.elements, c.selected, c.zoom), c.expected) << c.name;
}

TEST(AlignGuides, TargetsAreBuiltOnceAndReused) {
    const std::vector<Element> board{rectangle("s", 0, 0, 100, 50), rectangle("t", 10, 20, 100, 50),
                                     hidden(rectangle("h", 0, 0, 5, 5)), rectangle("u", 300, 300, -20, 10)};
    const AlignGuideTargets targets(board, Ids{"s"});
    ASSERT_EQ(targets.edges.size(), 2u);
    EXPECT_EQ(targets.edges[0], (AlignGuideTargets::Edges{{10, 60, 110}, {20, 45, 70}}));
    // A negative width is normalised first.
    EXPECT_EQ(targets.edges[1], (AlignGuideTargets::Edges{{280, 290, 300}, {300, 305, 310}}));

    // Successive pointer moves of the selection against the same targets.
    Element moving = rectangle("s", 0, 0, 40, 30);
    const std::vector<std::vector<AlignGuide>> expected{
        {{Axis::x, 10}, {Axis::y, 20}},  // left on 10, top on 20
        {{Axis::x, 110}, {Axis::y, 45}}, // right on 110, middle on 45
        {},
    };
    const Point moves[] = {{12, 21}, {72, 32}, {-500, -500}};
    for (std::size_t i = 0; i < 3; ++i) {
        moving.x = moves[i].x;
        moving.y = moves[i].y;
        EXPECT_EQ(computeAlignGuides(std::vector{moving}, targets, 1), expected[i]) << i;
    }
    EXPECT_TRUE(computeAlignGuides({}, targets, 1).empty());
}

TEST(AlignGuides, WordsAndHashes) {
    EXPECT_EQ(toWord(Axis::x), "x");
    EXPECT_EQ(toWord(Axis::y), "y");
    EXPECT_EQ(fromWord<Axis>("y"), Axis::y);
    for (const char* other : {"X", "", "z", "x "}) EXPECT_EQ(fromWord<Axis>(other), std::nullopt) << other;

    const std::hash<AlignGuide> hash;
    EXPECT_EQ(hash(AlignGuide{Axis::x, 0.0}), hash(AlignGuide{Axis::x, -0.0}));
    EXPECT_EQ((AlignGuide{Axis::x, 0.0}), (AlignGuide{Axis::x, -0.0}));
    EXPECT_NE((AlignGuide{Axis::x, 3}), (AlignGuide{Axis::y, 3}));
    EXPECT_NE(hash(AlignGuide{Axis::x, 3}), hash(AlignGuide{Axis::y, 3}));
}

} // namespace
} // namespace dv
