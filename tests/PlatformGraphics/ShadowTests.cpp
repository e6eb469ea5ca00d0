// Shadows drawn where only part of them can show must give the pixels of the whole shadow.

#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/detail/BoxBlur.hpp"
#include "Platform/Graphics/detail/ShadowMaskCache.hpp"

#include "tests/support/SamePicture.hpp"
#include "tests/support/TestSurface.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dv::gfx {
namespace {

using test::TestSurface;

// A three-box blur of a whole plane, kept in floating point between passes.
std::vector<double> referenceBlur(const std::vector<double>& plane, int width, int height, int box) {
    const int h = box / 2;
    const int reach[3][2] = {{h, box % 2 ? h : h - 1}, {box % 2 ? h : h - 1, h}, {h, h}};
    std::vector<double> a = plane, b(plane.size());
    for (int axis = 0; axis < 2; ++axis) {
        const int lines = axis == 0 ? height : width, length = axis == 0 ? width : height;
        auto at = [&](std::vector<double>& v, int line, int i) -> double& {
            return axis == 0 ? v[line * width + i] : v[i * width + line];
        };
        for (const auto& r : reach) {
            for (int line = 0; line < lines; ++line) {
                // Sums of whole numbers, so a running sum is exact.
                std::vector<double> prefix(static_cast<std::size_t>(length) + 1, 0);
                for (int i = 0; i < length; ++i) prefix[i + 1] = prefix[i] + at(a, line, i);
                for (int i = 0; i < length; ++i) {
                    const int lo = std::max(0, i - r[0]), hi = std::min(length, i + r[1] + 1);
                    at(b, line, i) = std::round((prefix[hi] - prefix[lo]) / (r[0] + r[1] + 1));
                }
            }
            std::swap(a, b);
        }
    }
    return a;
}

TEST(ShadowBlur, AnyOutputWindowMatchesTheWholePlane) {
    // A plane with room for the blur's spread on every side; the source is a ragged blob.
    constexpr int W = 90, H = 70;
    const detail::PixelWindow source{30, 25, 52, 41};
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(source.width() * source.height()));
    std::vector<double> plane(W * H, 0);
    for (int y = source.y0; y < source.y1; ++y)
        for (int x = source.x0; x < source.x1; ++x) {
            const auto v = static_cast<std::uint8_t>((x * 37 + y * 101) % 7 == 0 ? 0 : (x * 13 + y * 29) % 256);
            pixels[(y - source.y0) * source.width() + (x - source.x0)] = v;
            plane[y * W + x] = v;
        }
    const detail::AlphaPlane src{pixels.data(), source.width(), source};
    for (const double sigma : {0.4, 1.0, 2.0, 3.3, 5.0}) {
        const int box = detail::boxSizeForSigma(sigma);
        const auto whole = box < 2 ? plane : referenceBlur(plane, W, H, box);
        struct Case { const char* what; detail::PixelWindow out; };
        const Case cases[] = {
            {"everything", {0, 0, W, H}},
            {"inside the source", {35, 30, 45, 36}},
            {"across one corner", {45, 0, W, 33}},
            {"beside the source", {55, 20, 70, 45}},
            {"one pixel", {29, 24, 30, 25}},
        };
        for (const auto& c : cases) {
            std::vector<std::uint8_t> out(static_cast<std::size_t>(c.out.width() * c.out.height()), 77);
            const bool inked = detail::gaussianBlurAlpha(src, out.data(), c.out.width(), c.out, sigma);
            int worst = 0;
            bool anyInk = false;
            for (int y = c.out.y0; y < c.out.y1; ++y)
                for (int x = c.out.x0; x < c.out.x1; ++x) {
                    const double expected = whole[y * W + x];
                    anyInk = anyInk || expected > 0;
                    const int got = inked ? out[(y - c.out.y0) * c.out.width() + (x - c.out.x0)] : 0;
                    worst = std::max(worst, static_cast<int>(std::abs(got - expected)));
                }
            EXPECT_LE(worst, 2) << c.what << ", sigma " << sigma;
            EXPECT_EQ(inked, anyInk) << c.what << ", sigma " << sigma;
        }
    }
}

TEST(ShadowBlur, AFaintShadowOfASmallShapeUnderAWideBlurIsNothing) {
    // Four opaque pixels spread over a box of 94 pixels each way average to 0 everywhere.
    const std::uint8_t dot[4] = {255, 255, 255, 255};
    const detail::AlphaPlane src{dot, 2, {100, 100, 102, 102}};
    std::vector<std::uint8_t> out(200 * 200, 9);
    EXPECT_FALSE(detail::gaussianBlurAlpha(src, out.data(), 200, {0, 0, 200, 200}, 50));
    EXPECT_EQ(out[0], 9) << "the output is left alone";
}

// The same shadowed shape drawn on a large picture that holds all of it and on a small one that
// sees a part: wherever the shadow shows, the small picture has the pixels of the large one,
// exactly. (Pixels of the shape itself are left out: cairo's anti-aliasing of an edge that
// leaves the picture depends on where the picture ends.)
TEST(ShadowBlur, APartOfThePictureShowsThePixelsOfTheWholeShadow) {
    struct Case {
        const char* what;
        double blur, offsetX, offsetY;
        int viewX, viewY;  // where the small picture's corner lies on the large one
        Rect shape;
    };
    const Case cases[] = {
        {"shape far inside the view", 12, 4, 4, 100, 100, {150, 140, 40, 30}},
        {"shape partly outside", 30, 4, 4, 160, 120, {130, 150, 80, 50}},
        {"only the shadow reaches in", 40, 6, 0, 250, 100, {170, 140, 40, 60}},
        {"fractional offset", 20, 3.5, -2.25, 140, 130, {120, 120, 70, 60}},
        // A blur this wide is computed on cells of 16 pixels, which the view moves by whole cells.
        {"blur wider than the view", 300, 4, 4, 160, 144, {100, 100, 120, 90}},
        {"no blur", 0, 10, 7, 150, 150, {120, 140, 40, 30}},
    };
    constexpr int big = 400, small = 90;
    for (const Case& c : cases) {
        auto paint = [&](GraphicsContext& g, double dx, double dy, bool shadow) {
            g.translateCTM(dx, dy);
            if (shadow) g.setShadow(c.offsetX, c.offsetY, c.blur, Color{0, 0, 0.5, 0.8});
            g.setFillColor(Color{1, 0.5, 0, 1});
            const Rect& r = c.shape;
            g.moveTo(r.x + r.width * 0.3, r.y);
            g.addLineTo(r.x + r.width, r.y + r.height * 0.2);
            g.addLineTo(r.x + r.width * 0.8, r.y + r.height);
            g.addLineTo(r.x, r.y + r.height * 0.7);
            g.closePath();
            g.fillPath(FillRule::winding);
        };
        TestSurface whole(big, big), shape(big, big), part(small, small);
        GraphicsContext gw(whole.get()), gs(shape.get()), gp(part.get());
        paint(gw, 0, 0, true);
        paint(gs, 0, 0, false);
        paint(gp, -c.viewX, -c.viewY, true);
        int differing = 0, shadowed = 0;
        for (int y = 0; y < small; ++y)
            for (int x = 0; x < small; ++x) {
                if (shape.alpha(x + c.viewX, y + c.viewY) > 0) continue;
                const auto a = part.at(x, y), b = whole.at(x + c.viewX, y + c.viewY);
                differing += a.r != b.r || a.g != b.g || a.b != b.b || a.a != b.a;
                shadowed += b.a > 0;
            }
        EXPECT_EQ(differing, 0) << c.what;
        EXPECT_GT(shadowed, 100) << c.what << ": the view shows the shadow";
    }
}

// A plane of w × h pixels at (x, y) holding a ragged blob, or only its outline.
struct Blob {
    detail::PixelWindow at;
    std::vector<std::uint8_t> pixels;
    detail::AlphaPlane plane() const { return {pixels.data(), at.width(), at}; }
};

