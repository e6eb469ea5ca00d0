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
bool blursToNothing(const AlphaPlane& src, Range rows, const std::array<Pass, 3>& passes, int faint) {
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
    return average(passes[0], down) <= static_cast<std::uint32_t>(std::max(faint, 0));
}

// How far the three passes of a box of size d move a value: towards lower positions by the
// passes' right reaches, towards higher ones by their left reaches.
struct Spread {
    int lower = 0, higher = 0;
};

Spread spreadOfBox(int d) {
    Spread s;
    if (d < 2) return s;
    for (const Pass& pass : passesForBox(d)) {
        s.lower += pass.right;
        s.higher += pass.left;
    }
    return s;
}

bool exactBlur(const AlphaPlane& src, std::uint8_t* dst, int dstStride, const PixelWindow& out, int d) {
    if (out.isEmpty() || src.window.isEmpty()) return false;
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
    if (blursToNothing(src, rows, passes, 0)) return false;

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

// A wide blur is computed on a coarser grid: cells of k × k device pixels (k a power of two)
// at multiples of k of the device grid, each the rounded average of its pixels; the cells are
// blurred exactly, with the deviation less what averaging and interpolating add, and every
// pixel is then interpolated linearly between the four cells whose centres surround its own.
// A pixel thus depends on the source and on where it lies, never on the window asked for, and
// the work grows with the pixels, not with the blur's reach squared.
//
// Reading pixel X, its cells are c0 = floor((2X + 1 - k) / 2k) and c0 + 1, with weights
// (2k - r) and r out of 2k, r = 2X + 1 - k - 2k·c0 (odd, so always between the two).
struct Reduction {
    int k = 1, shift = 0;  // k = 2^shift
    int box = 0;           // the box size on the grid of cells
    Spread cells;          // how far the blur of the cells spreads, in cells
    int cellOf(int x) const { return x >> shift; }  // floor, for negative positions too
    int firstCellRead(int x) const { return (2 * x + 1 - k) >> (shift + 1); }
    // The pixels a value held in pixels lo .. hi - 1 can reach.
    int lowestReached(int lo) const { return (cellOf(lo) - cells.lower) * k - k / 2; }
    int highestReached(int hi) const { return (cellOf(hi - 1) + cells.higher) * k + 3 * k / 2; }
};

// The largest blurs use the coarsest grid, kept to where the blur of the cells still stands for
// a Gaussian closely (a deviation of at least 8 cells) and its spread stays within 3·sigma, as
// the exact blur's does: whatever bounds a shadow's reach holds for both. Smaller blurs are exact.
constexpr int MAX_CELL = 32;  // keeps the interpolation's sums within 16 bits a cell row
constexpr double MIN_CELL_SIGMA = 8;

Reduction reductionFor(double sigma) {
    Reduction best;
    best.box = boxSizeForSigma(sigma);
    best.cells = spreadOfBox(best.box);
    if (best.box < 2) return best;
    const double limit = std::floor(3 * sigma);
    for (int shift = 1; (1 << shift) <= MAX_CELL; ++shift) {
        const int k = 1 << shift;
        // Averaging k pixels adds a variance of (k² - 1) / 12, interpolating about k² / 6.
        const double variance = (sigma * sigma - (k * k - 1) / 12.0 - k * k / 6.0) / (k * k);
        if (!(variance >= MIN_CELL_SIGMA * MIN_CELL_SIGMA)) break;
        Reduction r;
        r.k = k;
        r.shift = shift;
        r.box = boxSizeForSigma(std::sqrt(variance));
        r.cells = spreadOfBox(r.box);
        // A value at the end of a cell spreads the furthest down, one at its start up.
        if ((k - 1) - r.lowestReached(k - 1) > limit || r.highestReached(1) - 1 > limit) break;
        best = r;
    }
    return best;
}

// Cells `cells` of the plane, each the rounded average of its k × k pixels (0 outside the
// plane's window), rows of cells.width() bytes.
std::vector<std::uint8_t> averageCells(const AlphaPlane& src, const PixelWindow& cells, const Reduction& r) {
    const PixelWindow& in = src.window;
    const auto width = static_cast<std::size_t>(cells.width());
    std::vector<std::uint8_t> out(width * static_cast<std::size_t>(cells.height()));
    const int x0 = std::max(in.x0, cells.x0 * r.k), x1 = std::min(in.x1, cells.x1 * r.k);
    if (x0 >= x1) return out;
    // Columns summed down a row of cells first (at most 32 × 255 each), then across each cell.
    std::vector<std::uint16_t> columns(static_cast<std::size_t>(x1 - x0));
    const std::uint32_t half = 1u << (2 * r.shift - 1);
    for (int cy = cells.y0; cy < cells.y1; ++cy) {
        std::fill(columns.begin(), columns.end(), 0);
        for (int y = std::max(in.y0, cy * r.k); y < std::min(in.y1, (cy + 1) * r.k); ++y) {
            const std::uint8_t* row = src.pixels + static_cast<std::ptrdiff_t>(y - in.y0) * src.stride + (x0 - in.x0);
            for (std::size_t x = 0; x < columns.size(); ++x) columns[x] = static_cast<std::uint16_t>(columns[x] + row[x]);
        }
        std::uint8_t* cellRow = out.data() + static_cast<std::size_t>(cy - cells.y0) * width;
        for (int cx = std::max(cells.x0, r.cellOf(x0)); cx <= r.cellOf(x1 - 1); ++cx) {
            std::uint32_t sum = 0;
            for (int x = std::max(x0, cx * r.k); x < std::min(x1, (cx + 1) * r.k); ++x) sum += columns[static_cast<std::size_t>(x - x0)];
            cellRow[cx - cells.x0] = static_cast<std::uint8_t>((sum + half) >> (2 * r.shift));
        }
    }
    return out;
}

// The source's cells, a window of cells, that can reach the cells `wanted`.
PixelWindow cellsReaching(const PixelWindow& cells, const PixelWindow& wanted, const Reduction& r) {
    return {std::max(cells.x0, wanted.x0 - r.cells.higher), std::max(cells.y0, wanted.y0 - r.cells.higher),
            std::min(cells.x1, wanted.x1 + r.cells.lower), std::min(cells.y1, wanted.y1 + r.cells.lower)};
}

// The cells that hold the pixels of a window.
PixelWindow cellsOf(const PixelWindow& pixels, const Reduction& r) {
    return {r.cellOf(pixels.x0), r.cellOf(pixels.y0), r.cellOf(pixels.x1 - 1) + 1, r.cellOf(pixels.y1 - 1) + 1};
}

// The cells the pixels of `out` are interpolated from.
PixelWindow cellsRead(const PixelWindow& out, const Reduction& r) {
    return {r.firstCellRead(out.x0), r.firstCellRead(out.y0), r.firstCellRead(out.x1 - 1) + 2, r.firstCellRead(out.y1 - 1) + 2};
}

// One row of cells spread across the pixels x0 .. x1 - 1, each pixel the two cells about it
// weighted out of 2k (so 2k times the value, at most 255 · 64). Pixels (c·k + k/2) ..
// (c·k + 3k/2 - 1) lie between the centres of cells c and c + 1.
void spreadAcross(const std::uint8_t* cells, int firstCell, int cellCount, std::uint16_t* out, int x0, int x1,
                  const Reduction& r) {
    const int k = r.k;
    for (int c = firstCell; c < firstCell + cellCount - 1; ++c) {
        const int start = c * k + k / 2;
        const int from = std::max(x0, start), to = std::min(x1, start + k);
        const int a = cells[c - firstCell], b = cells[c + 1 - firstCell];
        for (int x = from; x < to; ++x) {
            const int weight = 2 * (x - start) + 1;
            out[x - x0] = static_cast<std::uint16_t>(a * (2 * k - weight) + b * weight);
        }
    }
}

// A row of pixels between two rows spread across, weighted out of 2k again and rounded; the
// pixels the output spends nearly all its time on, so built for wider vectors too.
DV_WIDER_VECTORS
std::uint8_t spreadDown(const std::uint16_t* above, const std::uint16_t* below, std::uint32_t weight, std::uint8_t* out,
                        std::size_t width, std::uint32_t k, std::uint32_t shift) {
    const std::uint32_t rounding = 2 * k * k, other = 2 * k - weight;
    std::uint8_t any = 0;
    for (std::size_t x = 0; x < width; ++x) {
        const auto v = static_cast<std::uint8_t>((above[x] * other + below[x] * weight + rounding) >> shift);
        out[x] = v;
        any |= v;
    }
    return any;
}

// The pixels of `out` interpolated from blurred cells: `blurred` holds (at least) the cells
// cellsRead(out) reads.
bool interpolate(const AlphaPlane& blurred, std::uint8_t* dst, int dstStride, const PixelWindow& out, const Reduction& r) {
    // Across each row of cells first, then down between two of them for each row of pixels.
    const PixelWindow wanted = cellsRead(out, r);
    const auto width = static_cast<std::size_t>(out.width());
    const auto across = std::make_unique_for_overwrite<std::uint16_t[]>(width * static_cast<std::size_t>(wanted.height()));
    for (int cy = 0; cy < wanted.height(); ++cy)
        spreadAcross(blurred.pixels + static_cast<std::ptrdiff_t>(wanted.y0 + cy - blurred.window.y0) * blurred.stride +
                         (wanted.x0 - blurred.window.x0),
                     wanted.x0, wanted.width(), across.get() + static_cast<std::size_t>(cy) * width, out.x0, out.x1, r);
    std::uint8_t any = 0;
    for (int y = out.y0; y < out.y1; ++y) {
        const int cy = r.firstCellRead(y);
        const auto weight = static_cast<std::uint32_t>(2 * y + 1 - r.k - 2 * r.k * cy);
        const std::uint16_t* above = across.get() + static_cast<std::size_t>(cy - wanted.y0) * width;
        any |= spreadDown(above, above + width, weight, dst + static_cast<std::ptrdiff_t>(y - out.y0) * dstStride, width,
                          static_cast<std::uint32_t>(r.k), static_cast<std::uint32_t>(2 * r.shift + 2));
    }
    return any != 0;
}

// The blur of the cells, which hold the averages of the source's cells, interpolated into `out`.
bool blurCells(const AlphaPlane& cells, std::uint8_t* dst, int dstStride, const PixelWindow& out, const Reduction& r) {
    const PixelWindow wanted = cellsRead(out, r);
    const PixelWindow reaching = cellsReaching(cells.window, wanted, r);
    if (reaching.isEmpty()) return false;
    const AlphaPlane part{cells.pixels + static_cast<std::ptrdiff_t>(reaching.y0 - cells.window.y0) * cells.stride +
                              (reaching.x0 - cells.window.x0),
                          cells.stride, reaching};
    std::vector<std::uint8_t> blurred(static_cast<std::size_t>(wanted.width()) * static_cast<std::size_t>(wanted.height()));
    if (!exactBlur(part, blurred.data(), wanted.width(), wanted, r.box)) return false;
    return interpolate({blurred.data(), wanted.width(), wanted}, dst, dstStride, out, r);
}

bool reducedBlur(const AlphaPlane& src, std::uint8_t* dst, int dstStride, const PixelWindow& out, const Reduction& r) {
    const PixelWindow cells = cellsReaching(cellsOf(src.window, r), cellsRead(out, r), r);
    if (cells.isEmpty()) return false;
    const std::vector<std::uint8_t> averaged = averageCells(src, cells, r);
    return blurCells({averaged.data(), cells.width(), cells}, dst, dstStride, out, r);
}

} // namespace

