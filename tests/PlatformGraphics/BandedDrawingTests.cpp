// Pictures drawn band by band: the bands cover every row once, a band's drawing lands only in its
// own rows whatever it draws beyond them, thin bands that overlap more than their neighbours
// still give the picture drawn at once, and a band that fails fails the picture.

#include "Platform/Graphics/BandedDrawing.hpp"

#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/Shortcuts.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace dv::gfx {
namespace {

// `bands` bands of nearly equal height over `height` rows, as thin as asked: drawing in bands
// must hold for any rows a caller shares out.
std::vector<BandRows> evenBands(int height, int bands) {
    std::vector<BandRows> rows;
    for (int band = 0; band < bands; ++band) {
        const int top = height * band / bands, bottom = height * (band + 1) / bands;
        rows.push_back({top, bottom, std::max(0, top - BAND_OVERLAP_ROWS), std::min(height, bottom + BAND_OVERLAP_ROWS)});
    }
    return rows;
}

TEST(BandedDrawing, BandCountsLeaveEveryBandTallerThanItsOverlap) {
    EXPECT_EQ(bandCountAtMost(2160, 4), 4);
    EXPECT_EQ(bandCountAtMost(2160, 16), 2160 / BAND_MIN_ROWS);
    EXPECT_GE(BAND_MIN_ROWS, 4 * BAND_OVERLAP_ROWS);
    EXPECT_EQ(bandCountAtMost(1012, 4), 4);  // a picture fitted into 1024 pixels
    EXPECT_EQ(bandCountAtMost(BAND_MIN_ROWS * 2 - 1, 4), 1);  // one band could not hold two
    EXPECT_EQ(bandCountAtMost(4000, 1), 1);
    EXPECT_EQ(bandCount(64, 64), 1);  // too small to be worth a second band
}

std::string text(const std::vector<int>& edges) {
    std::string s;
    for (const int edge : edges) {
        if (!s.empty()) s += ' ';
        s += std::to_string(edge);
    }
    return s;
}

std::string text(const std::vector<BandRows>& bands) {
    std::vector<int> edges{0};
    for (const BandRows& band : bands) edges.push_back(band.bottom);
    return text(edges);
}

TEST(BandedDrawing, BandsByCostShareTheCost) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const int m = BAND_MIN_ROWS;
    struct Case {
        const char* what;
        int height, bands;
        std::vector<BandWork> work;
        std::vector<int> edges;
    };
    const std::vector<Case> cases = {
        {"no cost: rows shared evenly", 1000, 4, {}, {0, 250, 500, 750, 1000}},
        {"even cost", 1000, 4, {{0, 1000, 1000}}, {0, 250, 500, 750, 1000}},
        {"three times the cost per row in the top half", 1000, 2, {{0, 500, 1500}, {500, 1000, 500}}, {0, 333, 1000}},
        {"the same cost as many parts", 1000, 2, {{0, 250, 750}, {250, 500, 750}, {500, 1000, 500}}, {0, 333, 1000}},
        {"uneven thirds", 900, 3, {{0, 300, 600}, {300, 900, 600}}, {0, 200, 500, 900}},
        {"all cost at the top: thinnest bands there", 1000, 4, {{0, 100, 100}},
         {0, m, 2 * m, 3 * m, 1000}},
        {"all cost at the bottom: room kept for the bands below", 1000, 4, {{900, 1000, 100}},
         {0, 1000 - 3 * m, 1000 - 2 * m, 1000 - m, 1000}},
        {"parts beyond the picture cost nothing", 1000, 2, {{-50, -10, 1e6}, {1000, 1200, 1e6}, {0, 1000, 1000}}, {0, 500, 1000}},
        {"parts reaching beyond count their rows within", 1000, 2, {{-1000, 1000, 1000}}, {0, 500, 1000}},
        {"a part without a span counts for every row", 1000, 2, {{nan, 10, 1000}, {300, 200, 1000}}, {0, 500, 1000}},
        {"no cost, no negative cost", 1000, 2, {{0, 100, -5}, {0, 100, nan}}, {0, 500, 1000}},
        {"too short for more bands", 3 * m - 1, 4, {}, {0, (3 * m - 1) / 2, 3 * m - 1}},
        {"one band", 1000, 1, {{0, 10, 1}}, {0, 1000}},
    };
    for (const Case& c : cases) {
        const std::vector<BandRows> bands = bandsByCost(c.height, c.bands, c.work);
        EXPECT_EQ(text(bands), text(c.edges)) << c.what;
        for (const BandRows& band : bands) {
            EXPECT_EQ(band.drawnTop, std::max(0, band.top - BAND_OVERLAP_ROWS)) << c.what;
            EXPECT_EQ(band.drawnBottom, std::min(c.height, band.bottom + BAND_OVERLAP_ROWS)) << c.what;
        }
    }
}

