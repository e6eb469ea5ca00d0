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

// Division by the box size as a multiplication by its 24-bit fixed-point reciprocal.
struct Average {
    std::uint64_t reciprocal;
    explicit Average(int size) : reciprocal(((std::uint64_t{1} << 24) + static_cast<std::uint64_t>(size) / 2) / static_cast<std::uint64_t>(size)) {}
    std::uint8_t operator()(long sum) const {
        const std::uint64_t v = (static_cast<std::uint64_t>(sum) * reciprocal + (std::uint64_t{1} << 23)) >> 24;
        return static_cast<std::uint8_t>(v > 255 ? 255 : v);
    }
};

// dst[i] = average of src[i - left .. i + right], values outside the line counting as 0.
void boxLine(const std::uint8_t* src, std::uint8_t* dst, int n, int left, int right) {
    const Average average(left + right + 1);
    long sum = 0;
    for (int i = 0; i <= right && i < n; ++i) sum += src[i];
    for (int i = 0; i < n; ++i) {
        dst[i] = average(sum);
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

// The vertical passes run over whole rows at once (one running sum per column), which keeps
// memory access sequential.
void boxColumns(const std::uint8_t* src, int srcStride, std::uint8_t* dst, int dstStride, int width, int height,
                int left, int right, std::vector<long>& sums) {
    const Average average(left + right + 1);
    sums.assign(static_cast<std::size_t>(width), 0);
    for (int y = 0; y <= right && y < height; ++y) {
        const std::uint8_t* row = src + static_cast<std::ptrdiff_t>(y) * srcStride;
        for (int x = 0; x < width; ++x) sums[x] += row[x];
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = dst + static_cast<std::ptrdiff_t>(y) * dstStride;
        for (int x = 0; x < width; ++x) out[x] = average(sums[x]);
        const int add = y + right + 1;
        const int drop = y - left;
        if (add < height) {
            const std::uint8_t* row = src + static_cast<std::ptrdiff_t>(add) * srcStride;
            for (int x = 0; x < width; ++x) sums[x] += row[x];
        }
        if (drop >= 0) {
            const std::uint8_t* row = src + static_cast<std::ptrdiff_t>(drop) * srcStride;
            for (int x = 0; x < width; ++x) sums[x] -= row[x];
        }
    }
}

} // namespace

void gaussianBlurAlpha(std::uint8_t* data, int width, int height, int stride, double sigma) {
    const int d = boxSizeForSigma(sigma);
    if (d < 2 || width <= 0 || height <= 0) return;
    std::vector<std::uint8_t> a(static_cast<std::size_t>(width));
    std::vector<std::uint8_t> b(a.size());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = data + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x) a[x] = row[x];
        threeBoxes(a, b, width, d);
        for (int x = 0; x < width; ++x) row[x] = b[x];
    }
    std::vector<std::uint8_t> temp(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::vector<long> sums;
    const int h = d / 2;
    if (d % 2 == 1) {
        boxColumns(data, stride, temp.data(), width, width, height, h, h, sums);
        boxColumns(temp.data(), width, data, stride, width, height, h, h, sums);
        boxColumns(data, stride, temp.data(), width, width, height, h, h, sums);
    } else {
        boxColumns(data, stride, temp.data(), width, width, height, h, h - 1, sums);
        boxColumns(temp.data(), width, data, stride, width, height, h - 1, h, sums);
        boxColumns(data, stride, temp.data(), width, width, height, h, h, sums);
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            data[static_cast<std::ptrdiff_t>(y) * stride + x] = temp[static_cast<std::size_t>(y) * width + x];
}

} // namespace dv::gfx::detail
