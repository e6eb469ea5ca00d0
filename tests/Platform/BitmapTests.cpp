#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/Image.hpp"

#include <cairo.h>
#include <gtest/gtest.h>

namespace dv::gfx {
namespace {

TEST(Bitmap, SidesOutsideOneTo32767AreRefused) {
    struct Case { int w, h; bool ok; };
    const Case cases[] = {
        {1, 1, true}, {32767, 1, true}, {1, 32767, true}, {0, 10, false}, {10, 0, false},
        {-1, 5, false}, {32768, 1, false}, {1, 32768, false},
    };
    for (const auto& c : cases) {
        auto b = Bitmap::create(c.w, c.h);
        EXPECT_EQ(b.has_value(), c.ok) << c.w << " x " << c.h;
        if (b) {
            EXPECT_EQ(b->width(), c.w);
            EXPECT_EQ(b->height(), c.h);
            EXPECT_GE(b->stride(), 4 * c.w);
            EXPECT_EQ(b->pixel(c.w - 1, c.h - 1), 0u) << "a new bitmap is transparent";
        }
    }
}

// cairo must be able to draw straight into the bitmap's memory and the pixel words must
// read back as premultiplied 0xAARRGGBB.
TEST(Bitmap, CairoDrawsIntoItsMemoryAsPremultipliedARGB) {
    auto b = Bitmap::create(7, 5);
    ASSERT_TRUE(b);
    cairo_surface_t* s = cairo_image_surface_create_for_data(b->data(), CAIRO_FORMAT_ARGB32, b->width(), b->height(),
                                                             static_cast<int>(b->stride()));
    ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgba(cr, 1, 0, 0, 1);
    cairo_rectangle(cr, 0, 0, 3, 2);
    cairo_fill(cr);
    cairo_set_source_rgba(cr, 0, 0, 1, 0.5);
    cairo_rectangle(cr, 3, 2, 1, 1);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(s);

    EXPECT_EQ(b->pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(b->pixel(2, 1), 0xFFFF0000u);
    EXPECT_EQ(b->pixel(3, 0), 0u);
    const std::uint32_t half = b->pixel(3, 2);
    EXPECT_NEAR(static_cast<int>(half >> 24), 128, 1);
    EXPECT_NEAR(static_cast<int>(half & 0xFF), 128, 1);
    EXPECT_EQ((half >> 8) & 0xFFFF, 0u);
}

TEST(Bitmap, ImagesCopyOrTakeThePixels) {
    auto b = Bitmap::create(2, 2);
    ASSERT_TRUE(b);
    b->setPixel(1, 1, 0xFF00FF00u);
    auto copy = b->makeImage();
    b->setPixel(1, 1, 0xFFFFFFFFu);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->pixel(1, 1), 0xFF00FF00u) << "a copy does not see later drawing";
    const std::uint8_t* memory = b->data();
    auto taken = std::move(*b).takeImage();
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->data(), memory) << "taking an image does not copy";
    EXPECT_EQ(taken->pixel(1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(taken->byteCount(), static_cast<std::size_t>(taken->bytesPerRow()) * 2);
}

TEST(Bitmap, PremultiplyRoundsExactly) {
    EXPECT_EQ(premultipliedARGB(255, 0, 0, 255), 0xFFFF0000u);
    EXPECT_EQ(premultipliedARGB(255, 255, 255, 0), 0x00000000u);
    EXPECT_EQ(premultipliedARGB(255, 128, 1, 128), 0x80804001u);  // 255*128/255=128, 128*128/255=64.25, 1*128/255=0.5 -> 1
}

}  // namespace
}  // namespace dv::gfx