int blurCellSize(double sigma) { return reductionFor(sigma).k; }

namespace {

// One row of the plane moved by a fraction: each pixel the four about it, weighted out of 256²
// (`a` for the column before, `b` for the row above).
DV_WIDER_VECTORS
void moveRow(const std::uint8_t* above, const std::uint8_t* below, std::uint8_t* out, std::size_t width, std::size_t step,
             std::uint32_t a, std::uint32_t b) {
    const std::uint32_t ab = a * b, nb = (256 - a) * b, an = a * (256 - b), nn = (256 - a) * (256 - b);
    for (std::size_t x = 0; x < width; ++x)
        out[x] = static_cast<std::uint8_t>((above[x] * ab + above[x + step] * nb + below[x] * an + below[x + step] * nn) >> 16);
}

} // namespace

void moveByFraction(std::uint8_t* pixels, int stride, int width, int height, double fx, double fy) {
    const int sx = fx > 0, sy = fy > 0;
    // cairo hands pixman the offset's fraction in 16.16 fixed point, rounded to even; pixman
    // weighs the pixels about a position by the top 7 bits of the position's fraction (that of
    // minus the offset) and drops what the weighted sum holds below a level.
    const auto before = [](double f) {
        const auto position = static_cast<std::uint32_t>(-std::llrint(std::ldexp(f, 16)) & 0xffff);
        return 256 - 2 * (position >> 9);
    };
    const std::uint32_t a = before(fx), b = before(fy);
    // Row y reads rows y and y + sy, and pixels x and x + sx, all at or after what it writes.
    for (int y = 0; y + sy < height; ++y) {
        std::uint8_t* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        moveRow(row, row + static_cast<std::ptrdiff_t>(sy) * stride, row, static_cast<std::size_t>(width - sx),
                static_cast<std::size_t>(sx), a, b);
    }
}

