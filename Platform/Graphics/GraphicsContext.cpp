#include "Platform/Graphics/GraphicsContext.hpp"

#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/Image.hpp"
#include "Platform/Graphics/MemoryHeadroom.hpp"
#include "Platform/Graphics/detail/BandedFill.hpp"
#include "Platform/Graphics/detail/BoxBlur.hpp"
#include "Platform/Graphics/detail/DashedStroke.hpp"
#include "Platform/Graphics/detail/GuardBox.hpp"
#include "Platform/Graphics/detail/LinesAcross.hpp"
#include "Platform/Graphics/detail/MaskOver.hpp"
#include "Platform/Graphics/detail/OpposedEdges.hpp"
#include "Platform/Graphics/detail/RepeatedFill.hpp"
#include "Platform/Graphics/detail/RowsPath.hpp"
#include "Platform/Graphics/detail/ShadowMaskCache.hpp"
#include "Platform/Graphics/detail/SparseFill.hpp"
#include "Platform/Graphics/detail/SparseStroke.hpp"
#include "Platform/Graphics/detail/WideStroke.hpp"
#include "Platform/Graphics/Shortcuts.hpp"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <tuple>

namespace dv::gfx {

using detail::Vec2;

namespace {

constexpr double TWO_PI = 6.283185307179586;

// Room for the shadow masks of a few dozen distinct shapes at thumbnail sizes.
constexpr std::size_t SHADOW_MASK_BYTES = 32u << 20;
// The planes of a shadow whose memory is kept for the next: a 2048-pixel picture's mask.
constexpr std::size_t SHADOW_PLANE_KEPT_BYTES = 4u << 20;

bool finite(double v) { return std::isfinite(v); }

cairo_matrix_t toCairo(const AffineTransform& t) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    return m;
}

// cairo's tolerance is in the surface's own pixels: on a surface at a device scale (a wide
// shadow's shape drawn onto cells) curves are flattened, and pens and outlines drawn, as
// finely in the picture's pixels as on any picture.
double deviceScale(cairo_t* cr) {
    double scaleX = 1, scaleY = 1;
    cairo_surface_get_device_scale(cairo_get_target(cr), &scaleX, &scaleY);
    return std::fmin(scaleX, scaleY);
}

void matchTolerance(cairo_t* cr) {
    const double scale = deviceScale(cr);
    if (scale > 0 && scale < 1) cairo_set_tolerance(cr, cairo_get_tolerance(cr) * scale);
}

// The tolerance in the picture's pixels.
double pictureTolerance(cairo_t* cr) {
    const double scale = deviceScale(cr);
    return scale > 0 && scale < 1 ? cairo_get_tolerance(cr) / scale : cairo_get_tolerance(cr);
}

void setSource(cairo_t* cr, const Color& c, double alpha) {
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha * alpha);
}

} // namespace

// ---- AffineTransform -------------------------------------------------------------------------

bool AffineTransform::isFinite() const {
    return finite(a) && finite(b) && finite(c) && finite(d) && finite(tx) && finite(ty);
}

bool AffineTransform::isInvertible() const {
    const double det = a * d - b * c;
    return isFinite() && finite(det) && det != 0;
}

AffineTransform AffineTransform::inverted() const {
    if (!isInvertible()) return {};
    const double det = a * d - b * c;
    AffineTransform r{d / det, -b / det, -c / det, a / det, 0, 0};
    r.tx = -(tx * r.a + ty * r.c);
    r.ty = -(tx * r.b + ty * r.d);
    return r;
}

AffineTransform AffineTransform::concatenating(const AffineTransform& n) const {
    return {a * n.a + b * n.c,      a * n.b + b * n.d,      c * n.a + d * n.c,
            c * n.b + d * n.d,      tx * n.a + ty * n.c + n.tx, tx * n.b + ty * n.d + n.ty};
}

DeviceBox DeviceBox::none() {
    return {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
}

// ---- construction and state ---------------------------------------------------------------

PixelView pixelsOf(const Image& image) {
    return {image.data(), image.width(), image.height(), static_cast<int>(image.bytesPerRow())};
}

GraphicsContext::GraphicsContext(Bitmap& target) {
    cairo_surface_t* surface = cairo_image_surface_create_for_data(target.data(), CAIRO_FORMAT_ARGB32, target.width(),
                                                                   target.height(), static_cast<int>(target.stride()));
    cr_ = cairo_create(surface);
    width_ = target.width();
    height_ = target.height();
    cairo_surface_destroy(surface); // the cairo context keeps its own reference
}

GraphicsContext::GraphicsContext(cairo_surface_t* target) {
    cr_ = cairo_create(target);
    // A surface at a device scale holds a picture of its pixels over the scale (a wide shadow's
    // shape is drawn so, onto cells).
    double scaleX = 1, scaleY = 1;
    cairo_surface_get_device_scale(target, &scaleX, &scaleY);
    width_ = static_cast<int>(std::ceil(cairo_image_surface_get_width(target) / scaleX));
    height_ = static_cast<int>(std::ceil(cairo_image_surface_get_height(target) / scaleY));
    matchTolerance(cr_);
    cairo_set_miter_limit(cr_, state_.miterLimit);
}

GraphicsContext::~GraphicsContext() { cairo_destroy(cr_); }

bool GraphicsContext::isHealthy() const { return !lost_ && cairo_status(cr_) == CAIRO_STATUS_SUCCESS; }

bool GraphicsContext::ranOutOfMemory() const {
    return lostForMemory_ || cairo_status(cr_) == CAIRO_STATUS_NO_MEMORY;
}

void GraphicsContext::lose(bool forMemory) {
    lost_ = true;
    lostForMemory_ = lostForMemory_ || forMemory;
}

void GraphicsContext::saveGState() {
    stack_.push_back(state_);
    cairo_save(cr_);
}

bool GraphicsContext::restoreGState() {
    if (stack_.empty()) return false;
    state_ = std::move(stack_.back());
    stack_.pop_back();
    cairo_restore(cr_);
    return true;
}

bool GraphicsContext::concatCTM(const AffineTransform& t) {
    if (!t.isInvertible()) return false;
    const AffineTransform next = t.concatenating(state_.ctm);
    if (!next.isInvertible()) return false;
    state_.ctm = next;
    return true;
}

bool GraphicsContext::setCTM(const AffineTransform& t) {
    if (!t.isInvertible()) return false;
    state_.ctm = t;
    return true;
}

void GraphicsContext::translateCTM(double tx, double ty) { concatCTM({1, 0, 0, 1, tx, ty}); }

void GraphicsContext::scaleCTM(double sx, double sy) { concatCTM({sx, 0, 0, sy, 0, 0}); }

void GraphicsContext::setAlpha(double alpha) {
    if (!finite(alpha)) return;
    state_.alpha = std::clamp(alpha, 0.0, 1.0);
}

void GraphicsContext::setLineWidth(double w) {
    if (finite(w) && w >= 0) state_.lineWidth = w;
}

void GraphicsContext::setMiterLimit(double limit) {
    if (finite(limit) && limit >= 1) state_.miterLimit = limit;
}

void GraphicsContext::setLineDash(std::span<const double> lengths, double phase) {
    bool anyPositive = false;
    for (double l : lengths) {
        if (!finite(l) || l < 0) {
            state_.dash = {};
            return;
        }
        anyPositive = anyPositive || l > 0;
    }
    if (!anyPositive || !finite(phase)) {
        state_.dash = {};
        return;
    }
    state_.dash.lengths.assign(lengths.begin(), lengths.end());
    state_.dash.phase = phase;
}

void GraphicsContext::setShadow(double offsetX, double offsetY, double blur, const Color& color) {
    if (!finite(offsetX) || !finite(offsetY) || !finite(blur) || blur < 0) {
        clearShadow();
        return;
    }
    state_.shadowX = offsetX;
    state_.shadowY = offsetY;
    state_.shadowBlur = blur;
    state_.shadowColor = color;
}

void GraphicsContext::clearShadow() {
    state_.shadowX = state_.shadowY = state_.shadowBlur = 0;
    state_.shadowColor = {};
}

bool GraphicsContext::shadowActive() const {
    return state_.shadowColor.alpha > 0 && (state_.shadowBlur > 0 || state_.shadowX != 0 || state_.shadowY != 0);
}

// ---- path ---------------------------------------------------------------------------------

void GraphicsContext::beginPath() {
    path_.clear();
    hasCurrent_ = false;
}

void GraphicsContext::appendMove(DevicePoint p) {
    if (!path_.empty() && path_.back().op == Op::move) path_.pop_back();
    path_.push_back({Op::move, p.x, p.y});
    hasCurrent_ = true;
    current_ = subpathStart_ = p;
}

void GraphicsContext::appendCurve(DevicePoint c1, DevicePoint c2, DevicePoint p) {
    if (!hasCurrent_) appendMove(c1);
    if (path_.back().op == Op::close) path_.push_back({Op::move, subpathStart_.x, subpathStart_.y});
    path_.push_back({Op::curve, c1.x, c1.y});
    path_.push_back({Op::curve, c2.x, c2.y});
    path_.push_back({Op::curve, p.x, p.y});
    current_ = p;
}

namespace {
bool finitePoint(DevicePoint p) { return finite(p.x) && finite(p.y); }
} // namespace

void GraphicsContext::moveTo(double x, double y) {
    const DevicePoint p = state_.ctm.apply(x, y);
    if (finitePoint(p)) appendMove(p);
}

void GraphicsContext::addQuadCurveTo(double cpx, double cpy, double x, double y) {
    const DevicePoint c = state_.ctm.apply(cpx, cpy);
    const DevicePoint p = state_.ctm.apply(x, y);
    if (!finitePoint(c) || !finitePoint(p)) return;
    if (!hasCurrent_) appendMove(c);
    // Degree elevation; affine maps keep it exact, so it is done in device space.
    const DevicePoint p0 = current_;
    const DevicePoint c1{p0.x + 2.0 / 3.0 * (c.x - p0.x), p0.y + 2.0 / 3.0 * (c.y - p0.y)};
    const DevicePoint c2{p.x + 2.0 / 3.0 * (c.x - p.x), p.y + 2.0 / 3.0 * (c.y - p.y)};
    appendCurve(c1, c2, p);
}

void GraphicsContext::addCurveTo(double cp1x, double cp1y, double cp2x, double cp2y, double x, double y) {
    const DevicePoint c1 = state_.ctm.apply(cp1x, cp1y);
    const DevicePoint c2 = state_.ctm.apply(cp2x, cp2y);
    const DevicePoint p = state_.ctm.apply(x, y);
    if (finitePoint(c1) && finitePoint(c2) && finitePoint(p)) appendCurve(c1, c2, p);
}

void GraphicsContext::addArc(double cx, double cy, double radius, double startAngle, double endAngle, bool decreasing) {
    if (!finite(cx) || !finite(cy) || !finite(radius) || radius < 0 || !finite(startAngle) || !finite(endAngle)) return;
    double sweep = endAngle - startAngle;
    if (!finite(sweep)) return;
    if (!decreasing && sweep < 0) sweep = std::fmod(sweep, TWO_PI) + TWO_PI;
    if (decreasing && sweep > 0) sweep = std::fmod(sweep, TWO_PI) - TWO_PI;
    sweep = std::clamp(sweep, -2 * TWO_PI, 2 * TWO_PI);

    const AffineTransform& m = state_.ctm;
    const DevicePoint start = m.apply(cx + radius * std::cos(startAngle), cy + radius * std::sin(startAngle));
    if (!finitePoint(start)) return;
    if (hasCurrent_) appendLine(start);
    else appendMove(start);

    const int pieces = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (TWO_PI / 4) - 1e-9)));
    const double step = sweep / pieces;
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    double a0 = startAngle;
    for (int i = 0; i < pieces; ++i) {
        const double a1 = (i + 1 == pieces) ? startAngle + sweep : a0 + step;
        const double c0 = std::cos(a0), s0 = std::sin(a0), c1 = std::cos(a1), s1 = std::sin(a1);
        const DevicePoint p1 = m.apply(cx + radius * (c0 - k * s0), cy + radius * (s0 + k * c0));
        const DevicePoint p2 = m.apply(cx + radius * (c1 + k * s1), cy + radius * (s1 - k * c1));
        const DevicePoint p3 = m.apply(cx + radius * c1, cy + radius * s1);
        if (!finitePoint(p1) || !finitePoint(p2) || !finitePoint(p3)) return;
        appendCurve(p1, p2, p3);
        a0 = a1;
    }
}

