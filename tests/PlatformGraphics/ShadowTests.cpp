// Shadows drawn where only part of them can show must give the pixels of the whole shadow.

#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/detail/BoxBlur.hpp"

#include "tests/support/TestSurface.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
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
        for (const auto& r : reach) {
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    double sum = 0;
                    for (int k = -r[0]; k <= r[1]; ++k) {
                        const int xx = axis == 0 ? x + k : x, yy = axis == 0 ? y : y + k;
                        if (xx >= 0 && xx < width && yy >= 0 && yy < height) sum += a[yy * width + xx];
                    }
                    b[y * width + x] = std::round(sum / (r[0] + r[1] + 1));
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
        {"blur wider than the view", 300, 4, 4, 150, 150, {100, 100, 120, 90}},
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

} // namespace
} // namespace dv::gfx
