// The label search that looks only at each candidate's surroundings against the plain search
// that prices every candidate against every obstacle of its region: the same boxes bit for bit,
// the budget cutting the search short at the same label, and the same reuse by updates; and the
// segment grid that finds the strokes near a candidate.
#include "ConnectorBoards.hpp"

#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/detail/LabelGeometry.hpp"
#include "DVGeometry/detail/LabelLayoutProbe.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>

namespace dv {
namespace {

using detail::LabelLayoutProbe;
using test::sameBoxes;

// The board with every coordinate passed through `f`: shifted far from the origin, or snapped to
// a coarse lattice so that strokes run exactly along label and box edges.
std::vector<Element> mapped(std::vector<Element> board, const std::function<double(double)>& f) {
    for (Element& e : board) {
        e.x = f(e.x);
        e.y = f(e.y);
        if (ConnectorFields* c = e.payload.connector()) {
            c->x2 = f(c->x2);
            c->y2 = f(c->y2);
        }
    }
    return board;
}

struct Variant {
    const char* name;
    std::function<double(double)> f;
};

const std::vector<Variant>& variants() {
    static const std::vector<Variant> all{
        {"as generated", [](double v) { return v; }},
        {"on a lattice of 20", [](double v) { return std::round(v / 20) * 20; }},
        {"on a lattice of 7", [](double v) { return std::round(v / 7) * 7; }},
        {"far from the origin", [](double v) { return v + 3.5e12; }},
        {"far and negative", [](double v) { return -v - 7e9; }},
        {"squeezed", [](double v) { return v / 64; }},
    };
    return all;
}

TEST(LabelSearch, NearbySearchPlacesAsThePlainOne) {
    int fast = 0;
    for (std::uint64_t seed = 1; seed <= 60; ++seed) {
        test::RandomBoard random(seed);
        const std::vector<Element> generated = random.board(static_cast<std::size_t>(random.pick(400) + 20));
        for (const Variant& v : variants()) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", " << v.name);
            const ElementIndex index(mapped(generated, v.f));
            const ConnectorLabelLayout plain = LabelLayoutProbe::plain(index, LABEL_LAYOUT_EVALUATION_BUDGET);
            const ConnectorLabelLayout layout(index);
            ASSERT_TRUE(sameBoxes(layout.boxes(), plain.boxes()));
            EXPECT_EQ(layout.recomputedCount(), plain.recomputedCount());
            if (LabelLayoutProbe::evaluations(layout) == 0 && LabelLayoutProbe::evaluations(plain) > 0) ++fast;
        }
    }
    // The comparison is worth something only if most boards took the nearby search.
    EXPECT_GT(fast, 250);
}

// Whatever the budget, the layout stops searching at the label where the plain search, counting
// every evaluation, stops.
TEST(LabelSearch, BudgetCutsShortWhereThePlainSearchDoes) {
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        test::RandomBoard random(seed);
        const ElementIndex index(random.board(static_cast<std::size_t>(random.pick(300) + 20)));
        const std::uint64_t all = LabelLayoutProbe::evaluations(LabelLayoutProbe::plain(index, UINT64_MAX));
        for (const std::uint64_t budget : {std::uint64_t{0}, all / 3, all / 2, all - 1, all, all + 1, all * 4, all * 1000}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", budget " << budget << " of " << all);
            const ConnectorLabelLayout plain = LabelLayoutProbe::plain(index, budget);
            const ConnectorLabelLayout layout(index, budget);
            ASSERT_TRUE(sameBoxes(layout.boxes(), plain.boxes()));
            // A pass that did not count could not have reached its budget.
            if (LabelLayoutProbe::evaluations(layout) == 0) {
                EXPECT_LE(LabelLayoutProbe::evaluations(plain), budget);
            }
        }
    }
}