void GraphicsContext::addRect(const Rect& r) {
    const AffineTransform& m = state_.ctm;
    const DevicePoint p[4] = {m.apply(r.x, r.y), m.apply(r.x + r.width, r.y), m.apply(r.x + r.width, r.y + r.height),
                              m.apply(r.x, r.y + r.height)};
    for (const auto& q : p)
        if (!finitePoint(q)) return;
    appendMove(p[0]);
    appendLine(p[1]);
    appendLine(p[2]);
    appendLine(p[3]);
    closePath();
}

void GraphicsContext::addEllipseInRect(const Rect& r) {
    const double rx = r.width / 2, ry = r.height / 2;
    if (!finite(rx) || !finite(ry) || !finite(r.x) || !finite(r.y)) return;
    // An ellipse is a unit circle under a scale; the arc is built under that scale.
    const AffineTransform saved = state_.ctm;
    const AffineTransform local{rx, 0, 0, ry, r.x + rx, r.y + ry};
    state_.ctm = local.concatenating(saved);
    hasCurrent_ = false;
    addArc(0, 0, 1, 0, TWO_PI, false);
    state_.ctm = saved;
    closePath();
}

void GraphicsContext::closePath() {
    if (path_.empty() || path_.back().op == Op::close) return;
    path_.push_back({Op::close, 0, 0});
    current_ = subpathStart_;
}

DeviceBox GraphicsContext::pathBounds() const {
    DeviceBox b = DeviceBox::none();
    for (const auto& e : path_)
        if (e.op != Op::close) b.include(e.x, e.y);
    return b;
}

void GraphicsContext::emitPath(cairo_t* cr, Emit mode) const {
    cairo_new_path(cr);
    std::size_t i = 0;
    std::vector<Vec2> poly;
    while (i < path_.size()) {
        // One subpath: a move and everything up to the next move.
        std::size_t end = i + 1;
        while (end < path_.size() && path_[end].op != Op::move) ++end;
        bool inside = true;
        for (std::size_t j = i; j < end && inside; ++j) {
            const auto& e = path_[j];
            if (e.op != Op::close) inside = detail::insideGuard({e.x, e.y});
        }
        if (inside) {
            for (std::size_t j = i; j < end; ++j) {
                const auto& e = path_[j];
                switch (e.op) {
                case Op::move: cairo_move_to(cr, e.x, e.y); break;
                case Op::line: cairo_line_to(cr, e.x, e.y); break;
                case Op::curve:
                    cairo_curve_to(cr, e.x, e.y, path_[j + 1].x, path_[j + 1].y, path_[j + 2].x, path_[j + 2].y);
                    j += 2;
                    break;
                case Op::close: cairo_close_path(cr); break;
                }
            }
        } else {
            poly.clear();
            bool closed = false;
            for (std::size_t j = i; j < end; ++j) {
                const auto& e = path_[j];
                switch (e.op) {
                case Op::move:
                case Op::line: poly.push_back({e.x, e.y}); break;
                case Op::curve:
                    detail::flattenCubic(poly.back(), {e.x, e.y}, {path_[j + 1].x, path_[j + 1].y},
                                         {path_[j + 2].x, path_[j + 2].y}, poly);
                    j += 2;
                    break;
                case Op::close: closed = true; break;
                }
            }
            if (mode == Emit::fill) {
                const auto clipped = detail::clipPolygonToGuard(poly);
                for (std::size_t k = 0; k < clipped.size(); ++k) {
                    if (k == 0) cairo_move_to(cr, clipped[k].x, clipped[k].y);
                    else cairo_line_to(cr, clipped[k].x, clipped[k].y);
                }
                if (!clipped.empty()) cairo_close_path(cr);
            } else {
                if (closed && poly.size() > 1) poly.push_back(poly.front());
                bool open = false;
                Vec2 last{0, 0};
                for (std::size_t k = 1; k < poly.size(); ++k) {
                    Vec2 a = poly[k - 1], b = poly[k];
                    if (!detail::clipSegmentToGuard(a, b)) {
                        open = false;
                        continue;
                    }
                    if (!open || a.x != last.x || a.y != last.y) cairo_move_to(cr, a.x, a.y);
                    cairo_line_to(cr, b.x, b.y);
                    last = b;
                    open = b.x == poly[k].x && b.y == poly[k].y;
                }
            }
        }
        i = end;
    }
}

// A long path of straight edges, all within the guard box, goes to cairo with the opposite runs
// of each edge cancelled (see OpposedEdges.hpp), or else as the trapezoids of its fill where
// its edges mostly coincide (see BandedFill.hpp). The points are rounded to cairo's grid the
// way cairo itself rounds them, so the runs are matched exactly as its rasteriser would see
// them. False, with nothing emitted, when the path does not qualify or would not lose enough
// edges.
bool GraphicsContext::emitThinnedFill(cairo_t* cr, FillRule rule, std::vector<std::vector<detail::GridPoint>>* refused) const {
    // The path is handed over in device space, so the matrix is normally the identity, which
    // moves no point: the points then skip cairo's conversion, one call each.
    cairo_matrix_t matrix;
    cairo_get_matrix(cr, &matrix);
    const bool identity = matrix.xx == 1 && matrix.yx == 0 && matrix.xy == 0 && matrix.yy == 1 && matrix.x0 == 0 &&
                          matrix.y0 == 0;
    detail::GridPath grid;
    grid.reserve(path_.size());
    for (const auto& e : path_) {
        if (e.op == Op::curve) return false;
        if (e.op == Op::close) {
            grid.close();
            continue;
        }
        if (!detail::insideGuard({e.x, e.y})) return false;
        double x = e.x, y = e.y;
        if (!identity) cairo_user_to_device(cr, &x, &y);
        const auto point = detail::gridPoint(x, y);
        if (!point) return false;
        if (e.op == Op::move) grid.moveTo(*point);
        else grid.lineTo(*point);
    }
    detail::EdgeRunCounts runs;
    if (const auto walks = detail::dropOpposedEdges(grid.subpaths(), detail::OPPOSED_EDGES_MIN_EDGES, &runs)) {
        cairo_new_path(cr);
        for (const auto& walk : *walks) {
            for (std::size_t k = 0; k < walk.size(); ++k) {
                double x = static_cast<double>(walk[k].x) / 256, y = static_cast<double>(walk[k].y) / 256;
                if (!identity) cairo_device_to_user(cr, &x, &y);
                if (k == 0) cairo_move_to(cr, x, y);
                else cairo_line_to(cr, x, y);
            }
            cairo_close_path(cr);
        }
        return true;
    }
    // Only the rows that can be seen are worth the bands.
    double cx0, cy0, cx1, cy1;
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_clip_extents(cr, &cx0, &cy0, &cx1, &cy1);
    cairo_user_to_device(cr, &cx0, &cy0);  // onto the surface's own pixels, as the grid is
    cairo_user_to_device(cr, &cx1, &cy1);
    cairo_restore(cr);
    const auto emitLoops = [cr](const auto& loops) {
        cairo_new_path(cr);
        for (const auto& loop : loops) {
            for (std::size_t k = 0; k < loop.size(); ++k) {
                double x = loop[k].x, y = loop[k].y;
                cairo_device_to_user(cr, &x, &y);
                if (k == 0) cairo_move_to(cr, x, y);
                else cairo_line_to(cr, x, y);
            }
            cairo_close_path(cr);
        }
        return true;
    };
    // A band needs the trapezoids of its own rows alone, which are those of the picture there
    // (see BandedFill.hpp); a shadow's shape is drawn whole.
    const bool band = cr == cr_;
    if (const auto trapezoids = detail::bandedFill(grid.subpaths(), rule == FillRule::evenOdd,
                                                   band ? std::fmax(cy0, workTop_) : cy0,
                                                   band ? std::fmin(cy1, workBottom_) : cy1,
                                                   detail::OPPOSED_EDGES_MIN_EDGES, &runs))
        return emitLoops(*trapezoids);
    // Edges that do not coincide: only the pixels the winding alone cannot decide go to cairo
    // (see SparseFill.hpp). The rows its edges cross, counted on the grid with a row to spare
    // for each, bound those it counts: a path too light for it is left to cairo at once.
    double edgeRows = 0;
    for (const auto& walk : grid.subpaths()) {
        std::int64_t rise = walk.empty() ? 0 : std::llabs(walk.front().y - walk.back().y);
        for (std::size_t k = 1; k < walk.size(); ++k) rise += std::llabs(walk[k].y - walk[k - 1].y);
        edgeRows += static_cast<double>(rise) / 256 + 2 * static_cast<double>(walk.size());
    }
    if (rule != FillRule::evenOdd && edgeRows >= detail::SPARSE_FILL_MIN_EDGE_ROWS) {
        std::vector<std::vector<Vec2>> subpaths;
        for (const auto& walk : grid.subpaths()) {
            subpaths.emplace_back();
            for (const detail::GridPoint& g : walk)
                subpaths.back().push_back({static_cast<double>(g.x) / 256, static_cast<double>(g.y) / 256});
        }
        const detail::PixelRange window{static_cast<int>(std::floor(cx0)), static_cast<int>(std::floor(cy0)),
                                        static_cast<int>(std::ceil(cx1)), static_cast<int>(std::ceil(cy1))};
        const detail::PixelRows rows = band ? detail::PixelRows{workTop_, workBottom_} : detail::PixelRows{};
        if (const auto quads = detail::sparseFill(subpaths, false, window, detail::SPARSE_FILL_MIN_EDGE_ROWS, 0.5, rows))
            return emitLoops(*quads);
    }
    // The grid is cairo's own path, point for point, in device space: it can go to cairo tile by
    // tile (see fillGridInTiles).
    if (refused && identity) *refused = std::move(grid).takeSubpaths();
    return false;
}

