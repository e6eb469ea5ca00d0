// Many lines across the picture, upright and level (a background grid), laid as a mask of their
// columns' and rows' coverage: every pixel within a level of cairo's own stroke of them, in ink
// of every alpha on either canvas, at fractions of a pixel, under a scale, in bands. The same
// for a lattice of rectangles (a grid's dots) against cairo's fill of them one by one.

#include "Platform/Graphics/detail/LinesAcross.hpp"

#include "Platform/Graphics/BandedDrawing.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace dv::gfx {
namespace {

TEST(LinesAcross, IntervalsCoverTheirShareOfEachPixelOnce) {
    const std::vector<float> covered =
        detail::intervalCoverage({{0.25, 0.75}, {2.5, 3.5}, {3.25, 3.75}, {5, 9}, {-3, -1}, {8.5, 20}}, 0, 8);
    const std::vector<float> expected{0.5f, 0, 0.5f, 0.75f, 0, 1, 1, 1};
    EXPECT_EQ(covered, expected);
    // Ends on cairo's grid of 1/256.
    EXPECT_EQ(detail::intervalCoverage({{10.001, 10.5}}, 10, 1)[0], 0.5f);
}

struct Grid {
    const char* what;
    int width, height;
    double scale, spacing, lineWidth, offset;  // spacing, width and offset in user units
    Color ink, canvas;
};

void drawLines(GraphicsContext& context, const Grid& grid, bool byCairo) {
    context.setFillColor(grid.canvas);
    context.fillRect({0, 0, static_cast<double>(grid.width), static_cast<double>(grid.height)});
    context.scaleCTM(grid.scale, grid.scale);
    const double w = grid.width / grid.scale, h = grid.height / grid.scale;
    context.beginPath();
    for (double x = grid.offset; x < w + grid.spacing; x += grid.spacing) {
        context.moveTo(x, 0);
        context.addLineTo(x, h);
    }
    for (double y = grid.offset; y < h + grid.spacing; y += grid.spacing) {
        context.moveTo(0, y);
        context.addLineTo(w, y);
    }
    context.setLineWidth(grid.lineWidth);
    context.setStrokeColor(grid.ink);
    // A dash longer than every line strokes them solid, by cairo's own road.
    if (byCairo) context.setLineDash(std::vector<double>{1e9, 1}, 0);
    context.strokePath();
}

int worstChannel(const Bitmap& a, const Bitmap& b, std::string& where) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int shift = 0; shift < 32; shift += 8) {
                const int d = std::abs(int((a.pixel(x, y) >> shift) & 0xFF) - int((b.pixel(x, y) >> shift) & 0xFF));
                if (d > worst) {
                    worst = d;
                    where = std::to_string(x) + "," + std::to_string(y);
                }
            }
    return worst;
}

// The picture `draw` makes by the mask's road is within a level of cairo's own road, and the
// same to the bit in 3 and 7 bands.
void expectCairosPixelsInAnyBands(const Grid& grid, void (*draw)(GraphicsContext&, const Grid&, bool byCairo)) {
    auto fast = Bitmap::create(grid.width, grid.height), cairo = Bitmap::create(grid.width, grid.height);
    {
        GraphicsContext context(*fast);
        draw(context, grid, false);
    }
    {
        GraphicsContext context(*cairo);
        draw(context, grid, true);
    }
    std::string where;
    EXPECT_LE(worstChannel(*fast, *cairo, where), 1) << grid.what << " at " << where;
    EXPECT_NE(fast->pixel(grid.width / 2, grid.height / 2), 0u) << grid.what;
    for (const int bands : {3, 7}) {
        auto banded = Bitmap::create(grid.width, grid.height);
        std::vector<BandRows> rows;
        for (int band = 0; band < bands; ++band) {
            const int top = grid.height * band / bands, bottom = grid.height * (band + 1) / bands;
            rows.push_back({top, bottom, std::max(0, top - BAND_OVERLAP_ROWS), std::min(grid.height, bottom + BAND_OVERLAP_ROWS)});
        }
        ASSERT_TRUE(drawInBands(*banded, rows, [&](const auto& context, const BandRows&) { draw(*context, grid, false); }));
        EXPECT_EQ(worstChannel(*fast, *banded, where), 0) << grid.what << " in " << bands << " bands at " << where;
    }
}

TEST(LinesAcross, LinesAcrossThePictureKeepCairosPixelsWithinALevel) {
    const Color white{1, 1, 1, 1}, dark{8 / 255.0, 8 / 255.0, 8 / 255.0, 1};
    const Grid grids[] = {
        {"2 px apart, on whole pixels", 1000, 900, 1, 2, 0.5, 0, {0, 0, 0, 0.07}, white},
        {"1.9 px apart at fractions", 1000, 900, 1, 1.9, 0.4, 0.3, {0, 0, 0, 0.18}, white},
        {"scaled by a quarter", 800, 1000, 0.25, 8, 0.5, 0.37, {0, 0, 0, 0.07}, white},
        {"scaled by three, white on dark", 1200, 900, 3, 3.7795275590551185, 0.7, 0, {1, 1, 1, 0.18}, dark},
        {"opaque and wide", 900, 900, 1, 3.3, 1.5, 0.6, {0.1, 0.4, 0.8, 1}, white},
        {"wider than apart", 700, 600, 1, 2.2, 2.5, 0.1, {0, 0, 0, 0.04}, white},
    };
    for (const Grid& grid : grids) expectCairosPixelsInAnyBands(grid, drawLines);
}

void drawLattice(GraphicsContext& context, const Grid& grid, bool oneByOne) {
    context.setFillColor(grid.canvas);
    context.fillRect({0, 0, static_cast<double>(grid.width), static_cast<double>(grid.height)});
    context.scaleCTM(grid.scale, grid.scale);
    std::vector<double> xs, ys;
    for (double x = grid.offset; x < grid.width / grid.scale + grid.spacing; x += grid.spacing) xs.push_back(x);
    for (double y = grid.offset; y < grid.height / grid.scale + grid.spacing; y += grid.spacing) ys.push_back(y);
    context.setFillColor(grid.ink);
    const double half = grid.lineWidth / 2;
    if (!oneByOne) return context.fillRectLattice(xs, ys, half, half);
    std::vector<Rect> rects;
    for (const double x : xs)
        for (const double y : ys) rects.push_back({x - half, y - half, 2 * half, 2 * half});
    context.fillRects(rects);
}

TEST(LinesAcross, ALatticeOfRectanglesKeepsCairosPixelsWithinALevel) {
    const Color white{1, 1, 1, 1}, dark{8 / 255.0, 8 / 255.0, 8 / 255.0, 1};
    const Grid lattices[] = {
        {"0.4 px squares 2 px apart on pixel corners", 600, 620, 1, 2, 0.4, 0, {0, 0, 0, 0.12}, white},
        {"0.4 px squares inside pixels", 600, 620, 1, 2, 0.4, 0.5, {0, 0, 0, 0.12}, white},
        {"scaled by a quarter, white on dark", 640, 600, 0.25, 8, 1.6, 0.37, {1, 1, 1, 0.12}, dark},
        {"overlapping, opaque", 620, 600, 1, 2.2, 2.5, 0.1, {0.1, 0.4, 0.8, 1}, white},
        {"1.3 px squares at fractions", 700, 600, 1, 2.3, 1.3, 0.77, {0, 0, 0, 0.5}, white},
    };
    for (const Grid& grid : lattices) expectCairosPixelsInAnyBands(grid, drawLattice);
}

}  // namespace
}  // namespace dv::gfx
