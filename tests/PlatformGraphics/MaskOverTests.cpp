// A colour laid through a mask by hand gives the pixels cairo gives, to the bit, for every mask
// level over pixels of every kind, in colours of every alpha, at any width.

#include "Platform/Graphics/detail/MaskOver.hpp"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace dv::gfx {
namespace {

TEST(MaskOver, LaysTheColourAsCairoLaysIt) {
    // Row y holds every mask level once, over pixels drawn at random (premultiplied), and runs of
    // zeros and of full levels the wide path passes over or takes whole.
    constexpr int width = 256 + 8 + 8 + 5, height = 24;
    std::mt19937 rng(3);
    struct Colour {
        double r, g, b, a;
    };
    const Colour colours[] = {{0, 0, 0, 1}, {0, 0, 0, 0.5}, {0.1, 0, 0.3, 0.8}, {1, 1, 1, 1}, {0.627, 0.753, 0.878, 1},
                              {0.2, 0.9, 0.4, 0.003}, {0.5, 0.5, 0.5, 0.25}, {0.99, 0.01, 0.5, 0.999}};
    for (const Colour& c : colours) {
        cairo_surface_t* byCairo = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
        cairo_surface_flush(byCairo);
        cairo_surface_flush(mask);
        std::uint8_t* pixels = cairo_image_surface_get_data(byCairo);
        std::uint8_t* levels = cairo_image_surface_get_data(mask);
        const int stride = cairo_image_surface_get_stride(byCairo), maskStride = cairo_image_surface_get_stride(mask);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint32_t a = y == 0 ? 255 : y == 1 ? 0 : rng() % 256;
                std::uint32_t p = a << 24;
                for (int k = 0; k < 3; ++k) p |= (rng() % (a + 1)) << (8 * k);
                std::memcpy(pixels + y * stride + 4 * x, &p, 4);
                levels[y * maskStride + x] = static_cast<std::uint8_t>(x < 256 ? (x + 37 * y) % 256 : x < 264 ? 0 : 255);
            }
        cairo_surface_mark_dirty(byCairo);
        cairo_surface_mark_dirty(mask);
        std::vector<std::uint8_t> byHand(pixels, pixels + stride * height);
        cairo_t* cr = cairo_create(byCairo);
        cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
        cairo_mask_surface(cr, mask, 0, 0);
        cairo_destroy(cr);
        cairo_surface_flush(byCairo);
        detail::maskOver(byHand.data(), stride, levels, maskStride, width, height, detail::solidPixel(c.r, c.g, c.b, c.a));
        int differing = 0;
        for (int y = 0; y < height; ++y)
            differing += std::memcmp(byHand.data() + y * stride, pixels + y * stride, 4 * width) != 0;
        EXPECT_EQ(differing, 0) << c.r << " " << c.g << " " << c.b << " " << c.a;
        // Part of a row, at an odd place: only the pixels asked for change.
        std::vector<std::uint8_t> part(byHand);
        detail::maskOver(part.data() + 4 * 3, stride, levels + 3, maskStride, 11, 1, detail::solidPixel(c.r, c.g, c.b, c.a));
        EXPECT_EQ(std::memcmp(part.data(), byHand.data(), 12), 0);
        EXPECT_EQ(std::memcmp(part.data() + 4 * 14, byHand.data() + 4 * 14, 4 * (width - 14)), 0);
        cairo_surface_destroy(mask);
        cairo_surface_destroy(byCairo);
    }
    EXPECT_EQ(detail::solidPixel(0.1, 0, 0.3, 0.5), 0x800C0026u);
    EXPECT_EQ(detail::solidPixel(2, -1, 0.5, 7), 0xFFFF0080u) << "clamped";
}

} // namespace
} // namespace dv::gfx
