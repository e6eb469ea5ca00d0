#include "Platform/Graphics/PNGEncoder.hpp"

#include <png.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace dv::gfx {
namespace {

TEST(PNGEncoder, RoundTripsPixelsAndTagsSRGB) {
    // Opaque red, opaque white, half-transparent green (premultiplied 0x80 → 0xFF), clear.
    const std::uint32_t words[4] = {0xFFFF0000u, 0xFFFFFFFFu, 0x80008000u, 0x00000000u};
    const PixelView view{reinterpret_cast<const std::uint8_t*>(words), 2, 2, 8};
    const auto data = encodePNG(view);
    ASSERT_TRUE(data.has_value());
    const std::string bytes(data->begin(), data->end());
    EXPECT_NE(bytes.find("sRGB"), std::string::npos);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, data->data(), data->size()));
    image.format = PNG_FORMAT_RGBA;
    std::uint8_t rgba[16];
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba, 0, nullptr));
    const int expected[16] = {255, 0, 0, 255, 255, 255, 255, 255, 0, 255, 0, 128, 0, 0, 0, 0};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(rgba[i], expected[i], i == 9 ? 1 : 0) << i;
}

std::vector<std::uint8_t> decodeRGBA(const std::vector<std::uint8_t>& data, int& width, int& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) return {};
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return {};
    return rgba;
}

TEST(PNGEncoder, EveryOpaqueValueAndTranslucentColourSurvivesRowPadding) {
    // 256 columns: column x holds opaque (x, 255 - x, x ^ 0x5A) in the first row; the second row
    // holds straight colours at several alphas, premultiplied as the bitmap stores them. Each
    // row carries 16 bytes of padding that must not leak into the picture.
    const int width = 256, stride = width * 4 + 16;
    const unsigned alphas[] = {1, 2, 64, 127, 128, 200, 254, 255};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stride) * 2, 0xAB);
    auto put = [&](int x, int y, unsigned a, unsigned r, unsigned g, unsigned b) {
        const std::uint32_t word = a << 24 | r << 16 | g << 8 | b;
        std::memcpy(&bytes[static_cast<std::size_t>(y * stride + x * 4)], &word, 4);
    };
    auto premultiplied = [](unsigned c, unsigned a) { return (c * a + 127) / 255; };
    for (unsigned x = 0; x < 256; ++x) {
        put(static_cast<int>(x), 0, 255, x, 255 - x, x ^ 0x5A);
        const unsigned a = alphas[x % 8], r = 255 - x, g = x, b = 200;
        put(static_cast<int>(x), 1, a, premultiplied(r, a), premultiplied(g, a), premultiplied(b, a));
    }
    const auto first = encodePNG({bytes.data(), width, 2, stride});
    const auto second = encodePNG({bytes.data(), width, 2, stride});
    ASSERT_TRUE(first.has_value() && second.has_value());
    EXPECT_EQ(*first, *second) << "encoding the same pixels twice gives other bytes";
    ASSERT_GT(first->size(), 26u);
    EXPECT_EQ((*first)[24], 8) << "bit depth";
    EXPECT_EQ((*first)[25], 6) << "colour type RGBA";

    int w = 0, h = 0;
    const auto rgba = decodeRGBA(*first, w, h);
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, 2);
    for (unsigned x = 0; x < 256; ++x) {
        const std::uint8_t* top = &rgba[x * 4];
        EXPECT_EQ(top[0], x) << x;
        EXPECT_EQ(top[1], 255 - x) << x;
        EXPECT_EQ(top[2], x ^ 0x5A) << x;
        EXPECT_EQ(top[3], 255) << x;
        const std::uint8_t* bottom = &rgba[(width + x) * 4];
        const unsigned a = alphas[x % 8];
        EXPECT_EQ(bottom[3], a) << x;
        // Premultiplying loses precision at low alpha: the colour comes back within one step of
        // the premultiplied value.
        const double tolerance = 255.0 / a / 2 + 1;
        EXPECT_NEAR(bottom[0], 255.0 - x, tolerance) << x;
        EXPECT_NEAR(bottom[1], x, tolerance) << x;
        EXPECT_NEAR(bottom[2], 200, tolerance) << x;
    }
}

// Large pictures are compressed in pieces; whatever their shape, the file must hold every row,
// in order, and the same pixels must always give the same bytes.
TEST(PNGEncoder, LargePicturesOfEveryShapeRoundTrip) {
    struct Shape { int width, height; };
    const Shape shapes[] = {{1024, 1024}, {700, 613}, {1, 300001}, {300001, 1}, {5000, 100}, {3, 3}};
    for (const Shape& s : shapes) {
        const std::string what = std::to_string(s.width) + "x" + std::to_string(s.height);
        std::vector<std::uint32_t> words(static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height));
        std::uint32_t state = 12345;
        for (std::size_t i = 0; i < words.size(); ++i) {
            state = state * 1664525u + 1013904223u;
            // Mostly opaque noise with runs of one colour, some of them clear.
            const std::uint32_t colour = (i / 97) % 3 == 0 ? 0xFF204060u : 0xFF000000u | (state >> 8);
            words[i] = (i / 53) % 11 == 0 ? 0u : colour;
        }
        const PixelView view{reinterpret_cast<const std::uint8_t*>(words.data()), s.width, s.height, s.width * 4};
        const auto first = encodePNG(view);
        const auto second = encodePNG(view);
        ASSERT_TRUE(first.has_value() && second.has_value()) << what;
        EXPECT_EQ(*first, *second) << what << ": encoding the same pixels twice gives other bytes";
        int w = 0, h = 0;
        const auto rgba = decodeRGBA(*first, w, h);
        ASSERT_EQ(w, s.width) << what;
        ASSERT_EQ(h, s.height) << what;
        ASSERT_EQ(rgba.size(), words.size() * 4) << what << ": the image data does not decode";
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < words.size(); ++i) {
            const std::uint32_t v = words[i];
            const std::uint8_t expected[4] = {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                                              static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 24)};
            wrong += std::memcmp(&rgba[i * 4], expected, 4) != 0;
        }
        EXPECT_EQ(wrong, 0u) << what;
    }
}

TEST(PNGEncoder, RefusesUnusablePixels) {
    const std::uint32_t word = 0;
    EXPECT_FALSE(encodePNG({nullptr, 1, 1, 4}).has_value());
    EXPECT_FALSE(encodePNG({reinterpret_cast<const std::uint8_t*>(&word), 0, 1, 4}).has_value());
    EXPECT_FALSE(encodePNG({reinterpret_cast<const std::uint8_t*>(&word), 2, 1, 4}).has_value());
}

} // namespace
} // namespace dv::gfx
