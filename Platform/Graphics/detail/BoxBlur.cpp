#include "Platform/Graphics/detail/BoxBlur.hpp"

#include <cmath>
#include <vector>

namespace dv::gfx::detail {

int boxSizeForSigma(double sigma) {
    if (!(sigma > 0)) return 0;
    const double d = std::floor(sigma * 3.0 * std::sqrt(2.0 * 3.141592653589793) / 4.0 + 0.5);
    if (d > 100000) return 100000;
    return static_cast<int>(d);
}

namespace {

// dst[i] = average of src[i - left .. i + right], values outside the line counting as 0.
void boxLine(const std::uint8_t* src, std::uint8_t* dst, int n, int left, int right) {
    const int size = left + right + 1;
    long sum = 0;
    for (int i = 0; i <= right && i < n; ++i) sum += src[i];
    for (int i = 0; i < n; ++i) {
        dst[i] = static_cast<std::uint8_t>((sum + size / 2) / size);
        const int add = i + right + 1;
        const int drop = i - left;
        if (add < n) sum += src[add];
        if (drop >= 0) sum -= src[drop];
    }
}

void threeBoxes(std::vector<std::uint8_t>& a, std::vector<std::uint8_t>& b, int n, int d) {
    if (d % 2 == 1) {
        const int h = (d - 1) / 2;
        boxLine(a.data(), b.data(), n, h, h);
        boxLine(b.data(), a.data(), n, h, h);
        boxLine(a.data(), b.data(), n, h, h);
    } else {
        const int h = d / 2;
        boxLine(a.data(), b.data(), n, h, h - 1);
        boxLine(b.data(), a.data(), n, h - 1, h);
        boxLine(a.data(), b.data(), n, h, h);
    }
}

} // namespace

void gaussianBlurAlpha(std::uint8_t* data, int width, int height, int stride, double sigma) {
    const int d = boxSizeForSigma(sigma);
    if (d < 2 || width <= 0 || height <= 0) return;
    std::vector<std::uint8_t> a(static_cast<std::size_t>(width > height ? width : height));
    std::vector<std::uint8_t> b(a.size());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = data + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x) a[x] = row[x];
        threeBoxes(a, b, width, d);
        for (int x = 0; x < width; ++x) row[x] = b[x];
    }
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) a[y] = data[static_cast<std::ptrdiff_t>(y) * stride + x];
        threeBoxes(a, b, height, d);
        for (int y = 0; y < height; ++y) data[static_cast<std::ptrdiff_t>(y) * stride + x] = b[y];
    }
}

} // namespace dv::gfx::detail
