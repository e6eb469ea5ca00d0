// The render cache, the offscreen renderer and the background grid.

#include "DVRender/Editor/OffscreenRenderer.hpp"

#include "../Scene/PaintTrace.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>
#include <unordered_set>

namespace dv::test {
namespace {

Element boundArrow(std::string id, const std::string& from, const std::string& to) {
    Element a = arrow(std::move(id), 0, 0, 10, 10);
    a.payload.arrow()->startElementId = from;
    a.payload.arrow()->endElementId = to;
    return a;
}

// r0, r1, r2 and arrows a3 (r0 -> r1) and a4 (r1 -> r2).
std::vector<Element> board() {
    return {rectangle("r0", 0, 0, 50, 50), rectangle("r1", 200, 0, 50, 50), rectangle("r2", 400, 0, 50, 50),
            boundArrow("a3", "r0", "r1"), boundArrow("a4", "r1", "r2")};
}

const RenderEnvironment light(RenderTheme::light);

TEST(RenderCache, MovingOneElementRerecordsItAndItsConnectorsOnly) {
    RenderCache cache;
    std::vector<Element> elements = board();
    // The first build is a full one even when positions are listed.
    const RenderSnapshot first = cache.snapshot(elements, light, std::nullopt, std::nullopt, std::vector<std::int64_t>{0});
    EXPECT_FALSE(cache.lastRekeyedIndices());
    ASSERT_EQ(first.elements.size(), 5u);
    EXPECT_EQ(cache.count(), 5u);

    elements[1].x += 30;
    const RenderSnapshot moved = cache.snapshot(elements, light, std::nullopt, std::nullopt, std::vector<std::int64_t>{1});
    ASSERT_TRUE(cache.lastRekeyedIndices());
    EXPECT_EQ(*cache.lastRekeyedIndices(), (std::vector<std::int64_t>{1, 3, 4}));
    EXPECT_EQ(moved.elements[0], first.elements[0]);
    EXPECT_EQ(moved.elements[2], first.elements[2]);
    EXPECT_NE(moved.elements[1], first.elements[1]);
    EXPECT_NE(moved.elements[3], first.elements[3]);
    EXPECT_NE(moved.elements[4], first.elements[4]);

    // Listing an unchanged position, or one past the end, or a negative one, re-keys nothing.
    const RenderSnapshot same = cache.snapshot(elements, light, std::nullopt, std::nullopt, std::vector<std::int64_t>{2, 10, -1});
    EXPECT_EQ(*cache.lastRekeyedIndices(), std::vector<std::int64_t>{});
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(same.elements[i], moved.elements[i]);

    // A full build of the same scene reuses every entry whose key is unchanged.
    const RenderSnapshot again = cache.snapshot(elements, light, std::nullopt, std::nullopt);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(again.elements[i], moved.elements[i]);
}

// A drag is many incremental builds in a row, each listing other positions: every one must
// draw what a full build of the same elements draws, labels included.
TEST(RenderCache, SuccessiveIncrementalBuildsMatchFullBuilds) {
    std::vector<Element> elements = board();
    elements[3].payload.connector()->label = "from r0";
    elements[4].payload.connector()->label = "to r2";
    // A labelled arrow of its own (r5 -> r6) and a box (r8) that a step moves onto its label.
    elements.push_back(rectangle("r5", 0, 300, 50, 50));
    elements.push_back(rectangle("r6", 400, 300, 50, 50));
    elements.push_back(boundArrow("a7", "r5", "r6"));
    elements.back().payload.connector()->label = "unrelated";
    elements.push_back(rectangle("r8", 600, 600, 40, 40));
    struct Step {
        const char* what;
        std::size_t at;
        std::function<void(Element&)> change;
    };
    const Step steps[] = {
        {"r1 moved", 1, [](Element& e) { e.x += 40; }},
        {"r0 moved", 0, [](Element& e) { e.y += 70; }},
        {"r1 moved back", 1, [](Element& e) { e.x -= 40; }},
        {"r2 moved", 2, [](Element& e) { e.y -= 90; }},
        {"a label reworded", 3, [](Element& e) { e.payload.connector()->label = "reworded"; }},
        {"a label emptied", 4, [](Element& e) { e.payload.connector()->label = ""; }},
        {"r2 moved again", 2, [](Element& e) { e.x += 15; }},
        {"the label back", 4, [](Element& e) { e.payload.connector()->label = "back"; }},
        {"a box moved onto another label", 8, [](Element& e) { e.x = 200; e.y = 300; }},
    };
    RenderCache cache;
    cache.snapshot(elements, light, std::nullopt, std::nullopt);
    for (const Step& step : steps) {
        step.change(elements[step.at]);
        const RenderSnapshot incremental = cache.snapshot(elements, light, std::nullopt, std::nullopt,
                                                          std::vector<std::int64_t>{static_cast<std::int64_t>(step.at)});
        EXPECT_TRUE(cache.lastRekeyedIndices()) << step.what;
        RenderCache fresh;
        const RenderSnapshot full = fresh.snapshot(elements, light, std::nullopt, std::nullopt);
        ASSERT_EQ(incremental.elements.size(), full.elements.size()) << step.what;
        for (std::size_t i = 0; i < full.elements.size(); ++i) {
            EXPECT_EQ(incremental.elements[i]->displayList, full.elements[i]->displayList) << step.what << " at " << i;
        }
        ASSERT_EQ(incremental.labels.size(), full.labels.size()) << step.what;
        for (std::size_t i = 0; i < full.labels.size(); ++i) {
            EXPECT_EQ(incremental.labels[i]->id, full.labels[i]->id) << step.what;
            EXPECT_EQ(incremental.labels[i]->displayList, full.labels[i]->displayList) << step.what << " label " << i;
        }
    }
}

TEST(RenderCache, ChangesThatReachFurtherTakeTheFullBuild) {
    struct Case {
        const char* what;
        std::function<void(std::vector<Element>&, RenderEnvironment&, std::optional<std::string>&)> change;
    };
    const Case cases[] = {
        {"an element added", [](auto& e, auto&, auto&) { e.push_back(rectangle("r9", 0, 0, 1, 1)); }},
        {"the theme", [](auto&, auto& env, auto&) { env = RenderEnvironment(RenderTheme::dark); }},
        {"the editing id", [](auto&, auto&, auto& editing) { editing = "r0"; }},
        {"an id", [](auto& e, auto&, auto&) { e[0].id = "other"; }},
        {"visibility", [](auto& e, auto&, auto&) { e[0].visible = true; }},
        {"a binding", [](auto& e, auto&, auto&) { e[3].payload.arrow()->endElementId = "r2"; }},
    };
    for (const Case& c : cases) {
        RenderCache cache;
        std::vector<Element> elements = board();
        cache.snapshot(elements, light, std::nullopt, std::nullopt);
        RenderEnvironment environment = light;
        std::optional<std::string> editing;
        c.change(elements, environment, editing);
        const RenderSnapshot snapshot =
            cache.snapshot(elements, environment, editing, std::nullopt, std::vector<std::int64_t>{0, 3});
        EXPECT_FALSE(cache.lastRekeyedIndices()) << c.what;
        if (editing) {
            EXPECT_EQ(snapshot.elements.size(), 4u) << c.what;  // the edited element is left out
            for (const auto& e : snapshot.elements) EXPECT_NE(e->id, "r0");
        }
    }
}

TEST(RenderCache, DuplicateIdsAndCullBounds) {
    RenderCache cache;
    const std::vector<Element> twins{rectangle("same", 0, 0, 10, 10), rectangle("same", 100, 0, 10, 10)};
    const RenderSnapshot snapshot = cache.snapshot(twins, light, std::nullopt, std::nullopt);
    EXPECT_EQ(snapshot.elements.size(), 2u);
    EXPECT_EQ(cache.count(), 1u);

    Element box = rectangle("r", 10, 20, 100, 50);
    box.strokeWidth = 2;
    const ElementIndex index(std::vector<Element>{box});
    const NormalizedRect plain = cullBounds(box, index);
    EXPECT_EQ(plain.x, 5);
    EXPECT_EQ(plain.y, 15);
    EXPECT_EQ(plain.w, 110);
    EXPECT_EQ(plain.h, 60);
    box.rotation = M_PI / 2;  // a quarter turn swaps the sides about the centre (60, 45)
    const NormalizedRect turned = cullBounds(box, index);
    EXPECT_NEAR(turned.x, 60 - 25 - 5, 1e-9);
    EXPECT_NEAR(turned.w, 50 + 10, 1e-9);
    EXPECT_NEAR(turned.h, 100 + 10, 1e-9);
}

TEST(RenderCache, DrawCullsByWhatTheRecordingReaches) {
    RenderCache cache;
    Element caption = stencil("s", 0, 0, 40, 40, StencilSource::builtin("generic/server"));
    caption.payload.stencil()->label = "a caption below";
    const std::vector<Element> elements{rectangle("far", 1000, 1000, 10, 10), caption};
    const RenderSnapshot snapshot = cache.snapshot(elements, light, std::nullopt, std::nullopt);
    auto drawn = [&](std::optional<NormalizedRect> rect) {
        RecordingContext context;
        snapshot.draw(context, rect);
        return callsOf(context.displayList());
    };
    EXPECT_EQ(countOf(drawn(std::nullopt), "fillText"), 1u);
    // A view holding only the caption (below the stencil's cull bounds) still draws the stencil.
    EXPECT_EQ(countOf(drawn(NormalizedRect{0, 60, 40, 5}), "fillText"), 1u);
    // A view far from both draws neither.
    EXPECT_TRUE(drawn(NormalizedRect{-500, -500, 10, 10}).empty());
}

TEST(RenderCache, LabelsAreCulledByTheirOwnBox) {
    // A long arrow whose label sits mid-way: a view on the label alone draws the label but not
    // the arrow's start box; a view far from the label leaves it out.
    std::vector<Element> elements{rectangle("r0", 0, 0, 50, 50), rectangle("r1", 1000, 0, 50, 50),
                                  boundArrow("a2", "r0", "r1")};
    elements[2].payload.connector()->label = "midway";
    RenderCache cache;
    const RenderSnapshot snapshot = cache.snapshot(elements, light, std::nullopt, std::nullopt);
    ASSERT_EQ(snapshot.labels.size(), 1u);
    const NormalizedRect& box = snapshot.labels[0]->bounds;
    ASSERT_GT(box.x, 100);
    auto drawn = [&](std::optional<NormalizedRect> rect) {
        RecordingContext context;
        snapshot.draw(context, rect);
        return countOf(callsOf(context.displayList()), "fillText");
    };
    EXPECT_EQ(drawn(std::nullopt), 1u);
    EXPECT_EQ(drawn(NormalizedRect{box.x + box.w / 2, box.y + box.h / 2, 1, 1}), 1u);
    EXPECT_EQ(drawn(NormalizedRect{0, 400, 50, 50}), 0u);
}

// Keys go into hash sets: equal keys hash alike, whatever the numbers (a NaN position is the
// same NaN), and keys that differ only where the hash does not look still stay apart.
TEST(RenderCache, EqualKeysHashAlike) {
    std::vector<Element> elements = board();
    elements[0].y = std::nan("");
    const ElementIndex index(elements);
    auto key = [&](const Element& e, const RenderTheme& theme = RenderTheme::light) {
        return ElementRenderKey(e, index, theme, std::nullopt, nullptr);
    };
    const std::hash<ElementRenderKey> hash;
    for (const Element& e : elements) {
        ASSERT_TRUE(key(e) == key(e)) << e.id;
        EXPECT_EQ(hash(key(e)), hash(key(e))) << e.id;
    }
    // The bound arrow a3 keys the geometry it resolves; the copy of its key hashes the same.
    const ElementRenderKey arrowKey = key(elements[3]);
    ASSERT_EQ(arrowKey.resolvedGeometry.size(), 4u);
    EXPECT_EQ(hash(ElementRenderKey(arrowKey)), hash(arrowKey));

    Element moved = elements[1];
    moved.x = -0.0;
    Element atZero = moved;
    atZero.x = 0.0;
    Element recoloured = elements[1];
    recoloured.strokeColor = CSSColor("#ff0000");
    const std::unordered_set<ElementRenderKey> keys{key(elements[1]), key(elements[1]), key(moved), key(atZero),
                                                    key(recoloured), key(elements[1], RenderTheme::dark)};
    EXPECT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys.count(key(recoloured)), 1u);
}

TEST(OffscreenRenderer, SizesAndMessages) {
    const std::vector<Element> elements{rectangle("r", 0, 0, 10, 10)};
    auto options = [](double w, double h, double ratio) {
        return OffscreenRenderOptions{Viewport{0, 0, 1}, w, h, ratio, RenderEnvironment(RenderTheme::light), false, std::nullopt, std::nullopt, std::nullopt};
    };
    auto image = OffscreenRenderer::render(elements, options(100.2, 10, 2));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 201);
    EXPECT_EQ(image->height(), 20);
    auto message = [&](double w, double h, double ratio) {
        try {
            OffscreenRenderer::render(elements, options(w, h, ratio));
        } catch (const OffscreenRenderer::RenderError& e) {
            return std::string(e.what());
        }
        return std::string("rendered");
    };
    EXPECT_EQ(message(0, 50, 2), "cannot render 0.0 x 50.0 points at scale 2.0");
    EXPECT_EQ(message(800, 1.5, 0), "cannot render 800.0 x 1.5 points at scale 0.0");
    EXPECT_EQ(message(NAN, 1, 1), "cannot render nan x 1.0 points at scale 1.0");
    EXPECT_EQ(message(16384.5, 10, 2), "cannot render 16384.5 x 10.0 points at scale 2.0");
    // Negative zero reads back as itself only with its sign.
    EXPECT_EQ(message(-0.0, 50, -0.0), "cannot render -0.0 x 50.0 points at scale -0.0");
    EXPECT_EQ(message(-1.5, 0.0, 1), "cannot render -1.5 x 0.0 points at scale 1.0");
    // The payload is what the options asked for, readable as numbers, not the pixel sides.
    auto payload = [&](double w, double h, double ratio) {
        try {
            OffscreenRenderer::render(elements, options(w, h, ratio));
        } catch (const OffscreenRenderer::RenderError& e) {
            return e.invalidSizePayload();
        }
        return std::optional<OffscreenRenderer::RenderError::InvalidSize>();
    };
    for (const auto& [w, h, ratio] : {std::tuple{0.0, 50.0, 2.0}, std::tuple{100.25, 1e9, 1.5}, std::tuple{-3.0, 4.0, -0.0}}) {
        const auto size = payload(w, h, ratio);
        ASSERT_TRUE(size) << w;
        EXPECT_EQ(size->width, w);
        EXPECT_EQ(size->height, h);
        EXPECT_EQ(std::signbit(size->scale), std::signbit(ratio));
        EXPECT_EQ(size->scale, ratio);
    }
    const auto notANumber = payload(NAN, 1, 1);
    ASSERT_TRUE(notANumber);
    EXPECT_TRUE(std::isnan(notANumber->width));
    EXPECT_EQ(notANumber->height, 1);
    EXPECT_FALSE(payload(16384, 10, 2)) << "cannot create the bitmap context: no size payload";
    // Inside the sides but beyond the pixel area of a raster export.
    EXPECT_EQ(message(20000, 20000, 1), "cannot render 20000.0 x 20000.0 points at scale 1.0");
    // 32768 pixels is a side the bitmap cannot have.
    EXPECT_EQ(message(16384, 10, 2), "cannot create the bitmap context");
    EXPECT_EQ(message(16383.5, 10, 2), "rendered");
}

