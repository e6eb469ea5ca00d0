// Layered arrangement of boxes and edges: ranks, crossing reduction, centring, components and
// the order and ids of the output.
#include "DVGeometry/LayeredLayout.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace dv {
namespace {

using namespace LayeredLayout;

Node box(std::string id) { return {std::move(id), 100, 40}; }

TEST(LayeredLayout, Examples) {
    struct Case {
        const char* name;
        std::vector<Node> nodes;
        std::vector<Edge> edges;
        Options options;
        std::vector<Position> expected;
    };
    const Options leftToRight{Direction::leftToRight};
    const Options shifted{Direction::topToBottom, 60, 100, {10, 20}};
    const Case cases[] = {
        {"no nodes", {}, {{"a", "b"}}, {}, {}},
        {"one node", {box("A")}, {}, {}, {{"A", 0, 0}}},
        {"an edge down", {box("A"), box("B")}, {{"A", "B"}}, {}, {{"A", 0, 0}, {"B", 0, 140}}},
        {"an edge across: the rank is as thick as the width", {box("A"), box("B")}, {{"A", "B"}}, leftToRight,
         {{"A", 0, 0}, {"B", 200, 0}}},
        {"unconnected nodes stand side by side", {box("A"), box("B")}, {}, {}, {{"A", 0, 0}, {"B", 160, 0}}},
        {"a fork centres its root over the wider rank", {box("A"), box("B"), box("C")}, {{"A", "B"}, {"A", "C"}}, {},
         {{"A", 80, 0}, {"B", 0, 140}, {"C", 160, 140}}},
        {"a cycle is broken with A above B", {box("A"), box("B")}, {{"A", "B"}, {"B", "A"}}, {},
         {{"A", 0, 0}, {"B", 0, 140}}},
        {"unknown ends and self-loops are ignored", {box("A"), box("B")}, {{"A", "X"}, {"Y", "B"}, {"A", "A"}}, {},
         {{"A", 0, 0}, {"B", 160, 0}}},
        {"a repeated id keeps the later placement", {box("A"), box("A")}, {}, {}, {{"A", 160, 0}}},
        {"the origin shifts everything", {box("A"), box("B")}, {{"A", "B"}}, shifted, {{"A", 10, 20}, {"B", 10, 160}}},
    };
    for (const Case& c : cases) EXPECT_EQ(layout(c.nodes, c.edges, c.options), c.expected) << c.name;
}

TEST(LayeredLayout, RepeatedIdsAndEdgesNameTheLastNode) {
    // Edges name the second "A" (50 x 20); the first one is alone and placed first, so the id's
    // entry comes first but carries the second A's place, centred above B.
    const std::vector<Node> nodes{box("A"), box("B"), {"A", 50, 20}};
    const std::vector<Edge> edges{{"A", "B"}, {"A", "B"}};
    const std::vector<Position> expected{{"A", 185, 0}, {"B", 160, 120}};
    EXPECT_EQ(layout(nodes, edges), expected);
}

TEST(LayeredLayout, CrossingReductionAndOutputOrder) {
    // Ranks [A, B] and [C, D]. C hangs under B only and D under both, so D moves left of C; the
    // output lists the ids in the order they were placed.
    const std::vector<Node> nodes{box("A"), box("B"), box("C"), box("D")};
    const std::vector<Edge> edges{{"A", "D"}, {"B", "C"}, {"B", "D"}};
    const std::vector<Position> expected{{"A", 0, 0}, {"B", 160, 0}, {"D", 0, 140}, {"C", 160, 140}};
    EXPECT_EQ(layout(nodes, edges), expected);

    // Only an upward sweep can move a top rank: Z, joined to both C and D, goes between A (over D)
    // and B (over C) once D has moved left of C.
    const std::vector<Node> top{box("A"), box("B"), box("Z"), box("C"), box("D")};
    const std::vector<Edge> down{{"A", "D"}, {"B", "C"}, {"Z", "C"}, {"Z", "D"}};
    const std::vector<Position> topExpected{{"A", 0, 0}, {"Z", 160, 0}, {"B", 320, 0}, {"D", 80, 140}, {"C", 240, 140}};
    EXPECT_EQ(layout(top, down), topExpected);
}

TEST(LayeredLayout, SizesCentreAlongAndAcross) {
    // Across: the rank is as thick as its widest box and each box is centred in it.
    const std::vector<Node> nodes{box("A"), {"B", 50, 20}, {"C", 30, 60}};
    const std::vector<Edge> edges{{"A", "B"}, {"A", "C"}};
    const std::vector<Position> expected{{"A", 0, 50}, {"B", 200, 0}, {"C", 210, 80}};
    EXPECT_EQ(layout(nodes, edges, Options{Direction::leftToRight}), expected);

    // Down, with other gaps: ranks skip as edges do (A -> C directly and through B).
    const std::vector<Node> chain{{"A", 10, 10}, {"B", 30, 20}, {"C", 10, 10}};
    const std::vector<Edge> skip{{"A", "C"}, {"A", "B"}, {"B", "C"}};
    const std::vector<Position> chainExpected{{"A", 10, 0}, {"B", 0, 15}, {"C", 10, 40}};
    EXPECT_EQ(layout(chain, skip, Options{Direction::topToBottom, 5, 5}), chainExpected);

    // A NaN size poisons its rank's thickness, not its neighbours' lengths.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Position> poisoned = layout(std::vector<Node>{{"A", 100, nan}, box("B")}, std::vector<Edge>{});
    ASSERT_EQ(poisoned.size(), 2u);
    EXPECT_EQ(poisoned[0].x, 0);
    EXPECT_TRUE(std::isnan(poisoned[0].y));
    EXPECT_EQ(poisoned[1].x, 160);
    EXPECT_EQ(poisoned[1].y, 0);
}

TEST(LayeredLayout, DeepChainAndWideStar) {
    // Edges given from the far end backwards: a recursive search would nest 100,000 deep.
    const int n = 100000;
    std::vector<Node> nodes;
    std::vector<Edge> edges;
    for (int i = 0; i < n; ++i) nodes.push_back({std::to_string(i), 10, 10});
    for (int i = n - 1; i > 0; --i) edges.push_back({std::to_string(i - 1), std::to_string(i)});
    const std::vector<Position> chain = layout(nodes, edges);
    ASSERT_EQ(chain.size(), static_cast<std::size_t>(n));
    for (int i : {0, 1, n / 2, n - 1}) EXPECT_EQ(chain[i], (Position{std::to_string(i), 0, 110.0 * i})) << i;

    // One hub over many leaves; repeated edges are dropped, so the leaves' rank is exactly as long
    // as the leaves with their gaps.
    const int leaves = 2000;
    std::vector<Node> star{{"hub", 100, 40}};
    std::vector<Edge> spokes;
    for (int i = 0; i < leaves; ++i) {
        star.push_back({"leaf" + std::to_string(i), 100, 40});
        spokes.push_back({"hub", "leaf" + std::to_string(i)});
        spokes.push_back({"hub", "leaf" + std::to_string(i)});
    }
    const std::vector<Position> fan = layout(star, spokes);
    ASSERT_EQ(fan.size(), static_cast<std::size_t>(leaves + 1));
    EXPECT_EQ(fan[0], (Position{"hub", (leaves - 1) * 160.0 / 2, 0}));
    EXPECT_EQ(fan[1], (Position{"leaf0", 0, 140}));
    EXPECT_EQ(fan[leaves], (Position{"leaf" + std::to_string(leaves - 1), (leaves - 1) * 160.0, 140}));
}

TEST(LayeredLayout, WordsAndHashes) {
    EXPECT_EQ(toWord(Direction::topToBottom), "TB");
    EXPECT_EQ(toWord(Direction::leftToRight), "LR");
    EXPECT_EQ(fromWord<Direction>("LR"), Direction::leftToRight);
    for (const char* other : {"tb", "lr", "", "TB ", "topToBottom"}) EXPECT_EQ(fromWord<Direction>(other), std::nullopt);

    const Options defaults;
    EXPECT_EQ(defaults, (Options{Direction::topToBottom, 60, 100, {0, 0}}));
    const Options negativeZero{Direction::topToBottom, 60, 100, {-0.0, 0}};
    EXPECT_EQ(defaults, negativeZero);
    EXPECT_EQ(std::hash<Options>{}(defaults), std::hash<Options>{}(negativeZero));
    EXPECT_NE(std::hash<Options>{}(defaults), std::hash<Options>{}(Options{Direction::leftToRight}));

    EXPECT_EQ(std::hash<Node>{}(Node{"a", 0.0, 1}), std::hash<Node>{}(Node{"a", -0.0, 1}));
    EXPECT_NE(std::hash<Edge>{}(Edge{"ab", "c"}), std::hash<Edge>{}(Edge{"a", "bc"}));
    EXPECT_EQ(std::hash<Position>{}(Position{"p", 1, 2}), std::hash<Position>{}(Position{"p", 1, 2}));
    EXPECT_NE(std::hash<Position>{}(Position{"p", 1, 2}), std::hash<Position>{}(Position{"p", 2, 1}));
}

} // namespace
} // namespace dv
