#pragma once
// A drawing context over cairo, shaped like the bitmap contexts the renderer was written for:
// paths kept in device space, transforms, clipping, dashes, caps and joins, plus the state cairo
// has no notion of (separate fill and stroke colours, a global alpha, shadows).
//
// Device space is y-down with row 0 at the top of the bitmap. Painting and clipping keep the
// current path; only beginPath() discards it. No call can put the underlying cairo context into
// its sticky error state: singular matrices, unbalanced restores, unusable dashes and non-finite
// numbers are refused here, and path coordinates far outside cairo's fixed-point range are cut
// at a guard box before they reach it.
#include <cmath>
#include <cstdint>
#include <climits>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace dv::gfx {

namespace detail {
struct PixelWindow;
struct ShadowWindows;
class ShadowMaskCache;
struct Polyline;
class RepeatedFill;
struct GridPoint;
}

class Bitmap;
class Image;
class MemoryPromise;

struct Color {
    double red = 0, green = 0, blue = 0, alpha = 0;
    bool operator==(const Color&) const = default;
};

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

struct DevicePoint {
    double x = 0, y = 0;
};

/// x' = a·x + c·y + tx, y' = b·x + d·y + ty.
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    bool operator==(const AffineTransform&) const = default;

    bool isFinite() const;
    /// Finite with a finite, non-zero determinant.
    bool isInvertible() const;
    /// The inverse; the identity when the matrix is not invertible.
    AffineTransform inverted() const;
    /// This transform followed by `next` (a point goes through this one first).
    AffineTransform concatenating(const AffineTransform& next) const;
    DevicePoint apply(double x, double y) const { return {a * x + c * y + tx, b * x + d * y + ty}; }
};

enum class FillRule { winding, evenOdd };
enum class LineCap { butt, round, square };
enum class LineJoin { miter, round, bevel };
enum class InterpolationQuality { none, low, medium, high };

/// Read-only premultiplied ARGB32 pixels (cairo's layout: one native-endian 32-bit word per
/// pixel, alpha in the top byte). `stride` is in bytes.
struct PixelView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

/// The pixels of an image, valid while the image lives.
PixelView pixelsOf(const Image& image);

/// An axis-aligned box in device space (x0 ≤ x1, y0 ≤ y1 when not empty).
struct DeviceBox {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool isEmpty() const { return !(x0 < x1) || !(y0 < y1); }
    void include(double x, double y) {
        if (x < x0) x0 = x;
        if (x > x1) x1 = x;
        if (y < y0) y0 = y;
        if (y > y1) y1 = y;
    }
    static DeviceBox none();
};

class GraphicsContext {
public:
    /// Draws into the bitmap's memory; the bitmap must outlive the context.
    explicit GraphicsContext(Bitmap& target);
    /// Draws into an image surface; takes its own reference to the surface.
    explicit GraphicsContext(cairo_surface_t* target);
    ~GraphicsContext();
    GraphicsContext(const GraphicsContext&) = delete;
    GraphicsContext& operator=(const GraphicsContext&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }

    // Graphics state: transform, clip and every paint setting below.
    void saveGState();
    /// Pops the last saved state; with nothing saved it does nothing and returns false.
    bool restoreGState();

    AffineTransform userToDevice() const { return state_.ctm; }
    /// Applies `t` to user coordinates before the current transform. Refused (false) unless
    /// both `t` and the result are invertible.
    bool concatCTM(const AffineTransform& t);
    /// Replaces the transform; refused (false) unless `t` is invertible.
    bool setCTM(const AffineTransform& t);
    void translateCTM(double tx, double ty);
    void scaleCTM(double sx, double sy);

    // The current path, in user coordinates of the transform current at each call. Points that
    // are not finite after the transform are dropped.
    void beginPath();
    void moveTo(double x, double y);
    /// Acts as moveTo when the path has no current point. Inline: the outline of a long stroke
    /// comes here point by point.
    void addLineTo(double x, double y) {
        const DevicePoint p = state_.ctm.apply(x, y);
        if (std::isfinite(p.x) && std::isfinite(p.y)) appendLine(p);
    }
    void addQuadCurveTo(double cpx, double cpy, double x, double y);
    void addCurveTo(double cp1x, double cp1y, double cp2x, double cp2y, double x, double y);
    /// A circular arc from `startAngle` to `endAngle`, turning towards decreasing angles when
    /// `decreasing`; joined to the current point by a line when there is one.
    void addArc(double cx, double cy, double radius, double startAngle, double endAngle, bool decreasing);
    void addRect(const Rect& r);
    void addEllipseInRect(const Rect& r);
    void closePath();
    bool isPathEmpty() const { return path_.empty(); }

