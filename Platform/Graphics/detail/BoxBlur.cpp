#include "Platform/Graphics/detail/BoxBlur.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace dv::gfx::detail {

int boxSizeForSigma(double sigma) {
    if (!(sigma > 0)) return 0;
    const double d = std::floor(sigma * 3.0 * std::sqrt(2.0 * 3.141592653589793) / 4.0 + 0.5);
    // Bounds the sums of a box below 2^20 (see Average); shadows stay far below it.
    if (d > 4095) return 4095;
    return static_cast<int>(d);
}

double shadowSigma(double blur) { return std::fmin(blur / 2, 500); }

namespace {

// Division by the box size as a multiplication by its 24-bit fixed-point reciprocal, rounded:
// (sum * reciprocal + 2^23) >> 24. Sums stay below 2^20 (255 times a box of at most 4095) and
// the reciprocal below 2^24; splitting the reciprocal into two 12-bit halves
// keeps every step within 32 bits, which vectorises, and gives the same result exactly.
struct Average {
    std::uint32_t high, low;
    explicit Average(int size) {
        const auto reciprocal = static_cast<std::uint32_t>(((std::uint64_t{1} << 24) + static_cast<std::uint64_t>(size) / 2) /
                                                           static_cast<std::uint64_t>(size));
        high = reciprocal >> 12;
        low = reciprocal & 0xFFF;
    }
    std::uint8_t operator()(std::uint32_t sum) const {
        const std::uint32_t v = (sum * high + ((sum * low + (1u << 23)) >> 12)) >> 12;
        return static_cast<std::uint8_t>(v > 255 ? 255 : v);
    }
};

// Pass k averages the previous values at p - left .. p + right.
struct Pass {
    int left, right;
};

std::array<Pass, 3> passesForBox(int d) {
    const int h = d / 2;
    if (d % 2 == 1) return {{{h, h}, {h, h}, {h, h}}};
    return {{{h, h - 1}, {h - 1, h}, {h, h}}};
}

struct Range {
    int begin, end;
    int size() const { return std::max(0, end - begin); }
};

// Values along one axis at the positions of `range`, one row of `lanes` bytes per position,
// and 0 at every other position. Every byte is written before it is read, so the storage
// starts uninitialised (zeroing it cost a seventh of a wide blur).
struct Rows {
    std::unique_ptr<std::uint8_t[]> data;
    Range range;
    int lanes;
    static Rows of(Range range, int lanes) {
        return {std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(range.size()) *
                                                               static_cast<std::size_t>(lanes)),
                range, lanes};
    }
    const std::uint8_t* at(int position) const {
        return data.get() + static_cast<std::size_t>(position - range.begin) * static_cast<std::size_t>(lanes);
    }
};

// The wide blurs of big shadows spend nearly all their time here, so the loop is also built for
// processors with wider vectors, picked when the program starts. Not under ThreadSanitizer: the
// picker runs while the program is being loaded, before the sanitizer's own start-up.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define DV_WIDER_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define DV_WIDER_VECTORS
#endif

DV_WIDER_VECTORS
void addRow(std::uint32_t* sums, const std::uint8_t* row, std::size_t lanes) {
    for (std::size_t x = 0; x < lanes; ++x) sums[x] += row[x];
}

DV_WIDER_VECTORS
void subtractRow(std::uint32_t* sums, const std::uint8_t* row, std::size_t lanes) {
    for (std::size_t x = 0; x < lanes; ++x) sums[x] -= row[x];
}

DV_WIDER_VECTORS
void averageRow(const std::uint32_t* sums, std::uint8_t* out, std::size_t lanes, Average average) {
    for (std::size_t x = 0; x < lanes; ++x) out[x] = average(sums[x]);
}

// One box pass over rows of lanes, kept to the positions `wanted`. A running sum per lane keeps
// memory access sequential and vectorises.
Rows boxPass(const Rows& in, Range wanted, Pass pass) {
    Rows out = Rows::of(wanted, in.lanes);
    if (wanted.size() == 0) return out;
    const std::size_t lanes = static_cast<std::size_t>(in.lanes);
    const Average average(pass.left + pass.right + 1);
    std::vector<std::uint32_t> sums(lanes, 0);
    auto inside = [&](int position) { return position >= in.range.begin && position < in.range.end; };
    for (int q = std::max(wanted.begin - pass.left, in.range.begin); q <= wanted.begin + pass.right && q < in.range.end; ++q)
        addRow(sums.data(), in.at(q), lanes);
    bool changed = true;  // the sums differ from those of the previous position
    for (int p = wanted.begin; p < wanted.end; ++p) {
        std::uint8_t* row = out.data.get() + static_cast<std::size_t>(p - wanted.begin) * lanes;
        if (changed || p == wanted.begin) averageRow(sums.data(), row, lanes, average);
        else std::memcpy(row, row - lanes, lanes);  // a stretch where the window takes in only zeros
        const int add = p + pass.right + 1, drop = p - pass.left;
        changed = false;
        if (inside(add)) {
            addRow(sums.data(), in.at(add), lanes);
            changed = true;
        }
        if (inside(drop)) {
            subtractRow(sums.data(), in.at(drop), lanes);
            changed = true;
        }
    }
    return out;
}