MaskPlace maskSamplingPlace(double x, double y) {
    // A translation that comes to whole pixels in cairo's fixed point (rounded to even) is drawn
    // with the nearest pixels, not resampled; another is resampled at pixman's 16.16 position.
    const auto steps = [](double at, int bits) { return std::llrint(std::ldexp(at - std::floor(at), bits)); };
    const auto nearest = [&](double at) {
        const long long s = steps(at, 8);
        return s == 0 ? std::floor(at) : s == 256 ? std::floor(at) + 1 : HUGE_VAL;
    };
    const double nx = nearest(x), ny = nearest(y);
    if (nx != HUGE_VAL && ny != HUGE_VAL) return {nx, ny};
    return {steps(x, 16) == 0 ? std::floor(x) : x, steps(y, 16) == 0 ? std::floor(y) : y};
}

namespace {

DV_WIDER_VECTORS
std::uint8_t rowMaximum(const std::uint8_t* row, std::size_t width) {
    std::uint8_t most = 0;
    for (std::size_t x = 0; x < width; ++x) most = std::max(most, row[x]);
    return most;
}

} // namespace

PixelWindow above(const std::uint8_t* pixels, int stride, int width, int height, int faint) {
    PixelWindow found{width, height, 0, 0};
    const auto w = static_cast<std::size_t>(std::max(width, 0));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        if (rowMaximum(row, w) <= faint) continue;
        found.y0 = std::min(found.y0, y);
        found.y1 = y + 1;
        int x0 = 0, x1 = width;
        while (row[x0] <= faint) ++x0;
        while (row[x1 - 1] <= faint) --x1;
        found.x0 = std::min(found.x0, x0);
        found.x1 = std::max(found.x1, x1);
    }
    return found.isEmpty() ? PixelWindow{} : found;
}

