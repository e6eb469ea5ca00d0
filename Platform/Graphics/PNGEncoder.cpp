#include "Platform/Graphics/PNGEncoder.hpp"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace dv::gfx {

namespace {

struct Sink {
    std::vector<std::uint8_t>* out;
    bool failed;
};

void writeBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    if (sink->failed) return;
    try {
        sink->out->insert(sink->out->end(), data, data + length);
    } catch (...) {
        sink->failed = true;
    }
}

void flushNothing(png_structp) {}

// libpng reports errors by longjmp: this frame holds nothing with a destructor, and every buffer
// it touches belongs to the caller.
bool writePNG(const std::uint8_t* rgba, int width, int height, Sink* sink) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, sink, writeBytes, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    // No row filter and light compression: on rendered boards (flat areas, thin antialiased
    // strokes, text) this writes files about as small as the adaptive filters with the default
    // level, at a quarter of the time; trying every filter on every row was most of the cost.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 2);
    png_write_info(png, info);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    for (int y = 0; y < height; ++y) png_write_row(png, const_cast<png_bytep>(rgba + rowBytes * static_cast<std::size_t>(y)));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return !sink->failed;
}

} // namespace

std::optional<std::vector<std::uint8_t>> encodePNG(const PixelView& px) {
    if (!px.data || px.width <= 0 || px.height <= 0 || px.stride < px.width * 4) return std::nullopt;
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(px.width) * static_cast<std::size_t>(px.height) * 4);
    std::uint8_t* o = rgba.data();
    for (int y = 0; y < px.height; ++y) {
        const std::uint8_t* row = px.data + static_cast<std::ptrdiff_t>(y) * px.stride;
        for (int x = 0; x < px.width; ++x) {
            std::uint32_t word;
            std::memcpy(&word, row + 4 * x, 4);
            const unsigned a = word >> 24;
            if (a == 255) { // opaque: the colour is stored as it is
                *o++ = static_cast<std::uint8_t>(word >> 16);
                *o++ = static_cast<std::uint8_t>(word >> 8);
                *o++ = static_cast<std::uint8_t>(word);
                *o++ = 255;
                continue;
            }
            const unsigned c[3] = {(word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF};
            for (int k = 0; k < 3; ++k) {
                unsigned v = a == 0 ? 0 : (c[k] * 255 + a / 2) / a;
                *o++ = static_cast<std::uint8_t>(v > 255 ? 255 : v);
            }
            *o++ = static_cast<std::uint8_t>(a);
        }
    }
    std::vector<std::uint8_t> out;
    Sink sink{&out, false};
    if (!writePNG(rgba.data(), px.width, px.height, &sink)) return std::nullopt;
    return out;
}

} // namespace dv::gfx