Blob blob(int x, int y, int w, int h, bool outline, int seed = 0) {
    Blob b{{x, y, x + w, y + h}, std::vector<std::uint8_t>(static_cast<std::size_t>(w * h))};
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const bool edge = i == 0 || j == 0 || i == w - 1 || j == h - 1;
            if (outline && !edge) continue;
            b.pixels[static_cast<std::size_t>(j * w + i)] =
                static_cast<std::uint8_t>(outline ? 60 + (i + j + seed) % 40 : (i * 13 + j * 29 + seed) % 256);
        }
    return b;
}

// A shape for wide shadows: a wide dashed outline of a quadrilateral, filled when asked (each
// casting a shadow of its own).
void paintWideShape(GraphicsContext& g, const Rect& r, double strokeWidth, bool filled = false) {
    g.beginPath();
    g.moveTo(r.x + r.width * 0.3, r.y);
    g.addLineTo(r.x + r.width, r.y + r.height * 0.2);
    g.addLineTo(r.x + r.width * 0.8, r.y + r.height);
    g.addLineTo(r.x, r.y + r.height * 0.7);
    g.closePath();
    if (filled) {
        g.setFillColor(Color{0.9, 0.6, 0.1, 1});
        g.fillPath(FillRule::winding);
    }
    const double dash[] = {strokeWidth * 0.6, strokeWidth * 0.9};
    g.setLineDash(dash, 0);
    g.setLineWidth(strokeWidth);
    g.setStrokeColor(Color{0.2, 0.3, 0.8, 0.9});
    g.strokePath();
}

// Composes a shadow by hand as the context composes one: the shape's coverage over all the
// pixels its shadow can reach the picture from, blurred by `blur`, painted in the shadow's colour
// through it at the offset (resampled by cairo where the offset has a fraction), and the shape
// drawn over it. With `cell` above 1 the coverage is drawn straight onto cells of that many
// pixels, as the context draws an outline for a blur on cells, and `blur` takes the cells.
using Blur = bool (*)(const detail::AlphaPlane&, std::uint8_t*, int, const detail::PixelWindow&, double);
void composeShadow(TestSurface& out, const std::function<void(GraphicsContext&)>& paint, double sigma, double offsetX,
                   double offsetY, const Color& shadow, Blur blur, int cell = 1) {
    const int side = out.width(), reach = static_cast<int>(std::ceil(3 * sigma)) + 1;
    const auto onCells = [cell](int v) { return static_cast<int>(std::floor(static_cast<double>(v) / cell)); };
    const detail::PixelWindow cells{onCells(-reach - 40), onCells(-reach - 40), onCells(side + reach + 40) + 1,
                                    onCells(side + reach + 40) + 1};
    const detail::PixelWindow plane{cells.x0 * cell, cells.y0 * cell, cells.x1 * cell, cells.y1 * cell};
    cairo_surface_t* coverage = cairo_image_surface_create(CAIRO_FORMAT_A8, cells.width(), cells.height());
    cairo_surface_set_device_scale(coverage, 1.0 / cell, 1.0 / cell);
    {
        GraphicsContext g(coverage);
        g.translateCTM(-plane.x0, -plane.y0);
        paint(g);
    }
    cairo_surface_flush(coverage);
    // The picture moved back by the offset, and a pixel more each way for a fractional one.
    const int castX = static_cast<int>(std::floor(-offsetX)) - 1, castY = static_cast<int>(std::floor(-offsetY)) - 1;
    const detail::PixelWindow cast{castX, castY, castX + side + 2, castY + side + 2};
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, cast.width(), cast.height());
    cairo_surface_flush(mask);
    const detail::AlphaPlane src{cairo_image_surface_get_data(coverage), cairo_image_surface_get_stride(coverage), cells};
    EXPECT_TRUE(blur(src, cairo_image_surface_get_data(mask), cairo_image_surface_get_stride(mask), cast, sigma));
    cairo_surface_mark_dirty(mask);
    cairo_t* cr = cairo_create(out.get());
    cairo_set_source_rgba(cr, shadow.red, shadow.green, shadow.blue, shadow.alpha);
    cairo_mask_surface(cr, mask, cast.x0 + offsetX, cast.y0 + offsetY);
    cairo_destroy(cr);
    {
        GraphicsContext g(out.get());
        paint(g);
    }
    cairo_surface_destroy(mask);
    cairo_surface_destroy(coverage);
}

// A shape drawn with a shadow on a picture of side × side against the shadow composed by hand
// from the exact blur of the shape's pixels: the shadow shows, and looks the same.
void expectTheShadowOfTheExactBlur(const std::function<void(GraphicsContext&)>& paint, double blur, double offsetX,
                                   double offsetY, const Color& shadow, const std::string& what, int side = 256) {
    TestSurface drawn(side, side), expected(side, side), unshadowed(side, side);
    {
        GraphicsContext g(drawn.get());
        g.setShadow(offsetX, offsetY, blur, shadow);
        paint(g);
    }
    composeShadow(expected, paint, detail::shadowSigma(blur), offsetX, offsetY, shadow, detail::exactGaussianBlurAlpha);
    {
        GraphicsContext g(unshadowed.get());
        paint(g);
    }
    int shadowed = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) shadowed += expected.alpha(x, y) != unshadowed.alpha(x, y);
    EXPECT_GT(shadowed, 1000) << what << ": the shadow shows";
    test::expectSamePicture(expected, drawn, what);
}

// Wide shadows drawn on cells against the exact blur they stand for, composed by hand the way
// the context composes a shadow: the shape's coverage blurred at full resolution, painted in the
// shadow's colour through it, and the shape drawn over it.
TEST(ShadowBlur, AWideShadowOnCellsLooksLikeTheExactBlur) {
    struct Case {
        const char* what;
        Rect shape;
        double offsetX, offsetY;
    };
    const Case cases[] = {
        {"inside the picture", {90, 100, 70, 50}, 5, 5},
        {"across the left and top edges", {-40, -20, 90, 70}, 6, -3},
        {"mostly beyond the bottom right corner", {230, 220, 120, 100}, -12, 4},
        {"wholly outside, its shadow reaching in", {-160, 60, 120, 90}, 40, 0},
        {"at a fraction of a pixel", {90, 100, 70, 50}, 2.5, -7.25},
        {"across an edge at a fraction across", {200, 60, 90, 70}, -0.75, 3},
    };
    constexpr int side = 256;
    const Color shadow{0.1, 0, 0.3, 0.8};
    for (const double blur : {50.0, 200.0, 1000.0}) {
        const double sigma = detail::shadowSigma(blur);
        ASSERT_GT(detail::blurCellSize(sigma), 1) << blur;
        for (const Case& c : cases) {
            const std::string what = std::string(c.what) + ", blur " + std::to_string(static_cast<int>(blur));
            const double strokeWidth = blur / 10;
            Rect shape = c.shape;
            if (shape.x + shape.width < 0) shape.x -= sigma;  // as far out as the blur allows
            expectTheShadowOfTheExactBlur([&](GraphicsContext& g) { paintWideShape(g, shape, strokeWidth); }, blur, c.offsetX,
                                          c.offsetY, shadow, what, side);
        }
    }
}