TEST(BandedDrawing, BandsByCostAlwaysCoverTheRows) {
    std::uint64_t state = 5;
    auto next = [&](double range) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0 * range;
    };
    for (int round = 0; round < 300; ++round) {
        const int height = static_cast<int>(next(3000));
        const int count = 1 + static_cast<int>(next(6));
        std::vector<BandWork> work;
        for (int i = static_cast<int>(next(20)); i > 0; --i) {
            const double top = next(3400) - 200;
            work.push_back({top, top + next(300), next(10) < 1 ? 0 : next(1000)});
        }
        const std::vector<BandRows> bands = bandsByCost(height, count, work);
        ASSERT_EQ(bands.size(), static_cast<std::size_t>(bandCountAtMost(height, count)));
        int row = 0;
        for (const BandRows& band : bands) {
            EXPECT_EQ(band.top, row);
            if (bands.size() > 1) {
                EXPECT_GE(band.bottom - band.top, BAND_MIN_ROWS);
            }
            row = band.bottom;
        }
        EXPECT_EQ(row, height);
    }
}

// Discs and strokes with soft edges over the whole picture, so that every band edge cuts some.
void drawDiscs(GraphicsContext& context) {
    for (int i = 0; i < 40; ++i) {
        const double x = std::fmod(i * 97.3, 300), y = std::fmod(i * 61.7, 420), r = 5 + (i * 13) % 60;
        context.beginPath();
        context.addEllipseInRect({x - r, y - r, 2 * r, 2.3 * r});
        context.setFillColor({(i % 3) / 2.0, (i % 5) / 4.0, 0.6, 0.7});
        context.fillPath(FillRule::winding);
        context.setLineWidth(1 + i % 4);
        context.strokePath();
    }
}

std::optional<Bitmap> drawnWhole(int width, int height, void (*draw)(GraphicsContext&) = drawDiscs) {
    auto bitmap = Bitmap::create(width, height);
    GraphicsContext context(*bitmap);
    draw(context);
    return bitmap;
}

bool samePixels(const Bitmap& a, const Bitmap& b) {
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) return false;
    return true;
}

TEST(BandedDrawing, ThinAndEvenBandsGiveThePictureDrawnAtOnce) {
    const int width = 300, height = 420;
    const auto whole = drawnWhole(width, height);
    // Bands of 20 rows overlap two neighbours on each side: more than two bitmaps are needed.
    for (const int count : {2, 4, 21}) {
        auto bitmap = Bitmap::create(width, height);
        const bool drawn = drawInBands(*bitmap, evenBands(height, count), [](const auto& context, const BandRows&) {
            drawDiscs(*context);
        });
        ASSERT_TRUE(drawn);
        EXPECT_TRUE(samePixels(*whole, *bitmap)) << count << " bands";
    }
}

