#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/Image.hpp"

#include <cairo.h>

#include <cstring>

namespace dv::gfx {

std::ptrdiff_t Bitmap::strideForWidth(int width) {
    return cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
}

std::optional<Bitmap> Bitmap::create(int width, int height) {
    if (width < 1 || height < 1 || width > maxSide || height > maxSide) return std::nullopt;
    const std::ptrdiff_t stride = strideForWidth(width);
    if (stride <= 0) return std::nullopt;
    // calloc hands back zeroed (transparent) memory, and large blocks come straight from
    // the kernel without touching every page.
    auto* p = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(stride), static_cast<std::size_t>(height)));
    if (p == nullptr) return std::nullopt;
    return Bitmap(width, height, stride, PixelBuffer(p));
}

std::uint32_t Bitmap::pixel(int x, int y) const { return row(y)[x]; }

void Bitmap::setPixel(int x, int y, std::uint32_t argb) { row(y)[x] = argb; }

std::shared_ptr<const Image> Bitmap::makeImage() const {
    if (!pixels_) return nullptr;
    auto* p = static_cast<std::uint8_t*>(std::malloc(byteCount()));
    if (p == nullptr) return nullptr;
    std::memcpy(p, pixels_.get(), byteCount());
    return Image::adopt(width_, height_, stride_, PixelBuffer(p));
}

std::shared_ptr<const Image> Bitmap::takeImage() && {
    if (!pixels_) return nullptr;
    auto image = Image::adopt(width_, height_, stride_, std::move(pixels_));
    width_ = height_ = 0;
    stride_ = 0;
    return image;
}

std::shared_ptr<const Image> Image::adopt(int width, int height, std::ptrdiff_t stride, PixelBuffer pixels) {
    return std::shared_ptr<const Image>(new Image(width, height, stride, std::move(pixels)));
}

std::uint32_t premultipliedARGB(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    auto mul = [a](std::uint8_t c) -> std::uint32_t {
        // Exact rounding of c * a / 255.
        const std::uint32_t t = static_cast<std::uint32_t>(c) * a + 128;
        return (t + (t >> 8)) >> 8;
    };
    return (static_cast<std::uint32_t>(a) << 24) | (mul(r) << 16) | (mul(g) << 8) | mul(b);
}

}  // namespace dv::gfx