// Outlines of every kind the context draws onto cells (fills of curves, of rectangles and of long
// polygons thinned before cairo sees them, wide strokes turned into outlines, dashed strokes),
// turned, at fractions of a pixel and partly outside the picture: each shadow looks like the
// exact blur of the outline's pixels at full resolution.
TEST(ShadowBlur, OutlinesDrawnOntoCellsLookLikeTheExactBlurOfTheirPixels) {
    // A star of 4,400 edges: enough for the thinned fills.
    auto star = [](GraphicsContext& g, double cx, double cy, double r) {
        g.beginPath();
        for (int i = 0; i < 4400; ++i) {
            const double angle = i * 6.283185307179586 / 4400, radius = r * (i % 2 ? 0.55 : 1.0);
            const double x = cx + radius * std::cos(angle), y = cy + radius * std::sin(angle);
            if (i == 0) g.moveTo(x, y);
            else g.addLineTo(x, y);
        }
        g.closePath();
        g.setFillColor(Color{0.3, 0.6, 0.2, 1});
        g.fillPath(FillRule::winding);
    };
    struct Case {
        const char* what;
        std::function<void(GraphicsContext&, double blur)> paint;
        double offsetX, offsetY;
    };
    const auto turned = [](GraphicsContext& g, double cx, double cy, double angle) {
        const double c = std::cos(angle), s = std::sin(angle);
        g.concatCTM({c, s, -s, c, cx - c * cx + s * cy, cy - s * cx - c * cy});
    };
    const Case cases[] = {
        {"a turned ellipse at fractions of a pixel",
         [&](GraphicsContext& g, double) {
             turned(g, 128.3, 120.6, 0.5);
             g.beginPath();
             g.addEllipseInRect({70.4, 90.7, 115.5, 60.25});
             g.setFillColor(Color{0.9, 0.6, 0.1, 1});
             g.fillPath(FillRule::winding);
         },
         3.25, -6.5},
        {"a turned rectangle across the top edge",
         [&](GraphicsContext& g, double) {
             turned(g, 60, 10, -0.3);
             g.setFillColor(Color{0.2, 0.2, 0.8, 1});
             g.fillRect({20.5, -30.25, 110, 70});
         },
         -0.75, 4},
        {"a wide round stroke partly outside",
         [&](GraphicsContext& g, double blur) {
             turned(g, 200, 180, 0.8);
             g.beginPath();
             g.moveTo(150.5, 160.25);
             g.addLineTo(290, 210);
             g.addQuadCurveTo(320, 300, 210, 290.5);
             g.setLineWidth(std::fmin(blur / 5, 80));
             g.setLineCap(LineCap::round);
             g.setLineJoin(LineJoin::round);
             g.setStrokeColor(Color{0.5, 0.1, 0.4, 0.9});
             g.strokePath();
         },
         0.5, 2.75},
        {"a long polygon over the left edge", [&](GraphicsContext& g, double) { star(g, 10.5, 140.25, 90); }, 7, -3.5},
        {"a dashed outline, turned",
         [&](GraphicsContext& g, double blur) {
             turned(g, 130, 130, 1.1);
             paintWideShape(g, {80.25, 90.5, 110, 80}, blur / 10);
         },
         -5.125, 0},
    };
    for (const Case& c : cases) {
        for (const double blur : {50.0, 200.0, 1000.0}) {
            ASSERT_GT(detail::blurCellSize(detail::shadowSigma(blur)), 1) << blur;
            const std::string what = std::string(c.what) + ", blur " + std::to_string(static_cast<int>(blur));
            const auto paint = [&](GraphicsContext& g) {
                g.saveGState();
                c.paint(g, blur);
                g.restoreGState();
            };
            expectTheShadowOfTheExactBlur(paint, blur, c.offsetX, c.offsetY, {0.25, 0.05, 0.1, 0.7}, what);
        }
    }
}

// An outline drawn onto cells of k pixels covers them as the average of its pixels drawn at full
// resolution does: the same ink in all (curves are flattened as finely in the picture's pixels),
// and lying where it does, not half a pixel or a cell off.
TEST(ShadowBlur, AnOutlineDrawnOntoCellsCoversEachByTheAverageOfItsPixels) {
    constexpr int side = 256;
    const auto paint = [](GraphicsContext& g) {
        g.beginPath();
        g.addEllipseInRect({37.3, 21.6, 150.5, 97.25});
        g.setFillColor(Color{0, 0, 0, 1});
        g.fillPath(FillRule::winding);
        g.beginPath();
        g.moveTo(20.5, 200.25);
        g.addLineTo(230, 140.5);
        g.setLineWidth(17);
        g.setStrokeColor(Color{0, 0, 0, 0.8});
        g.strokePath();
    };
    cairo_surface_t* pixels = cairo_image_surface_create(CAIRO_FORMAT_A8, side, side);
    {
        GraphicsContext g(pixels);
        paint(g);
    }
    cairo_surface_flush(pixels);
    const detail::AlphaPlane plane{cairo_image_surface_get_data(pixels), cairo_image_surface_get_stride(pixels), {0, 0, side, side}};
    for (const double sigma : {25.0, 100.0, 500.0}) {
        const int k = detail::blurCellSize(sigma);
        ASSERT_GT(k, 1) << sigma;
        const detail::PixelWindow cells = detail::blurCellsHolding(plane.window, sigma);
        const std::vector<std::uint8_t> averaged = detail::averagedCells(plane, cells, sigma);
        cairo_surface_t* onCells = cairo_image_surface_create(CAIRO_FORMAT_A8, cells.width(), cells.height());
        cairo_surface_set_device_scale(onCells, 1.0 / k, 1.0 / k);
        {
            GraphicsContext g(onCells);
            paint(g);
        }
        cairo_surface_flush(onCells);
        const std::uint8_t* drawn = cairo_image_surface_get_data(onCells);
        const int stride = cairo_image_surface_get_stride(onCells);
        // The mass of each, and where its middle lies, in pixels.
        double mass[2] = {0, 0}, atX[2] = {0, 0}, atY[2] = {0, 0};
        for (int y = 0; y < cells.height(); ++y)
            for (int x = 0; x < cells.width(); ++x) {
                const double v[2] = {static_cast<double>(drawn[y * stride + x]),
                                     static_cast<double>(averaged[static_cast<std::size_t>(y * cells.width() + x)])};
                for (int i = 0; i < 2; ++i) {
                    mass[i] += v[i];
                    atX[i] += v[i] * ((cells.x0 + x + 0.5) * k);
                    atY[i] += v[i] * ((cells.y0 + y + 0.5) * k);
                }
            }
        ASSERT_GT(mass[1], 0);
        EXPECT_NEAR(mass[0], mass[1], mass[1] / 100) << "cells of " << k;
        // cairo samples a cell's rows at 15 heights: finer cells lie closer.
        EXPECT_NEAR(atX[0] / mass[0], atX[1] / mass[1], 0.1 + k / 100.0) << "cells of " << k;
        EXPECT_NEAR(atY[0] / mass[0], atY[1] / mass[1], 0.1 + k / 100.0) << "cells of " << k;
        cairo_surface_destroy(onCells);
    }
    cairo_surface_destroy(pixels);
}

// Images keep their pixels for their shadows: a board of one-pixel squares, half of them clear,
// drawn without smoothing, casts the shadow of half its coverage everywhere, which a point taken
// from each cell would miss (each would be clear or opaque).
TEST(ShadowBlur, AnImageCastsTheShadowOfItsPixels) {
    constexpr int side = 200, board = 96;
    std::vector<std::uint8_t> pixels(board * board * 4, 0);
    for (int y = 0; y < board; ++y)
        for (int x = 0; x < board; ++x)
            if ((x + y) % 2 == 0)
                for (int c = 0; c < 4; ++c) pixels[static_cast<std::size_t>((y * board + x) * 4 + c)] = 255;
    const PixelView view{pixels.data(), board, board, board * 4};
    const auto paint = [&](GraphicsContext& g) {
        g.setInterpolationQuality(InterpolationQuality::none);
        g.drawImage(view, {52, 40, board, board});
    };
    const Color shadow{0, 0, 0, 1};
    for (const double blur : {64.0, 400.0}) {
        const double sigma = detail::shadowSigma(blur);
        ASSERT_GT(detail::blurCellSize(sigma), 1) << blur;
        TestSurface drawn(side, side), expected(side, side);
        {
            GraphicsContext g(drawn.get());
            g.setShadow(4, 4, blur, shadow);
            paint(g);
        }
        composeShadow(expected, paint, sigma, 4, 4, shadow, detail::exactGaussianBlurAlpha);
        test::expectSamePicture(expected, drawn, "blur " + std::to_string(static_cast<int>(blur)));
    }
}

