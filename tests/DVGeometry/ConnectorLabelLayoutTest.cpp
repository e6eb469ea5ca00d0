// Full connector-label layout: sizes, candidates and their costs, who takes part, repeated ids,
// the untamed fallback and the evaluation budget.
#include "ConnectorBoards.hpp"

#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/detail/LabelGeometry.hpp"
#include "DVText/TextMetrics.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace dv {
namespace {

using test::rectangle;
using test::Wire;
using test::wire;

// A horizontal connector of length 100 at height y, with a short label.
Element horizontal(std::string id, double y, std::optional<std::string> label = "ab") {
    return wire({.id = std::move(id), .from = {0, y}, .to = {100, y}, .label = std::move(label)});
}

// An unlabelled vertical connector crossing the horizontal one at its midpoint.
Element crossing(std::optional<std::string> label = std::nullopt) {
    return wire({.id = "v", .from = {50, -50}, .to = {50, 50}, .label = std::move(label)});
}

LabelBox boxOf(const std::vector<Element>& elements, const std::string& id) {
    const std::optional<LabelBox> box = getConnectorLabelBoxes(elements)[id];
    EXPECT_TRUE(box.has_value()) << id;
    return box.value_or(LabelBox{NAN, NAN, NAN, NAN});
}

TEST(ConnectorLabelSize, FontPaddingAndLines) {
    const std::string family = "Arial, sans-serif";
    Element big = test::arrow("a", 0, 0, 1, 1);
    big.payload.connector()->label = "Hello";
    big.payload.connector()->labelFontSize = 20;
    Element trailing = big;
    trailing.payload.connector()->label = "Hello\n";
    trailing.payload.connector()->labelFontSize.reset();
    Element family2 = trailing;
    family2.payload.connector()->labelFontFamily = "Courier New";
    struct Case {
        const char* name;
        Element element;
        std::vector<std::string> lines;
        double fontSize;
        std::string family;
        double padding;
    } cases[] = {
        {"font size 20: padding 8, default family", big, {"Hello"}, 20, family, 8},
        {"a trailing line feed measures an empty line", trailing, {"Hello", ""}, 12, family, 0.4 * 12},
        {"own family", family2, {"Hello", ""}, 12, "Courier New", 0.4 * 12},
        {"other kinds: empty text at 12 with padding 4.8", rectangle("r", 0, 0, 5, 5), {""}, 12, family, 4.8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TextSize block = measureTextBlock(c.lines, c.fontSize, c.family, false);
        const TextSize size = getConnectorLabelSize(c.element);
        EXPECT_EQ(size.width, block.width + 2 * c.padding);
        EXPECT_EQ(size.height, block.height + 2 * c.padding);
    }
}

TEST(ConnectorLabelLayout, Placement) {
    Element curved = wire({.id = "q", .from = {0, 0}, .to = {100, 0}, .label = "ab", .control = Point{50, 100}});
    Element hiddenCrossing = crossing();
    hiddenCrossing.visible = false;
    Element hiddenBox = rectangle("r", 40, -10, 20, 20);
    hiddenBox.visible = false;
    Element::Freehand stroke;
    stroke.points = {{50, -40}, {50, 40}};
    struct Case {
        const char* name;
        std::vector<Element> elements;
        std::string id;
        Point centre;
    } cases[] = {
        {"alone: the midpoint", {horizontal("h", 0)}, "h", {50, 0}},
        {"crossed at the midpoint: 0.3 beats 0.7 by coming first", {crossing(), horizontal("h", 0)}, "h", {30, 0}},
        {"a hidden crossing leaves no strokes", {hiddenCrossing, horizontal("h", 0)}, "h", {50, 0}},
        {"a box under the midpoint pushes the label", {rectangle("r", 45, -10, 10, 20), horizontal("h", 0)}, "h",
         {30, 0}},
        {"a hidden box is no obstacle", {hiddenBox, horizontal("h", 0)}, "h", {50, 0}},
        {"a freehand stroke is no obstacle", {test::element("f", 0, 0, Element::Payload(stroke)), horizontal("h", 0)},
         "h", {50, 0}},
        {"a route shorter than 1: the midpoint",
         {crossing(), wire({.id = "s", .from = {50, 0}, .to = {50.5, 0}, .label = "ab"})}, "s", {50.25, 0}},
        {"curved labels sit mid-curve whatever lies there", {rectangle("r", 40, 40, 20, 20), curved}, "q", {50, 50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LabelBox box = boxOf(c.elements, c.id);
        EXPECT_NEAR(box.x, c.centre.x, 1e-9);
        EXPECT_NEAR(box.y, c.centre.y, 1e-9);
        const TextSize size = getConnectorLabelSize(c.elements.back());
        EXPECT_EQ(box.w, size.width);
        EXPECT_EQ(box.h, size.height);
    }
}

TEST(ConnectorLabelLayout, WhoGetsABox) {
    Element hidden = horizontal("hidden", 40);
    hidden.visible = false;
    const std::vector<Element> elements{horizontal("empty", 0, ""), horizontal("absent", 20, std::nullopt),
                                        horizontal("space", 60, " "), hidden};
    const ConnectorLabelBoxes boxes = getConnectorLabelBoxes(elements);
    EXPECT_EQ(boxes.keys(), std::vector<std::string>{"space"});
}

// Three labels on one route: the first takes the midpoint, the second avoids it at 0.3, the
// third avoids both at 0.7 (each other candidate overlaps a placed label or lies further out).
TEST(ConnectorLabelLayout, ThreeLabelsOnOneRoute) {
    std::vector<Element> elements;
    for (const char* id : {"a", "b", "c"}) {
        elements.push_back(wire({.id = id, .from = {0, 0}, .to = {200, 0}, .label = "x"}));
    }
    const ConnectorLabelBoxes boxes = getConnectorLabelBoxes(elements);
    EXPECT_NEAR(boxes["a"]->x, 100, 1e-9);
    EXPECT_NEAR(boxes["b"]->x, 60, 1e-9);
    EXPECT_NEAR(boxes["c"]->x, 140, 1e-9);
    for (const LabelBox& box : boxes.values()) EXPECT_EQ(box.y, 0);
}

TEST(ConnectorLabelLayout, SpreadGridSitsOnMidpoints) {
    std::vector<Element> elements;
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 10; ++j) {
            const double x = i * 300.0, y = j * 100.0;
            std::string id = std::to_string(i * 10 + j);
            id.insert(id.begin(), 'c');
            elements.push_back(wire({.id = id,
                                     .from = {x, y},
                                     .to = {x + 100, y},
                                     .label = "label"}));
        }
    }
    const ConnectorLabelBoxes boxes = getConnectorLabelBoxes(elements);
    ASSERT_EQ(boxes.size(), 100u);
    for (const Element& e : elements) {
        const LabelBox box = *boxes[e.id];
        EXPECT_EQ(box.x, e.x + 50) << e.id;
        EXPECT_EQ(box.y, e.y) << e.id;
    }
}

TEST(ConnectorLabelLayout, RepeatedIdsKeepTheLastPlacedBox) {
    const std::vector<Element> elements{horizontal("c", 0, "x"), horizontal("c", 200, "a longer one")};
    const ConnectorLabelBoxes boxes = getConnectorLabelBoxes(elements);
    ASSERT_EQ(boxes.size(), 1u);
    // Both follow the route of the last connector with the id; the box is the one placed last.
    EXPECT_EQ(boxes["c"]->y, 200);
    EXPECT_EQ(boxes["c"]->w, getConnectorLabelSize(elements[1]).width);
}

TEST(ConnectorLabelLayout, BoxesAreDeterministic) {
    test::RandomBoard random(7);
    const std::vector<Element> board = random.board(150);
    const ConnectorLabelBoxes a = getConnectorLabelBoxes(board);
    const ConnectorLabelBoxes b = getConnectorLabelBoxes(std::vector<Element>(board));
    EXPECT_EQ(a.entries(), b.entries());
    const auto keys = a.keys();
    const auto values = a.values();
    const auto entries = a.entries();
    ASSERT_EQ(keys.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].first, keys[i]);
        EXPECT_EQ(entries[i].second, values[i]);
        EXPECT_EQ(*a[keys[i]], values[i]);
    }
}