// A stroke covers the union of its pieces, so running a piece again adds nothing:
// - with round caps and joins the pieces are the segments, each with round ends;
// - with butt caps (any join) they are the corners: two segments meeting at a point, with the
//   join between them and flat ends.
// A long stroke whose pieces mostly repeat on cairo's grid goes to cairo as its distinct pieces,
// each its own subpath, when that at least halves them. False, with nothing emitted, otherwise
// (dashes run along the whole path, and other caps would show at every piece's ends).
bool GraphicsContext::emitThinnedStroke(cairo_t* cr) const {
    if (!state_.dash.lengths.empty()) return false;
    const bool segments = state_.cap == LineCap::round && state_.join == LineJoin::round;
    if (!segments && state_.cap != LineCap::butt) return false;
    using detail::GridPoint;
    // The subpaths on the grid, without repeated points (cairo skips segments of no length).
    struct Subpath {
        std::vector<GridPoint> points;
        bool closed = false;
        bool drawn = false;  // a line or a close went from its first point
    };
    std::vector<Subpath> subpaths;
    for (const auto& e : path_) {
        if (e.op == Op::curve) return false;
        if (e.op == Op::close) {
            if (!subpaths.empty()) subpaths.back().closed = subpaths.back().drawn = true;
            continue;
        }
        if (!detail::insideGuard({e.x, e.y})) return false;
        double x = e.x, y = e.y;
        cairo_user_to_device(cr, &x, &y);
        const auto point = detail::gridPoint(x, y);
        if (!point) return false;
        if (e.op == Op::move || subpaths.empty() || subpaths.back().closed) subpaths.push_back({{*point}, false, false});
        if (e.op == Op::move) continue;
        subpaths.back().drawn = true;
        if (!(subpaths.back().points.back() == *point)) subpaths.back().points.push_back(*point);
    }
    // Pieces of up to three points, the first no later than the last on the grid (a piece run
    // backwards covers the same pixels); a single point stands for a dot.
    using Piece = std::array<GridPoint, 3>;
    auto before = [](const GridPoint& a, const GridPoint& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); };
    std::vector<Piece> pieces;
    std::vector<std::uint8_t> sizes;
    auto add = [&](Piece piece, std::uint8_t size) {
        if (before(piece[size - 1], piece[0])) std::swap(piece[0], piece[size - 1]);
        pieces.push_back(piece);
        sizes.push_back(size);
    };
    std::size_t runs = 0;
    for (const Subpath& sub : subpaths) {
        const std::vector<GridPoint>& p = sub.points;
        const std::size_t n = p.size();
        if (n == 1) {
            // A line of no length shows as a dot with round caps; a point moved to, as nothing.
            if (segments && sub.drawn) add({p[0], p[0], p[0]}, 1);
            continue;
        }
        const bool loop = sub.closed && n > 2;
        if (segments) {
            for (std::size_t i = 0; i + 1 < n; ++i) add({p[i], p[i + 1], p[i + 1]}, 2);
            if (loop) add({p[n - 1], p[0], p[0]}, 2);
        } else if (n == 2 && !loop) {
            add({p[0], p[1], p[1]}, 2);
        } else if (loop) {
            for (std::size_t i = 0; i < n; ++i) add({p[(i + n - 1) % n], p[i], p[(i + 1) % n]}, 3);
        } else {
            for (std::size_t i = 1; i + 1 < n; ++i) add({p[i - 1], p[i], p[i + 1]}, 3);
        }
    }
    runs = pieces.size();
    std::vector<std::size_t> order(runs);
    for (std::size_t i = 0; i < runs; ++i) order[i] = i;
    auto key = [&](std::size_t i) {
        const Piece& q = pieces[i];
        return std::tie(sizes[i], q[0].x, q[0].y, q[1].x, q[1].y, q[2].x, q[2].y);
    };
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    order.erase(std::unique(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) == key(b); }),
                order.end());
    if (order.size() * 2 > runs) return false;
    cairo_new_path(cr);
    for (const std::size_t i : order) {
        for (std::uint8_t k = 0; k < std::max<std::uint8_t>(sizes[i], 2); ++k) {
            const GridPoint& g = pieces[i][std::min<std::uint8_t>(k, sizes[i] - 1)];
            double x = static_cast<double>(g.x) / 256, y = static_cast<double>(g.y) / 256;
            cairo_device_to_user(cr, &x, &y);
            if (k == 0) cairo_move_to(cr, x, y);
            else cairo_line_to(cr, x, y);
        }
    }
    return true;
}

// ---- painting -----------------------------------------------------------------------------

void GraphicsContext::setDeviceSpace(cairo_t* cr) const { cairo_identity_matrix(cr); }

void GraphicsContext::setUserSpace(cairo_t* cr) const {
    const cairo_matrix_t m = toCairo(state_.ctm);
    cairo_set_matrix(cr, &m);
}

void GraphicsContext::setStrokeParameters(cairo_t* cr) const {
    cairo_set_line_width(cr, strokeWidth());
    cairo_set_line_cap(cr, state_.cap == LineCap::round    ? CAIRO_LINE_CAP_ROUND
                           : state_.cap == LineCap::square ? CAIRO_LINE_CAP_SQUARE
                                                           : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, state_.join == LineJoin::round   ? CAIRO_LINE_JOIN_ROUND
                            : state_.join == LineJoin::bevel ? CAIRO_LINE_JOIN_BEVEL
                                                             : CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, state_.miterLimit);
    if (state_.dash.lengths.empty()) cairo_set_dash(cr, nullptr, 0, 0);
    else cairo_set_dash(cr, state_.dash.lengths.data(), static_cast<int>(state_.dash.lengths.size()), state_.dash.phase);
}

namespace {

// The most the transform stretches a user length, within a factor of the square root of 2.
double stretch(const AffineTransform& m) { return std::fmax(std::hypot(m.a, m.b), std::hypot(m.c, m.d)); }

// cairo gives its pen a vertex for about every tenth of a pixel of arc: a pen millions of
// pixels across takes seconds to minutes, wider ones more memory than there is (a sticky error)
// and wider still overflow its arithmetic; from a radius of about 2^18 pixels its rasteriser
// already loses the outline altogether. A pen of this radius still reaches across any picture
// from a path within 100,000 pixels of it.
constexpr double PEN_RADIUS_LIMIT = 131072;  // 2^17 device units

} // namespace

// The line width cut so that the pen stays within its limit; unless the transform squeezes one
// direction far more than another, the narrower pen still covers every pixel the wide one does.
double GraphicsContext::strokeWidth() const {
    const double limit = 2 * PEN_RADIUS_LIMIT / stretch(state_.ctm);
    return state_.lineWidth > limit ? limit : state_.lineWidth;
}

double GraphicsContext::strokeReach() const {
    // Only a mitred corner reaches past half the width times the square cap's diagonal: a wide
    // stroke's bounds decide the size of its shadow's mask and of what the bands redraw.
    const double corner = state_.join == LineJoin::miter ? std::fmax(state_.miterLimit, 1.5) : 1.5;
    return strokeWidth() / 2 * corner * stretch(state_.ctm) + 2;
}

DeviceBox GraphicsContext::strokeBounds(const DeviceBox& b) const {
    if (b.x0 > b.x1) return b;
    const double reach = strokeReach();
    return {b.x0 - reach, b.y0 - reach, b.x1 + reach, b.y1 + reach};
}

namespace {

// The path on `cr`, in the coordinates of its current matrix, with curves flattened the way
// cairo's stroker flattens them.
std::vector<detail::Polyline> readPath(cairo_t* cr) {
    std::vector<detail::Polyline> lines;
    cairo_path_t* path = cairo_copy_path_flat(cr);
    if (path->status == CAIRO_STATUS_SUCCESS) {
        for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
            const cairo_path_data_t* d = &path->data[i];
            const auto add = [&](int k) {
                if (lines.empty()) lines.emplace_back();
                if (lines.back().closed) lines.push_back({{lines.back().points.front()}, false});
                lines.back().points.push_back({d[k].point.x, d[k].point.y});
            };
            switch (d->header.type) {
            case CAIRO_PATH_MOVE_TO:
                lines.emplace_back();
                add(1);
                break;
            case CAIRO_PATH_LINE_TO: add(1); break;
            case CAIRO_PATH_CURVE_TO: break;  // never in a flattened path
            case CAIRO_PATH_CLOSE_PATH:
                if (!lines.empty() && !lines.back().points.empty()) lines.back().closed = true;
                break;
            }
        }
    }
    cairo_path_destroy(path);
    return lines;
}

void addPolylines(cairo_t* cr, const std::vector<detail::Polyline>& lines) {
    for (const detail::Polyline& line : lines) {
        if (line.points.empty()) continue;
        cairo_move_to(cr, line.points.front().x, line.points.front().y);
        for (std::size_t k = 1; k < line.points.size(); ++k) cairo_line_to(cr, line.points[k].x, line.points[k].y);
        if (line.closed) cairo_close_path(cr);
    }
}

} // namespace