// A wide shadow at a fraction of a pixel is moved by the fraction before it is drawn; its pixels
// are those of the same mask drawn at the fraction and resampled by cairo, within a level or two
// (a pixel off would be several on these edges).
TEST(ShadowBlur, AWideShadowAtAFractionOfAPixelIsItsMaskResampled) {
    constexpr int side = 200;
    const Color shadow{0, 0, 0, 1};
    auto paint = [](GraphicsContext& g) {
        g.setFillColor(Color{0.9, 0.6, 0.1, 1});
        g.fillRect({70, 60, 50, 40});
    };
    struct Offset {
        double x, y;
    };
    for (const Offset o : {Offset{2.5, -7.25}, Offset{-0.75, 3}, Offset{0.5, 0}, Offset{0, -12.125}}) {
        const std::string what = std::to_string(o.x) + ", " + std::to_string(o.y);
        TestSurface drawn(side, side), expected(side, side);
        {
            GraphicsContext g(drawn.get());
            g.setShadow(o.x, o.y, 50, shadow);
            paint(g);
        }
        composeShadow(expected, paint, detail::shadowSigma(50), o.x, o.y, shadow, detail::gaussianBlurAlpha);
        EXPECT_LE(test::compare(expected, drawn).worst, 2) << what;
    }
    // Moved in place: each pixel the four about it, weighted by the fractions.
    std::vector<std::uint8_t> plane(7 * 5);
    for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<std::uint8_t>(i * 37 % 256);
    const std::vector<std::uint8_t> before = plane;
    detail::moveByFraction(plane.data(), 7, 7, 5, 0.25, 0.5);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            auto at = [&](int i, int j) { return static_cast<double>(before[static_cast<std::size_t>(j * 7 + i)]); };
            const double expected = 0.5 * (0.25 * at(x, y) + 0.75 * at(x + 1, y)) + 0.5 * (0.25 * at(x, y + 1) + 0.75 * at(x + 1, y + 1));
            EXPECT_LE(std::abs(plane[static_cast<std::size_t>(y * 7 + x)] - expected), 0.51) << x << ", " << y;
        }
}

// A mask moved by a fraction of a pixel and laid at whole pixels gives the pixels of the mask
// laid at the fraction by cairo, to the bit, wherever the offset lies (fractions that cairo's
// fixed point rounds to a whole pixel, or to its last step, among them); the moved mask is a
// column and a row smaller, and the pixels it leaves out are kept out of both.
TEST(ShadowBlur, AMaskMovedByAFractionIsTheMaskCairoLaysThere) {
    constexpr int width = 37, height = 23, side = 64;
    std::mt19937 random(5);
    cairo_surface_t* plane = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
    const int stride = cairo_image_surface_get_stride(plane);
    std::vector<std::uint8_t> levels(static_cast<std::size_t>(stride) * height);
    for (std::uint8_t& v : levels) v = static_cast<std::uint8_t>(random() % 256);
    for (const double at : {10.25, 10.5, 7.3, 12.999, 9.0000001, 11.99999999, 8.0 + 1.0 / 131072, 10.0 + 3.0 / 131072,
                            10.0 + 1.0 / 512, 10.0 + 1.5 / 512, 11.0 - 1.0 / 512, 11.0 - 1.5 / 512, 6.0 + 3.0 / 512}) {
        for (const bool across : {true, false}) {
            const double atX = at, atY = across ? 9.0 : at - 0.618;
            const std::string what = std::to_string(atX) + ", " + std::to_string(atY);
            TestSurface expected(side, side), actual(side, side);
            for (TestSurface* t : {&expected, &actual}) {
                cairo_t* cr = cairo_create(t->get());
                cairo_set_source_rgba(cr, 0.1, 0.5, 0.3, 0.7);
                cairo_paint(cr);
                cairo_destroy(cr);
            }
            const auto [placeX, placeY] = detail::maskSamplingPlace(atX, atY);
            const double fx = placeX - std::floor(placeX), fy = placeY - std::floor(placeY);
            const int sx = fx > 0, sy = fy > 0;
            // The pixels the move leaves out: a column and a row before and after the mask.
            const int x0 = static_cast<int>(std::floor(placeX)) + sx, y0 = static_cast<int>(std::floor(placeY)) + sy;
            const int x1 = static_cast<int>(std::floor(placeX)) + width, y1 = static_cast<int>(std::floor(placeY)) + height;
            auto lay = [&](TestSurface& onto, cairo_surface_t* mask, double x, double y) {
                cairo_t* cr = cairo_create(onto.get());
                cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
                cairo_clip(cr);
                cairo_set_source_rgba(cr, 0.8, 0.2, 0.4, 0.9);
                cairo_mask_surface(cr, mask, x, y);
                cairo_destroy(cr);
            };
            std::vector<std::uint8_t> moved = levels;
            cairo_surface_flush(plane);
            std::copy(levels.begin(), levels.end(), cairo_image_surface_get_data(plane));
            cairo_surface_mark_dirty(plane);
            lay(expected, plane, atX, atY);
            detail::moveByFraction(moved.data(), stride, width, height, fx, fy);
            cairo_surface_t* placed =
                cairo_image_surface_create_for_data(moved.data(), CAIRO_FORMAT_A8, width - sx, height - sy, stride);
            lay(actual, placed, x0, y0);
            cairo_surface_destroy(placed);
            EXPECT_EQ(test::compare(expected, actual).worst, 0) << what;
        }
    }
    cairo_surface_destroy(plane);
}

// A mask level at or below the faint level of a colour changes no pixel it is laid over, for
// colours of every alpha over pixels of every kind; a level or two above it does.
TEST(ShadowBlur, AFaintMaskLevelChangesNoPixel) {
    const Color under[] = {{1, 1, 1, 1}, {0, 0, 0, 1}, {0.5, 0.2, 0.9, 1}, {0.3, 0.7, 0.1, 0.4}, {0, 0, 0, 0}};
    for (const double alpha : {0.0, 0.002, 0.0039, 0.1, 0.35, 0.5, 0.998, 1.0}) {
        const int faint = detail::faintMaskLevel(alpha);
        const int top = std::min(faint + 3, 255);
        TestSurface before(top + 1, 5), after(top + 1, 5);
        for (TestSurface* t : {&before, &after}) {
            cairo_t* cr = cairo_create(t->get());
            for (int y = 0; y < 5; ++y) {
                cairo_set_source_rgba(cr, under[y].red, under[y].green, under[y].blue, under[y].alpha);
                cairo_rectangle(cr, 0, y, top + 1, 1);
                cairo_fill(cr);
            }
            cairo_destroy(cr);
        }
        // Column m is laid over with a mask of level m.
        cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, top + 1, 5);
        cairo_surface_flush(mask);
        for (int y = 0; y < 5; ++y)
            for (int m = 0; m <= top; ++m)
                cairo_image_surface_get_data(mask)[y * cairo_image_surface_get_stride(mask) + m] = static_cast<std::uint8_t>(m);
        cairo_surface_mark_dirty(mask);
        cairo_t* cr = cairo_create(after.get());
        cairo_set_source_rgba(cr, 0.2, 0.1, 0.6, alpha);
        cairo_mask_surface(cr, mask, 0, 0);
        cairo_destroy(cr);
        cairo_surface_destroy(mask);
        bool changedAbove = alpha < 0.01;  // below that the colour has no alpha in 8 bits
        for (int y = 0; y < 5; ++y)
            for (int m = 0; m <= top; ++m) {
                const bool changed = before.at(m, y).r != after.at(m, y).r || before.at(m, y).g != after.at(m, y).g ||
                                     before.at(m, y).b != after.at(m, y).b || before.at(m, y).a != after.at(m, y).a;
                if (m <= faint) {
                    EXPECT_FALSE(changed) << "alpha " << alpha << ", level " << m << ", row " << y;
                }
                changedAbove = changedAbove || (changed && m > faint);
            }
        EXPECT_TRUE(changedAbove || top == 255) << "alpha " << alpha << ": the level is not far below what shows";
    }
    EXPECT_EQ(detail::faintMaskLevel(std::nan("")), 0);
}

