// The background grid at every pixel ratio: it covers the whole frame, its work stays bounded by
// the canvas's pixels, and layers whose spacing the eye can tell apart are drawn as they always were.

#include "DVRender/Editor/OffscreenRenderer.hpp"

#include "../Scene/PaintTrace.hpp"
#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <bit>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace dv::test {
namespace {

// Everything a recording holds, every number to the bit, dots' centres included.
std::uint64_t fingerprint(const DisplayList& list) {
    std::uint64_t h = 14695981039346656037ull;
    auto mix = [&](std::uint64_t v) {
        for (int i = 0; i < 8; ++i) h = (h ^ ((v >> (8 * i)) & 0xFF)) * 1099511628211ull;
    };
    for (const Call& call : callsOf(list)) {
        for (char c : call.name + "|" + call.text) mix(static_cast<unsigned char>(c));
        for (double v : call.args) mix(std::bit_cast<std::uint64_t>(v));
    }
    for (const DisplayOp& op : list.ops()) {
        if (const auto* dots = std::get_if<DisplayOp::FillCircles>(&op.value)) {
            for (const Point& p : dots->centres) {
                mix(std::bit_cast<std::uint64_t>(p.x));
                mix(std::bit_cast<std::uint64_t>(p.y));
            }
        }
    }
    return h;
}

int channelDistance(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8)
        worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return worst;
}

struct GridCase {
    const char* what;
    GridPattern pattern;
    double size;
    Viewport viewport;
    double pixelWidth, pixelHeight, ratio;
};

DisplayList recorded(const GridCase& c) {
    RecordingContext context;
    drawGrid(context, c.viewport, c.size, c.pattern, c.pixelWidth, c.pixelHeight, c.ratio, RenderTheme::light);
    return context.displayList();
}

// Fingerprints of the recordings made before fine layers were washed: wherever every layer is at
// least 2 device pixels apart, nothing may change.
TEST(GridPattern, LayersTwoDevicePixelsApartOrMoreAreDrawnAsBefore) {
    const struct {
        GridCase grid;
        std::uint64_t before;
    } cases[] = {
        {{"dots, ratio 1", GridPattern::dot, 20, Viewport{15, -7, 1}, 400, 300, 1}, 0xa89ac7683cc7bdc4ull},
        {{"dots, ratio 2, zoom 3", GridPattern::dot, 10, Viewport{-41.5, 8, 3}, 800, 600, 2}, 0xacca6828619028caull},
        {{"dots 5 px apart at ratio 0.25", GridPattern::dot, 20, Viewport{3, 3, 1}, 1000, 1000, 0.25}, 0x1addad27e80aee30ull},
        {{"lines, ratio 2, doubled spacing", GridPattern::line, 20, Viewport{33.3, 12, 0.3}, 800, 600, 2}, 0x24697bbd92b5ac06ull},
        {{"lines exactly 2 px apart at ratio 0.1", GridPattern::line, 20, Viewport{0, 0, 1}, 1000, 800, 0.1}, 0x66c876c3cb3d205full},
        {{"millimetres, ratio 3", GridPattern::mm, 20, Viewport{-50, 20, 1}, 1200, 900, 3}, 0xb78190b06a34e3afull},
        {{"millimetres without the 1 mm layer", GridPattern::mm, 20, Viewport{7, -3, 0.6}, 640, 480, 1}, 0x6ca41a107da3f30cull},
        {{"5 and 10 mm at ratio 0.5, zoom 0.25", GridPattern::mm, 20, Viewport{0, 0, 0.25}, 900, 700, 0.5}, 0xc05387e784a1990bull},
    };
    for (const auto& c : cases) {
        const DisplayList list = recorded(c.grid);
        EXPECT_EQ(countOf(callsOf(list), "fillRect"), 0u) << c.grid.what;
        EXPECT_EQ(fingerprint(list), c.before) << c.grid.what;
    }
}