// The path is on `cr` in device space. A dashed stroke that would keep cairo's dasher walking
// too long (see DashedStroke.hpp) is dashed here, within the clip and the stroke's reach of it,
// and so is one whose pen reaches further than cairo's grid. A dash that covers a whole subpath
// is not the solid stroke: cairo's dasher and its plain stroker are different strokers, whose
// pens, joins and flattened curves give other levels along the edges.
void GraphicsContext::strokeEmitted(cairo_t* cr, const DeviceBox* clipFor) const {
    setStrokeParameters(cr);
    std::optional<std::vector<detail::Polyline>> flat;  // the path read back, once read
    if (!state_.dash.lengths.empty()) {
        const AffineTransform& m = state_.ctm;
        const detail::LinearMap map{m.a, m.b, m.c, m.d};
        const detail::DashPattern dash{state_.dash.lengths, state_.dash.phase};
        // cairo's dasher also trips over pens too wide for its fixed-point grid (it can crash
        // under a clip), while its plain stroker copes with them.
        const double reach = strokeReach();
        flat = readPath(cr);
        const std::vector<detail::Polyline>& path = *flat;
        if (!(reach <= detail::GUARD_LIMIT) || detail::dashSteps(path, map, dash) > detail::DASH_STEP_LIMIT) {
            double x0, y0, x1, y1;
            cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
            const detail::DashedPieces pieces =
                detail::dashWithin(path, map, dash, x0 - reach, y0 - reach, x1 + reach, y1 + reach,
                                   static_cast<std::size_t>(detail::DASH_STEP_LIMIT));
            cairo_set_dash(cr, nullptr, 0, 0);
            const double coverage = detail::dashCoverage(dash, strokeWidth(), state_.cap);
            for (const auto& [lines, alpha] : {std::pair{&pieces.dashes, state_.alpha},
                                              std::pair{&pieces.averaged, state_.alpha * coverage}}) {
                setDeviceSpace(cr);
                cairo_new_path(cr);
                addPolylines(cr, *lines);
                setUserSpace(cr);
                setSource(cr, state_.stroke, alpha);
                layInTiles(cr, clipFor, state_.stroke.alpha * alpha, cairo_stroke);
            }
            return;
        }
    }
    if (emitWideStroke(cr, flat)) {
        setSource(cr, state_.stroke, state_.alpha);
        return layInTiles(cr, clipFor, state_.stroke.alpha * state_.alpha, cairo_fill);
    }
    setUserSpace(cr);
    setSource(cr, state_.stroke, state_.alpha);
    layInTiles(cr, clipFor, state_.stroke.alpha * state_.alpha, cairo_stroke);
}

