#pragma once
// An immutable image: premultiplied sRGB pixels in the Bitmap layout. Shared by reference
// (std::shared_ptr<const Image>); its pixels never change after it is made.

#include "Platform/Graphics/Bitmap.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace dv::gfx {

class Image {
public:
    int width() const { return width_; }
    int height() const { return height_; }
    std::ptrdiff_t bytesPerRow() const { return stride_; }
    std::size_t byteCount() const { return static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height_); }
    const std::uint8_t* data() const { return pixels_.get(); }
    const std::uint32_t* row(int y) const { return reinterpret_cast<const std::uint32_t*>(pixels_.get() + stride_ * y); }
    // The premultiplied 0xAARRGGBB word of a pixel; (x, y) must lie inside the image.
    std::uint32_t pixel(int x, int y) const { return row(y)[x]; }

    // Takes the pixels of a bitmap without copying (see Bitmap::takeImage).
    static std::shared_ptr<const Image> adopt(int width, int height, std::ptrdiff_t stride, PixelBuffer pixels);

private:
    Image(int w, int h, std::ptrdiff_t stride, PixelBuffer pixels)
        : width_(w), height_(h), stride_(stride), pixels_(std::move(pixels)) {}
    int width_;
    int height_;
    std::ptrdiff_t stride_;
    PixelBuffer pixels_;
};

using ImageRef = std::shared_ptr<const Image>;

}  // namespace dv::gfx
