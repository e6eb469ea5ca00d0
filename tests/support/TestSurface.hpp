#pragma once
// A small cairo image surface for pixel tests, read back as straight 8-bit channels.
#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace dv::test {

struct Pixel {
    int r, g, b, a;
};

class TestSurface {
public:
    TestSurface(int width, int height) : surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)) {}
    ~TestSurface() { cairo_surface_destroy(surface_); }
    TestSurface(const TestSurface&) = delete;
    TestSurface& operator=(const TestSurface&) = delete;

    cairo_surface_t* get() const { return surface_; }
    int width() const { return cairo_image_surface_get_width(surface_); }
    int height() const { return cairo_image_surface_get_height(surface_); }

    /// Premultiplied channels as stored.
    Pixel at(int x, int y) const {
        cairo_surface_flush(surface_);
        const unsigned char* row = cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
        std::uint32_t w;
        std::memcpy(&w, row + 4 * x, 4);
        return {int((w >> 16) & 0xFF), int((w >> 8) & 0xFF), int(w & 0xFF), int(w >> 24)};
    }
    int alpha(int x, int y) const { return at(x, y).a; }

    /// Number of pixels with any ink in the rectangle [x0, x1) × [y0, y1).
    int inked(int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += alpha(x, y) > 0;
        return n;
    }
    int inkedTotal() const { return inked(0, 0, width(), height()); }

    /// Leftmost and rightmost inked columns (-1 when none).
    std::pair<int, int> inkColumns() const {
        int lo = -1, hi = -1;
        for (int x = 0; x < width(); ++x)
            for (int y = 0; y < height(); ++y)
                if (alpha(x, y) > 0) {
                    if (lo < 0) lo = x;
                    hi = x;
                    break;
                }
        return {lo, hi};
    }
    std::pair<int, int> inkRows() const {
        int lo = -1, hi = -1;
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x)
                if (alpha(x, y) > 0) {
                    if (lo < 0) lo = y;
                    hi = y;
                    break;
                }
        return {lo, hi};
    }

    bool samePixels(const TestSurface& other) const {
        cairo_surface_flush(surface_);
        cairo_surface_flush(other.surface_);
        const int h = height(), stride = cairo_image_surface_get_stride(surface_);
        return width() == other.width() && h == other.height() &&
               std::memcmp(cairo_image_surface_get_data(surface_), cairo_image_surface_get_data(other.surface_),
                           std::size_t(stride) * h) == 0;
    }

private:
    cairo_surface_t* surface_;
};

/// How far apart two pictures of the same size are.
struct Difference {
    int worst = 0;      // largest difference of a channel
    int beyondFew = 0;  // pixels with a channel off by more than 8 levels
    int beyondTolerance = 0;  // pixels with a channel off by more than 3 levels
};

inline Difference compare(const TestSurface& a, const TestSurface& b) {
    Difference d;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const Pixel p = a.at(x, y), q = b.at(x, y);
            const int most = std::max({std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b), std::abs(p.a - q.a)});
            d.beyondFew += most > 8;
            d.beyondTolerance += most > 3;
            d.worst = std::max(d.worst, most);
        }
    return d;
}


} // namespace dv::test