    // Paint settings.
    void setAlpha(double alpha);
    void setFillColor(const Color& c) { state_.fill = c; }
    void setStrokeColor(const Color& c) { state_.stroke = c; }
    void setLineWidth(double w);
    void setLineCap(LineCap cap) { state_.cap = cap; }
    void setLineJoin(LineJoin join) { state_.join = join; }
    void setMiterLimit(double limit);
    /// A pattern with no positive length, or with a negative or non-finite one, draws solid.
    void setLineDash(std::span<const double> lengths, double phase);
    /// Offsets and blur are in device units and ignore the transform; blur is twice the
    /// standard deviation of the Gaussian it approximates.
    void setShadow(double offsetX, double offsetY, double blur, const Color& color);
    void clearShadow();
    void setInterpolationQuality(InterpolationQuality q) { state_.interpolation = q; }

    // Painting and clipping. The current path is kept.
    void fillPath(FillRule rule);
    void strokePath();
    void clip(FillRule rule);
    void clipToRect(const Rect& r);
    void fillRect(const Rect& r);
    void fillRects(std::span<const Rect> rects);
    /// Fills the rectangles 2·halfWidth × 2·halfHeight centred on every point of xs × ys, as
    /// fillRects would to within a level; a large lattice under a transform that keeps the axes
    /// is laid as one mask of its columns' and rows' coverage (see LinesAcross.hpp).
    void fillRectLattice(std::span<const double> xs, std::span<const double> ys, double halfWidth, double halfHeight);
    void strokeRect(const Rect& r);
    /// Draws the pixels scaled into `dest`; a negative width or height mirrors the picture.
    void drawImage(const PixelView& pixels, const Rect& dest);

    /// For layers that draw shapes of their own (text): `paint` draws coverage on the given cairo
    /// context, whose transform is the current one and whose source is already the fill colour
    /// with the global alpha. It runs once for the shadow (when one is set) and once for the
    /// picture. `deviceBounds` must contain everything it draws.
    void paintWithFill(const DeviceBox& deviceBounds, const std::function<void(cairo_t*)>& paint);

    /// The device box outside of which nothing drawn now can change a pixel: the clip (within
    /// the work window), widened while a shadow is set by where the shadow can still reach it
    /// from. Empty (x0 > x1) when everything is clipped away.
    DeviceBox visibleReach() const;

    /// Only the pixels of the device rows `top` to `bottom` (past the last) need to be right:
    /// drawing that cannot change them is left out and shadows are blurred for them alone, but
    /// everything drawn reaches cairo as it would without the window, so those pixels are the
    /// same, to the bit, as on a context without it. Pixels outside the window may be drawn or
    /// not. A clip would not do: cairo joins a clip path to the clip's other edges, and a
    /// shape's edges under the joined clip change pixels far from where the clip's edge lies;
    /// opaque shapes are laid in tiles of rows fixed in the picture, with or without a window,
    /// and only the tiles meeting it are laid (see layInTiles).
    void setWorkRows(int top, int bottom);

    /// Of the work rows, the ones whose pixels are kept (a band's own, without the rows it draws
    /// beyond them): a tile of an opaque shape meeting none of them is not laid, for the tile's
    /// clip keeps it from every other row. The work rows where not given.
    void setKeptRows(int top, int bottom);

    /// True while nothing drawn has been lost: the underlying cairo context has never entered an
    /// error state, nor has one of the contexts cairo draws a shadow with, nor has a call been
    /// left out for want of memory (see MemoryPromise). After a loss nothing more is drawn.
    bool isHealthy() const;
    /// Whether what was lost was lost for want of memory.
    bool ranOutOfMemory() const;

    /// While measuring, no drawing call changes a pixel and everything counts as visible; each
    /// call only widens `measured()` to take in the device box that a clip must meet for the
    /// call to change a pixel within that clip, its shadow included. A caller that leaves out
    /// the calls measured outside a clip draws the same pixels within that clip.
    /// With a window, only what can change a pixel within it counts as visible (visibleReach):
    /// the measured boxes then hold for clips inside the window, and a drawing far taller than
    /// the picture is measured at the cost of the part that shows.
    void setMeasuring(bool measuring, std::optional<DeviceBox> window = std::nullopt) {
        measuring_ = measuring;
        measuringWindow_ = window;
    }
    DeviceBox measured() const { return measured_; }
    /// Whether a heavy fill (see RepeatedFill) was measured since clearMeasured.
    bool measuredHeavyFill() const { return measuredHeavyFill_; }
    void clearMeasured() {
        measured_ = DeviceBox::none();
        measuredHeavyFill_ = false;
    }