// Updates re-place the same labels at the same places under either search.
TEST(LabelSearch, UpdatesAgreeWithThePlainSearch) {
    for (std::uint64_t seed = 1; seed <= 150; ++seed) {
        test::RandomBoard random(seed);
        std::vector<Element> board = random.board(static_cast<std::size_t>(random.pick(250) + 20));
        ConnectorLabelLayout layout{ElementIndex(board)};
        ConnectorLabelLayout plain = LabelLayoutProbe::plain(ElementIndex(board), LABEL_LAYOUT_EVALUATION_BUDGET);
        const int edits = random.pick(10) + 1;
        for (int step = 0; step < edits; ++step) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", step " << step);
            const std::optional<std::size_t> at = random.edit(board);
            const ElementIndex index(board);
            if (at) {
                const std::array<std::int64_t, 1> positions{static_cast<std::int64_t>(*at)};
                layout.update(index, positions);
                plain.update(index, positions);
            } else {
                layout.update(index);
                plain.update(index);
            }
            ASSERT_TRUE(sameBoxes(layout.boxes(), plain.boxes()));
            EXPECT_EQ(layout.recomputedCount(), plain.recomputedCount());
            EXPECT_EQ(layout.wasIncremental(), plain.wasIncremental());
        }
    }
}

// Drags: many small steps of one element at a time, bound by long connectors that cross other
// labels, with now and then a label reworded, emptied or an element hidden in place; then edits
// of a different element at every step, across more elements than an update keeps track of
// before it lists them afresh. Every step re-places
// the labels the plain search re-places, at the same places, which are those of a full layout.
TEST(LabelSearch, DragsAgreeWithThePlainSearchAndAFullLayout) {
    // One box under one id, to compare two boxes bit for bit.
    auto boxesOf = [](const LabelBox& box) {
        ConnectorLabelBoxes one;
        one.set("id", box);
        return one;
    };
    int reused = 0;
    int told = 0;
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
        test::RandomBoard random(seed);
        std::vector<Element> board = random.board(static_cast<std::size_t>(random.pick(100) + 150));
        ConnectorLabelLayout layout{ElementIndex(board)};
        ConnectorLabelLayout plain = LabelLayoutProbe::plain(ElementIndex(board), LABEL_LAYOUT_EVALUATION_BUDGET);
        std::size_t dragged = 0;
        for (int step = 0; step < 140; ++step) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", step " << step);
            // Long drags first, then the connectors in turn, each reworded or moved.
            const bool drags = step < 60;
            if (drags && step % 8 == 0) dragged = static_cast<std::size_t>(random.pick(static_cast<int>(board.size())));
            if (!drags) {
                do {
                    dragged = (dragged + 1) % board.size();
                } while (!board[dragged].payload.connector());
            }
            std::size_t at = dragged;
            Element& e = board[at];
            if (e.payload.connector() && (!drags || step % 23 == 22)) {
                e.payload.connector()->label = random.chance(0.1) ? std::string() : random.label() + std::to_string(step);
            } else if (step % 37 == 36) {
                at = static_cast<std::size_t>(random.pick(static_cast<int>(board.size())));
                board[at].visible = !board[at].visible.value_or(true);
            } else {
                e.x += step % 2 ? -3.5 : 4;
                e.y += step % 3 ? 1.25 : -2;
            }
            const ElementIndex index(board);
            const std::array<std::int64_t, 1> positions{static_cast<std::int64_t>(at)};
            const ConnectorLabelBoxes before = layout.boxes();
            layout.update(index, positions);
            plain.update(index, positions);
            ASSERT_TRUE(sameBoxes(layout.boxes(), plain.boxes()));
            ASSERT_TRUE(sameBoxes(layout.boxes(), ConnectorLabelLayout(index).boxes()));
            ASSERT_EQ(layout.recomputedCount(), plain.recomputedCount());
            ASSERT_EQ(layout.wasIncremental(), plain.wasIncremental());
            // Where it tells, the update names exactly the positions whose box came, went or moved.
            if (const auto& changed = layout.boxesChangedAt()) {
                std::vector<std::size_t> expected;
                for (std::size_t p = 0; p < board.size(); ++p) {
                    const std::optional<LabelBox> was = before[board[p].id], now = layout.boxes()[board[p].id];
                    if (was.has_value() != now.has_value() || (was && !sameBoxes(boxesOf(*was), boxesOf(*now)))) {
                        expected.push_back(p);
                    }
                }
                ASSERT_EQ(*changed, expected);
                ++told;
            }
            if (layout.wasIncremental() && layout.recomputedCount() > 0) ++reused;
        }
    }
    EXPECT_GT(reused, 600);
    EXPECT_GT(told, 600);
}