// The path is on `cr` in device space, to be stroked solid. A round pen that covers the whole
// path is replaced by the outline of its stroke, to fill (see WideStroke.hpp). False, with the
// path left as it was, when it does not qualify.
bool GraphicsContext::emitWideStroke(cairo_t* cr, std::optional<std::vector<detail::Polyline>>& flat) const {
    const double radius = strokeWidth() / 2 * stretch(state_.ctm);
    // A dashed stroke is not the solid one, whatever the pen.
    if (!state_.dash.lengths.empty() || state_.join != LineJoin::round || !(radius >= detail::WIDE_STROKE_MIN_RADIUS))
        return false;
    double x0, y0, x1, y1;
    cairo_path_extents(cr, &x0, &y0, &x1, &y1);
    if (!(std::hypot(x1 - x0, y1 - y0) <= radius)) return false;
    if (!flat) flat = readPath(cr);
    const AffineTransform& m = state_.ctm;
    const detail::StrokePen pen{strokeWidth() / 2, {m.a, m.b, m.c, m.d}, state_.cap, state_.join, state_.miterLimit};
    const auto outline = detail::wideStrokeOutline(*flat, pen, pictureTolerance(cr));
    if (!outline) return false;
    cairo_new_path(cr);
    for (const detail::Vec2 p : *outline) cairo_line_to(cr, p.x, p.y);
    cairo_close_path(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    return true;
}

// The path is on `cr` in device space. A heavy solid stroke goes to cairo without the segments
// that lie inside the rest of it (see SparseStroke.hpp). False, with the path left as it was,
// when it does not qualify.
bool GraphicsContext::emitSparseStroke(cairo_t* cr) const {
    if (!state_.dash.lengths.empty()) return false;
    const AffineTransform& m = state_.ctm;
    const detail::StrokePen pen{strokeWidth() / 2, {m.a, m.b, m.c, m.d}, state_.cap, state_.join, state_.miterLimit};
    const auto pieces = detail::sparseStroke(readPath(cr), pen);
    if (!pieces) return false;
    cairo_new_path(cr);
    addPolylines(cr, *pieces);
    return true;
}

DeviceBox GraphicsContext::rectBounds(const Rect& r) const {
    DeviceBox b = DeviceBox::none();
    const AffineTransform& m = state_.ctm;
    for (const DevicePoint p : {m.apply(r.x, r.y), m.apply(r.x + r.width, r.y), m.apply(r.x, r.y + r.height),
                                m.apply(r.x + r.width, r.y + r.height)})
        b.include(p.x, p.y);
    return b;
}

void GraphicsContext::paint(const DeviceBox& bounds, const std::function<void(cairo_t*)>& draw, Coverage coverage,
                            double edges) {
    if (measuring_) return measure(bounds);
    if (!isHealthy()) return;  // the picture is lost already
    // Drawing that neither the shape nor its shadow can bring into the clip is not handed to
    // cairo at all: a picture drawn in bands has most of its shapes outside each band. A pixel
    // of margin covers antialiasing; a box that is not finite is drawn as before.
    const DeviceBox reach = visibleReach();
    if (bounds.x1 + 1 < reach.x0 || bounds.x0 - 1 > reach.x1 || bounds.y1 + 1 < reach.y0 || bounds.y0 - 1 > reach.y1)
        return;
    std::optional<MemoryPromise> promise;
    if (!promiseEdges(edges, promise)) return;
    if (shadowActive()) drawShadow(bounds, draw, coverage);
    cairo_save(cr_);
    draw(cr_);
    cairo_restore(cr_);
}

namespace {

// The lines cairo flattens a curve into, at its tolerance of a tenth of a pixel, with room to
// spare: it halves a curve until each piece is flat enough, about as often as the square root
// of the length of its control polygon.
double curveEdges(double length) { return 2 + 3 * std::sqrt(length); }

// The vertices of cairo's pen of this radius: one for about every tenth of a pixel of arc.
double penVertices(double radius) {
    if (!(radius > 0.1)) return 4;
    return std::fmin(4 + M_PI / std::acos(1 - 0.1 / radius), 1e7);
}

}  // namespace

double GraphicsContext::fillEdges() const {
    double edges = 0;
    DevicePoint at{0, 0};
    for (std::size_t i = 0; i < path_.size(); ++i) {
        const PathElement& e = path_[i];
        if (e.op == Op::curve && i + 2 < path_.size()) {
            const PathElement& c2 = path_[i + 1];
            const PathElement& end = path_[i + 2];
            edges += curveEdges(std::hypot(e.x - at.x, e.y - at.y) + std::hypot(c2.x - e.x, c2.y - e.y) +
                                std::hypot(end.x - c2.x, end.y - c2.y));
            at = {end.x, end.y};
            i += 2;
            continue;
        }
        edges += 1;
        if (e.op != Op::close) at = {e.x, e.y};
    }
    return edges;
}

// Each piece of the path gives an edge on either side of it and a join to the next, of up to
// half the pen; a dashed stroke has caps at every dash.
double GraphicsContext::strokePieceEdges() const {
    const double radius = strokeWidth() / 2 * stretch(state_.ctm);
    const bool rounded = state_.join == LineJoin::round || state_.cap == LineCap::round;
    return 3 + (rounded ? penVertices(radius) / 2 : 1);
}

double GraphicsContext::strokeDashEdges() const {
    if (state_.dash.lengths.empty()) return 0;
    double period = 0, length = 0;
    for (const double d : state_.dash.lengths) period += d;
    period *= stretch(state_.ctm);
    for (std::size_t i = 1; i < path_.size(); ++i)
        if (path_[i].op != Op::move) length += std::hypot(path_[i].x - path_[i - 1].x, path_[i].y - path_[i - 1].y);
    const double dashes = period > 0 ? std::fmin(2 * length / period + 1, 1e9) : 1;
    return dashes * (4 + penVertices(strokeWidth() / 2 * stretch(state_.ctm)));
}

double GraphicsContext::strokeEdges() const { return fillEdges() * strokePieceEdges() + strokeDashEdges(); }

// A heavy path reaches cairo thinned, often to a small part of its edges: its promise is made
// for the path on `cr`, as cairo flattens it.
bool GraphicsContext::promiseFor(cairo_t* cr, double perEdge, double extra, std::optional<MemoryPromise>& promise) {
    if (!checksMemory()) return true;
    cairo_path_t* flat = cairo_copy_path_flat(cr);
    const bool copied = flat->status == CAIRO_STATUS_SUCCESS;
    const double edges = copied ? flat->num_data / 2.0 * perEdge + extra : 0;  // two entries a point
    cairo_path_destroy(flat);
    if (copied) return promiseEdges(edges, promise);
    lose(true);
    return false;
}

bool GraphicsContext::promiseEdges(double edges, std::optional<MemoryPromise>& promise) {
    if (!checksMemory()) return true;
    if (edges > CAIRO_UNCHECKED_EDGES)
        promise.emplace(edges < 1e15 ? static_cast<std::size_t>(edges) * CAIRO_BYTES_PER_EDGE : SIZE_MAX);
    if (!promise || promise->kept()) return true;
    lose(true);
    return false;
}

// What `paint` would test against a clip, turned around: the box that meets every clip for
// which `paint` draws. It holds the bounds with paint's pixel of margin and, with a shadow, the
// bounds moved by the offset and widened by the blur's reach (see shadowReach), and a pixel more
// for the rounding of either; bounds with a NaN are drawn whatever the clip.
namespace {

// The whole pixels that cover a box.
detail::PixelWindow outerPixels(const DeviceBox& box) {
    const auto pixel = [](double v, bool up) {
        return static_cast<int>(std::clamp(up ? std::ceil(v) : std::floor(v), -2147483647.0, 2147483647.0));
    };
    return {pixel(box.x0, false), pixel(box.y0, false), pixel(box.x1, true), pixel(box.y1, true)};
}

} // namespace

void GraphicsContext::measure(const DeviceBox& bounds) {
    if (std::isnan(bounds.x0) || std::isnan(bounds.y0) || std::isnan(bounds.x1) || std::isnan(bounds.y1)) {
        measured_ = {-HUGE_VAL, -HUGE_VAL, HUGE_VAL, HUGE_VAL};
        return;
    }
    if (bounds.x0 > bounds.x1 || bounds.y0 > bounds.y1) return;  // paint never draws it
    DeviceBox box = bounds;
    if (shadowActive()) {
        const detail::PixelWindow own = outerPixels(bounds);
        const detail::PixelWindow cast = detail::shadowReach(own.isEmpty() ? detail::PixelWindow{own.x0, own.y0, own.x0 + 1, own.y0 + 1} : own,
                                                             -state_.shadowX, -state_.shadowY, state_.shadowBlur);
        box.include(cast.x0, cast.y0);
        box.include(cast.x1, cast.y1);
    }
    measured_.include(box.x0 - 2, box.y0 - 2);
    measured_.include(box.x1 + 2, box.y1 + 2);
}

detail::PixelWindow GraphicsContext::clipWindow() const {
    double cx0, cy0, cx1, cy1;
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_clip_extents(cr_, &cx0, &cy0, &cx1, &cy1);
    cairo_restore(cr_);
    return {static_cast<int>(std::floor(std::fmax(cx0, 0))), static_cast<int>(std::floor(std::fmax(cy0, 0))),
            static_cast<int>(std::ceil(std::fmin(cx1, width_))), static_cast<int>(std::ceil(std::fmin(cy1, height_)))};
}

namespace {

// Whether a clip, as cairo lists it, is rectangles on whole pixels.
bool onWholePixels(const cairo_rectangle_list_t* clip) {
    bool whole = clip->status == CAIRO_STATUS_SUCCESS;
    for (int i = 0; whole && i < clip->num_rectangles; ++i) {
        const cairo_rectangle_t& r = clip->rectangles[i];
        whole = r.x == std::floor(r.x) && r.y == std::floor(r.y) && r.width == std::floor(r.width) &&
                r.height == std::floor(r.height);
    }
    return whole;
}

}  // namespace

// A band draws the whole picture, and a shape across it made cairo stroke and fill every row of it
// in every band. It is laid instead tile by tile, each pass clipped to one tile's rows. cairo's pixels within a clip depend on where the
// clip's rows start (edges that coincide at the start of a row; the flattened curves of rounded
// corners and rotated ellipses, whose rows took up to 9 levels more or less clipped to a band's
// rows than drawn whole): the tiles are the same ones whatever the window, and a picture drawn at
// once lays them too, so every pass hands cairo the same path under the same clip over the same
// pixels, whatever the bands; a band lays only the tiles meeting its own rows, not those met only by
// the rows it draws beyond them. The tiles are rows of the picture from row 0,
// the fewest in a power of two times TILE_ROWS that keeps a shape within MAX_TILES of them, so that
// a shape costs a bounded number of passes; a shape within one tile goes whole. Only ink laid at
// full strength on whole pixels is laid in tiles: translucent ink reaches cairo's span compositor
// by another road when clipped, and cairo's dasher, leaving out dashes that keep clear of the clip,
// misjudges how far a square cap reaches; either changed pixels by a level against the shape drawn
// whole.
std::optional<GraphicsContext::Tiles> GraphicsContext::tilesFor(cairo_t* cr, const DeviceBox& bounds, double alpha,
                                                              bool fine) const {
    // A path of many edges costs cairo its edges more than its passes: it is laid in finer
    // tiles, so that a band lays little beyond its own rows.
    const int TILE_ROWS = fine ? 16 : 128, MAX_TILES = fine ? 64 : 8;
    if (cr != cr_ || state_.clippedToPath || alpha != 1 || cairo_get_operator(cr) != CAIRO_OPERATOR_OVER) return std::nullopt;
    if (!state_.dash.lengths.empty() && state_.cap == LineCap::square) return std::nullopt;
    // The rows the shape can reach, with a pixel of antialiasing and one more to spare.
    const double top = std::fmax(bounds.y0 - 2, 0), bottom = std::fmin(bounds.y1 + 2, height_);
    if (!(top < bottom)) return std::nullopt;
    const int first = static_cast<int>(top), last = static_cast<int>(std::ceil(bottom)) - 1;
    long long tile = TILE_ROWS;
    while (last / tile - first / tile + 1 > MAX_TILES) tile *= 2;
    if (first / tile == last / tile) return std::nullopt;
    if (!onWholePixelsHere(cr)) return std::nullopt;
    // A tile's clip keeps it from every other row: one meeting no kept row changes nothing kept.
    const bool kept = shortcutsTaken();
    return Tiles{tile, first, last, kept ? std::max(workTop_, keptTop_) : workTop_,
                 kept ? std::min(workBottom_, keptBottom_) : workBottom_};
}

void GraphicsContext::layInTiles(cairo_t* cr, const DeviceBox* bounds, double alpha, void (*lay)(cairo_t*),
                                 bool fine) const {
    const std::optional<Tiles> tiles = bounds ? tilesFor(cr, *bounds, alpha, fine) : std::nullopt;
    if (!tiles) return lay(cr);
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    cairo_identity_matrix(cr);
    // cairo_clip takes the path: it is set aside and put back for each tile. A path that
    // cannot be copied (out of memory) goes whole.
    cairo_path_t* path = cairo_copy_path(cr);
    if (path->status != CAIRO_STATUS_SUCCESS) {
        cairo_path_destroy(path);
        cairo_set_matrix(cr, &m);
        return lay(cr);
    }
    forEachLaidTile(cr, *tiles, [&](long long, long long) {
        cairo_append_path(cr, path);
        cairo_set_matrix(cr, &m);
        lay(cr);
        return true;
    });
    cairo_path_destroy(path);
    cairo_new_path(cr);
    cairo_set_matrix(cr, &m);
}

void GraphicsContext::forEachLaidTile(cairo_t* cr, const Tiles& tiles,
                                      const std::function<bool(long long top, long long bottom)>& lay) const {
    for (long long t = tiles.first / tiles.rows; t <= tiles.last / tiles.rows; ++t) {
        const long long top = t * tiles.rows, bottom = std::min<long long>(top + tiles.rows, height_);
        if (bottom <= tiles.laidTop || top >= tiles.laidBottom) continue;
        cairo_save(cr);
        cairo_new_path(cr);
        cairo_rectangle(cr, 0, static_cast<double>(top), width_, static_cast<double>(bottom - top));
        cairo_clip(cr);
        const bool more = lay(top, bottom);
        cairo_restore(cr);
        if (!more) return;
    }
}

namespace {

// The subpaths as lines on cairo's grid, left open: the fill closes each without the merging
// of a last point that cairo's close does, which those of a grid path have had already.
void emitGrid(cairo_t* cr, const std::vector<std::vector<detail::GridPoint>>& subpaths) {
    for (const auto& path : subpaths) {
        if (path.size() < 2) continue;
        cairo_move_to(cr, static_cast<double>(path[0].x) / 256, static_cast<double>(path[0].y) / 256);
        for (std::size_t k = 1; k < path.size(); ++k)
            cairo_line_to(cr, static_cast<double>(path[k].x) / 256, static_cast<double>(path[k].y) / 256);
    }
}

}  // namespace

void GraphicsContext::fillGridInTiles(cairo_t* on, const std::vector<std::vector<detail::GridPoint>>& grid,
                                      const std::optional<Tiles>& tiles) {
    // Each pass promises the memory of the edges it hands cairo, and no more: a tile's are a
    // small part of the path's.
    const auto fill = [&](const std::vector<std::vector<detail::GridPoint>>& path) {
        std::size_t points = 0;
        for (const auto& sub : path) points += sub.size();
        std::optional<MemoryPromise> promise;
        if (!promiseEdges(static_cast<double>(points), promise)) return false;
        emitGrid(on, path);
        cairo_fill(on);
        return true;
    };
    cairo_save(on);
    cairo_identity_matrix(on);
    cairo_new_path(on);
    if (!tiles) {
        fill(grid);
    } else {
        // The path cut to the rows of the tiles laid is cut again for each: it gives cairo the
        // same polygon within any of them.
        const long long firstLaid = std::max<long long>(tiles->first / tiles->rows, tiles->laidTop / tiles->rows);
        const long long lastLaid = std::min<long long>(tiles->last / tiles->rows, (tiles->laidBottom - 1) / tiles->rows);
        const auto laid = detail::keptWithinRows(grid, firstLaid * tiles->rows * 256,
                                                 std::min<long long>((lastLaid + 1) * tiles->rows, height_) * 256);
        const auto& within = laid ? *laid : grid;
        // A pass that cannot be had loses the picture: the rest is left out.
        forEachLaidTile(on, *tiles, [&](long long top, long long bottom) {
            const auto cut = detail::keptWithinRows(within, top * 256, bottom * 256);
            return fill(cut ? *cut : within);
        });
    }
    cairo_restore(on);
    cairo_new_path(on);
}

// Lines fewer than this go to cairo: its boxes cost it little.
constexpr std::size_t LINES_ACROSS_MIN = 256;
// Lattices of fewer rectangles go to cairo as they are.
constexpr std::size_t LATTICE_MIN_RECTS = 1 << 16;
// Rows of a mask of coverage laid at a time.
constexpr int COVERAGE_ROWS = 64;

bool GraphicsContext::strokeLinesAcross(cairo_t* cr) const {
    const AffineTransform& m = state_.ctm;
    if (path_.size() < 2 * LINES_ACROSS_MIN || path_.size() % 2 || !state_.dash.lengths.empty() ||
        state_.cap != LineCap::butt || shadowActive() || m.b != 0 || m.c != 0 || cairo_get_operator(cr) != CAIRO_OPERATOR_OVER)
        return false;
    const detail::PixelWindow clip = clipWindow();
    const int top = std::max(clip.y0, workTop_), bottom = std::min(clip.y1, workBottom_);
    // The pen's reach across an upright line and across a level one.
    const double acrossUpright = strokeWidth() * std::fabs(m.a) / 2, acrossLevel = strokeWidth() * std::fabs(m.d) / 2;
    if (!(acrossUpright > 0) || !(acrossLevel > 0) || !std::isfinite(acrossUpright) || !std::isfinite(acrossLevel))
        return false;
    std::vector<std::pair<double, double>> upright, level;
    for (std::size_t i = 0; i < path_.size(); i += 2) {
        const PathElement& a = path_[i];
        const PathElement& b = path_[i + 1];
        if (a.op != Op::move || b.op != Op::line) return false;
        // Each line crosses every row (or column) laid.
        if (a.x == b.x && a.y != b.y && std::fmin(a.y, b.y) <= top && std::fmax(a.y, b.y) >= bottom)
            upright.push_back({a.x - acrossUpright, a.x + acrossUpright});
        else if (a.y == b.y && a.x != b.x && std::fmin(a.x, b.x) <= clip.x0 && std::fmax(a.x, b.x) >= clip.x1)
            level.push_back({a.y - acrossLevel, a.y + acrossLevel});
        else
            return false;
    }
    if (!onWholePixelsHere(cr)) return false;
    layCoverage(cr, std::move(upright), std::move(level), false, state_.stroke);
    return true;
}

bool GraphicsContext::onWholePixelsHere(cairo_t* cr) const {
    cairo_matrix_t matrix;
    cairo_get_matrix(cr, &matrix);
    cairo_identity_matrix(cr);
    cairo_rectangle_list_t* rectangles = cairo_copy_clip_rectangle_list(cr);
    const bool whole = onWholePixels(rectangles);
    cairo_rectangle_list_destroy(rectangles);
    cairo_set_matrix(cr, &matrix);
    return whole;
}

void GraphicsContext::layCoverage(cairo_t* cr, std::vector<std::pair<double, double>> across,
                                  std::vector<std::pair<double, double>> down, bool both, const Color& ink) const {
    const detail::PixelWindow clip = clipWindow();
    const int top = std::max(clip.y0, workTop_), bottom = std::min(clip.y1, workBottom_);
    if (clip.isEmpty() || top >= bottom) return;
    const int width = clip.width();
    const std::vector<float> columns = detail::intervalCoverage(std::move(across), clip.x0, width);
    const std::vector<float> rows = detail::intervalCoverage(std::move(down), top, bottom - top);
    const auto level = [both](float v, float h) { return both ? detail::bothLevel(v, h) : detail::eitherLevel(v, h); };
    std::vector<unsigned char> columnsOnly(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) columnsOnly[static_cast<std::size_t>(x)] = level(columns[static_cast<std::size_t>(x)], 0);
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width, std::min(COVERAGE_ROWS, bottom - top));
    if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(mask);
        return;
    }
    unsigned char* levels = cairo_image_surface_get_data(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    cairo_save(cr);
    cairo_identity_matrix(cr);
    setSource(cr, ink, state_.alpha);
    for (int from = top; from < bottom; from += COVERAGE_ROWS) {
        const int count = std::min(COVERAGE_ROWS, bottom - from);
        cairo_surface_flush(mask);
        for (int y = 0; y < count; ++y) {
            unsigned char* row = levels + static_cast<std::ptrdiff_t>(y) * stride;
            const float h = rows[static_cast<std::size_t>(from - top + y)];
            if (h == 0) {
                if (both) std::memset(row, 0, columnsOnly.size());
                else std::memcpy(row, columnsOnly.data(), columnsOnly.size());
            } else if (h >= 1 && !both) {
                std::memset(row, 255, columnsOnly.size());
            } else {
                for (int x = 0; x < width; ++x) row[x] = level(columns[static_cast<std::size_t>(x)], h);
            }
        }
        cairo_surface_mark_dirty(mask);
        cairo_save(cr);
        cairo_rectangle(cr, clip.x0, from, width, count);
        cairo_clip(cr);
        cairo_mask_surface(cr, mask, clip.x0, from);
        cairo_restore(cr);
    }
    cairo_restore(cr);
    cairo_surface_destroy(mask);
}

