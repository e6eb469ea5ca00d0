// The hit-test cache answers exactly what the plain searches answer: on random boards and
// queries, after full and incremental updates, and with its memo.
#include "ConnectorBoards.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ConnectorSnapping.hpp"
#include "DVGeometry/HitTestCache.hpp"
#include "DVGeometry/HitTesting.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <random>

namespace dv {
namespace {

using test::rectangle;
using test::Wire;
using test::wire;
using List = HitTestCache::ElementList;

List share(std::vector<Element> elements) { return std::make_shared<const std::vector<Element>>(std::move(elements)); }

bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// Same element, numbers by bit pattern (NaN fields would make == fail on the very same element).
bool sameHit(const std::optional<Element>& a, const std::optional<Element>& b) {
    if (!a || !b) return !a && !b;
    return a->isIdentical(*b);
}

bool sameTarget(const std::optional<ElementSnapTarget>& a, const std::optional<ElementSnapTarget>& b) {
    if (!a || !b) return !a && !b;
    if (a->elementId != b->elementId || !sameBits(a->worldX, b->worldX) || !sameBits(a->worldY, b->worldY) ||
        !sameBits(a->distance, b->distance) || a->anchor.has_value() != b->anchor.has_value()) {
        return false;
    }
    return !a->anchor || (sameBits(a->anchor->x, b->anchor->x) && sameBits(a->anchor->y, b->anchor->y));
}

std::string describe(const std::optional<Element>& e) { return e ? e->id : "(none)"; }
std::string describe(const std::optional<ElementSnapTarget>& t) {
    if (!t) return "(none)";
    return t->elementId + " at " + std::to_string(t->worldX) + "," + std::to_string(t->worldY) +
           (t->anchor ? " port" : " border");
}

// Boards of every kind: the connector boards of the label tests (bound straight, elbow and curved
// connectors, stencils with labels, flowchart shapes, freehand, some rotated and hidden), plus
// curves, open and closed polygons, texts, images, more rotation, hidden nodes and exact
// duplicates that tie with their originals.
class HitBoard {
public:
    explicit HitBoard(std::uint64_t seed) : base_(seed), rng_(seed * 7919 + 1) {}

    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    std::vector<Element> board(std::size_t size) {
        std::vector<Element> out = base_.board(size);
        for (Element& e : out) {
            if (!e.payload.connector() && chance(0.25)) e = extra(e.id);
            vary(e);
        }
        // Duplicates of earlier elements under new ids: hits, ports and border points tie.
        for (std::size_t i = 0; i < out.size() && out.size() < size + size / 10; ++i) {
            if (!chance(0.08)) continue;
            Element copy = out[i];
            copy.id = base_.freshId();
            out.push_back(std::move(copy));
        }
        return out;
    }

    // Changes the element in place, keeping its id.
    void edit(Element& e, const std::vector<Element>& board) {
        switch (pick(6)) {
        case 0:
            e.x += uniform(-60, 60);
            e.y += uniform(-60, 60);
            break;
        case 1:
            if (Element::Box* b = e.payload.box()) b->width = uniform(-40, 160);
            else e.strokeWidth = uniform(0, 12);
            break;
        case 2: e.rotation = chance(0.5) ? std::optional<double>(uniform(-3, 3)) : std::nullopt; break;
        case 3: e.visible = !e.visible.value_or(true); break;
        case 4:
            if (ConnectorFields* c = e.payload.connector()) {
                c->endElementId = board[static_cast<std::size_t>(pick(static_cast<int>(board.size())))].id;
                c->routing = chance(0.5) ? ConnectorRouting::elbow : ConnectorRouting::straight;
            } else {
                e.x = uniform(0, 800);
            }
            break;
        default:
            if (Element::Stencil* s = e.payload.stencil()) s->label = chance(0.5) ? "one\ntwo\nthree" : "";
            else e.y = uniform(0, 800);
            break;
        }
    }

