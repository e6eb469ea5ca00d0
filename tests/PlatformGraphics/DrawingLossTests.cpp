#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/MemoryHeadroom.hpp"

#include "tests/support/TestSurface.hpp"

#include <gtest/gtest.h>

#include <cairo.h>

#include <memory>
#include <optional>

namespace dv::gfx {
namespace {

using test::TestSurface;

constexpr Color BLACK{0, 0, 0, 1};

// Pretends a memory limit for as long as it lives.
struct Headroom {
    explicit Headroom(std::size_t bytes) { detail::setMemoryHeadroomForTesting(bytes); }
    ~Headroom() { detail::setMemoryHeadroomForTesting(std::nullopt); }
};

// A closed zigzag of `points` across the surface: a fill of as many edges.
void zigzag(GraphicsContext& g, int points) {
    g.beginPath();
    for (int i = 0; i < points; ++i) g.addLineTo(i % 2 ? 2 : 48, 2 + 46.0 * i / points);
    g.closePath();
}

TEST(DrawingLoss, CairoErrorsMidDrawingLeaveTheContextUnhealthyAndDrawNothingMore) {
    // A layer of its own (as text is) that puts cairo into an error state: on the picture, or
    // only on the context the shadow is drawn with.
    for (const bool shadowed : {false, true}) {
        TestSurface s(50, 50);
        GraphicsContext g(s.get());
        if (shadowed) g.setShadow(2, 2, 4, BLACK);
        g.setFillColor(BLACK);
        g.paintWithFill({0, 0, 10, 10}, [&](cairo_t* cr) {
            if (shadowed && cairo_get_target(cr) == s.get()) return cairo_rectangle(cr, 0, 0, 10, 10), cairo_fill(cr);
            cairo_matrix_t singular{};
            cairo_transform(cr, &singular);
        });
        EXPECT_FALSE(g.isHealthy()) << shadowed;
        EXPECT_FALSE(g.ranOutOfMemory()) << shadowed;
        g.fillRect({20, 20, 10, 10});
        EXPECT_EQ(s.alpha(25, 25), 0) << "drawn after the loss, shadowed " << shadowed;
    }
}

TEST(DrawingLoss, FillsAndStrokesWithoutTheMemoryCairoAsksForAreLeftOutAsLosses) {
    struct Case {
        const char* what;
        int points;
        bool stroke;
        std::size_t headroom;
        bool healthy;
    };
    const Case cases[] = {
        {"a small fill is never checked", 20, false, 0, true},
        {"a heavy fill within the headroom", 2000, false, 2000 * CAIRO_BYTES_PER_EDGE * 2, true},
        {"a heavy fill beyond it", 2000, false, 1000 * CAIRO_BYTES_PER_EDGE, false},
        {"a stroke costs more than the fill of its path", 2000, true, 2000 * CAIRO_BYTES_PER_EDGE * 2, false},
        // Heavy paths are reckoned as they reach cairo, thinned.
        {"a heavy fill within the headroom", 6000, false, 6000 * CAIRO_BYTES_PER_EDGE * 2, true},
        {"a heavy fill beyond it", 6000, false, 1000 * CAIRO_BYTES_PER_EDGE, false},
        {"a heavy stroke beyond it", 6000, true, 1000 * CAIRO_BYTES_PER_EDGE, false},
        {"a heavy stroke within it", 6000, true, std::size_t{64} << 20, true},
    };
    for (const Case& c : cases) {
        TestSurface s(50, 50);
        GraphicsContext g(s.get());
        Headroom pretend(c.headroom);
        zigzag(g, c.points);
        g.setFillColor(BLACK);
        g.setStrokeColor(BLACK);
        g.setLineWidth(3);
        g.setLineJoin(LineJoin::round);
        if (c.stroke) g.strokePath();
        else g.fillPath(FillRule::winding);
        EXPECT_EQ(g.isHealthy(), c.healthy) << c.what;
        EXPECT_EQ(g.ranOutOfMemory(), !c.healthy) << c.what;
        if (c.healthy) {
            EXPECT_GT(s.alpha(25, 25), 0) << c.what;
        }
    }
}

// A heavy fill laid in tiles promises, for each, the memory of the edges that tile hands cairo:
// a tall fill of 60,000 edges fits where its whole path would not, with the pixels it has
// without a limit.
TEST(DrawingLoss, HeavyFillsLaidInTilesPromiseEachTilesEdges) {
    const auto draw = [](std::optional<std::size_t> headroom, bool& healthy) {
        auto s = std::make_unique<TestSurface>(50, 600);
        GraphicsContext g(s->get());
        std::optional<Headroom> pretend;
        if (headroom) pretend.emplace(*headroom);
        g.beginPath();
        for (int i = 0; i < 60000; ++i) g.addLineTo(i % 2 ? 2 : 48, 2 + 596.0 * i / 60000);
        g.closePath();
        g.setFillColor(BLACK);
        g.fillPath(FillRule::winding);
        healthy = g.isHealthy();
        return s;
    };
    bool healthy = false;
    const auto unlimited = draw(std::nullopt, healthy);
    ASSERT_TRUE(healthy);
    // Room for a tile's edges (some 1,600 of them) but not for the path's.
    const std::size_t whole = 60000 * CAIRO_BYTES_PER_EDGE;
    const auto limited = draw(whole / 4, healthy);
    EXPECT_TRUE(healthy);
    int differing = 0;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 50; ++x) differing += unlimited->alpha(x, y) != limited->alpha(x, y);
    EXPECT_EQ(differing, 0);
    draw(100 * CAIRO_BYTES_PER_EDGE, healthy);
    EXPECT_FALSE(healthy) << "not even a tile's edges fit";
}

TEST(DrawingLoss, PromisesHeldAtOnceShareTheHeadroom) {
    Headroom pretend(1000);
    std::optional<MemoryPromise> first(std::in_place, 600);
    EXPECT_TRUE(first->kept());
    {
        MemoryPromise second(600);
        EXPECT_FALSE(second.kept());
        MemoryPromise small(400);
        EXPECT_TRUE(small.kept());
    }
    first.reset();
    MemoryPromise again(1000);
    EXPECT_TRUE(again.kept());
    MemoryPromise beyond(1);
    EXPECT_FALSE(beyond.kept());
}

}  // namespace
}  // namespace dv::gfx