void GraphicsContext::setWorkRows(int top, int bottom) {
    workTop_ = top;
    workBottom_ = bottom;
}

void GraphicsContext::setKeptRows(int top, int bottom) {
    keptTop_ = top;
    keptBottom_ = bottom;
}

detail::PixelWindow GraphicsContext::workWindow() const {
    detail::PixelWindow clip = clipWindow();
    clip.y0 = std::max(clip.y0, workTop_);
    clip.y1 = std::min(clip.y1, workBottom_);
    return clip;
}

detail::ShadowWindows GraphicsContext::shadowWindows(const DeviceBox& bounds, const detail::PixelWindow& clip) const {
    return detail::shadowWindows(bounds.x0, bounds.y0, bounds.x1, bounds.y1, clip, state_.shadowX, state_.shadowY,
                                 state_.shadowBlur);
}

DeviceBox GraphicsContext::visibleReach() const {
    if (measuring_ && !measuringWindow_) return {-HUGE_VAL, -HUGE_VAL, HUGE_VAL, HUGE_VAL};
    const detail::PixelWindow clip = measuring_ ? outerPixels(*measuringWindow_) : workWindow();
    if (clip.isEmpty()) return DeviceBox::none();
    DeviceBox box{static_cast<double>(clip.x0), static_cast<double>(clip.y0), static_cast<double>(clip.x1),
                  static_cast<double>(clip.y1)};
    if (shadowActive()) {
        const detail::PixelWindow reach = detail::shadowReach(clip, state_.shadowX, state_.shadowY, state_.shadowBlur);
        box.include(reach.x0, reach.y0);
        box.include(reach.x1, reach.y1);
    }
    return box;
}

void GraphicsContext::drawShadow(const DeviceBox& bounds, const std::function<void(cairo_t*)>& draw, Coverage coverage) {
    // Only the part of the shape within the blur's reach of the clip is drawn, and only the
    // shadow's pixels inside the clip (and the work window) are blurred: a wide blur costs its
    // reach, not its area.
    const detail::ShadowWindows work = shadowWindows(bounds, workWindow());
    if (work.source.isEmpty() || work.cast.isEmpty()) return;
    // The shape is drawn as without a work window, so that its pixels, and with them every
    // blurred pixel, stay the same. Under a clip path the mask also spans what it would without
    // one: cairo rasterises the clip path over the area it composites, and where that area ends
    // changes pixels of the clip's edges far from there.
    const detail::ShadowWindows whole = shadowWindows(bounds, clipWindow());
    const detail::PixelWindow& source = whole.source;
    const detail::PixelWindow& cast = work.cast;
    const detail::PixelWindow& spread = state_.clippedToPath ? whole.cast : cast;
    constexpr int maxSide = 32767;  // cairo's own limit on image surfaces
    if (source.width() > maxSide || source.height() > maxSide || spread.width() > maxSide || spread.height() > maxSide)
        return;

    // Every shadow of a wide blur takes planes about the size of the picture: their memory is
    // kept from one shadow to the next rather than taken fresh (and cleared by the system) for
    // each. Every pixel of the mask is written before it is read. A plane cairo makes is known
    // to it as clear, and cairo draws onto such a plane by another road (translucent ink is laid
    // as the source there, not over it), which gives other levels: the kept shape's plane is
    // cleared by cairo, which knows it as clear again (below), so that a shadow never
    // depends on the shadows before it.
    const bool keepsPlanes = shortcutsTaken();
    auto plane = [keepsPlanes](std::vector<std::uint8_t>& keep, const detail::PixelWindow& w, bool clear, bool* kept) {
        const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, w.width());
        const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(w.height());
        if (!keepsPlanes || stride <= 0 || bytes > SHADOW_PLANE_KEPT_BYTES)
            return cairo_image_surface_create(CAIRO_FORMAT_A8, w.width(), w.height());
        if (keep.size() < bytes) keep.resize(bytes);
        if (clear) std::memset(keep.data(), 0, bytes);
        if (kept) *kept = true;
        return cairo_image_surface_create_for_data(keep.data(), CAIRO_FORMAT_A8, w.width(), w.height(), stride);
    };
    // A blur computed on cells takes an outline drawn straight onto them: cairo's coverage of a
    // cell stands for the average of its pixels, and the shape costs its cells, not its pixels,
    // in every band that draws it. The cells lie on the device grid, whatever the window.
    const double sigma = detail::shadowSigma(state_.shadowBlur);
    const int cell = coverage == Coverage::outline && shortcutsTaken() ? detail::blurCellSize(sigma) : 1;
    const detail::PixelWindow drawnWindow = cell > 1 ? detail::blurCellsHolding(source, sigma) : source;
    bool keptShape = false;
    cairo_surface_t* shape = plane(shadowShape_, drawnWindow, false, &keptShape);
    // A mask that spreads beyond the cast is 0 there.
    const bool spreads = spread.x0 != cast.x0 || spread.y0 != cast.y0 || spread.x1 != cast.x1 || spread.y1 != cast.y1;
    cairo_surface_t* mask = plane(shadowMask_, spread, spreads, nullptr);
    auto release = [&] {
        cairo_surface_destroy(shape);
        cairo_surface_destroy(mask);
    };
    // A shadow cairo could not draw is a loss of the picture's, as a failure on the picture's
    // own context would be.
    auto loseTo = [&](cairo_status_t status) { lose(status == CAIRO_STATUS_NO_MEMORY); };
    if (cairo_surface_status(shape) != CAIRO_STATUS_SUCCESS || cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
        loseTo(cairo_surface_status(shape) != CAIRO_STATUS_SUCCESS ? cairo_surface_status(shape) : cairo_surface_status(mask));
        release();
        return;
    }
    // The device transform maps the picture's pixels onto the plane (under the draw's own
    // matrix, which is set in picture space), so cells are reckoned as the picture's are.
    if (cell > 1) cairo_surface_set_device_scale(shape, 1.0 / cell, 1.0 / cell);
    cairo_surface_set_device_offset(shape, -drawnWindow.x0, -drawnWindow.y0);
    cairo_t* scr = cairo_create(shape);
    if (keptShape) {
        cairo_set_operator(scr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(scr);
        cairo_set_operator(scr, CAIRO_OPERATOR_OVER);
    }
    matchTolerance(scr);
    draw(scr);
    const cairo_status_t shaped = cairo_status(scr);
    cairo_destroy(scr);
    if (shaped != CAIRO_STATUS_SUCCESS) {
        loseTo(shaped);
        release();
        return;
    }
    cairo_surface_flush(shape);
    cairo_surface_flush(mask);
    const detail::AlphaPlane drawn{cairo_image_surface_get_data(shape), cairo_image_surface_get_stride(shape), drawnWindow};
    if (!shadowMasks_) shadowMasks_ = std::make_unique<detail::ShadowMaskCache>(SHADOW_MASK_BYTES);
    std::uint8_t* maskData = cairo_image_surface_get_data(mask);
    const int maskStride = cairo_image_surface_get_stride(mask);
    std::uint8_t* castPixels =
        maskData + static_cast<std::ptrdiff_t>(cast.y0 - spread.y0) * maskStride + (cast.x0 - spread.x0);
    // Laid over the picture, a mask changes no pixel where it is faint for the shadow's colour:
    // a wide shadow of a thin outline is often faint everywhere, and a shadow's mask faint far
    // from the shape. Other operators change pixels where the mask is 0.
    const bool shortcuts = shortcutsTaken();
    const int faint = shortcuts && cairo_get_operator(cr_) == CAIRO_OPERATOR_OVER
                          ? detail::faintMaskLevel(state_.shadowColor.alpha)
                          : -1;
    const bool inked = !shortcuts ? detail::gaussianBlurAlpha(drawn, castPixels, maskStride, cast, sigma)
                       : cell > 1 ? shadowMasks_->blurCells(drawn, castPixels, maskStride, cast, sigma, std::max(faint, 0))
                                  : shadowMasks_->blur(drawn, castPixels, maskStride, cast, sigma, std::max(faint, 0));
    if (!inked) {
        release();
        return;
    }
    cairo_surface_mark_dirty(mask);

    // A wide shadow covers much of the picture, and a mask drawn at a fraction of a pixel is
    // resampled for every pixel it covers on pixman's slow path, ten times the cost of the rest
    // of the shadow: it is moved by the fraction here, as pixman samples it, and drawn at whole
    // pixels. What the move leaves out, a column and a row of the mask's border, lands beyond
    // the clip that the mask's window was cut to.
    double atX = spread.x0 + state_.shadowX, atY = spread.y0 + state_.shadowY;
    cairo_surface_t* placed = mask;
    if (shortcuts) {
        const detail::MaskPlace sampled = detail::maskSamplingPlace(atX, atY);
        atX = sampled.x;
        atY = sampled.y;
    }
    const double fx = atX - std::floor(atX), fy = atY - std::floor(atY);
    if (shortcuts && (fx > 0 || fy > 0) && detail::blurCellSize(sigma) > 1 && spread.width() > 1 && spread.height() > 1) {
        detail::moveByFraction(maskData, maskStride, spread.width(), spread.height(), fx, fy);
        const int sx = fx > 0, sy = fy > 0;
        placed = cairo_image_surface_create_for_data(maskData, CAIRO_FORMAT_A8, spread.width() - sx,
                                                     spread.height() - sy, maskStride);
        atX = std::floor(atX) + sx;
        atY = std::floor(atY) + sy;
    }
    // Only the part of a mask at whole pixels that can change a pixel is laid; cairo resamples a
    // mask at a fraction of a pixel from its neighbours, so that one is laid whole, and so is one
    // under a clip path, whose edges take their levels from the area laid.
    if (faint >= 0 && atX == std::floor(atX) && atY == std::floor(atY)) {
        const int width = cairo_image_surface_get_width(placed), height = cairo_image_surface_get_height(placed);
        detail::PixelWindow inked = detail::above(maskData, maskStride, width, height, faint);
        inked.x0 &= ~3;  // rows of the part start on whole words, as pixman reads them
        if (inked.isEmpty()) {
            if (placed != mask) cairo_surface_destroy(placed);
            release();
            return;
        }
        if (!state_.clippedToPath && (inked.width() < width || inked.height() < height)) {
            if (placed != mask) cairo_surface_destroy(placed);
            placed = cairo_image_surface_create_for_data(maskData + static_cast<std::ptrdiff_t>(inked.y0) * maskStride + inked.x0,
                                                         CAIRO_FORMAT_A8, inked.width(), inked.height(), maskStride);
            atX += inked.x0;
            atY += inked.y0;
        }
    }
    if (cairo_surface_status(placed) != CAIRO_STATUS_SUCCESS) {
        loseTo(cairo_surface_status(placed));
        if (placed != mask) cairo_surface_destroy(placed);
        release();
        return;
    }

    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    if (!layMaskByHand(placed, atX, atY)) {
        setSource(cr_, state_.shadowColor, 1);
        cairo_mask_surface(cr_, placed, atX, atY);
    }
    cairo_restore(cr_);
    if (placed != mask) cairo_surface_destroy(placed);
    release();
}