// A wide stroke under a clip path (a plane with two triangles cut out, as a connector's shaft is
// cut by its heads), and a blurred shadow under it. The rasteriser joins a clip path to the
// edges of any other clip, which changed a row of the stroke's edge 52 rows above a band edge
// while the bands were clipped to their rows; the shadow is blurred for each band's rows alone.
void drawClippedStroke(GraphicsContext& context) {
    context.setFillColor({1, 1, 1, 1});
    context.fillRect({0, 0, 1124, 637});
    context.saveGState();
    context.beginPath();
    context.addRect({-30000, -30000, 60000, 60000});
    context.moveTo(127.01171875, 296.57421875);
    context.addLineTo(265.55859375, 246.45703125);
    context.addLineTo(239.6875, 391.50390625);
    context.closePath();
    context.moveTo(712.296875, 400.97265625);
    context.addLineTo(573.75, 451.08984375);
    context.addLineTo(599.62109375, 306.046875);
    context.closePath();
    context.clip(FillRule::evenOdd);
    context.beginPath();
    context.moveTo(712.296875, 400.97265625);
    context.addLineTo(127.01171875, 296.57421875);
    context.setCTM({1.6014589804234463, 0, 0, 1.6014589804234463, -3.8595161428205058, 30.491778987262414});
    context.setLineWidth(23);
    context.setLineCap(LineCap::square);
    context.setLineJoin(LineJoin::round);
    context.setStrokeColor({232 / 255.0, 89 / 255.0, 12 / 255.0, 1});
    context.setShadow(-30, 60, 40, {0, 0, 0, 0.8});
    context.strokePath();
    context.restoreGState();
}

TEST(BandedDrawing, ClipPathsAndShadowsKeepTheirPixelsAtEveryBandEdge) {
    const int width = 1124, height = 637;
    auto whole = Bitmap::create(width, height);
    {
        GraphicsContext context(*whole);
        drawClippedStroke(context);
    }
    for (int edge = 270; edge <= 340; edge += 2) {
        const std::vector<BandRows> bands{{0, edge, 0, edge + BAND_OVERLAP_ROWS}, {edge, height, edge - BAND_OVERLAP_ROWS, height}};
        auto bitmap = Bitmap::create(width, height);
        ASSERT_TRUE(drawInBands(*bitmap, bands, [](const auto& context, const BandRows&) { drawClippedStroke(*context); }));
        EXPECT_TRUE(samePixels(*whole, *bitmap)) << "band edge at row " << edge;
    }
}

// Wide shadows, drawn onto the blur's cells: fills and strokes, turned, at fractions of a pixel,
// one under a clip path, stacked and apart, over a picture taller than any band.
void drawWideShadows(GraphicsContext& context) {
    context.setFillColor({1, 1, 1, 1});
    context.fillRect({0, 0, 500, 700});
    for (int i = 0; i < 9; ++i) {
        context.saveGState();
        const double angle = 0.37 * i, c = std::cos(angle), s = std::sin(angle);
        const double cx = 40 + (i * 53) % 420, cy = -30 + (i * 97) % 760;
        context.concatCTM({c, s, -s, c, cx - c * cx + s * cy, cy - s * cx - c * cy});
        if (i == 4) {
            context.beginPath();
            context.addEllipseInRect({cx - 150, cy - 90, 300, 180});
            context.clip(FillRule::winding);
        }
        context.setShadow(3.5 - i, 0.25 * i - 1, std::vector<double>{60, 300, 1000}[i % 3], {0.1, 0, 0.2, 0.6});
        context.beginPath();
        context.addEllipseInRect({cx - 70.5, cy - 40.25, 141, 80.5});
        context.setFillColor({0.9, 0.5, 0.1, 1});
        context.fillPath(FillRule::winding);
        context.setLineWidth(i % 2 ? 90 : 12);
        context.setLineCap(LineCap::round);
        context.setLineJoin(LineJoin::round);
        context.setStrokeColor({0.2, 0.3, 0.8, 0.8});
        context.strokePath();
        context.restoreGState();
    }
}

TEST(BandedDrawing, WideShadowsGiveThePictureDrawnAtOnceInAnyBands) {
    const int width = 500, height = 700;
    const auto whole = drawnWhole(width, height, drawWideShadows);
    for (const int count : {2, 3, 5, 8}) {
        auto bitmap = Bitmap::create(width, height);
        ASSERT_TRUE(drawInBands(*bitmap, evenBands(height, count), [](const auto& context, const BandRows&) {
            drawWideShadows(*context);
        }));
        EXPECT_TRUE(samePixels(*whole, *bitmap)) << count << " bands";
    }
}