int faintMaskLevel(double alpha) {
    // An upper bound on the alpha in 8 bits however it is rounded; a component c times a level m
    // rounds to 0 exactly when c·m + 128 < 256.
    if (!(alpha >= 0)) return 0;
    const double a = std::fmin(alpha, 1.0);
    const int most = std::min(255, static_cast<int>(std::floor(a * 255)) + 1);
    return 127 / most;
}

PixelWindow blurSupport(const PixelWindow& source, double sigma) {
    const Reduction r = reductionFor(sigma);
    if (r.box < 2 || source.isEmpty()) return source;
    if (r.k == 1)
        return {source.x0 - r.cells.lower, source.y0 - r.cells.lower, source.x1 + r.cells.higher, source.y1 + r.cells.higher};
    return {r.lowestReached(source.x0), r.lowestReached(source.y0), r.highestReached(source.x1), r.highestReached(source.y1)};
}

bool blursToNothing(const AlphaPlane& src, double sigma, int faint) {
    if (src.window.isEmpty()) return true;
    const Reduction r = reductionFor(sigma);
    if (r.box < 2) return false;
    if (r.k == 1) return blursToNothing(src, {src.window.y0, src.window.y1}, passesForBox(r.box), faint);
    const PixelWindow cells = cellsOf(src.window, r);
    const std::vector<std::uint8_t> averaged = averageCells(src, cells, r);
    return cellsBlurToNothing({averaged.data(), cells.width(), cells}, sigma, faint);
}