// A shadow is laid only where its mask can change a pixel, and not at all when a bound shows
// the whole mask faint: the picture is the one the whole mask gives, to the bit. The thin
// outlines cast shadows whose masks ink, yet too faintly to show in a pale colour.
TEST(ShadowBlur, AShadowIsLaidOnlyWhereItShows) {
    struct Case {
        const char* what;
        Rect shape;
        double strokeWidth;
        bool filled;
        double blur, offsetX, offsetY;
        Color shadow;
        bool shows;
    };
    const Case cases[] = {
        {"a filled shape fading well inside the picture", {100, 90, 50, 40}, 2, true, 40, 4, 3, {0, 0, 0, 0.35}, true},
        {"a filled shape across the picture's corner", {-30, -20, 80, 60}, 3, true, 120, -6, 5, {0.2, 0, 0.4, 0.6}, true},
        {"a thin outline under a wide blur", {20, 30, 200, 150}, 2, false, 400, 5, 5, {0, 0, 0, 0.35}, false},
        {"a thin outline in a faint colour", {60, 40, 120, 100}, 1, false, 200, -3, 0, {0, 0, 0, 0.05}, false},
        {"the same outline in a solid colour", {60, 40, 120, 100}, 1, false, 200, -3, 0, {0, 0, 0, 1}, true},
    };
    constexpr int side = 256;
    for (const Case& c : cases) {
        auto paint = [&](GraphicsContext& g) {
            g.beginPath();
            g.addEllipseInRect(c.shape);
            if (c.filled) {
                g.setFillColor(Color{0.9, 0.6, 0.1, 1});
                g.fillPath(FillRule::winding);
            }
            g.setLineWidth(c.strokeWidth);
            g.setStrokeColor(Color{0.2, 0.3, 0.8, 0.9});
            g.strokePath();
        };
        // On a pale ground: cairo draws the first ink on a clear surface with other rounding.
        TestSurface drawn(side, side), expected(side, side), unshadowed(side, side);
        for (TestSurface* t : {&drawn, &expected, &unshadowed}) {
            cairo_t* cr = cairo_create(t->get());
            cairo_set_source_rgba(cr, 0.95, 0.9, 0.8, 0.7);
            cairo_paint(cr);
            cairo_destroy(cr);
        }
        {
            GraphicsContext g(drawn.get());
            g.setShadow(c.offsetX, c.offsetY, c.blur, c.shadow);
            paint(g);
        }
        {
            GraphicsContext g(unshadowed.get());
            paint(g);
        }
        // Shape by shape, each shadow laid whole under the shape, as the context lays it.
        {
            const double sigma = detail::shadowSigma(c.blur);
            const auto layer = [&](bool fill) {
                composeShadow(expected, [&](GraphicsContext& g) {
                    g.beginPath();
                    g.addEllipseInRect(c.shape);
                    if (fill) {
                        g.setFillColor(Color{0.9, 0.6, 0.1, 1});
                        g.fillPath(FillRule::winding);
                    } else {
                        g.setLineWidth(c.strokeWidth);
                        g.setStrokeColor(Color{0.2, 0.3, 0.8, 0.9});
                        g.strokePath();
                    }
                }, sigma, c.offsetX, c.offsetY, c.shadow, detail::gaussianBlurCells, detail::blurCellSize(sigma));
            };
            if (c.filled) layer(true);
            layer(false);
        }
        EXPECT_TRUE(expected.samePixels(drawn)) << c.what << ": worst " << test::compare(expected, drawn).worst;
        EXPECT_EQ(!unshadowed.samePixels(drawn), c.shows) << c.what;
    }
    // The window above a level, in the plane's own coordinates.
    std::vector<std::uint8_t> plane(8 * 6, 1);
    plane[2 * 8 + 3] = 5;
    plane[4 * 8 + 6] = 2;
    const detail::PixelWindow w = detail::above(plane.data(), 8, 8, 6, 1);
    EXPECT_EQ(w.x0, 3);
    EXPECT_EQ(w.y0, 2);
    EXPECT_EQ(w.x1, 7);
    EXPECT_EQ(w.y1, 5);
    EXPECT_TRUE(detail::above(plane.data(), 8, 8, 6, 5).isEmpty());
    EXPECT_FALSE(detail::above(plane.data(), 8, 8, 6, 0).isEmpty());
}

// A shadow under a clip of whole pixels is laid within the clip only, with the pixels of the
// shadow laid without it; under a clip with edges within pixels it is laid by cairo, which
// lays the clip's edges partly.
TEST(ShadowBlur, AShadowUnderAClipIsLaidWithinIt) {
    constexpr int side = 200;
    const Color shadow{0.2, 0, 0.4, 0.7};
    auto paint = [](GraphicsContext& g) {
        g.beginPath();
        g.addEllipseInRect({60.5, 50.25, 80, 70});
        g.setFillColor(Color{0.9, 0.6, 0.1, 1});
        g.fillPath(FillRule::winding);
    };
    auto ground = [](TestSurface& t) {
        cairo_t* cr = cairo_create(t.get());
        cairo_set_source_rgba(cr, 0.95, 0.9, 0.8, 0.7);
        cairo_paint(cr);
        cairo_destroy(cr);
    };
    for (const double blur : {20.0, 200.0}) {
        TestSurface whole(side, side);
        ground(whole);
        composeShadow(whole, paint, detail::shadowSigma(blur), 3, 4, shadow,
                      detail::blurCellSize(detail::shadowSigma(blur)) > 1 ? detail::gaussianBlurCells : detail::gaussianBlurAlpha,
                      detail::blurCellSize(detail::shadowSigma(blur)));
        for (const Rect clip : {Rect{30, 40, 120, 90}, Rect{30.5, 40.25, 120, 90}}) {
            const std::string what = "blur " + std::to_string(static_cast<int>(blur)) + ", clip at " + std::to_string(clip.x);
            TestSurface clipped(side, side);
            ground(clipped);
            {
                GraphicsContext g(clipped.get());
                g.clipToRect(clip);
                g.setShadow(3, 4, blur, shadow);
                paint(g);
            }
            TestSurface bare(side, side);
            ground(bare);
            int inside = 0, differing = 0, outsideChanged = 0;
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x) {
                    const auto a = clipped.at(x, y), b = whole.at(x, y), o = bare.at(x, y);
                    const bool same = a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
                    if (x >= std::ceil(clip.x) && x + 1 <= std::floor(clip.x + clip.width) && y >= std::ceil(clip.y) &&
                        y + 1 <= std::floor(clip.y + clip.height)) {
                        ++inside;
                        differing += !same;
                    } else if (x + 1 < clip.x || x > clip.x + clip.width || y + 1 < clip.y || y > clip.y + clip.height) {
                        outsideChanged += a.r != o.r || a.g != o.g || a.b != o.b || a.a != o.a;
                    }
                }
            EXPECT_GT(inside, 9000) << what;
            EXPECT_EQ(differing, 0) << what;
            EXPECT_EQ(outsideChanged, 0) << what;
        }
    }
}