// cairo_mask_surface of the shadow's colour over a plain picture, done by hand where the
// picture, the clip and the mask's place are whole pixels (see MaskOver.hpp); false, with
// nothing laid, where they are not. The matrix of cr_ is the identity.
bool GraphicsContext::layMaskByHand(cairo_surface_t* mask, double atX, double atY) const {
    const Color& c = state_.shadowColor;
    if (!shortcutsTaken() || cairo_status(cr_) != CAIRO_STATUS_SUCCESS || cairo_get_operator(cr_) != CAIRO_OPERATOR_OVER ||
        state_.clippedToPath || atX != std::floor(atX) || atY != std::floor(atY) || !(std::fabs(atX) < 1e9) ||
        !(std::fabs(atY) < 1e9) || !finite(c.red) || !finite(c.green) || !finite(c.blue) || !finite(c.alpha))
        return false;
    cairo_surface_t* target = cairo_get_group_target(cr_);
    if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32)
        return false;
    double offsetX, offsetY, scaleX, scaleY;
    cairo_surface_get_device_offset(target, &offsetX, &offsetY);
    cairo_surface_get_device_scale(target, &scaleX, &scaleY);
    if (offsetX != 0 || offsetY != 0 || scaleX != 1 || scaleY != 1) return false;
    cairo_rectangle_list_t* clip = cairo_copy_clip_rectangle_list(cr_);
    const bool whole = onWholePixels(clip);
    if (whole) {
        cairo_surface_flush(target);
        cairo_surface_flush(mask);
        std::uint8_t* pixels = cairo_image_surface_get_data(target);
        const int stride = cairo_image_surface_get_stride(target);
        const std::uint8_t* levels = cairo_image_surface_get_data(mask);
        const int maskStride = cairo_image_surface_get_stride(mask);
        const int x0 = static_cast<int>(atX), y0 = static_cast<int>(atY);
        const detail::PixelWindow laid{std::max(x0, 0), std::max(y0, 0),
                                       std::min(x0 + cairo_image_surface_get_width(mask), cairo_image_surface_get_width(target)),
                                       std::min(y0 + cairo_image_surface_get_height(mask), cairo_image_surface_get_height(target))};
        const std::uint32_t colour = detail::solidPixel(c.red, c.green, c.blue, c.alpha);
        // The clip's rectangles do not overlap.
        for (int i = 0; i < clip->num_rectangles; ++i) {
            const cairo_rectangle_t& r = clip->rectangles[i];
            const int rx0 = std::max<double>(laid.x0, r.x), ry0 = std::max<double>(laid.y0, r.y);
            const int rx1 = std::min<double>(laid.x1, r.x + r.width), ry1 = std::min<double>(laid.y1, r.y + r.height);
            if (rx0 >= rx1 || ry0 >= ry1) continue;
            detail::maskOver(pixels + static_cast<std::ptrdiff_t>(ry0) * stride + 4 * rx0, stride,
                             levels + static_cast<std::ptrdiff_t>(ry0 - y0) * maskStride + (rx0 - x0), maskStride, rx1 - rx0,
                             ry1 - ry0, colour);
            cairo_surface_mark_dirty_rectangle(target, rx0, ry0, rx1 - rx0, ry1 - ry0);
        }
    }
    cairo_rectangle_list_destroy(clip);
    return whole;
}

// Ink of no alpha changes no pixel, nor casts a shadow: only the operator that adds ink is used.
bool GraphicsContext::invisible(const Color& ink) const { return ink.alpha == 0 || state_.alpha == 0; }

void GraphicsContext::forgetLastHeavyFill() {
    if (repeatedFill_) repeatedFill_->forget();
}