// Every segment whose clip against a rectangle comes out non-zero is a candidate of the grid for
// that rectangle, and is never taken as clear of it by the line test: segments through the
// rectangle, along its edges, grazing its corners, nearly parallel to an axis, and far from the
// origin.
TEST(LabelGeometry, SegmentGridAndLineTestKeepEverySegmentThatClips) {
    struct Scale {
        const char* name;
        double origin;
        double span;
    } scales[] = {{"near the origin", 0, 1000}, {"far away", 4e11, 1000}, {"wide", -5e6, 1e7}, {"tiny", 0, 0.5}};
    for (const Scale& scale : scales) {
        SCOPED_TRACE(scale.name);
        std::mt19937_64 rng(11);
        std::uniform_real_distribution<double> at(0, 1);
        auto coordinate = [&] { return scale.origin + at(rng) * scale.span; };
        // Rectangles first, then segments made to touch them in awkward ways.
        std::vector<NormalizedRect> rects;
        for (int i = 0; i < 150; ++i) {
            rects.push_back({coordinate(), coordinate(), at(rng) * scale.span / 10, at(rng) * scale.span / 20});
        }
        std::vector<std::array<double, 4>> segments;
        for (int i = 0; i < 600; ++i) {
            const NormalizedRect& r = rects[static_cast<std::size_t>(i) % rects.size()];
            const double farX = coordinate(), farY = coordinate();
            switch (i % 6) {
            case 0: segments.push_back({coordinate(), coordinate(), coordinate(), coordinate()}); break;
            case 1: segments.push_back({r.x, r.y - scale.span / 7, r.x, r.y + r.h + scale.span / 9}); break;
            case 2: segments.push_back({r.x + r.w, r.y + r.h, farX, farY}); break;
            case 3: segments.push_back({r.x - 1e-10, farY, r.x + 3e-10, r.y + r.h / 2}); break;
            case 4: segments.push_back({farX, r.y + r.h, r.x + r.w / 3, r.y + r.h}); break;
            default: segments.push_back({r.x - r.w, r.y + 2 * r.h, r.x + 2 * r.w, r.y - r.h}); break;
            }
        }
        detail::SegmentGrid grid;
        detail::Extent frame{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
        for (const auto& s : segments) {
            grid.add(s[0], s[1], s[2], s[3]);
            const detail::Extent e = detail::extentOfSegment(s[0], s[1], s[2], s[3]);
            frame = {std::min(frame.minX, e.minX), std::min(frame.minY, e.minY), std::max(frame.maxX, e.maxX),
                     std::max(frame.maxY, e.maxY)};
        }
        grid.build(frame);
        const double magnitude = std::max({std::fabs(frame.minX), std::fabs(frame.minY), std::fabs(frame.maxX),
                                           std::fabs(frame.maxY), std::fabs(scale.origin + 1.2 * scale.span)});
        std::vector<std::uint32_t> found;
        int clipped = 0;
        int clear = 0;
        for (const NormalizedRect& r : rects) {
            grid.candidates(detail::extentOfRect(r), found);
            ASSERT_TRUE(std::is_sorted(found.begin(), found.end()));
            ASSERT_TRUE(std::adjacent_find(found.begin(), found.end()) == found.end());
            for (std::uint32_t i = 0; i < segments.size(); ++i) {
                const auto& s = segments[i];
                const double clip = detail::segmentRectClip(s[0], s[1], s[2], s[3], r);
                const double length = std::hypot(s[2] - s[0], s[3] - s[1]);
                if (detail::lineClearOfRect(s[0], s[1], s[2], s[3], length, r, detail::clipReach(magnitude))) {
                    ++clear;
                    ASSERT_EQ(clip, 0) << "segment " << i << " is clear of the rectangle";
                }
                if (clip == 0) continue;
                ++clipped;
                ASSERT_TRUE(std::binary_search(found.begin(), found.end(), i)) << "segment " << i;
            }
        }
        EXPECT_GT(clipped, 300);
        EXPECT_GT(clear, 10000);
    }
}

} // namespace
} // namespace dv