// One layer of a recorded grid: the lines of one stroke, the dots of one call, or a wash.
struct LayerDrawn {
    std::vector<double> columns, rows;  // screen x of vertical lines or dots, y of horizontal ones
    std::size_t dots = 0;
    std::optional<std::array<double, 4>> wash;
};

// The layers of a grid over a canvas of W x H canvas units.
std::vector<LayerDrawn> layersOf(const DisplayList& list, double W, double H) {
    std::vector<LayerDrawn> layers;
    std::optional<Point> from;
    LayerDrawn open;
    for (const DisplayOp& op : list.ops()) {
        if (const auto* path = std::get_if<DisplayOp::Path>(&op.value)) {
            if (const auto* move = std::get_if<PathOp::MoveTo>(&path->op.value)) from = Point{move->x, move->y};
            if (const auto* to = std::get_if<PathOp::LineTo>(&path->op.value); to && from) {
                if (from->y == 0 && to->x == from->x && to->y == H) open.columns.push_back(from->x);
                else if (from->x == 0 && to->y == from->y && to->x == W) open.rows.push_back(from->y);
                else ADD_FAILURE() << "a line that does not cross the canvas";
            }
        } else if (std::holds_alternative<DisplayOp::Stroke>(op.value)) {
            layers.push_back(std::exchange(open, {}));
        } else if (const auto* dots = std::get_if<DisplayOp::FillCircles>(&op.value)) {
            LayerDrawn layer;
            layer.dots = dots->centres.size();
            for (const Point& p : dots->centres) {
                if (layer.columns.empty() || p.x != layer.columns.back()) layer.columns.push_back(p.x);
                if (layer.columns.size() == 1) layer.rows.push_back(p.y);
            }
            layers.push_back(layer);
        } else if (const auto* rect = std::get_if<DisplayOp::FillRect>(&op.value)) {
            LayerDrawn layer;
            layer.wash = std::array{rect->x, rect->y, rect->width, rect->height};
            layers.push_back(layer);
        }
    }
    return layers;
}

// Lines from at or before the near edge to at or past the far one (dots stop before it, so one
// spacing short of it), evenly spaced, never more than the canvas has pixels across.
void expectAcross(const std::vector<double>& at, double extent, double pixels, bool dots, const std::string& what) {
    ASSERT_GE(at.size(), 2u) << what;
    EXPECT_LE(static_cast<double>(at.size()), pixels / 2 + 3) << what;
    const double spacing = at[1] - at[0];
    EXPECT_LE(at.front(), 0) << what;
    EXPECT_GE(at.back(), dots ? extent - spacing * 1.000001 : extent) << what;
    for (std::size_t i = 1; i < at.size(); ++i) {
        if (std::fabs(at[i] - at[i - 1] - spacing) > spacing * 1e-6) {
            ADD_FAILURE() << what << ": a gap at line " << i;
            break;
        }
    }
}