void GraphicsContext::fillPath(FillRule rule) {
    if (path_.empty() || invisible(state_.fill)) return;
    // Off the shortcuts, a heavy fill goes to cairo as any other.
    const bool fine = path_.size() >= detail::OPPOSED_EDGES_MIN_EDGES;
    const bool heavy = fine && shortcutsTaken();
    if (heavy && measuring_) measuredHeavyFill_ = true;
    // Whether a heavy fill reuses the coverage of the one before must not depend on the work
    // window: only fills laid over the picture count (a shadow's shape is drawn only where the
    // shadow reaches the window), and one left out here, as it cannot reach the window, counts
    // as a fill unlike any other.
    bool laid = false;
    const DeviceBox bounds = pathBounds();
    paint(bounds, [&](cairo_t* cr) {
        setDeviceSpace(cr);
        cairo_set_fill_rule(cr, rule == FillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        setSource(cr, state_.fill, state_.alpha);
        std::optional<MemoryPromise> promise;
        if (!heavy || cr != cr_) {
            if (!heavy || !emitThinnedFill(cr, rule)) emitPath(cr, Emit::fill);
            if (heavy && !promiseFor(cr, 1, 0, promise)) return cairo_new_path(cr);
            return layInTiles(cr, heavy ? nullptr : &bounds, state_.fill.alpha * state_.alpha, cairo_fill, fine);
        }
        laid = true;
        // A heavy fill like the last one lays the coverage kept from it, its path not even
        // thinned (see RepeatedFill.hpp).
        if (!repeatedFill_) repeatedFill_ = std::make_unique<detail::RepeatedFill>();
        std::vector<double> spelled(path_.size() * 3);
        for (std::size_t k = 0; k < path_.size(); ++k) {
            spelled[3 * k] = static_cast<double>(path_[k].op);
            spelled[3 * k + 1] = path_[k].x;
            spelled[3 * k + 2] = path_[k].y;
        }
        auto key = detail::RepeatedFill::keyOf(cr, std::move(spelled));
        if (repeatedFill_->lay(cr, key)) return;
        std::vector<std::vector<detail::GridPoint>> grid;
        if (emitThinnedFill(cr, rule, &grid)) {
            if (!promiseFor(cr, 1, 0, promise)) return cairo_new_path(cr);
            return repeatedFill_->fill(cr, std::move(key));
        }
        if (grid.empty()) {
            emitPath(cr, Emit::fill);
            if (!promiseFor(cr, 1, 0, promise)) return cairo_new_path(cr);
            return repeatedFill_->fill(cr, std::move(key));
        }
        // A path no thinning took goes to cairo tile by tile, as lighter ones do, each tile
        // given the edges that can reach it.
        const auto extents = [&grid] {
            std::array<double, 4> box{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
            for (const auto& sub : grid) {
                for (const detail::GridPoint& g : sub) {
                    box[0] = std::fmin(box[0], static_cast<double>(g.x) / 256);
                    box[1] = std::fmin(box[1], static_cast<double>(g.y) / 256);
                    box[2] = std::fmax(box[2], static_cast<double>(g.x) / 256);
                    box[3] = std::fmax(box[3], static_cast<double>(g.y) / 256);
                }
            }
            return box;
        };
        const std::optional<Tiles> tiles = tilesFor(cr, bounds, state_.fill.alpha * state_.alpha, true);
        repeatedFill_->fill(cr, std::move(key), [&](cairo_t* on) { fillGridInTiles(on, grid, tiles); }, extents);
    }, Coverage::outline, checksMemory() && !heavy ? fillEdges() : 0);
    if (heavy && !laid && !measuring_) forgetLastHeavyFill();
}

void GraphicsContext::strokePath() {
    if (path_.empty() || invisible(state_.stroke)) return;
    const DeviceBox bounds = strokeBounds(pathBounds());
    const bool heavy = path_.size() >= detail::OPPOSED_EDGES_MIN_EDGES;
    paint(bounds, [&](cairo_t* cr) {
        if (cr == cr_ && strokeLinesAcross(cr)) return;
        setDeviceSpace(cr);
        // The rails leave out what lies inside the rest of the stroke; where they do not apply,
        // the runs repeated on cairo's grid are left out instead. Rails go first: where the pen
        // is a few grid steps wide, passes that repeat on the grid still cross the picture by
        // the thousand, a cost that grows with the square of the picture's side.
        // (Each leaves the path as it was when it does not apply.)
        emitPath(cr, Emit::stroke);
        if (heavy && shortcutsTaken() && !emitSparseStroke(cr)) emitThinnedStroke(cr);
        std::optional<MemoryPromise> promise;
        if (heavy && !promiseFor(cr, strokePieceEdges(), strokeDashEdges(), promise)) return cairo_new_path(cr);
        // The pieces of a heavy outline with mitred corners changed a few pixels by a level when
        // laid in tiles; they go whole.
        strokeEmitted(cr, !heavy || state_.join != LineJoin::miter ? &bounds : nullptr);
    }, Coverage::outline, checksMemory() && !heavy ? strokeEdges() : 0);
}

void GraphicsContext::clip(FillRule rule) {
    if (path_.empty()) return clipToRect({0, 0, 0, 0});
    state_.clippedToPath = true;
    setDeviceSpace(cr_);
    emitPath(cr_, Emit::fill);
    cairo_set_fill_rule(cr_, rule == FillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr_);
    setUserSpace(cr_);
}

void GraphicsContext::clipToRect(const Rect& r) {
    const DeviceBox b = rectBounds(r);
    cairo_new_path(cr_);
    cairo_identity_matrix(cr_);
    if (!b.isEmpty() && finite(b.x0) && finite(b.x1) && finite(b.y0) && finite(b.y1)) {
        const double x0 = std::fmax(b.x0, -detail::GUARD_LIMIT), y0 = std::fmax(b.y0, -detail::GUARD_LIMIT);
        const double x1 = std::fmin(b.x1, detail::GUARD_LIMIT), y1 = std::fmin(b.y1, detail::GUARD_LIMIT);
        // Rotated rectangles clip to their own outline.
        if (state_.ctm.b == 0 && state_.ctm.c == 0) cairo_rectangle(cr_, x0, y0, x1 - x0, y1 - y0);
        else {
            state_.clippedToPath = true;
            const AffineTransform& m = state_.ctm;
            const DevicePoint p[4] = {m.apply(r.x, r.y), m.apply(r.x + r.width, r.y),
                                      m.apply(r.x + r.width, r.y + r.height), m.apply(r.x, r.y + r.height)};
            std::vector<Vec2> poly;
            for (const auto& q : p) poly.push_back({q.x, q.y});
            const auto clipped = detail::clipPolygonToGuard(poly);
            for (std::size_t k = 0; k < clipped.size(); ++k) {
                if (k == 0) cairo_move_to(cr_, clipped[k].x, clipped[k].y);
                else cairo_line_to(cr_, clipped[k].x, clipped[k].y);
            }
            cairo_close_path(cr_);
        }
    } else {
        cairo_rectangle(cr_, 0, 0, 0, 0);
    }
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr_);
    setUserSpace(cr_);
}

void GraphicsContext::emitRects(cairo_t* cr, std::span<const Rect> rects) const {
    // Built as a temporary path so that the guard box applies to rectangles too.
    cairo_new_path(cr);
    for (const Rect& r : rects) {
        const AffineTransform& m = state_.ctm;
        const DevicePoint p[4] = {m.apply(r.x, r.y), m.apply(r.x + r.width, r.y),
                                  m.apply(r.x + r.width, r.y + r.height), m.apply(r.x, r.y + r.height)};
        std::vector<Vec2> poly;
        bool ok = true;
        for (const auto& q : p) {
            ok = ok && finitePoint(q);
            poly.push_back({q.x, q.y});
        }
        if (!ok) continue;
        bool inside = true;
        for (const auto& q : poly) inside = inside && detail::insideGuard(q);
        const auto clipped = inside ? poly : detail::clipPolygonToGuard(poly);
        for (std::size_t k = 0; k < clipped.size(); ++k) {
            if (k == 0) cairo_move_to(cr, clipped[k].x, clipped[k].y);
            else cairo_line_to(cr, clipped[k].x, clipped[k].y);
        }
        if (!clipped.empty()) cairo_close_path(cr);
    }
}

void GraphicsContext::fillRect(const Rect& r) { fillRects({&r, 1}); }

void GraphicsContext::fillRects(std::span<const Rect> rects) {
    DeviceBox b = DeviceBox::none();
    for (const Rect& r : rects) {
        const DeviceBox rb = rectBounds(r);
        if (finite(rb.x0) && finite(rb.x1) && finite(rb.y0) && finite(rb.y1)) {
            b.include(rb.x0, rb.y0);
            b.include(rb.x1, rb.y1);
        }
    }
    if (b.x0 > b.x1) return;
    paint(b, [&](cairo_t* cr) {
        setDeviceSpace(cr);
        emitRects(cr, rects);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        setSource(cr, state_.fill, state_.alpha);
        cairo_fill(cr);
    });
}

void GraphicsContext::fillRectLattice(std::span<const double> xs, std::span<const double> ys, double halfWidth,
                                      double halfHeight) {
    const AffineTransform& m = state_.ctm;
    const auto oneByOne = [&] {
        std::vector<Rect> rects;
        rects.reserve(xs.size() * ys.size());
        for (const double x : xs)
            for (const double y : ys) rects.push_back({x - halfWidth, y - halfHeight, 2 * halfWidth, 2 * halfHeight});
        fillRects(rects);
    };
    if (xs.size() * ys.size() < LATTICE_MIN_RECTS || m.b != 0 || m.c != 0 || shadowActive() || measuring_ ||
        cairo_get_operator(cr_) != CAIRO_OPERATOR_OVER || !onWholePixelsHere(cr_))
        return oneByOne();
    if (invisible(state_.fill)) return;
    // The lattice's columns and rows in device space, and the box around them.
    const auto intervals = [](std::span<const double> at, double scale, double offset, double half,
                              std::vector<std::pair<double, double>>& out, double& low, double& high) {
        low = HUGE_VAL;
        high = -HUGE_VAL;
        for (const double p : at) {
            const double centre = scale * p + offset, reach = std::fabs(scale) * half;
            if (!finite(centre) || !finite(reach)) return false;
            out.push_back({centre - reach, centre + reach});
            low = std::fmin(low, centre - reach);
            high = std::fmax(high, centre + reach);
        }
        return true;
    };
    std::vector<std::pair<double, double>> across, down;
    DeviceBox bounds;
    if (!intervals(xs, m.a, m.tx, halfWidth, across, bounds.x0, bounds.x1) ||
        !intervals(ys, m.d, m.ty, halfHeight, down, bounds.y0, bounds.y1))
        return oneByOne();
    paint(bounds, [&](cairo_t* cr) { layCoverage(cr, std::move(across), std::move(down), true, state_.fill); });
}

void GraphicsContext::strokeRect(const Rect& r) {
    const DeviceBox rb = rectBounds(r);
    if (!(finite(rb.x0) && finite(rb.x1) && finite(rb.y0) && finite(rb.y1))) return;
    const DeviceBox bounds = strokeBounds(rb);
    paint(bounds, [&](cairo_t* cr) {
        setDeviceSpace(cr);
        emitRects(cr, {&r, 1});
        strokeEmitted(cr, &bounds);
    });
}

void GraphicsContext::drawImage(const PixelView& px, const Rect& dest) {
    if (!px.data || px.width <= 0 || px.height <= 0 || px.stride < px.width * 4) return;
    if (!finite(dest.x) || !finite(dest.y) || !finite(dest.width) || !finite(dest.height)) return;
    if (dest.width == 0 || dest.height == 0) return;
    const DeviceBox b = rectBounds(dest);
    if (!(finite(b.x0) && finite(b.x1) && finite(b.y0) && finite(b.y1))) return;
    // Pattern space: the pixel grid; user space maps onto it with mirroring for negative sizes.
    cairo_matrix_t toPattern;
    cairo_matrix_init(&toPattern, px.width / dest.width, 0, 0, px.height / dest.height,
                      -dest.x * px.width / dest.width, -dest.y * px.height / dest.height);
    if (!finite(toPattern.xx) || !finite(toPattern.yy) || !finite(toPattern.x0) || !finite(toPattern.y0)) return;
    if (toPattern.xx == 0 || toPattern.yy == 0) return;
    cairo_surface_t* src = cairo_image_surface_create_for_data(const_cast<unsigned char*>(px.data),
                                                               CAIRO_FORMAT_ARGB32, px.width, px.height, px.stride);
    if (cairo_surface_status(src) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(src);
        return;
    }
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(src);
    cairo_pattern_set_matrix(pattern, &toPattern);
    // Edge pixels are repeated outward and the destination rectangle clips them: the picture
    // keeps crisp edges instead of fading into transparency at its border.
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_filter_t filter = CAIRO_FILTER_GOOD;
    switch (state_.interpolation) {
    case InterpolationQuality::none: filter = CAIRO_FILTER_NEAREST; break;
    case InterpolationQuality::low: filter = CAIRO_FILTER_FAST; break;
    case InterpolationQuality::medium:
    case InterpolationQuality::high: filter = CAIRO_FILTER_GOOD; break;
    }
    cairo_pattern_set_filter(pattern, filter);
    paint(
        b,
        [&](cairo_t* cr) {
            setDeviceSpace(cr);
            emitRects(cr, {&dest, 1});
            cairo_clip(cr);
            setUserSpace(cr);
            cairo_set_source(cr, pattern);
            cairo_paint_with_alpha(cr, state_.alpha);
        },
        Coverage::pixelGrid);
    cairo_pattern_destroy(pattern);
    cairo_surface_destroy(src);
}

void GraphicsContext::paintWithFill(const DeviceBox& deviceBounds, const std::function<void(cairo_t*)>& draw) {
    paint(
        deviceBounds,
        [&](cairo_t* cr) {
            setUserSpace(cr);
            setSource(cr, state_.fill, state_.alpha);
            draw(cr);
        },
        Coverage::pixelGrid);
}

} // namespace dv::gfx