// The three passes along one axis, from values at `in.range` (0 elsewhere) to the positions
// `wanted`. Each pass is kept to the positions the next one reads that can hold anything but 0.
Rows threePasses(const Rows& in, Range wanted, const std::array<Pass, 3>& passes) {
    Range need[3];
    need[2] = wanted;
    for (int k = 2; k > 0; --k) need[k - 1] = {need[k].begin - passes[k].left, need[k].end + passes[k].right};
    Rows current;
    int spreadLeft = 0, spreadRight = 0;  // how far the values reach beyond the input so far
    for (int k = 0; k < 3; ++k) {
        spreadLeft += passes[k].right;
        spreadRight += passes[k].left;
        const Range support{in.range.begin - spreadLeft, in.range.end + spreadRight};
        const Range r = k == 2 ? wanted : Range{std::max(need[k].begin, support.begin), std::min(need[k].end, support.end)};
        current = boxPass(k == 0 ? in : current, r, passes[k]);
    }
    return current;
}

// Whether the blur is 0 everywhere, from a bound that costs one look at each source pixel: no
// value across a row exceeds the average of the row's whole sum, and no value down a column the
// average of those bounds summed over the rows. A thin or small shape under a wide blur (the
// outline of a shape) fades to nothing, and is then never blurred.
bool blursToNothing(const AlphaPlane& src, Range rows, const std::array<Pass, 3>& passes) {
    auto size = [](const Pass& p) { return static_cast<std::uint32_t>(p.left + p.right + 1); };
    // At or past a whole window of 255 the bound is 255, and sums stay in Average's range.
    auto average = [&](const Pass& p, std::uint64_t sum) -> std::uint32_t {
        return sum >= size(p) * 255u ? 255u : Average(static_cast<int>(size(p)))(static_cast<std::uint32_t>(sum));
    };
    const auto width = static_cast<std::size_t>(src.window.width());
    std::uint64_t down = 0;
    for (int y = rows.begin; y < rows.end; ++y) {
        const std::uint8_t* row = src.pixels + static_cast<std::ptrdiff_t>(y - src.window.y0) * src.stride;
        std::uint64_t across = 0;
        // 32-bit sums of pieces, which vectorise.
        for (std::size_t x = 0; x < width;) {
            const std::size_t end = std::min(width, x + (std::size_t{1} << 24));
            std::uint32_t piece = 0;
            for (; x < end; ++x) piece += row[x];
            across += piece;
        }
        std::uint32_t bound = average(passes[0], across);
        bound = average(passes[1], std::uint64_t{bound} * size(passes[1]));
        down += average(passes[2], std::uint64_t{bound} * size(passes[2]));
    }
    return average(passes[0], down) == 0;
}

} // namespace

PixelWindow blurSupport(const PixelWindow& source, double sigma) {
    const int d = boxSizeForSigma(sigma);
    if (d < 2 || source.isEmpty()) return source;
    int left = 0, right = 0;
    for (const Pass& pass : passesForBox(d)) {
        left += pass.left;
        right += pass.right;
    }
    // A value spreads against each pass's window: to the right by its left reach, and back.
    return {source.x0 - right, source.y0 - right, source.x1 + left, source.y1 + left};
}

bool blursToNothing(const AlphaPlane& src, double sigma) {
    const int d = boxSizeForSigma(sigma);
    if (src.window.isEmpty()) return true;
    return d >= 2 && blursToNothing(src, {src.window.y0, src.window.y1}, passesForBox(d));
}

