// Pictures drawn band by band: the bands cover every row once, a band's drawing lands only in its
// own rows whatever it draws beyond them, thin bands that overlap more than their neighbours
// still give the picture drawn at once, and a band that fails fails the picture.

#include "Platform/Graphics/BandedDrawing.hpp"

#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

namespace dv::gfx {
namespace {

TEST(BandedDrawing, EvenBandsCoverEveryRowOnceAndDrawBeyondWithinThePicture) {
    for (const auto& [height, count] : {std::pair{1000, 4}, std::pair{1001, 3}, std::pair{40, 3}, std::pair{7, 1}}) {
        const auto bands = evenBands(height, count);
        ASSERT_EQ(bands.size(), static_cast<std::size_t>(count));
        int row = 0;
        for (const BandRows& band : bands) {
            EXPECT_EQ(band.top, row) << height << " in " << count;
            EXPECT_GT(band.bottom, band.top);
            EXPECT_EQ(band.drawnTop, std::max(0, band.top - BAND_OVERLAP_ROWS));
            EXPECT_EQ(band.drawnBottom, std::min(height, band.bottom + BAND_OVERLAP_ROWS));
            row = band.bottom;
        }
        EXPECT_EQ(row, height);
    }
}

TEST(BandedDrawing, BandCountsLeaveEveryBandTallerThanItsOverlap) {
    EXPECT_EQ(bandCountAtMost(2160, 4), 4);
    EXPECT_EQ(bandCountAtMost(2160, 16), 2160 / (8 * BAND_OVERLAP_ROWS));
    EXPECT_EQ(bandCountAtMost(8 * BAND_OVERLAP_ROWS * 2 - 1, 4), 1);  // one band could not hold two
    EXPECT_EQ(bandCountAtMost(4000, 1), 1);
    EXPECT_EQ(bandCount(64, 64), 1);  // too small to be worth a second band
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

std::optional<Bitmap> drawnWhole(int width, int height) {
    auto bitmap = Bitmap::create(width, height);
    GraphicsContext context(*bitmap);
    drawDiscs(context);
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