// Pixels of a blur on cells computed for any window, or from a source cut anywhere beyond the
// blur's reach, are those computed for the whole plane, to the bit: a picture drawn in bands,
// each clipped to its rows, is the picture drawn at once.
TEST(ShadowBlur, ABlurOnCellsGivesEachPixelWhateverWindowItIsComputedFor) {
    const Blob source = blob(-37, 21, 150, 95, false, 3);
    std::mt19937 rng(11);
    for (const double sigma : {25.0, 100.0, 500.0}) {
        ASSERT_GT(detail::blurCellSize(sigma), 1) << sigma;
        const detail::PixelWindow whole = detail::blurSupport(source.at, sigma);
        const auto size = static_cast<std::size_t>(whole.width()) * static_cast<std::size_t>(whole.height());
        std::vector<std::uint8_t> all(size, 0);
        ASSERT_TRUE(detail::gaussianBlurAlpha(source.plane(), all.data(), whole.width(), whole, sigma));
        for (int round = 0; round < 30; ++round) {
            const int x0 = whole.x0 + static_cast<int>(rng() % static_cast<unsigned>(whole.width() - 1));
            const int y0 = whole.y0 + static_cast<int>(rng() % static_cast<unsigned>(whole.height() - 1));
            const detail::PixelWindow out{x0, y0, std::min(whole.x1, x0 + 1 + static_cast<int>(rng() % 300)),
                                          std::min(whole.y1, y0 + 1 + static_cast<int>(rng() % 300))};
            // The source cut to what can reach the window, at any pixel, as a clipped shadow draws it.
            const int reach = static_cast<int>(std::ceil(3 * sigma)) + 1 + static_cast<int>(rng() % 20);
            const detail::PixelWindow cut{std::max(source.at.x0, out.x0 - reach), std::max(source.at.y0, out.y0 - reach),
                                          std::min(source.at.x1, out.x1 + reach), std::min(source.at.y1, out.y1 + reach)};
            if (cut.isEmpty()) continue;
            const detail::AlphaPlane part{source.pixels.data() + (cut.y0 - source.at.y0) * source.at.width() + (cut.x0 - source.at.x0),
                                          source.at.width(), cut};
            std::vector<std::uint8_t> got(static_cast<std::size_t>(out.width() * out.height()), 0);
            const bool inked = detail::gaussianBlurAlpha(part, got.data(), out.width(), out, sigma);
            int differing = 0;
            bool anyInk = false;
            for (int y = out.y0; y < out.y1; ++y)
                for (int x = out.x0; x < out.x1; ++x) {
                    const std::uint8_t expected = all[static_cast<std::size_t>(y - whole.y0) * static_cast<std::size_t>(whole.width()) +
                                                      static_cast<std::size_t>(x - whole.x0)];
                    anyInk = anyInk || expected != 0;
                    differing += (inked ? got[static_cast<std::size_t>((y - out.y0) * out.width() + (x - out.x0))] : 0) != expected;
                }
            EXPECT_EQ(differing, 0) << "sigma " << sigma << ", window " << out.x0 << "," << out.y0 << " " << out.width()
                                    << " x " << out.height();
            EXPECT_EQ(inked, anyInk) << "sigma " << sigma;
        }
        // Nothing is inked beyond the support it reports.
        const detail::PixelWindow beyond{whole.x1, whole.y0, whole.x1 + 64, whole.y1};
        std::vector<std::uint8_t> outside(static_cast<std::size_t>(beyond.width() * beyond.height()), 0);
        EXPECT_FALSE(detail::gaussianBlurAlpha(source.plane(), outside.data(), beyond.width(), beyond, sigma)) << sigma;
    }
}

// A plane known by its cells blurs to the pixels of the plane itself, to the bit, for any window,
// whether its cells are blurred for the window or blurred once over all they reach and the
// window interpolated from them.
TEST(ShadowBlur, ABlurOfCellsGivesThePixelsOfThePlaneTheyAverage) {
    std::mt19937 rng(5);
    for (const double sigma : {25.0, 100.0, 500.0}) {
        const int k = detail::blurCellSize(sigma);
        ASSERT_GT(k, 1) << sigma;
        const Blob source = blob(-37 + k / 2, 21 + 3, 150, 95, false, 9);
        const detail::PixelWindow cells = detail::blurCellsHolding(source.at, sigma);
        EXPECT_EQ(cells.x0, static_cast<int>(std::floor(source.at.x0 / static_cast<double>(k))));
        EXPECT_EQ(cells.x1 * k - k < source.at.x1 && source.at.x1 <= cells.x1 * k, true) << sigma;
        const std::vector<std::uint8_t> averaged = detail::averagedCells(source.plane(), cells, sigma);
        const detail::AlphaPlane onCells{averaged.data(), cells.width(), cells};
        std::vector<std::uint8_t> blurred;
        detail::PixelWindow reached;
        ASSERT_TRUE(detail::blurOnCells(onCells, sigma, blurred, reached)) << sigma;
        const detail::AlphaPlane kept{blurred.data(), reached.width(), reached};
        const detail::PixelWindow support = detail::blurSupport(source.at, sigma);
        for (int round = 0; round < 30; ++round) {
            // Windows anywhere about the support, some beyond it.
            const int x0 = support.x0 - 80 + static_cast<int>(rng() % static_cast<unsigned>(support.width() + 80));
            const int y0 = support.y0 - 80 + static_cast<int>(rng() % static_cast<unsigned>(support.height() + 80));
            const detail::PixelWindow out{x0, y0, x0 + 1 + static_cast<int>(rng() % 300), y0 + 1 + static_cast<int>(rng() % 200)};
            const auto size = static_cast<std::size_t>(out.width() * out.height());
            std::vector<std::uint8_t> fromPixels(size, 0), fromCells(size, 0), interpolated(size, 0);
            const bool a = detail::gaussianBlurAlpha(source.plane(), fromPixels.data(), out.width(), out, sigma);
            const bool b = detail::gaussianBlurCells(onCells, fromCells.data(), out.width(), out, sigma);
            const bool c = detail::interpolateCells(kept, interpolated.data(), out.width(), out, sigma);
            const bool inked = std::any_of(fromPixels.begin(), fromPixels.end(), [](std::uint8_t v) { return v != 0; });
            EXPECT_EQ(a, inked) << sigma;
            EXPECT_EQ(b, a) << sigma;
            EXPECT_EQ(c, a) << sigma;
            if (!a) continue;
            EXPECT_EQ(fromCells, fromPixels) << "sigma " << sigma << ", window " << out.x0 << "," << out.y0;
            EXPECT_EQ(interpolated, fromPixels) << "sigma " << sigma << ", window " << out.x0 << "," << out.y0;
        }
        // The blurred cells are every cell the blur inks: nothing beyond them.
        EXPECT_LE(reached.x0 * k, support.x0 + k) << sigma;
        EXPECT_GE(reached.x1 * k, support.x1 - k) << sigma;
        EXPECT_FALSE(detail::cellsBlurToNothing(onCells, sigma)) << sigma;
    }
    // A faint ring on cells fades to nothing, as it does in pixels.
    const double sigma = 500;
    const Blob ring = blob(0, 0, 240, 150, true);
    const detail::PixelWindow cells = detail::blurCellsHolding(ring.at, sigma);
    const std::vector<std::uint8_t> averaged = detail::averagedCells(ring.plane(), cells, sigma);
    EXPECT_TRUE(detail::cellsBlurToNothing({averaged.data(), cells.width(), cells}, sigma));
}