    test::RandomBoard& base() { return base_; }

private:
    Element extra(const std::string& id) {
        const double x = uniform(0, 800), y = uniform(0, 800);
        switch (pick(6)) {
        case 0: {
            Element::Curve c;
            c.cx = x + uniform(-100, 100);
            c.cy = y + uniform(-100, 100);
            c.x2 = x + uniform(-150, 150);
            c.y2 = y + uniform(-150, 150);
            return test::element(id, x, y, Element::Payload(c));
        }
        case 1: {
            Element::Polygon p;
            const int n = pick(6);
            for (int i = 0; i < n; ++i) p.points.push_back({x + uniform(-80, 80), y + uniform(-80, 80)});
            p.closed = chance(0.5);
            return test::element(id, 0, 0, Element::Payload(p));
        }
        case 2: {
            Element::Text t;
            t.content = "note";
            t.fontSize = 16;
            t.width = uniform(-50, 150);
            t.height = uniform(-20, 60);
            return test::element(id, x, y, Element::Payload(t));
        }
        case 3: {
            Element::Image img;
            img.width = uniform(0, 120);
            img.height = uniform(0, 90);
            return test::element(id, x, y, Element::Payload(img));
        }
        case 4: {
            const auto kind = static_cast<ShapeKind>(pick(8));
            return test::flowShape(id, kind, x, y, uniform(-30, 160), uniform(-20, 100));
        }
        default: {
            Element s = test::stencil(id, x, y, 64, 64, "Label of\ntwo lines");
            s.payload.stencil()->labelFontSize = 10;
            return s;
        }
        }
    }

    void vary(Element& e) {
        if (chance(0.15)) {
            static constexpr double turns[] = {0.3, std::numbers::pi / 2, -1.2, -0.0, 0.0};
            e.rotation = turns[pick(5)];
        }
        if (chance(0.06)) e.visible = false;
        if (chance(0.05)) e.locked = true;
        e.strokeWidth = chance(0.3) ? uniform(0, 10) : 2;
    }