bool gaussianBlurAlpha(const AlphaPlane& src, std::uint8_t* dst, int dstStride, const PixelWindow& out, double sigma) {
    if (out.isEmpty() || src.window.isEmpty()) return false;
    const int d = boxSizeForSigma(sigma);
    const PixelWindow& in = src.window;
    auto clearOutput = [&] {
        for (int y = 0; y < out.height(); ++y)
            std::memset(dst + static_cast<std::ptrdiff_t>(y) * dstStride, 0, static_cast<std::size_t>(out.width()));
    };
    if (d < 2) {
        // Nothing to blur: the output is the plane itself.
        const int x0 = std::max(out.x0, in.x0), x1 = std::min(out.x1, in.x1);
        const int y0 = std::max(out.y0, in.y0), y1 = std::min(out.y1, in.y1);
        if (x0 >= x1 || y0 >= y1) return false;
        clearOutput();
        for (int y = y0; y < y1; ++y) {
            std::memcpy(dst + static_cast<std::ptrdiff_t>(y - out.y0) * dstStride + (x0 - out.x0),
                        src.pixels + static_cast<std::ptrdiff_t>(y - in.y0) * src.stride + (x0 - in.x0),
                        static_cast<std::size_t>(x1 - x0));
        }
        return true;
    }
    const auto passes = passesForBox(d);
    const int left = passes[0].left + passes[1].left + passes[2].left;
    const int right = passes[0].right + passes[1].right + passes[2].right;
    // Source rows beyond the reach of the output change nothing in it.
    const Range rows{std::max(in.y0, out.y0 - left), std::min(in.y1, out.y1 + right)};
    if (rows.size() == 0 || in.x0 >= out.x1 + right || in.x1 <= out.x0 - left) return false;
    if (blursToNothing(src, rows, passes)) return false;

    // Across: the source turned on its side, so that each column is a lane.
    Rows across = Rows::of({in.x0, in.x1}, rows.size());
    for (int y = rows.begin; y < rows.end; ++y) {
        const std::uint8_t* row = src.pixels + static_cast<std::ptrdiff_t>(y - in.y0) * src.stride;
        for (int x = 0; x < in.width(); ++x)
            across.data[static_cast<std::size_t>(x) * static_cast<std::size_t>(rows.size()) + static_cast<std::size_t>(y - rows.begin)] = row[x];
    }
    const Rows blurredAcross = threePasses(across, {out.x0, out.x1}, passes);

    // Back upright, then down.
    const std::size_t width = static_cast<std::size_t>(out.width());
    Rows down = Rows::of(rows, out.width());
    std::vector<std::uint32_t> columnTotals(width, 0);
    for (int x = 0; x < out.width(); ++x) {
        const std::uint8_t* lane = blurredAcross.at(out.x0 + x);
        for (int y = 0; y < rows.size(); ++y) {
            down.data[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)] = lane[y];
            columnTotals[static_cast<std::size_t>(x)] += lane[y];
        }
    }
    // A column whose whole sum averages to 0 stays 0 down every pass; a faint shadow of a small
    // shape under a wide blur often ends here.
    const std::uint32_t most = *std::max_element(columnTotals.begin(), columnTotals.end());
    if (Average(passes[0].left + passes[0].right + 1)(most) == 0) return false;
    const Rows result = threePasses(down, {out.y0, out.y1}, passes);

    bool inked = false;
    for (int y = 0; y < out.height(); ++y) {
        const std::uint8_t* row = result.at(out.y0 + y);
        std::memcpy(dst + static_cast<std::ptrdiff_t>(y) * dstStride, row, width);
        inked = inked || std::any_of(row, row + width, [](std::uint8_t v) { return v != 0; });
    }
    return inked;
}

namespace {

int toPixel(double v) { return static_cast<int>(std::clamp(v, -1e9, 1e9)); }

// How far beyond the blur's own reach a shape is drawn for its shadow: cairo anti-aliases an
// edge cut off by the end of a surface differently for a few pixels along the cut, which must
// never show.
constexpr int CUT_MARGIN = 16;

double shadowPad(double blur) { return std::ceil(3 * shadowSigma(blur)) + 1; }

} // namespace

PixelWindow shadowReach(const PixelWindow& clip, double offsetX, double offsetY, double blur) {
    if (clip.isEmpty()) return {};
    const double pad = shadowPad(blur) + CUT_MARGIN;
    return {toPixel(std::floor(clip.x0 - offsetX - pad)), toPixel(std::floor(clip.y0 - offsetY - pad)),
            toPixel(std::ceil(clip.x1 - offsetX + pad)), toPixel(std::ceil(clip.y1 - offsetY + pad))};
}

ShadowWindows shadowWindows(double x0, double y0, double x1, double y1, const PixelWindow& clip, double offsetX,
                            double offsetY, double blur) {
    const double pad = shadowPad(blur);
    if (!(x0 <= x1) || !(y0 <= y1) || clip.isEmpty()) return {};
    // The pixels of the clip the blurred shape can reach, back in the shape's coordinates; a
    // fractional offset samples the pixel on either side.
    PixelWindow cast{toPixel(std::floor(std::fmax(x0 - pad, clip.x0 - offsetX))),
                     toPixel(std::floor(std::fmax(y0 - pad, clip.y0 - offsetY))),
                     toPixel(std::ceil(std::fmin(x1 + pad, clip.x1 - offsetX))),
                     toPixel(std::ceil(std::fmin(y1 + pad, clip.y1 - offsetY)))};
    if (cast.isEmpty()) return {};
    const PixelWindow reach = shadowReach(clip, offsetX, offsetY, blur);
    PixelWindow source{std::max(toPixel(std::floor(x0)), reach.x0), std::max(toPixel(std::floor(y0)), reach.y0),
                       std::min(toPixel(std::ceil(x1)), reach.x1), std::min(toPixel(std::ceil(y1)), reach.y1)};
    if (source.isEmpty()) return {};
    return {source, cast};
}

} // namespace dv::gfx::detail
