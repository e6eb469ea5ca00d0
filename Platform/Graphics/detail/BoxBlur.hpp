#pragma once
#include <cstdint>
#include <vector>

namespace dv::gfx::detail {

/// Columns x0 .. x1 - 1 and rows y0 .. y1 - 1 of the device pixel grid.
struct PixelWindow {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
    bool isEmpty() const { return x1 <= x0 || y1 <= y0; }
};

/// An 8-bit alpha plane that holds `pixels` inside `window` (rows `stride` bytes apart) and 0
/// everywhere else.
struct AlphaPlane {
    const std::uint8_t* pixels = nullptr;
    int stride = 0;
    PixelWindow window;
};

/// Blurs an alpha plane with three box passes per axis, which approximates a Gaussian of
/// standard deviation `sigma` closely; the spread stays within 3·sigma. Only the pixels of `out`
/// are computed (into `dst`, rows `dstStride` bytes apart), and the work grows with the source's
/// and the output's sides plus the blur's reach, never with the plane around them. A wide blur
/// is computed on a grid of cells of blurCellSize(sigma) pixels a side and interpolated back,
/// at a cost bounded by the pixels of the source and of the output. Either way each pixel
/// depends only on the source and on where it lies, never on the window it is computed for.
/// Returns false when every pixel of the output is 0; `dst` is then untouched or holds zeros.
bool gaussianBlurAlpha(const AlphaPlane& src, std::uint8_t* dst, int dstStride, const PixelWindow& out, double sigma);

/// The three box passes per axis at full resolution whatever the sigma: what a wide blur stands
/// for, kept to measure the coarser one against.
bool exactGaussianBlurAlpha(const AlphaPlane& src, std::uint8_t* dst, int dstStride, const PixelWindow& out,
                            double sigma);

/// The side of the cells, at multiples of it on the device grid, on which the blur of this
/// sigma is computed; 1 for a blur at full resolution. A blurred plane moved by multiples of it
/// is the blur of the moved plane.
int blurCellSize(double sigma);

/// The cells of the blur of this sigma (see blurCellSize) that hold the pixels of a window, in
/// cells: cell (cx, cy) holds pixels cx·k .. cx·k + k - 1 across and cy·k .. down.
PixelWindow blurCellsHolding(const PixelWindow& pixels, double sigma);

/// The cells `cells` of a plane, each the rounded average of its pixels (0 beyond the plane),
/// rows of cells.width() bytes.
std::vector<std::uint8_t> averagedCells(const AlphaPlane& src, const PixelWindow& cells, double sigma);

/// gaussianBlurAlpha of a plane known only by its cells: `cells.window` is in cells of
/// blurCellSize(sigma) pixels a side, each holding the average of its pixels. Given the cells
/// averagedCells gives, the pixels are those gaussianBlurAlpha gives for the plane, exactly; a
/// shape drawn straight onto the cells skips its pixels altogether. Each pixel depends only on
/// the cells and on where it lies, never on the window it is computed for.
bool gaussianBlurCells(const AlphaPlane& cells, std::uint8_t* dst, int dstStride, const PixelWindow& out, double sigma);

/// The blur of a plane known by its cells, as gaussianBlurCells takes them (blurCellSize(sigma)
/// > 1), left on the cells: `window` (in cells) is every cell it can ink and `blurred` holds them,
/// rows of window.width(). Returns false, `blurred` then meaningless, when no cell is inked.
/// A k × k-th of the pixels they stand for, they are what a shadow's blur is kept as.
bool blurOnCells(const AlphaPlane& cells, double sigma, std::vector<std::uint8_t>& blurred, PixelWindow& window);

/// The pixels of `out` interpolated from blurred cells (`blurred.window` in cells, 0 beyond it):
/// with the cells blurOnCells gives, what gaussianBlurCells gives for the cells it blurred, exactly.
bool interpolateCells(const AlphaPlane& blurred, std::uint8_t* dst, int dstStride, const PixelWindow& out, double sigma);

/// blursToNothing for a plane known by its cells, as gaussianBlurCells takes them.
bool cellsBlurToNothing(const AlphaPlane& cells, double sigma, int faint = 0);

/// Moves a plane of width × height pixels (rows `stride` bytes apart) right by `fx` and down by
/// `fy` of a pixel (each in [0, 1)), in place, interpolating linearly to the levels cairo samples
/// a mask drawn at that offset with, to the bit. Where a fraction is not 0 the result is a column (or a row) smaller, and
/// its first pixel lies one further on: pixel (x, y) then stands for (x + 1, y + 1) of the plane's
/// grid, drawn at the whole-pixel part of the offset.
void moveByFraction(std::uint8_t* pixels, int stride, int width, int height, double fx, double fy);

/// Where cairo samples a mask drawn at (x, y), for moveByFraction: at the nearest whole pixels
/// when both lie within half a step of its 24.8 fixed point (1/512) of one; else, along each
/// axis, at the whole pixel below where pixman's 16.16 fixed point has no fraction left, and at
/// the place itself where it has.
struct MaskPlace {
    double x = 0, y = 0;
};
MaskPlace maskSamplingPlace(double x, double y);

/// The smallest window of a plane of width × height pixels (rows `stride` bytes apart), in the
/// plane's own coordinates, that holds every pixel above `faint`; empty when there is none.
PixelWindow above(const std::uint8_t* pixels, int stride, int width, int height, int faint);

/// The level at and below which a mask laid over a picture with a colour of this alpha (0 to 1)
/// changes no pixel: each premultiplied component of the colour, at most the alpha in 8 bits,
/// times the level rounds to 0.
int faintMaskLevel(double alpha);

/// Whether a bound shows that the blur of `src` is at most `faint` everywhere (0: a thin or
/// small shape under a wide blur fades to nothing); false leaves it open. Costs one look at
/// each source pixel.
bool blursToNothing(const AlphaPlane& src, double sigma, int faint = 0);

/// The box size of each pass for a standard deviation.
int boxSizeForSigma(double sigma);

/// The pixels the blur of a plane held in `source` can leave inked: every other pixel of the
/// blur is 0.
PixelWindow blurSupport(const PixelWindow& source, double sigma);

/// The standard deviation a shadow's blur stands for. A larger blur only spreads a shadow
/// thinner; the cap bounds the work.
double shadowSigma(double blur);

/// Where a shadow matters. A shape drawn within `drawn` (device space) casts its shadow, moved
/// by the offset and blurred by `blur`, onto the pixels of `clip`:
/// - `cast` is every pixel of the clip the shadow can change, in the shape's own coordinates
///   (before the offset), and
/// - `source` is the part of the shape that can reach those pixels through the blur.
/// Drawing only `source` and blurring only into `cast` gives the same pixels as the whole
/// shadow. Both are empty when the shadow cannot reach the clip.
struct ShadowWindows {
    PixelWindow source;
    PixelWindow cast;
};
ShadowWindows shadowWindows(double x0, double y0, double x1, double y1, const PixelWindow& clip, double offsetX,
                            double offsetY, double blur);

/// The pixels from which a shape's shadow can still reach `clip`: the clip moved back by the
/// offset and widened by the blur's reach. Whatever lies outside both this and the clip changes
/// no pixel of it, shadow included.
PixelWindow shadowReach(const PixelWindow& clip, double offsetX, double offsetY, double blur);

} // namespace dv::gfx::detail