    test::RandomBoard base_;
    std::mt19937_64 rng_;
};

struct Query {
    double x, y, zoom, extraPadPx;
    double borderDistance, portDistance;
    std::optional<std::string> ignoreId;
};

// Points near elements (inside, on and just off their edges, on their ports) and anywhere;
// zooms and pads from small to large.
Query randomQuery(HitBoard& g, const std::vector<Element>& board) {
    Query q{g.uniform(-50, 850), g.uniform(-50, 850), 1, 0, 20, 8, std::nullopt};
    if (!board.empty() && g.chance(0.8)) {
        const Element& e = board[static_cast<std::size_t>(g.pick(static_cast<int>(board.size())))];
        const NormalizedRect b = getElementBounds(e);
        if (const std::vector<ElementPort> ports = getElementPorts(e); !ports.empty() && g.chance(0.2)) {
            const ElementPort& p = ports[static_cast<std::size_t>(g.pick(static_cast<int>(ports.size())))];
            q.x = p.worldX + (g.chance(0.5) ? 0 : g.uniform(-10, 10));
            q.y = p.worldY + (g.chance(0.5) ? 0 : g.uniform(-10, 10));
        } else if (std::isfinite(b.x) && std::isfinite(b.w)) {
            q.x = b.x + b.w * g.uniform(-0.2, 1.2);
            q.y = b.y + b.h * g.uniform(-0.2, 1.2);
        }
        if (g.chance(0.3)) q.ignoreId = e.id;
    }
    static constexpr double zooms[] = {0.1, 0.5, 1, 2, 4, 30};
    q.zoom = g.chance(0.8) ? zooms[g.pick(6)] : g.uniform(0.05, 8);
    q.extraPadPx = g.chance(0.5) ? 0 : g.chance(0.5) ? 10 : g.uniform(0, 30);
    q.borderDistance = g.chance(0.2) ? 0 : g.uniform(0, 60);
    q.portDistance = g.chance(0.2) ? 0 : g.uniform(0, 40);
    return q;
}

// Runs the queries against both the cache and the plain functions, and checks that asking
// again costs the cache nothing.
void expectSameAnswers(HitTestCache& cache, const std::vector<Element>& board, HitBoard& g, int queries) {
    for (int i = 0; i < queries; ++i) {
        const Query q = randomQuery(g, board);
        SCOPED_TRACE(::testing::Message() << "query " << i << " at " << q.x << "," << q.y << " zoom " << q.zoom);
        const std::optional<Element> expectedHit = hitTest(board, q.x, q.y, q.zoom, q.extraPadPx);
        const std::optional<Element> cachedHit = cache.hitTest(q.x, q.y, q.zoom, q.extraPadPx);
        ASSERT_TRUE(sameHit(cachedHit, expectedHit)) << describe(cachedHit) << " vs " << describe(expectedHit);

        const std::uint64_t visits = cache.elementVisits();
        ASSERT_TRUE(sameHit(cache.hitTest(q.x, q.y, q.zoom, q.extraPadPx), expectedHit));
        ASSERT_EQ(cache.elementVisits(), visits) << "a repeated query visited elements";

        const std::optional<ElementSnapTarget> expectedSnap =
            findConnectorSnapTarget(board, q.x, q.y, q.borderDistance, q.portDistance, q.ignoreId);
        const std::optional<ElementSnapTarget> cachedSnap =
            cache.connectorSnapTarget(q.x, q.y, q.borderDistance, q.portDistance, q.ignoreId);
        ASSERT_TRUE(sameTarget(cachedSnap, expectedSnap)) << describe(cachedSnap) << " vs " << describe(expectedSnap);
    }
}

// Every plain query copies and indexes the whole board, which costs many times more under the
// address sanitizer; there, fewer boards are enough to watch the memory use.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint64_t kRandomBoards = 2;
#else
constexpr std::uint64_t kRandomBoards = 8;
#endif

TEST(HitTestCache, AnswersLikeThePlainSearchesOnRandomBoards) {
    // 2,000 queries per board: 800 after the first update, 300 after each of three incremental
    // ones and 300 after a structural change.
    for (std::uint64_t seed = 1; seed <= kRandomBoards; ++seed) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        HitBoard g(seed);
        std::vector<Element> board = g.board(static_cast<std::size_t>(seed == 1 ? 300 : g.pick(300)));
        HitTestCache cache;
        std::int64_t version = 1;
        cache.update(share(board), version);
        ASSERT_NO_FATAL_FAILURE(expectSameAnswers(cache, board, g, 800));

        // Edits in place, reported exactly (with positions out of range that must be ignored).
        for (int round = 0; round < 3 && !board.empty(); ++round) {
            std::vector<std::int64_t> changed{-1};
            const int edits = 1 + g.pick(4);
            for (int k = 0; k < edits; ++k) {
                const auto at = static_cast<std::size_t>(g.pick(static_cast<int>(board.size())));
                g.edit(board[at], board);
                changed.push_back(static_cast<std::int64_t>(at));
            }
            changed.push_back(static_cast<std::int64_t>(board.size()));
            std::optional<std::int64_t> askedFor;
            cache.update(share(board), version + 1, [&](std::int64_t since) {
                askedFor = since;
                return std::optional<std::vector<std::int64_t>>(changed);
            });
            ASSERT_EQ(askedFor, version);
            ++version;
            ASSERT_NO_FATAL_FAILURE(expectSameAnswers(cache, board, g, 300));
        }

        // A structural change: the count differs, so everything starts over.
        board.push_back(g.base().node(g.base().freshId()));
        if (board.size() > 2) board.erase(board.begin());
        board.push_back(g.base().connector(g.base().freshId(), board));
        cache.update(share(board), std::nullopt);
        ASSERT_NO_FATAL_FAILURE(expectSameAnswers(cache, board, g, 300));
    }
}

TEST(HitTestCache, RepeatedQueriesComeFromTheMemoButNotForOtherZeroBits) {
    HitTestCache cache;
    cache.update(share({rectangle("a", -50, -50, 100, 100), rectangle("b", 200, 0, 10, 10)}), 1);
    EXPECT_EQ(cache.hitTest(0.0, 0.0, 1, 0)->id, "a");
    const std::uint64_t visits = cache.elementVisits();
    EXPECT_EQ(cache.hitTest(0.0, 0.0, 1, 0)->id, "a");
    EXPECT_EQ(cache.elementVisits(), visits);

    // -0 for +0 in any argument is another query.
    EXPECT_EQ(cache.hitTest(-0.0, 0.0, 1, 0)->id, "a");
    EXPECT_GT(cache.elementVisits(), visits);
    const std::uint64_t after = cache.elementVisits();
    EXPECT_EQ(cache.hitTest(-0.0, 0.0, 1, -0.0)->id, "a");
    EXPECT_GT(cache.elementVisits(), after);

    // A miss is remembered too.
    EXPECT_FALSE(cache.hitTest(1000, 1000, 1, 0));
    const std::uint64_t missed = cache.elementVisits();
    EXPECT_FALSE(cache.hitTest(1000, 1000, 1, 0));
    EXPECT_EQ(cache.elementVisits(), missed);
}

TEST(HitTestCache, TheSameListKeepsTheMemoAndTakesANewVersion) {
    const List list = share({rectangle("a", 0, 0, 100, 100)});
    HitTestCache cache;
    cache.update(list, 3);
    EXPECT_EQ(cache.hitTest(50, 50, 1, 0)->id, "a");
    const std::uint64_t visits = cache.elementVisits();

    cache.update(list, 7);
    EXPECT_EQ(cache.hitTest(50, 50, 1, 0)->id, "a");
    cache.update(list, std::nullopt);
    EXPECT_EQ(cache.hitTest(50, 50, 1, 0)->id, "a");
    EXPECT_EQ(cache.elementVisits(), visits);

    // The version given with the same list (7) is the one the next edit is asked about; the
    // absent version after it kept it.
    std::vector<Element> moved = *list;
    moved[0].x = 500;
    std::optional<std::int64_t> askedFor;
    cache.update(share(moved), 8, [&](std::int64_t since) {
        askedFor = since;
        return std::optional<std::vector<std::int64_t>>(std::vector<std::int64_t>{0});
    });
    EXPECT_EQ(askedFor, 7);
    EXPECT_FALSE(cache.hitTest(50, 50, 1, 0));
    EXPECT_EQ(cache.hitTest(550, 50, 1, 0)->id, "a");
}

TEST(HitTestCache, EqualContentsInOtherStorageAreANewList) {
    // Same count, no positions reported: every entry is dropped, the memo with them.
    std::vector<Element> elements{rectangle("a", 0, 0, 100, 100)};
    HitTestCache cache;
    cache.update(share(elements), 1);
    EXPECT_EQ(cache.hitTest(50, 50, 1, 0)->id, "a");
    elements[0].x = 500;
    cache.update(share(elements), 2);
    EXPECT_FALSE(cache.hitTest(50, 50, 1, 0));
    EXPECT_EQ(cache.hitTest(550, 50, 1, 0)->id, "a");

    // Positions that cannot be told (absent answer) also start over.
    elements[0].x = 0;
    cache.update(share(elements), 3, [](std::int64_t) { return std::optional<std::vector<std::int64_t>>(); });
    EXPECT_EQ(cache.hitTest(50, 50, 1, 0)->id, "a");

    // A list of another count never takes the incremental path.
    elements.push_back(rectangle("b", 1000, 0, 10, 10));
    bool asked = false;
    cache.update(share(elements), 4, [&](std::int64_t) {
        asked = true;
        return std::optional<std::vector<std::int64_t>>(std::vector<std::int64_t>{});
    });
    EXPECT_FALSE(asked);
    EXPECT_EQ(cache.hitTest(1005, 5, 1, 0)->id, "b");

    // A null list is an empty one.
    cache.update(nullptr, 5);
    EXPECT_FALSE(cache.hitTest(50, 50, 1, 0));
    EXPECT_TRUE(cache.elementIndex().elements().empty());
}

TEST(HitTestCache, MovingABoundElementRecomputesItsConnectors) {
    // The arrow runs from (0, 50) to the box's left edge (x = 200); moved to x = 400, the box
    // pulls the arrow's end along although the arrow itself is unchanged.
    std::vector<Element> elements{rectangle("box", 200, 0, 100, 100),
                                  wire(Wire{.id = "arrow", .from = {0, 50}, .to = {250, 50}, .end = "box"}),
                                  wire(Wire{.id = "elbow", .from = {250, 400}, .to = {250, 50}, .end = "box", .elbow = true})};
    HitTestCache cache;
    cache.update(share(elements), 1);
    EXPECT_EQ(cache.hitTest(150, 50, 1, 0)->id, "arrow");
    EXPECT_FALSE(cache.hitTest(350, 50, 1, 0));  // every entry is computed now

    elements[0].x = 400;
    // Positions below 0 and at or past the end are passed over, not wrapped into an index.
    cache.update(share(elements), 2, [](std::int64_t) {
        return std::optional<std::vector<std::int64_t>>(std::vector<std::int64_t>{
            std::numeric_limits<std::int64_t>::min(), -1, 0, 3, std::numeric_limits<std::int64_t>::max()});
    });
    EXPECT_EQ(cache.hitTest(350, 50, 1, 0)->id, "arrow");
    for (double y = -20; y <= 320; y += 4) {
        for (double x = -20; x <= 520; x += 4) {
            ASSERT_TRUE(sameHit(cache.hitTest(x, y, 1, 0), hitTest(elements, x, y, 1, 0))) << x << "," << y;
        }
    }
}

TEST(HitTestCache, SnapsToAStencilsLabelAndSkipsHiddenElementsAndConnectors) {
    // Two label lines at font size 10 move the bottom border point 2 x 10 x 1.2 + 6 = 30 down.
    Element s = test::stencil("s", 0, 0, 64, 64, "first\nsecond");
    s.payload.stencil()->labelFontSize = 10;
    Element hidden = rectangle("hidden", 0, 200, 64, 64);
    hidden.visible = false;
    const Element line = test::line("line", 0, 300, 64, 300);
    const std::vector<Element> elements{s, hidden, line};
    HitTestCache cache;
    cache.update(share(elements), 1);

    const std::optional<ElementSnapTarget> label = cache.connectorSnapTarget(20, 97, 5, 0, std::nullopt);
    ASSERT_TRUE(label);
    EXPECT_EQ(label->elementId, "s");
    EXPECT_EQ(label->worldX, 20);
    EXPECT_NEAR(label->worldY, 94, 1e-9);
    EXPECT_TRUE(sameTarget(label, findConnectorSnapTarget(elements, 20, 97, 5, 0, std::nullopt)));

    EXPECT_FALSE(cache.connectorSnapTarget(32, 200, 50, 50, std::nullopt));
    EXPECT_FALSE(cache.connectorSnapTarget(32, 301, 50, 50, std::nullopt));
    // Hidden elements and connectors are still hit.
    EXPECT_EQ(cache.hitTest(32, 230, 1, 0)->id, "hidden");
    EXPECT_EQ(cache.hitTest(32, 301, 1, 0)->id, "line");
}

TEST(HitTestCache, ExtremeQueriesAnswerLikeThePlainSearches) {
    Element turned = rectangle("turned", 0, 0, 100, 20);
    turned.rotation = NAN;
    const std::vector<Element> elements{rectangle("a", 0, 0, 100, 100), turned,
                                        test::polygon("p", {{0, 0}, {NAN, 5}, {50, 50}}),
                                        rectangle("far", 1e200, 1e200, 1e199, 1e199)};
    HitTestCache cache;
    cache.update(share(elements), 1);
    const double values[] = {0.0, -0.0, 50, 1e-300, 1e150, 1e200, HUGE_VAL, -HUGE_VAL, NAN};
    for (double x : values) {
        for (double zoom : {1.0, 0.0, -1.0, 1e-300, double(NAN), HUGE_VAL}) {
            SCOPED_TRACE(::testing::Message() << x << " zoom " << zoom);
            EXPECT_TRUE(sameHit(cache.hitTest(x, 50, zoom, 0), hitTest(elements, x, 50, zoom, 0)));
            EXPECT_TRUE(sameHit(cache.hitTest(50, x, zoom, 5), hitTest(elements, 50, x, zoom, 5)));
            EXPECT_TRUE(sameTarget(cache.connectorSnapTarget(x, 50, zoom, x, std::nullopt),
                                   findConnectorSnapTarget(elements, x, 50, zoom, x, std::nullopt)));
            EXPECT_TRUE(sameTarget(cache.connectorSnapTarget(50, x, x, zoom, std::nullopt),
                                   findConnectorSnapTarget(elements, 50, x, x, zoom, std::nullopt)));
        }
    }
}

} // namespace
} // namespace dv