bool cellsBlurToNothing(const AlphaPlane& cells, double sigma, int faint) {
    if (cells.window.isEmpty()) return true;
    const Reduction r = reductionFor(sigma);
    if (r.box < 2) return false;
    // Interpolating between cells, and moving by a fraction, never exceeds the largest cell.
    return blursToNothing(cells, {cells.window.y0, cells.window.y1}, passesForBox(r.box), faint);
}

PixelWindow blurCellsHolding(const PixelWindow& pixels, double sigma) {
    if (pixels.isEmpty()) return {};
    return cellsOf(pixels, reductionFor(sigma));
}

std::vector<std::uint8_t> averagedCells(const AlphaPlane& src, const PixelWindow& cells, double sigma) {
    return averageCells(src, cells, reductionFor(sigma));
}

bool blurOnCells(const AlphaPlane& cells, double sigma, std::vector<std::uint8_t>& blurred, PixelWindow& window) {
    window = {};
    if (cells.window.isEmpty()) return false;
    const Reduction r = reductionFor(sigma);
    window = {cells.window.x0 - r.cells.lower, cells.window.y0 - r.cells.lower, cells.window.x1 + r.cells.higher,
              cells.window.y1 + r.cells.higher};
    blurred.resize(static_cast<std::size_t>(window.width()) * static_cast<std::size_t>(window.height()));
    return exactBlur(cells, blurred.data(), window.width(), window, r.box);
}

bool interpolateCells(const AlphaPlane& blurred, std::uint8_t* dst, int dstStride, const PixelWindow& out, double sigma) {
    if (out.isEmpty() || blurred.window.isEmpty()) return false;
    const Reduction r = reductionFor(sigma);
    const PixelWindow wanted = cellsRead(out, r);
    const PixelWindow held{std::max(wanted.x0, blurred.window.x0), std::max(wanted.y0, blurred.window.y0),
                           std::min(wanted.x1, blurred.window.x1), std::min(wanted.y1, blurred.window.y1)};
    if (held.isEmpty()) return false;
    if (held.x0 == wanted.x0 && held.y0 == wanted.y0 && held.x1 == wanted.x1 && held.y1 == wanted.y1)
        return interpolate(blurred, dst, dstStride, out, r);
    // Cells beyond those blurred are 0.
    const auto wide = static_cast<std::size_t>(wanted.width());
    std::vector<std::uint8_t> grid(wide * static_cast<std::size_t>(wanted.height()), 0);
    for (int cy = held.y0; cy < held.y1; ++cy)
        std::memcpy(grid.data() + static_cast<std::size_t>(cy - wanted.y0) * wide + static_cast<std::size_t>(held.x0 - wanted.x0),
                    blurred.pixels + static_cast<std::ptrdiff_t>(cy - blurred.window.y0) * blurred.stride + (held.x0 - blurred.window.x0),
                    static_cast<std::size_t>(held.width()));
    return interpolate({grid.data(), wanted.width(), wanted}, dst, dstStride, out, r);
}

bool gaussianBlurCells(const AlphaPlane& cells, std::uint8_t* dst, int dstStride, const PixelWindow& out, double sigma) {
    if (out.isEmpty() || cells.window.isEmpty()) return false;
    const Reduction r = reductionFor(sigma);
    return r.k == 1 ? exactBlur(cells, dst, dstStride, out, r.box) : blurCells(cells, dst, dstStride, out, r);
}

bool gaussianBlurAlpha(const AlphaPlane& src, std::uint8_t* dst, int dstStride, const PixelWindow& out, double sigma) {
    if (out.isEmpty() || src.window.isEmpty()) return false;
    const Reduction r = reductionFor(sigma);
    return r.k == 1 ? exactBlur(src, dst, dstStride, out, r.box) : reducedBlur(src, dst, dstStride, out, r);
}

bool exactGaussianBlurAlpha(const AlphaPlane& src, std::uint8_t* dst, int dstStride, const PixelWindow& out, double sigma) {
    return exactBlur(src, dst, dstStride, out, boxSizeForSigma(sigma));
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
