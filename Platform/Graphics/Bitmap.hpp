#pragma once
// A writable sRGB bitmap with premultiplied alpha, laid out exactly as cairo's
// CAIRO_FORMAT_ARGB32 (one native-endian 32-bit word per pixel, 0xAARRGGBB), so a
// cairo image surface can wrap its memory without copying.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

namespace dv::gfx {

class Image;

struct FreeDeleter {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
};
using PixelBuffer = std::unique_ptr<std::uint8_t[], FreeDeleter>;

class Bitmap {
public:
    // Largest side a bitmap may have (cairo's own image limit).
    static constexpr int maxSide = 32767;

    // A bitmap of width x height pixels cleared to transparent black; nothing when a side is
    // outside 1...maxSide or the memory cannot be had.
    static std::optional<Bitmap> create(int width, int height);

    // Bytes per row for a bitmap of the given width (cairo's stride for ARGB32).
    static std::ptrdiff_t strideForWidth(int width);

    Bitmap(Bitmap&&) noexcept = default;
    Bitmap& operator=(Bitmap&&) noexcept = default;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    std::ptrdiff_t stride() const { return stride_; }
    std::size_t byteCount() const { return static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height_); }
    std::uint8_t* data() { return pixels_.get(); }
    const std::uint8_t* data() const { return pixels_.get(); }

    // The premultiplied 0xAARRGGBB word of a pixel; (x, y) must lie inside the bitmap.
    std::uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, std::uint32_t argb);
    std::uint32_t* row(int y) { return reinterpret_cast<std::uint32_t*>(pixels_.get() + stride_ * y); }
    const std::uint32_t* row(int y) const { return reinterpret_cast<const std::uint32_t*>(pixels_.get() + stride_ * y); }

    // An immutable image holding a copy of the current pixels; the bitmap stays usable.
    std::shared_ptr<const Image> makeImage() const;
    // An immutable image that takes over the pixel memory without copying; the bitmap is
    // left empty (0 x 0) and must not be drawn into again.
    std::shared_ptr<const Image> takeImage() &&;

private:
    Bitmap(int w, int h, std::ptrdiff_t stride, PixelBuffer pixels)
        : width_(w), height_(h), stride_(stride), pixels_(std::move(pixels)) {}
    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t stride_ = 0;
    PixelBuffer pixels_;
};

// Premultiplies straight-alpha 8-bit channels into one ARGB32 word.
std::uint32_t premultipliedARGB(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a);

}  // namespace dv::gfx