    /// A caller that leaves out drawing that cannot reach the work window tells the context
    /// here when what it left out holds a heavy fill (see measuredHeavyFill): a heavy fill like
    /// the one before it reuses that one's coverage, whose pixels may round a level the other
    /// way, and within the window it must take the same way with or without what is left out.
    void forgetLastHeavyFill();

private:
    struct Dash {
        std::vector<double> lengths;
        double phase = 0;
    };
    struct State {
        AffineTransform ctm;
        Color fill{0, 0, 0, 1};
        Color stroke{0, 0, 0, 1};
        double alpha = 1;
        double lineWidth = 1;
        LineCap cap = LineCap::butt;
        LineJoin join = LineJoin::miter;
        double miterLimit = 10;
        Dash dash;
        double shadowX = 0, shadowY = 0, shadowBlur = 0;
        Color shadowColor;
        InterpolationQuality interpolation = InterpolationQuality::high;
        bool clippedToPath = false;  // a clip that is not a box of the device's axes is set
    };
    enum class Op : std::uint8_t { move, line, curve, close };
    /// One point of the path. A curve takes three in a row, its two control points and its
    /// end, all marked as curve; a close carries no point. Long paths are almost all lines, so
    /// a point each keeps them at a third of the memory a slot for a whole curve would take.
    struct PathElement {
        Op op;
        double x, y;
    };
    enum class Emit { fill, stroke };