TEST(ConnectorLabelBoxes, SetRemoveModify) {
    ConnectorLabelBoxes boxes;
    EXPECT_FALSE(boxes["a"].has_value());
    boxes.set("a", LabelBox{1, 2, 3, 4});
    boxes.set("a", LabelBox{5, 6, 7, 8});
    EXPECT_EQ(*boxes["a"], (LabelBox{5, 6, 7, 8}));
    boxes.modify("a", [](std::optional<LabelBox>& box) { box->x = 9; });
    EXPECT_EQ(boxes["a"]->x, 9);
    boxes.modify("b", [](std::optional<LabelBox>& box) { box = LabelBox{}; });
    EXPECT_EQ(boxes.size(), 2u);
    boxes.set("a", std::nullopt);
    boxes.modify("b", [](std::optional<LabelBox>& box) { box.reset(); });
    EXPECT_TRUE(boxes.empty());
}

TEST(ConnectorLabelLayout, UntamedBoardsSearchUnfilteredAndKeepNoState) {
    const std::vector<Element> elements{rectangle("far", 1e16, 0, 10, 10), crossing(), horizontal("h", 0)};
    ConnectorLabelLayout layout{ElementIndex(elements)};
    EXPECT_EQ(layout.boxes()["h"]->x, 30);
    layout.update(ElementIndex(elements));
    EXPECT_FALSE(layout.wasIncremental());
    EXPECT_EQ(layout.recomputedCount(), 1);
}