// The same on a picture: wide shadows drawn clipped to bands of rows, anywhere, show the pixels
// of the picture drawn at once.
TEST(ShadowBlur, WideShadowsDrawnInBandsGiveThePictureDrawnAtOnce) {
    constexpr int side = 300;
    const Rect shapes[] = {{70, 60, 90, 70}, {-50, 200, 120, 60}, {230, -30, 100, 90}};
    for (const double blur : {60.0, 200.0, 1000.0}) {
        auto paint = [&](GraphicsContext& g) {
            for (std::size_t i = 0; i < std::size(shapes); ++i) {
                g.setShadow(5 - 3.3 * static_cast<double>(i), 5 - 0.25 * static_cast<double>(i), blur, Color{0, 0, 0, 0.5});
                paintWideShape(g, shapes[i], 30, i != 1);
            }
        };
        TestSurface whole(side, side);
        {
            GraphicsContext g(whole.get());
            paint(g);
        }
        TestSurface banded(side, side);
        const int edges[] = {0, 37, 121, 122, 203, side};
        for (std::size_t b = 0; b + 1 < std::size(edges); ++b) {
            // Each band drawn a few rows beyond its own, as the banded drawing does, and only
            // its own rows kept.
            TestSurface band(side, side);
            {
                GraphicsContext g(band.get());
                g.clipToRect({0, static_cast<double>(edges[b] - 8), side, static_cast<double>(edges[b + 1] - edges[b] + 16)});
                paint(g);
            }
            cairo_t* cr = cairo_create(banded.get());
            cairo_rectangle(cr, 0, edges[b], side, edges[b + 1] - edges[b]);
            cairo_clip(cr);
            cairo_set_source_surface(cr, band.get(), 0, 0);
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_paint(cr);
            cairo_destroy(cr);
        }
        EXPECT_TRUE(banded.samePixels(whole)) << "blur " << blur;
        EXPECT_GT(whole.inkedTotal(), side * side / 2) << "blur " << blur;
    }
}

TEST(ShadowBlur, ShadowWindowsStayWithinTheClipAndTheBlursReach) {
    const detail::PixelWindow clip{0, 0, 256, 256};
    // A small shape far to the left: the blur of 1000 reaches 1501 pixels.
    auto w = detail::shadowWindows(-1000, 10, -990, 20, clip, 4, 4, 1000);
    EXPECT_EQ(w.cast.x0, -4);
    EXPECT_EQ(w.cast.x1, 252);
    EXPECT_EQ(w.cast.y0, -4);
    EXPECT_EQ(w.cast.y1, 252);
    EXPECT_EQ(w.source.x0, -1000);
    EXPECT_EQ(w.source.x1, -990);
    // A huge shape: only the part within reach of the clip is drawn.
    w = detail::shadowWindows(-1e6, -1e6, 1e6, 1e6, clip, 0, 0, 10);
    EXPECT_EQ(w.cast.x0, 0);
    EXPECT_EQ(w.cast.x1, 256);
    EXPECT_LE(w.source.x0, -16);
    EXPECT_GE(w.source.x1, 256 + 16);
    EXPECT_GE(w.source.x0, -64);
    EXPECT_LE(w.source.x1, 256 + 64);
    // Out of reach, or offset out of the picture.
    EXPECT_TRUE(detail::shadowWindows(-2000, 10, -1600, 20, clip, 0, 0, 1000).cast.isEmpty());
    EXPECT_TRUE(detail::shadowWindows(10, 10, 20, 20, clip, 1e300, 0, 10).cast.isEmpty());
}

// Whether the reference blur of the blob leaves any ink, on a plane with room for its spread.
bool referenceInks(const Blob& b, double sigma) {
    const int box = detail::boxSizeForSigma(sigma), margin = 3 * box / 2 + 2;
    const int w = b.at.width() + 2 * margin, h = b.at.height() + 2 * margin;
    std::vector<double> plane(static_cast<std::size_t>(w * h), 0);
    for (int y = 0; y < b.at.height(); ++y)
        for (int x = 0; x < b.at.width(); ++x)
            plane[(y + margin) * w + x + margin] = b.pixels[static_cast<std::size_t>(y * b.at.width() + x)];
    const auto blurred = box < 2 ? plane : referenceBlur(plane, w, h, box);
    return std::any_of(blurred.begin(), blurred.end(), [](double v) { return v > 0; });
}

TEST(ShadowBlur, TheBlankBoundNeverHidesInk) {
    // Whenever the bound calls a blur blank, the blur has no ink; and it does call the outline of
    // a shape under a wide blur blank, which is what it is for.
    std::mt19937 rng(7);
    int blank = 0;
    for (int round = 0; round < 200; ++round) {
        const int w = 1 + static_cast<int>(rng() % 40), h = 1 + static_cast<int>(rng() % 40);
        Blob b = blob(0, 0, w, h, false);
        const int level = static_cast<int>(rng() % 256);
        for (auto& v : b.pixels) v = static_cast<std::uint8_t>(rng() % 1024 < static_cast<unsigned>(level) ? rng() % 256 : 0);
        const double sigma = std::vector<double>{0.3, 2, 8, 20, 30}[rng() % 5];
        if (detail::blursToNothing(b.plane(), sigma)) {
            ++blank;
            EXPECT_FALSE(referenceInks(b, sigma)) << w << " x " << h << ", sigma " << sigma;
        }
    }
    EXPECT_GT(blank, 10);
    // Squares, and lines one pixel thin, growing past where their blur starts to ink: the bound
    // gives way no later. Along a line the bound is tight.
    struct Growth {
        double sigma;
        int from, step, height;
    };
    for (const Growth g : {Growth{30, 1, 1, 0}, Growth{100, 70, 10, 1}}) {
        int inkSeen = 0;
        for (int k = g.from; k <= g.from + 40 * g.step && inkSeen < 3; k += g.step) {
            const int h = g.height ? g.height : k;
            const Blob solid{{0, 0, k, h}, std::vector<std::uint8_t>(static_cast<std::size_t>(k * h), 255)};
            const bool inks = referenceInks(solid, g.sigma);
            if (detail::blursToNothing(solid.plane(), g.sigma)) {
                EXPECT_FALSE(inks) << k << " x " << h << ", sigma " << g.sigma;
            }
            inkSeen += inks;
        }
        EXPECT_GT(inkSeen, 0) << g.sigma;
    }
    EXPECT_TRUE(detail::blursToNothing(Blob{{0, 0, 1, 1}, {255}}.plane(), 30));
    const Blob ring = blob(0, 0, 240, 150, true);
    EXPECT_TRUE(detail::blursToNothing(ring.plane(), 500));
    EXPECT_FALSE(detail::blursToNothing(blob(0, 0, 240, 150, false).plane(), 500));
    EXPECT_FALSE(detail::blursToNothing(ring.plane(), 3));
}

TEST(ShadowMaskCache, GivesThePixelsOfAFreshBlur) {
    // Each step asks the cache for one blur and compares it with a fresh one; `hit` says
    // whether a kept mask must have served it.
    struct Step {
        const char* what;
        int x, y;           // where the shape lies
        bool outline;
        int seed;
        double sigma;
        detail::PixelWindow cast;
        bool hit;
    };
    const Step steps[] = {
        {"first shape", 40, 30, false, 0, 12, {50, 40, 80, 60}, false},
        {"the same shape again", 40, 30, false, 0, 12, {50, 40, 80, 60}, true},
        {"moved by whole pixels", 95, 10, false, 0, 12, {105, 20, 135, 40}, true},
        {"moved, its cast a few pixels off", 95, 10, false, 0, 12, {100, 16, 140, 44}, true},
        {"moved, its cast past the slack", 95, 10, false, 0, 12, {115, 20, 160, 40}, false},
        {"another blur", 40, 30, false, 0, 13, {50, 40, 80, 60}, false},
        {"one pixel differs", 40, 30, false, 1, 12, {50, 40, 80, 60}, false},
        {"a part of the cast", 40, 30, false, 0, 12, {60, 45, 70, 50}, true},
        {"a cast reaching past the blur's support", 40, 30, false, 0, 12, {-100, -100, 300, 300}, false},
        {"and again, moved", 41, 31, false, 0, 12, {-99, -99, 301, 301}, true},
        {"an outline under a wide blur", 0, 0, true, 0, 400, {0, 0, 256, 200}, false},
        // A blur this wide is computed on cells of 8 pixels: a shape moved by whole cells has
        // the same blur moved, one moved within a cell another.
        {"under a blur on cells", 3, 5, false, 0, 100, {-40, -40, 200, 150}, false},
        {"moved by whole cells", 19, 13, false, 0, 100, {-24, -32, 216, 158}, true},
        {"moved within a cell", 20, 13, false, 0, 100, {-23, -32, 217, 158}, false},
    };
    detail::ShadowMaskCache cache(8 << 20);
    for (const Step& s : steps) {
        const Blob b = blob(s.x, s.y, 48, 36, s.outline, s.seed);
        const auto size = static_cast<std::size_t>(s.cast.width() * s.cast.height());
        std::vector<std::uint8_t> fresh(size, 0), cached(size, 0);
        const bool freshInk = detail::gaussianBlurAlpha(b.plane(), fresh.data(), s.cast.width(), s.cast, s.sigma);
        const std::size_t hitsBefore = cache.hits();
        const bool cachedInk = cache.blur(b.plane(), cached.data(), s.cast.width(), s.cast, s.sigma);
        EXPECT_EQ(cachedInk, freshInk) << s.what;
        if (freshInk) {
            EXPECT_EQ(cached, fresh) << s.what;
        }
        EXPECT_EQ(cache.hits() - hitsBefore, s.hit ? 1u : 0u) << s.what;
    }
}