// Shapes across the whole picture, each kind of ink and pen: opaque and translucent fills,
// rough outlines with every join and cap, curves, dashes with every cap, turned and scaled.
void drawAcross(GraphicsContext& context) {
    static const LineJoin joins[] = {LineJoin::miter, LineJoin::round, LineJoin::bevel};
    static const LineCap caps[] = {LineCap::butt, LineCap::round, LineCap::square};
    for (int i = 0; i < 18; ++i) {
        context.saveGState();
        const double angle = 0.29 * i, c = std::cos(angle), s = std::sin(angle), k = 0.8 + 0.05 * i;
        context.concatCTM({k * c, k * s, -k * s, k * c, 150 + 3.3 * i, 210 - 2.7 * i});
        context.beginPath();
        if (i % 3 == 0) {
            context.addEllipseInRect({-140.25, -190.5, 280.5, 381});
        } else {
            context.moveTo(-150, -200);
            for (int p = 1; p < 23; ++p)
                context.addLineTo(std::fmod(p * 71.3, 300) - 150, std::fmod(p * 97.9, 410) - 200);
            if (i % 2) context.closePath();
        }
        context.setFillColor({(i % 4) / 3.0, 0.5, (i % 5) / 4.0, i % 4 == 0 ? 0.6 : 1});
        context.fillPath(FillRule::winding);
        context.setLineWidth(1.5 + (i * 7) % 19);
        context.setLineJoin(joins[i % 3]);
        context.setLineCap(caps[(i / 3) % 3]);
        if (i % 4 == 2) {
            const std::vector<double> dash{9.5, 4.0 + i};
            context.setLineDash(dash, 0.5 * i);
        }
        context.setStrokeColor({0.1, 0.2, 0.3, i % 5 == 3 ? 0.5 : 1});
        context.strokePath();
        context.restoreGState();
    }
}

// Drawn for a band's rows, shapes across the picture leave the rows beyond the tiles of 128
// rows that hold them untouched (cairo is not asked for them) where the ink is opaque, and the
// band's own rows as the picture drawn at once has them, at every band edge.
TEST(BandedDrawing, ShapesAcrossThePictureAreDrawnForTheWorkRowsAlone) {
    const int width = 300, height = 420;
    const auto whole = drawnWhole(width, height, drawAcross);
    auto opaque = Bitmap::create(width, height);
    {
        GraphicsContext context(*opaque);
        context.setWorkRows(150, 190);
        context.beginPath();
        context.addEllipseInRect({-20, -30, 340, 480});
        context.setFillColor({0.2, 0.4, 0.6, 1});
        context.fillPath(FillRule::winding);
        context.setLineWidth(9);
        context.strokePath();
    }
    for (int y = 0; y < height; ++y) {
        bool inked = false;
        for (int x = 0; x < width; ++x) inked = inked || opaque->pixel(x, y) != 0;
        EXPECT_EQ(inked, y >= 128 && y < 256) << "row " << y;
    }
    for (const int count : {2, 3, 7, 21}) {
        auto bitmap = Bitmap::create(width, height);
        ASSERT_TRUE(drawInBands(*bitmap, evenBands(height, count), [](const auto& context, const BandRows&) {
            drawAcross(*context);
        }));
        EXPECT_TRUE(samePixels(*whole, *bitmap)) << count << " bands";
    }
}

// A band lays the tiles meeting its own rows, not those met only by the rows it draws beyond
// them; with the shortcuts off it lays every tile meeting the rows it draws.
TEST(BandedDrawing, TilesMetOnlyByTheRowsBeyondABandAreLeftOut) {
    const int width = 300, height = 420;
    for (const bool taken : {true, false}) {
        ShortcutsTaken shortcuts(taken);
        auto bitmap = Bitmap::create(width, height);
        {
            GraphicsContext context(*bitmap);
            context.setWorkRows(100, 300);
            context.setKeptRows(130, 140);
            context.beginPath();
            context.addEllipseInRect({-20, -30, 340, 480});
            context.setFillColor({0.2, 0.4, 0.6, 1});
            context.fillPath(FillRule::winding);
        }
        for (int y = 0; y < height; ++y) {
            bool inked = false;
            for (int x = 0; x < width; ++x) inked = inked || bitmap->pixel(x, y) != 0;
            EXPECT_EQ(inked, taken ? y >= 128 && y < 256 : y < 384) << "row " << y << (taken ? "" : ", shortcuts off");
        }
    }
}