TEST(OffscreenRenderer, BackgroundTransparencyAndLabelsOfCulledConnectors) {
    OffscreenRenderOptions options{Viewport{0, 0, 1}, 20, 20, 1, RenderEnvironment(RenderTheme::dark), false, std::nullopt, std::nullopt, std::nullopt};
    auto png = OffscreenRenderer::pngData({rectangle("far", 500, 500, 5, 5)}, options);
    EXPECT_GT(png.size(), 8u);
    auto clear = OffscreenRenderer::render({rectangle("far", 500, 500, 5, 5)}, options);
    EXPECT_EQ(clear->pixel(10, 10), 0u);
    options.drawsBackground = true;
    auto filled = OffscreenRenderer::render(std::vector<Element>{}, options);
    EXPECT_EQ(filled->pixel(10, 10) >> 24, 0xFFu);
}

TEST(GridPattern, SpacingInkLayersAndDegenerateInput) {
    auto record = [](const Viewport& v, double size, GridPattern type, const RenderTheme& theme, double w = 200) {
        RecordingContext context;
        drawGrid(context, v, size, type, w, 100, 1, theme);
        return callsOf(context.displayList());
    };
    // zoom 0.25: 20 doubles to 40 (10 screen units apart); zoom 0.1: to 80.
    auto calls = record(Viewport{0, 0, 0.25}, 20, GridPattern::line, RenderTheme::light);
    const auto moves = named(calls, "moveTo");
    ASSERT_GE(moves.size(), 2u);
    EXPECT_EQ(moves[1].args[0] - moves[0].args[0], 10);
    calls = record(Viewport{0, 0, 0.1}, 20, GridPattern::line, RenderTheme::light);
    EXPECT_EQ(named(calls, "moveTo")[1].args[0] - named(calls, "moveTo")[0].args[0], 8);
    EXPECT_EQ(propertyValues(calls, "strokeStyle")[0], "rgba(0,0,0,0.07)");
    EXPECT_EQ(propertyValues(record(Viewport{0, 0, 1}, 20, GridPattern::line, RenderTheme::dark), "strokeStyle")[0],
              "rgba(255,255,255,0.07)");
    RenderTheme darkOnWhite = RenderTheme::dark;
    darkOnWhite.canvasBackground = "#ffffff";
    EXPECT_EQ(propertyValues(record(Viewport{0, 0, 1}, 20, GridPattern::line, darkOnWhite), "strokeStyle")[0],
              "rgba(0,0,0,0.07)");
    // offsetX 15: the first vertical line at world -20, screen -5.
    EXPECT_EQ(named(record(Viewport{15, 0, 1}, 20, GridPattern::line, RenderTheme::light), "moveTo")[0].args[0], -5);

    // Millimetre layers by zoom.
    EXPECT_EQ(countOf(record(Viewport{0, 0, 1}, 20, GridPattern::mm, RenderTheme::light), "stroke"), 3u);
    EXPECT_EQ(countOf(record(Viewport{0, 0, 0.5}, 20, GridPattern::mm, RenderTheme::light), "stroke"), 2u);
    EXPECT_EQ(countOf(record(Viewport{0, 0, 0.1}, 20, GridPattern::mm, RenderTheme::light), "stroke"), 1u);

    // Dot radius: 0.8 up to zoom 4/3, 0.6 x zoom above.
    EXPECT_EQ(named(record(Viewport{0, 0, 1}, 20, GridPattern::dot, RenderTheme::light), "fillCircles")[0].args[0], 0.8);
    EXPECT_DOUBLE_EQ(named(record(Viewport{0, 0, 2}, 20, GridPattern::dot, RenderTheme::light), "fillCircles")[0].args[0], 1.2);

    // Sizes and zooms that would double forever draw nothing and return at once.
    for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        EXPECT_TRUE(record(Viewport{0, 0, 1}, bad, GridPattern::line, RenderTheme::light).empty()) << bad;
        EXPECT_TRUE(record(Viewport{0, 0, bad}, 20, GridPattern::dot, RenderTheme::light).empty()) << bad;
    }
    // A zoom so small that millions of millimetre lines would share each pixel stops at the
    // canvas's pixels.
    EXPECT_LE(named(record(Viewport{0, 0, 1e-300}, 20, GridPattern::mm, RenderTheme::light), "moveTo").size(), 304u);
    // A huge offset far from the origin (x + step == x) still stops within the canvas's lines.
    EXPECT_LE(named(record(Viewport{1e300, 0, 1}, 20, GridPattern::line, RenderTheme::light), "moveTo").size(), 30u);

    EXPECT_EQ(fromWord<GridPattern>("mm"), GridPattern::mm);
    EXPECT_FALSE(fromWord<GridPattern>("Dot"));
    EXPECT_FALSE(fromWord<GridPattern>("grid"));
}

}  // namespace
}  // namespace dv::test