// Shapes on cells: the cache keeps their blur on the cells, which serves any window of the same
// cells moved by whole cells, and never a shape in pixels that holds the same bytes.
TEST(ShadowMaskCache, ShapesOnCellsTakeTheBlurOfTheSameCells) {
    constexpr double sigma = 100;
    const int k = detail::blurCellSize(sigma);
    ASSERT_GT(k, 1);
    struct Step {
        const char* what;
        int x, y;  // the first cell
        bool onCells;
        int seed;
        detail::PixelWindow cast;  // in pixels
        bool hit;
    };
    const Step steps[] = {
        {"first cells", 2, -1, true, 0, {0, 0, 300, 200}, false},
        {"the same cells again", 2, -1, true, 0, {0, 0, 300, 200}, true},
        {"moved by whole cells, another window", 7, 4, true, 0, {-200, 250, 100, 400}, true},
        {"a window beyond the blur", 7, 4, true, 0, {5000, 0, 5100, 40}, false},
        {"one cell differs", 2, -1, true, 1, {0, 0, 300, 200}, false},
        {"pixels holding the same bytes", 2, -1, false, 0, {0, 0, 300, 200}, false},
        {"and the first cells once more", 3, 3, true, 0, {10, 10, 60, 900}, true},
    };
    detail::ShadowMaskCache cache(8 << 20);
    for (const Step& s : steps) {
        const Blob b = blob(s.x, s.y, 12, 9, false, s.seed);
        const auto size = static_cast<std::size_t>(s.cast.width() * s.cast.height());
        std::vector<std::uint8_t> fresh(size, 0), cached(size, 7);
        const bool freshInk = s.onCells ? detail::gaussianBlurCells(b.plane(), fresh.data(), s.cast.width(), s.cast, sigma)
                                        : detail::gaussianBlurAlpha(b.plane(), fresh.data(), s.cast.width(), s.cast, sigma);
        const std::size_t hitsBefore = cache.hits();
        const bool cachedInk = s.onCells ? cache.blurCells(b.plane(), cached.data(), s.cast.width(), s.cast, sigma)
                                         : cache.blur(b.plane(), cached.data(), s.cast.width(), s.cast, sigma);
        EXPECT_EQ(cachedInk, freshInk) << s.what;
        if (freshInk) {
            EXPECT_EQ(cached, fresh) << s.what;
        }
        EXPECT_EQ(cache.hits() - hitsBefore, s.hit ? 1u : 0u) << s.what;
    }
    // What is kept for cells is on the cells: a small part of the pixels a mask of one window
    // would hold.
    detail::ShadowMaskCache alone(8 << 20);
    const Blob b = blob(0, 0, 40, 30, false, 3);
    const detail::PixelWindow cast{0, 0, 1024, 1024};
    std::vector<std::uint8_t> out(1024 * 1024);
    ASSERT_TRUE(alone.blurCells(b.plane(), out.data(), 1024, cast, sigma));
    EXPECT_LT(alone.bytes(), 1024u * 1024u / 16);
}

TEST(ShadowMaskCache, StaysWithinItsLimitAndKeepsMasksInUse) {
    constexpr std::size_t limit = 1 << 20;
    detail::ShadowMaskCache cache(limit);
    const detail::PixelWindow cast{0, 0, 120, 100};
    std::vector<std::uint8_t> out(120 * 100);
    const Blob reused = blob(40, 30, 48, 36, false, 1000);
    cache.blur(reused.plane(), out.data(), 120, cast, 6);
    cache.blur(reused.plane(), out.data(), 120, cast, 6);
    ASSERT_EQ(cache.hits(), 1u);
    for (int seed = 0; seed < 200; ++seed) {
        const Blob b = blob(40, 30, 48, 36, false, seed);
        cache.blur(b.plane(), out.data(), 120, cast, 6);
        EXPECT_LE(cache.bytes(), limit);
    }
    EXPECT_EQ(cache.hits(), 1u) << "every other shape was new";
    cache.blur(reused.plane(), out.data(), 120, cast, 6);
    EXPECT_EQ(cache.hits(), 2u) << "a mask that served twice stays";
}

// Identical shadowed shapes on one picture take their masks from the first one; the picture
// must equal one where each shape is drawn by a context of its own, which blurs every shadow.
TEST(ShadowMaskCache, RepeatedShapesDrawThePixelsOfSeparateDrawings) {
    struct Shape {
        double x, y, offsetX, offsetY;
    };
    struct Case {
        const char* what;
        double blur;
        std::vector<Shape> shapes;
    };
    const Case cases[] = {
        {"two places whole pixels apart", 24, {{40, 50, 4, 4}, {150, 90, 4, 4}}},
        {"stacked, with other offsets", 60, {{80, 60, 4, 4}, {80, 60, -3, 2}, {83, 61, 0, -4}}},
        {"partly outside the picture", 40, {{-30, 40, 4, 4}, {170, 150, 4, 4}, {-30, 150, 4, 4}}},
        {"half a pixel apart", 24, {{40, 50, 4, 4}, {40.5, 150.25, 4, 4}}},
        {"a blur wider than the picture", 1000, {{40, 50, 4, 4}, {120, 60, 4, 4}}},
    };
    constexpr int side = 220;
    for (const Case& c : cases) {
        auto paint = [&](GraphicsContext& g, const Shape& s) {
            g.saveGState();
            g.setShadow(s.offsetX, s.offsetY, c.blur, Color{0, 0, 0.3, 0.7});
            g.setFillColor(Color{0.9, 0.6, 0.1, 1});
            g.beginPath();
            g.moveTo(s.x + 10, s.y);
            g.addLineTo(s.x + 70, s.y + 12);
            g.addQuadCurveTo(s.x + 80, s.y + 40, s.x + 30, s.y + 50);
            g.addLineTo(s.x, s.y + 35);
            g.closePath();
            g.fillPath(FillRule::winding);
            g.restoreGState();
        };
        TestSurface together(side, side), apart(side, side);
        {
            GraphicsContext g(together.get());
            for (const Shape& s : c.shapes) paint(g, s);
        }
        for (const Shape& s : c.shapes) {
            GraphicsContext g(apart.get());
            paint(g, s);
        }
        int differing = 0;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const auto a = together.at(x, y), b = apart.at(x, y);
                differing += a.r != b.r || a.g != b.g || a.b != b.b || a.a != b.a;
            }
        EXPECT_EQ(differing, 0) << c.what;
        EXPECT_GT(together.inkedTotal(), 4000) << c.what;
    }
}

} // namespace
} // namespace dv::gfx