// Small closed loops under dotted round pens far wider than they are, with wide shadows, as
// thick as a hostile board has them: each loop is one dash whose pen spans several tiles.
void drawWideDottedLoops(GraphicsContext& context, bool shadows) {
    context.setFillColor({1, 1, 1, 1});
    context.fillRect({0, 0, 2000, 2000});
    for (int i = 0; i < 60; ++i) {
        context.saveGState();
        const double cx = 40 + std::fmod(i * 67.3, 520), cy = 30 + std::fmod(i * 113.7, 740), r = 3 + i % 5;
        context.beginPath();
        context.moveTo(cx + r, cy);
        for (int p = 1; p <= 48; ++p) {
            const double t = p / 48.0 * 2 * M_PI, k = 1 + 0.1 * std::sin(i + 1.7 * p);
            context.addLineTo(cx + std::cos(t) * k * r, cy + std::sin(t) * k * r);
        }
        context.closePath();
        const double w = 60 + (i * 37) % 300;
        context.setLineWidth(w);
        const std::vector<double> dash{w, 3 * w};
        context.setLineDash(dash, 0);
        context.setLineCap(LineCap::round);
        context.setLineJoin(i % 2 ? LineJoin::round : LineJoin::miter);
        if (shadows) context.setShadow(5, 5, 20 + (i * 53) % 400, {0, 0, 0, 0.5});
        context.setStrokeColor({(i % 4) / 3.0, 0.3, (i % 7) / 6.0, 1});
        context.strokePath();
        context.restoreGState();
    }
}
void drawWideDottedLoopsPlain(GraphicsContext& context) { drawWideDottedLoops(context, false); }
void drawWideDottedLoopsShadowed(GraphicsContext& context) { drawWideDottedLoops(context, true); }

TEST(BandedDrawing, WideDottedPensGiveThePictureDrawnAtOnceInEveryBandCount) {
    const int width = 600, height = 800;
    for (const bool shadows : {false, true}) {
        for (const bool taken : {true, false}) {
            ShortcutsTaken shortcuts(taken);
            const auto whole = drawnWhole(width, height, shadows ? drawWideDottedLoopsShadowed : drawWideDottedLoopsPlain);
            for (const int count : {2, 3, 4, 5, 8}) {
                auto bitmap = Bitmap::create(width, height);
                ASSERT_TRUE(drawInBands(*bitmap, evenBands(height, count), [&](const auto& context, const BandRows&) {
                    drawWideDottedLoops(*context, shadows);
                }));
                EXPECT_TRUE(samePixels(*whole, *bitmap))
                    << count << " bands" << (shadows ? ", shadows" : "") << (taken ? "" : ", shortcuts off");
            }
        }
    }
}

