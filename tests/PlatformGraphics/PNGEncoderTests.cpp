#include "Platform/Graphics/PNGEncoder.hpp"

#include <png.h>

#include <gtest/gtest.h>

#include <string>

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

TEST(PNGEncoder, RefusesUnusablePixels) {
    const std::uint32_t word = 0;
    EXPECT_FALSE(encodePNG({nullptr, 1, 1, 4}).has_value());
    EXPECT_FALSE(encodePNG({reinterpret_cast<const std::uint8_t*>(&word), 0, 1, 4}).has_value());
    EXPECT_FALSE(encodePNG({reinterpret_cast<const std::uint8_t*>(&word), 2, 1, 4}).has_value());
}

} // namespace
} // namespace dv::gfx
