// Incremental label layout: the diff of two element lists, which labels an update places again,
// and that an update always agrees with a full layout of the edited board.
#include "ConnectorBoards.hpp"

#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/detail/LabelGeometry.hpp"
#include "DVGeometry/detail/LabelLayoutDiff.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>

namespace dv {
namespace {

using test::rectangle;
using test::sameBoxes;
using test::wire;

Element labelled(std::string id, double x, double y, std::string label = "label") {
    return wire({.id = std::move(id), .from = {x, y}, .to = {x + 100, y}, .label = std::move(label)});
}

std::vector<Element> withIds(std::initializer_list<const char*> ids) {
    std::vector<Element> out;
    double y = 0;
    for (const char* id : ids) out.push_back(labelled(id, 0, y += 200));
    return out;
}

TEST(LabelLayoutDiff, PositionsMovesAndRemovals) {
    struct Case {
        const char* name;
        std::vector<Element> before;
        std::vector<Element> after;
        std::vector<std::int64_t> oldPosition;
        std::vector<bool> movedAt;
        std::vector<std::size_t> removed;
        bool structural;
    };
    const std::vector<Element> abc = withIds({"a", "b", "c"});
    const std::vector<Element> ab = withIds({"a", "b"});
    std::vector<Element> ba{ab[1], ab[0]};
    std::vector<Element> cab{abc[2], abc[0], abc[1]};
    std::vector<Element> abPlus = ab;
    abPlus.push_back(labelled("n", 0, 900));
    std::vector<Element> ac{abc[0], abc[2]};
    const Case cases[] = {
        {"identical", abc, abc, {0, 1, 2}, {false, false, false}, {}, false},
        {"swap keeps the first of the run", ab, ba, {1, 0}, {true, false}, {}, true},
        {"rotation moves only the one that jumped", abc, cab, {2, 0, 1}, {true, false, false}, {}, true},
        {"append is structural though nothing moved", ab, abPlus, {0, 1, -1}, {false, false, false}, {}, true},
        {"delete", abc, ac, {0, 2}, {false, false}, {1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const detail::LabelLayoutDiff d = detail::labelLayoutDiff(ElementIndex(c.before), ElementIndex(c.after));
        EXPECT_EQ(d.oldPosition, c.oldPosition);
        EXPECT_EQ(d.movedAt, c.movedAt);
        EXPECT_EQ(d.removed, c.removed);
        EXPECT_EQ(d.structural, c.structural);
    }
    const detail::LabelLayoutDiff deleted = detail::labelLayoutDiff(ElementIndex(abc), ElementIndex(ac));
    EXPECT_EQ(deleted.changedIds.count(JSStringKey("b")), 1u);
    std::vector<Element> edited = abc;
    edited[1].x = -0.0;
    const detail::LabelLayoutDiff changed = detail::labelLayoutDiff(ElementIndex(abc), ElementIndex(edited));
    EXPECT_EQ(changed.changedAt, (std::vector<bool>{false, true, false}));
    EXPECT_FALSE(changed.structural);
}

// Two labels side by side with a box under the first, and a third label far away.
std::vector<Element> smallBoard() {
    return {rectangle("box", 45, -10, 10, 20), labelled("near", 0, 0), labelled("far", 5000, 5000),
            labelled("next", 0, 40)};
}

TEST(IncrementalLabelLayout, WhatAnUpdatePlacesAgain) {
    const std::vector<Element> base = smallBoard();
    struct Case {
        const char* name;
        std::vector<Element> edited;
        std::int64_t recomputed;
    };
    std::vector<Element> moved = base;
    moved[0].x += 3;
    std::vector<Element> relabelled = base;
    relabelled[2].payload.connector()->label = "other";
    std::vector<Element> swapped = base;
    std::swap(swapped[2], swapped[3]);
    std::vector<Element> appended = base;
    appended.push_back(rectangle("new", 9000, 9000, 10, 10));
    std::vector<Element> deleted = base;
    deleted.erase(deleted.begin() + 2);
    const Case cases[] = {
        {"identical", base, 0},
        {"moving the box under a label: only that label", moved, 1},
        {"relabelling a lone label: only that one", relabelled, 1},
        {"swap: the moved one", swapped, 1},
        {"append far away: nothing", appended, 0},
        {"delete far away: nothing", deleted, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectorLabelLayout layout{ElementIndex(base)};
        EXPECT_EQ(layout.recomputedCount(), 3);
        EXPECT_FALSE(layout.wasIncremental());
        layout.update(ElementIndex(c.edited));
        EXPECT_TRUE(layout.wasIncremental());
        EXPECT_EQ(layout.recomputedCount(), c.recomputed);
        EXPECT_EQ(layout.boxes(), getConnectorLabelBoxes(c.edited));
    }
}

// A long diagonal label route, and a box that moves inside the route's search region: the rules
// place the label again every time, but it moves only when the box comes onto its candidates,
// and only then is its position named among the boxes that changed.
TEST(IncrementalLabelLayout, ALabelPlacedAgainMovesOnlyWhenItsCandidatesAreReached) {
    const std::vector<Element> base{wire({.id = "long", .from = {0, 0}, .to = {1000, 1000}, .label = "label"}),
                                    rectangle("box", 700, 200, 20, 20)};
    struct Case {
        const char* name;
        Point to;
        std::vector<std::size_t> boxesChangedAt;
    };
    const Case cases[] = {
        {"inside the region, away from every candidate", {705, 200}, {}},
        {"onto the middle candidate", {490, 490}, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectorLabelLayout layout{ElementIndex(base)};
        std::vector<Element> moved = base;
        moved[1].x = c.to.x;
        moved[1].y = c.to.y;
        const std::array<std::int64_t, 1> positions{1};
        layout.update(ElementIndex(moved), positions);
        EXPECT_TRUE(layout.wasIncremental());
        EXPECT_EQ(layout.recomputedCount(), 1);
        EXPECT_TRUE(sameBoxes(layout.boxes(), getConnectorLabelBoxes(moved)));
        ASSERT_TRUE(layout.boxesChangedAt());
        EXPECT_EQ(*layout.boxesChangedAt(), c.boxesChangedAt);
    }
    // A full layout cannot tell which boxes changed.
    EXPECT_FALSE(ConnectorLabelLayout(ElementIndex(base)).boxesChangedAt());
}

TEST(IncrementalLabelLayout, ALayoutMadeOnceKeepsNothingForUpdates) {
    const std::vector<Element> base = smallBoard();
    ConnectorLabelLayout layout = ConnectorLabelLayout::once(ElementIndex(base));
    EXPECT_EQ(layout.boxes(), ConnectorLabelLayout{ElementIndex(base)}.boxes());
    std::vector<Element> moved = base;
    moved[0].x += 3;
    for (int pass = 0; pass < 2; ++pass) {
        layout.update(ElementIndex(moved));
        EXPECT_FALSE(layout.wasIncremental());
        EXPECT_EQ(layout.recomputedCount(), 3);
        EXPECT_EQ(layout.boxes(), getConnectorLabelBoxes(moved));
    }
}

TEST(IncrementalLabelLayout, RepeatedIdsForceAFullPassAndKeepNothing) {
    ConnectorLabelLayout layout{ElementIndex(smallBoard())};
    std::vector<Element> twice = smallBoard();
    twice.push_back(labelled("far", 0, 900));
    layout.update(ElementIndex(twice));
    EXPECT_FALSE(layout.wasIncremental());
    layout.update(ElementIndex(twice));
    EXPECT_FALSE(layout.wasIncremental());
    EXPECT_EQ(layout.recomputedCount(), 4);
}

TEST(IncrementalLabelLayout, NamedPositions) {
    const std::vector<Element> base = smallBoard();
    const auto n = static_cast<std::int64_t>(base.size());
    std::vector<Element> moved = base;
    moved[0].x += 3;
    struct Case {
        const char* name;
        std::vector<Element> edited;
        std::vector<std::int64_t> positions;
        std::int64_t recomputed;
    };
    std::vector<Element> renamed = base;
    renamed[2].id = "renamed";
    const Case cases[] = {
        {"out of range positions are ignored", base, {-1, n}, 0},
        {"unnamed changes are not looked at", moved, {2}, 0},
        {"a named change", moved, {0, 0, -7}, 1},
        {"a named position with another id runs the full diff", renamed, {2}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectorLabelLayout layout{ElementIndex(base)};
        layout.update(ElementIndex(c.edited), c.positions);
        EXPECT_TRUE(layout.wasIncremental());
        EXPECT_EQ(layout.recomputedCount(), c.recomputed);
    }
}

// After every random edit (move, add, remove, relabel, hide, rebind, swap), an update gives the
// boxes of a full layout of the edited board, bit for bit.
// Same ids with the same boxes, every coordinate bit for bit.

TEST(IncrementalLabelLayoutProperty, UpdateEqualsFullLayout) {
    int incremental = 0;
    for (std::uint64_t seed = 1; seed <= 1000; ++seed) {
        test::RandomBoard random(seed);
        std::vector<Element> board = random.board(static_cast<std::size_t>(random.pick(200) + 1));
        ConnectorLabelLayout byDiff{ElementIndex(board)};
        ConnectorLabelLayout byPosition = byDiff;
        const int edits = random.pick(20) + 1;
        for (int step = 0; step < edits; ++step) {
            const std::optional<std::size_t> at = random.edit(board);
            const ElementIndex index(board);
            const ConnectorLabelLayout full(index);
            byDiff.update(index);
            if (at) {
                const std::array<std::int64_t, 1> positions{static_cast<std::int64_t>(*at)};
                byPosition.update(index, positions);
            } else {
                byPosition.update(index);
            }
            ASSERT_TRUE(sameBoxes(byDiff.boxes(), full.boxes())) << "seed " << seed << " step " << step;
            ASSERT_TRUE(sameBoxes(byPosition.boxes(), full.boxes())) << "seed " << seed << " step " << step;
            if (byDiff.wasIncremental()) ++incremental;
        }
    }
    // Most updates reuse a state (hidden and untamed boards aside).
    EXPECT_GT(incremental, 5000);
}

} // namespace
} // namespace dv