// Opaque curved outlines across many bands: rounded rectangles and ellipses, turned by every
// angle at fractions of a pixel, filled and stroked with every join and cap. Clipped to a
// band's rows, cairo took such curves' rows to other levels (up to 9) than the picture drawn at
// once, with 4, 8, 12 or 16 bands.
void drawCurvedOutlines(GraphicsContext& context, int seed) {
    static const LineJoin joins[] = {LineJoin::miter, LineJoin::round, LineJoin::bevel};
    static const LineCap caps[] = {LineCap::butt, LineCap::round, LineCap::square};
    context.setFillColor({0.03, 0.03, 0.03, 1});
    context.fillRect({0, 0, 2000, 2000});
    for (int i = 0; i < 12; ++i) {
        const int k = seed * 12 + i;
        context.saveGState();
        const double angle = 0.173 * k, c = std::cos(angle), s = std::sin(angle), scale = 0.5 + std::fmod(k * 0.37, 2.5);
        const double cx = std::fmod(k * 137.31, 700), cy = std::fmod(k * 211.77, 1100);
        context.concatCTM({scale * c, scale * s, -scale * s, scale * c, cx, cy});
        const double w = 60 + std::fmod(k * 97.13, 400), h = 60 + std::fmod(k * 53.9, 500);
        context.beginPath();
        if (k % 2) {
            context.addEllipseInRect({-w / 2, -h / 2, w, h});
        } else {
            const double r = std::fmin(std::fmod(k * 31.7, 120) + 4, std::fmin(w, h) / 2);
            context.moveTo(-w / 2 + r, -h / 2);
            context.addArc(w / 2 - r, -h / 2 + r, r, -M_PI / 2, 0, false);
            context.addArc(w / 2 - r, h / 2 - r, r, 0, M_PI / 2, false);
            context.addArc(-w / 2 + r, h / 2 - r, r, M_PI / 2, M_PI, false);
            context.addArc(-w / 2 + r, -h / 2 + r, r, M_PI, 3 * M_PI / 2, false);
            context.closePath();
        }
        context.setFillColor({(k % 4) / 3.0, 0.6, (k % 5) / 4.0, 1});
        context.fillPath(FillRule::winding);
        context.setLineWidth(10 + (k * 7) % 51);
        context.setLineJoin(joins[k % 3]);
        context.setLineCap(caps[(k / 3) % 3]);
        context.setStrokeColor({0.9, 0.35, 0.05, 1});
        context.strokePath();
        context.restoreGState();
    }
}

TEST(BandedDrawing, CurvedOutlinesGiveThePictureDrawnAtOnceInEveryBandCount) {
    const int width = 800, height = 1250;
    for (int seed = 0; seed < 40; ++seed) {
        auto whole = Bitmap::create(width, height);
        {
            GraphicsContext context(*whole);
            drawCurvedOutlines(context, seed);
        }
        for (const int count : {2, 3, 4, 5, 6, 7, 8, 12, 16}) {
            auto bitmap = Bitmap::create(width, height);
            ASSERT_TRUE(drawInBands(*bitmap, evenBands(height, count), [&](const auto& context, const BandRows&) {
                drawCurvedOutlines(*context, seed);
            }));
            EXPECT_TRUE(samePixels(*whole, *bitmap)) << "seed " << seed << " in " << count << " bands";
        }
    }
}

TEST(BandedDrawing, ABandThatFailsFailsThePictureOnceEveryBandIsDone) {
    auto bitmap = Bitmap::create(100, 600);
    std::atomic<int> finished = 0;
    auto draw = [&](const std::shared_ptr<GraphicsContext>&, const BandRows& band) {
        if (band.top != 0) throw std::runtime_error("band failed");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ++finished;
    };
    EXPECT_THROW(drawInBands(*bitmap, evenBands(600, 3), draw), std::runtime_error);
    EXPECT_EQ(finished.load(), 1);
}

TEST(BandedDrawing, BandsMayDrawPicturesInBandsFromSeveralThreads) {
    const int width = 300, height = 420;
    const auto whole = drawnWhole(width, height);
    auto drawNested = [&] {
        auto bitmap = Bitmap::create(width, height);
        drawInBands(*bitmap, evenBands(height, 3), [&](const auto& context, const BandRows&) {
            // Every band draws a picture in bands of its own first.
            auto inner = Bitmap::create(width, height);
            drawInBands(*inner, evenBands(height, 2), [](const auto& c, const BandRows&) { drawDiscs(*c); });
            if (!samePixels(*whole, *inner)) throw std::runtime_error("inner picture differs");
            drawDiscs(*context);
        });
        return samePixels(*whole, *bitmap);
    };
    bool other = false;
    std::thread thread([&] { other = drawNested(); });
    EXPECT_TRUE(drawNested());
    thread.join();
    EXPECT_TRUE(other);
}

}  // namespace
}  // namespace dv::gfx