// Grids on huge views at small pixel ratios: every layer either spans the whole canvas one line
// or dot at a time, at least 2 device pixels apart, or is one wash over the canvas. Before,
// the dot grid alone made a dot per pixel and the millimetre lines stopped partway across.
TEST(GridPattern, FineLayersAreWashedAndTheWorkStaysWithinTheCanvas) {
    struct Case {
        double points, ratio, zoom;
        GridPattern pattern;
        std::vector<char> layers;  // 'l' lines, 'd' dots, 'w' wash, in drawing order; none where
                                   // the wash would be fainter than a colour level
    };
    const Case cases[] = {
        {10'000, 0.1, 1, GridPattern::dot, {}},  // 2 px apart, 0.16 px wide: no pixel changes by more than a level
        {10'000, 0.1, 1, GridPattern::line, {'l'}},
        {4'000, 0.25, 1, GridPattern::dot, {'d'}},  // 5 px apart: 40,000 dots
        {10'000, 0.1, 1, GridPattern::mm, {'w', 'w', 'l'}},
        {10'000, 0.1, 0.05, GridPattern::dot, {'w'}},
        {10'000, 0.1, 0.05, GridPattern::line, {'w'}},
        {10'000, 0.1, 0.05, GridPattern::mm, {'w'}},
        {20'000, 0.05, 1, GridPattern::dot, {}},  // 3 % of the canvas at 12 %: a fifth of a level
        {20'000, 0.05, 1, GridPattern::line, {'w'}},
        {20'000, 0.05, 1, GridPattern::mm, {'w', 'w', 'w'}},
        {20'000, 0.05, 0.05, GridPattern::dot, {'w'}},
        {20'000, 0.05, 0.05, GridPattern::line, {'w'}},
        {20'000, 0.05, 0.05, GridPattern::mm, {'w'}},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(toWord(c.pattern)) + " on " + std::to_string(int(c.points)) +
                                 " points at ratio " + std::to_string(c.ratio) + ", zoom " + std::to_string(c.zoom);
        const double pixels = std::ceil(c.points * c.ratio);
        const GridCase grid{"", c.pattern, 20, Viewport{-123.4, 56.7, c.zoom}, pixels, pixels, c.ratio};
        const std::vector<LayerDrawn> layers = layersOf(recorded(grid), pixels / c.ratio, pixels / c.ratio);
        ASSERT_EQ(layers.size(), c.layers.size()) << what;
        for (std::size_t i = 0; i < layers.size(); ++i) {
            const LayerDrawn& layer = layers[i];
            const std::string which = what + ", layer " + std::to_string(i);
            if (c.layers[i] == 'w') {
                ASSERT_TRUE(layer.wash) << which;
                EXPECT_EQ(*layer.wash, (std::array{0.0, 0.0, pixels / c.ratio, pixels / c.ratio})) << which;
                continue;
            }
            ASSERT_FALSE(layer.wash) << which;
            expectAcross(layer.columns, pixels / c.ratio, pixels, c.layers[i] == 'd', which + " across");
            expectAcross(layer.rows, pixels / c.ratio, pixels, c.layers[i] == 'd', which + " down");
            EXPECT_GE((layer.columns[1] - layer.columns[0]) * c.ratio, 2 - 1e-9) << which;
            if (c.layers[i] == 'd') {
                EXPECT_EQ(layer.dots, layer.columns.size() * layer.rows.size()) << which;
            }
        }
        // The frame itself is made, grid and all; a wash inks its every pixel.
        OffscreenRenderOptions options{Viewport{-123.4, 56.7, c.zoom}, c.points, c.points, c.ratio,
                                       RenderEnvironment(RenderTheme::light), false, OffscreenRenderOptions::Grid{c.pattern, 20},
                                       std::nullopt, std::nullopt};
        const auto image = OffscreenRenderer::render(std::vector<Element>{}, options);
        ASSERT_TRUE(image) << what;
        ASSERT_EQ(image->width(), pixels) << what;
        if (!c.layers.empty() && c.layers.back() == 'w') {
            EXPECT_NE(image->pixel(image->width() - 1, image->height() - 1) >> 24, 0u) << what;
        }
    }
}

// At the smallest zoom a view allows only the 10 mm layer shows, 1.89 canvas units apart: at
// every ratio it reaches the far edges, as lines where they are 2 device pixels apart or more,
// else as a wash.
TEST(GridPattern, MillimetreLinesReachTheFarEdgeAtTheSmallestZoom) {
    for (const double ratio : {0.25, 0.5, 1.0, 1.06, 2.0, 3.0}) {
        const double pixels = 6000;
        const GridCase grid{"", GridPattern::mm, 20, Viewport{-0.3, 0.7, 0.05}, pixels, pixels * 0.75, ratio};
        const std::vector<LayerDrawn> layers = layersOf(recorded(grid), pixels / ratio, pixels * 0.75 / ratio);
        ASSERT_EQ(layers.size(), 1u) << ratio;
        const bool distinct = 0.05 * 37.795275590551185 * ratio >= 2;
        if (!distinct) {
            ASSERT_TRUE(layers[0].wash) << ratio;
            EXPECT_EQ(*layers[0].wash, (std::array{0.0, 0.0, pixels / ratio, pixels * 0.75 / ratio})) << ratio;
            continue;
        }
        expectAcross(layers[0].columns, pixels / ratio, pixels, false, "across at " + std::to_string(ratio));
        expectAcross(layers[0].rows, pixels * 0.75 / ratio, pixels * 0.75, false, "down at " + std::to_string(ratio));
    }
}

// The wash is the tone the layer's lines or dots blend to: the mean of the same lines or dots
// drawn out one by one on the same pixels, within one colour level.
TEST(GridPattern, AWashHasTheToneOfTheLinesItStandsFor) {
    // Just under 2 device pixels apart: millimetre lines at zoom 0.05 and ratio 1 (10 mm layer,
    // 1.89 px apart, 0.7 px wide), lines and dots at zoom 0.05 and ratio 0.2 (1.6 px apart).
    // Dots whose radius is a large share of their spacing (small grids at a large zoom), drawn
    // as squares below a device radius of 1.5 and as discs above: squares 0.6 and 0.3 of the
    // spacing wide, squares and discs that meet.
    struct Case {
        GridPattern pattern;
        double ratio, zoom, size;
        double spacing, alpha, width;  // device pixels; the dots' width is their radius
    };
    const Case cases[] = {{GridPattern::mm, 1, 0.05, 20, 37.795275590551185 * 0.05, 0.18, 0.7},
                          {GridPattern::line, 0.2, 0.05, 20, 1.6, 0.07, 0.5 * 0.2},
                          {GridPattern::dot, 0.2, 0.05, 20, 1.6, 0.12, 0.8 * 0.2},
                          {GridPattern::dot, 0.2, 4, 2, 1.6, 0.12, 2.4 * 0.2},
                          {GridPattern::dot, 0.2, 2, 4, 1.6, 0.12, 1.2 * 0.2},
                          {GridPattern::dot, 0.15, 13, 1, 13 * 0.15, 0.12, 7.8 * 0.15},
                          {GridPattern::dot, 0.2, 13, 0.62, 13 * 0.62 * 0.2, 0.12, 7.8 * 0.2}};
    const int side = 600;
    auto picture = [&](const std::function<void(DrawingContext&)>& draw) {
        auto bitmap = gfx::Bitmap::create(side, side);
        {
            CGDrawingContext context(std::make_shared<gfx::GraphicsContext>(*bitmap));
            context.setFillStyle("#ffffff");
            context.fillRect(0, 0, side, side);
            draw(context);
        }
        const gfx::ImageRef image = std::move(*bitmap).takeImage();
        double sum = 0;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) sum += image->pixel(x, y) & 0xFF;
        return sum / (side * side);
    };
    for (const Case& c : cases) {
        const double washed = picture([&](DrawingContext& context) {
            drawGrid(context, Viewport{0, 0, c.zoom}, c.size, c.pattern, side, side, c.ratio, RenderTheme::light);
        });
        const double drawnOut = picture([&](DrawingContext& context) {
            const std::string ink = "rgba(0,0,0," + std::to_string(c.alpha) + ")";
            if (c.pattern == GridPattern::dot) {
                std::vector<Point> centres;
                for (double x = 0; x < side; x += c.spacing)
                    for (double y = 0; y < side; y += c.spacing) centres.push_back({x, y});
                context.setFillStyle(ink);
                context.fillCircles(centres, c.width);
                return;
            }
            context.setStrokeStyle(ink);
            context.setLineWidth(c.width);
            context.beginPath();
            for (double at = 0; at <= side + c.spacing; at += c.spacing) {
                context.moveTo(at, 0);
                context.lineTo(at, side);
                context.moveTo(0, at);
                context.lineTo(side, at);
            }
            context.stroke();
        });
        const std::string what = std::string(toWord(c.pattern)) + " at ratio " + std::to_string(c.ratio) + ", zoom " +
                                 std::to_string(c.zoom) + ", size " + std::to_string(c.size);
        EXPECT_LT(drawnOut, 254) << what;  // the lines show at all
        EXPECT_NEAR(washed, drawnOut, 1.0) << what;
    }
}

// Dots left out as too faint (0.16 pixels wide, 2 pixels apart, at ratio 0.1) change no pixel
// by more than a level: the frame is within a level of the same dots drawn out, on either
// canvas, with the dots on pixel corners and wholly inside pixels.
TEST(GridPattern, FaintDotsLeftOutChangeNoPixelByMoreThanALevel) {
    const int side = 400;
    const double ratio = 0.1;
    for (const RenderTheme* theme : {&RenderTheme::light, &RenderTheme::dark}) {
        for (const double offset : {0.0, 5.0, 3.3}) {
            auto picture = [&](bool drawnOut) {
                auto bitmap = gfx::Bitmap::create(side, side);
                {
                    CGDrawingContext context(std::make_shared<gfx::GraphicsContext>(*bitmap));
                    context.setFillStyle(theme->canvasBackground);
                    context.fillRect(0, 0, side, side);
                    if (!drawnOut) {
                        drawGrid(context, Viewport{offset, offset, 1}, 20, GridPattern::dot, side, side, ratio, *theme);
                    } else {
                        std::vector<Point> centres;
                        for (double x = 0; x < side / ratio + 20; x += 20)
                            for (double y = 0; y < side / ratio + 20; y += 20)
                                centres.push_back({(x + offset) * ratio, (y + offset) * ratio});
                        context.setFillStyle(theme->isLight ? "rgba(0,0,0,0.12)" : "rgba(255,255,255,0.12)");
                        context.fillCircles(centres, 0.8 * ratio);
                    }
                }
                return std::move(*bitmap).takeImage();
            };
            const gfx::ImageRef frame = picture(false), dots = picture(true);
            int worst = 0;
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x) worst = std::max(worst, channelDistance(frame->pixel(x, y), dots->pixel(x, y)));
            EXPECT_LE(worst, 1) << (theme->isLight ? "light" : "dark") << ", offset " << offset;
        }
    }
}

// The frame's own grid reaches its right and bottom edges at every ratio: drawn for the frame's
// device pixels, not for its size in points seen a second time through the ratio.
TEST(GridPattern, TheFrameGridCoversTheWholeFrameAtEveryRatio) {
    for (const double ratio : {1.0, 2.0, 3.0}) {
        for (const GridPattern pattern : {GridPattern::line, GridPattern::dot}) {
            const OffscreenRenderOptions options{Viewport{0, 0, 1}, 400, 300, ratio, RenderEnvironment(RenderTheme::light),
                                                 false, OffscreenRenderOptions::Grid{pattern, 20}, std::nullopt, std::nullopt};
            const auto image = OffscreenRenderer::render(std::vector<Element>{}, options);
            ASSERT_EQ(image->width(), static_cast<int>(400 * ratio));
            // Rows and columns between the lines, or through the dots; the last inked pixel along
            // each lies within one spacing (20 points) of the edge.
            const int across = static_cast<int>((pattern == GridPattern::line ? 10 : 20) * ratio);
            int right = -1, bottom = -1;
            for (int x = 0; x < image->width(); ++x)
                if (image->pixel(x, across) >> 24) right = x;
            for (int y = 0; y < image->height(); ++y)
                if (image->pixel(across, y) >> 24) bottom = y;
            const std::string what = std::string(toWord(pattern)) + " at ratio " + std::to_string(ratio);
            EXPECT_GE(right, image->width() - 20 * ratio) << what;
            EXPECT_GE(bottom, image->height() - 20 * ratio) << what;
        }
    }
}

}  // namespace
}  // namespace dv::test