TEST(ConnectorLabelLayout, EvaluationBudgetCutsTheSearchShort) {
    // The labelled vertical connector is searched first and pays for the horizontal stroke; with
    // nothing left of the budget after it, the horizontal label stays on its midpoint unscored.
    const std::vector<Element> elements{crossing("v"), horizontal("h", 0)};
    const ConnectorLabelLayout generous(ElementIndex(elements), 1'000'000);
    EXPECT_EQ(generous.boxes()["h"]->x, 30);
    const ConnectorLabelLayout tight(ElementIndex(elements), 0);
    EXPECT_EQ(tight.boxes()["v"], generous.boxes()["v"]);
    EXPECT_EQ(tight.boxes()["h"]->x, 50);
    // A cut-short layout keeps nothing to reuse.
    ConnectorLabelLayout again = tight;
    again.update(ElementIndex(elements));
    EXPECT_FALSE(again.wasIncremental());
    EXPECT_EQ(LABEL_LAYOUT_EVALUATION_BUDGET, 200'000'000u);
}

TEST(LabelGeometry, SegmentClipAndOverlap) {
    using detail::overlapArea;
    using detail::segmentRectClip;
    const NormalizedRect r{0, 0, 10, 10};
    struct Clip {
        const char* name;
        double x1, y1, x2, y2;
        double expected;
    } clips[] = {
        {"vertical on the left edge counts whole", 0, -5, 0, 15, 10},
        {"diagonal through", -5, -5, 15, 15, std::sqrt(200.0)},
        {"outside", 11, -5, 11, 15, 0},
        {"inside", 2, 2, 5, 6, 5},
        {"touching a corner", -5, 5, 5, 15, 0},
    };
    for (const Clip& c : clips) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(segmentRectClip(c.x1, c.y1, c.x2, c.y2, r), c.expected, 1e-12);
    }
    EXPECT_TRUE(std::isnan(segmentRectClip(NAN, 0, 5, 5, r)));
    EXPECT_EQ(overlapArea(r, NormalizedRect{10, 0, 5, 5}), 0);
    EXPECT_EQ(overlapArea(r, NormalizedRect{5, 5, 10, 10}), 25);
    EXPECT_EQ(overlapArea(r, NormalizedRect{NAN, 5, 10, 10}), 0);
}

// The grid answers, for any region, a superset of the items that meet it, in ascending order.
TEST(LabelGeometry, GridCandidatesCoverEveryMeetingItem) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> at(-100, 1100), size(0, 60);
    std::vector<detail::Extent> items;
    for (int i = 0; i < 500; ++i) {
        const double x = at(rng), y = at(rng);
        items.push_back(i % 50 == 0 ? detail::Extent::infinite() : detail::extentOfRect({x, y, size(rng), size(rng)}));
    }
    detail::ExtentGrid grid(detail::Extent{0, 0, 1000, 1000}, items.size());
    for (const detail::Extent& e : items) grid.insert(e);
    std::vector<std::uint32_t> found;
    for (int q = 0; q < 200; ++q) {
        const double x = at(rng), y = at(rng), w = size(rng) * (q % 10 == 0 ? 30 : 1);
        const detail::Extent region = detail::extentOfRect({x, y, w, w});
        if (!grid.candidates(region, found)) continue;
        ASSERT_TRUE(std::is_sorted(found.begin(), found.end()));
        for (std::uint32_t i = 0; i < items.size(); ++i) {
            if (items[i].meets(region)) {
                ASSERT_TRUE(std::binary_search(found.begin(), found.end(), i)) << q << " " << i;
            }
        }
    }
}

} // namespace
} // namespace dv