    void appendMove(DevicePoint p);
    void appendLine(DevicePoint p) {
        if (!hasCurrent_) return appendMove(p);
        if (path_.back().op == Op::close) path_.push_back({Op::move, subpathStart_.x, subpathStart_.y});
        path_.push_back({Op::line, p.x, p.y});
        current_ = p;
    }
    void appendCurve(DevicePoint c1, DevicePoint c2, DevicePoint p);
    void emitPath(cairo_t* cr, Emit mode) const;
    /// `refused`, when given, receives the path on cairo's grid in device space where it was
    /// made and no thinning took it.
    bool emitThinnedFill(cairo_t* cr, FillRule rule,
                         std::vector<std::vector<detail::GridPoint>>* refused = nullptr) const;
    bool emitThinnedStroke(cairo_t* cr) const;
    bool emitSparseStroke(cairo_t* cr) const;
    /// Strokes the path as lines across the picture's window (see LinesAcross.hpp) where it is
    /// such lines; false, with nothing drawn, otherwise.
    bool strokeLinesAcross(cairo_t* cr) const;
    /// Whether the clip of `cr` is rectangles on whole pixels.
    bool onWholePixelsHere(cairo_t* cr) const;
    /// Lays `ink` over the clip within the work rows through a mask whose columns the
    /// intervals `across` cover and whose rows those `down` cover, by their union or, with
    /// `both`, by their crossings.
    void layCoverage(cairo_t* cr, std::vector<std::pair<double, double>> across,
                     std::vector<std::pair<double, double>> down, bool both, const Color& ink) const;
    void emitRects(cairo_t* cr, std::span<const Rect> rects) const;
    void setStrokeParameters(cairo_t* cr) const;
    /// Strokes the path already on `cr` in device space, with every stroke setting; given the
    /// stroke's bounds in `clipFor`, laid tile by tile (see layInTiles).
    void strokeEmitted(cairo_t* cr, const DeviceBox* clipFor) const;
    bool emitWideStroke(cairo_t* cr, std::optional<std::vector<detail::Polyline>>& flat) const;
    /// The line width handed to cairo.
    double strokeWidth() const;
    /// How far from the path, in device units, a stroke's ink can reach.
    double strokeReach() const;
    void setDeviceSpace(cairo_t* cr) const;
    void setUserSpace(cairo_t* cr) const;
    bool shadowActive() const;
    bool invisible(const Color& ink) const;
    /// What the coverage of a shape drawn for a wide shadow stands for. An outline (a path
    /// filled or stroked) drawn onto a grid k times coarser covers each cell by the average of
    /// its k × k pixels, as the blur takes them; images, resampled by their filter, and glyphs,
    /// fitted to the pixel grid, are drawn at full resolution.
    enum class Coverage { outline, pixelGrid };
    /// `edges`: how many edges the drawing hands to cairo at most (see MemoryPromise).
    void paint(const DeviceBox& bounds, const std::function<void(cairo_t*)>& draw, Coverage coverage = Coverage::outline,
               double edges = 0);
    /// The edges cairo makes of the path filled, and stroked with the current settings: for
    /// each edge of the path and in all for its dashes.
    double fillEdges() const;
    double strokeEdges() const;
    double strokePieceEdges() const;
    double strokeDashEdges() const;
    /// Promises the memory of `perEdge` times the edges of the path on `cr` and `extra` more
    /// (see MemoryPromise); false, the picture lost, when it cannot be had.
    bool promiseFor(cairo_t* cr, double perEdge, double extra, std::optional<MemoryPromise>& promise);
    /// The same for `edges` edges, whatever the path on any context.
    bool promiseEdges(double edges, std::optional<MemoryPromise>& promise);
    /// Records a loss: for want of memory or another failure of cairo's.
    void lose(bool forMemory);
    void measure(const DeviceBox& bounds);
    void drawShadow(const DeviceBox& bounds, const std::function<void(cairo_t*)>& draw, Coverage coverage);
    bool layMaskByHand(cairo_surface_t* mask, double atX, double atY) const;
    /// Fills or strokes (`lay`) the path on `cr` with its source set; on the picture's own, for a
    /// shape within `bounds` in ink of `alpha`, tile by tile, the tiles meeting the work rows
    /// alone (see layInTiles in the source). Without `bounds` the path goes whole.
    /// `fine`: a path of many edges, laid in finer tiles.
    void layInTiles(cairo_t* cr, const DeviceBox* bounds, double alpha, void (*lay)(cairo_t*), bool fine = false) const;
    /// The tiles a shape within `bounds` in ink of `alpha` is laid in on `cr` (see layInTiles):
    /// rows [first, last] in tiles of `rows`, of which those meeting [laidTop, laidBottom) are
    /// laid. Absent when the shape goes whole.
    struct Tiles {
        long long rows;
        int first, last, laidTop, laidBottom;
    };
    std::optional<Tiles> tilesFor(cairo_t* cr, const DeviceBox& bounds, double alpha, bool fine = false) const;
    /// Runs `lay` on `cr`, whose matrix is the identity, once for each tile `tiles` lays, with
    /// no path and the tile's rows [top, bottom) as the clip; stops where it returns false.
    void forEachLaidTile(cairo_t* cr, const Tiles& tiles,
                         const std::function<bool(long long top, long long bottom)>& lay) const;
    /// Fills `grid` (cairo's own path in device space, see emitThinnedFill) on `on`, which is the
    /// picture's context or one whose user space is the picture's, tile by tile as `tiles` says
    /// or whole, each tile handed only the edges that can reach it (see RowsPath.hpp). The
    /// picture is lost, and the rest left out, where the memory for a pass cannot be had.
    void fillGridInTiles(cairo_t* on, const std::vector<std::vector<detail::GridPoint>>& grid,
                         const std::optional<Tiles>& tiles);
    /// Where the shadow of a shape drawn within `bounds` matters for `clip`.
    detail::ShadowWindows shadowWindows(const DeviceBox& bounds, const detail::PixelWindow& clip) const;
    detail::PixelWindow clipWindow() const;
    /// The clip within the work window.
    detail::PixelWindow workWindow() const;
    DeviceBox pathBounds() const;
    DeviceBox strokeBounds(const DeviceBox& b) const;
    DeviceBox rectBounds(const Rect& r) const;

    cairo_t* cr_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    State state_;
    std::vector<State> stack_;
    std::vector<PathElement> path_;
    bool hasCurrent_ = false;
    DevicePoint current_;
    DevicePoint subpathStart_;
    std::unique_ptr<detail::ShadowMaskCache> shadowMasks_;
    /// Memory for the planes of the next shadow: its shape and its mask (see drawShadow).
    std::vector<std::uint8_t> shadowShape_, shadowMask_;
    std::unique_ptr<detail::RepeatedFill> repeatedFill_;  // of heavy fills
    bool measuring_ = false;
    std::optional<DeviceBox> measuringWindow_;
    DeviceBox measured_ = DeviceBox::none();
    bool measuredHeavyFill_ = false;
    int workTop_ = INT_MIN, workBottom_ = INT_MAX;
    int keptTop_ = INT_MIN, keptBottom_ = INT_MAX;
    bool lostForMemory_ = false, lost_ = false;
};

} // namespace dv::gfx
