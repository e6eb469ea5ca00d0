#include "DVRender/Canvas/DrawnBounds.hpp"

#include <cmath>
#include <limits>
#include <variant>
#include <vector>

#include "DVModel/CSSColor.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVRender/Canvas/CanvasFont.hpp"
#include "DVRender/Canvas/DisplayList.hpp"
#include "DVModel/Hashing.hpp"
#include "DVText/TextMetrics.hpp"

namespace dv {

NormalizedRect unionRect(const NormalizedRect& a, const NormalizedRect& b) {
    double x = jsMin(a.x, b.x);
    double y = jsMin(a.y, b.y);
    double right = jsMax(a.x + a.w, b.x + b.w);
    double bottom = jsMax(a.y + a.h, b.y + b.h);
    return {x, y, right - x, bottom - y};
}

void DrawnBounds::unionWith(const NormalizedRect& other) {
    rect = rect ? unionRect(*rect, other) : other;
}

DrawnBounds DrawnBounds::merged(const DrawnBounds& other) const {
    DrawnBounds result{rect, jsMax(devicePad, other.devicePad)};
    if (other.rect) result.unionWith(*other.rect);
    return result;
}

std::optional<NormalizedRect> DrawnBounds::rectForDeviceScale(double scale) const {
    if (!rect) return std::nullopt;
    double p = std::isfinite(scale) && scale > 0 ? devicePad / scale : 0.0;
    return NormalizedRect{rect->x - p, rect->y - p, rect->w + 2 * p, rect->h + 2 * p};
}

std::size_t hashValue(const DrawnBounds& bounds) {
    Hasher seed;
    hashMix(seed, bounds.rect.has_value());
    if (bounds.rect) {
        for (double value : {bounds.rect->x, bounds.rect->y, bounds.rect->w, bounds.rect->h})
            hashMix(seed, value);
    }
    hashMix(seed, bounds.devicePad);
    return hashResult(seed);
}

namespace {

// The walk of DisplayList::drawnBounds: the state as a context keeps it, the current path's
// points already mapped to the target space, the running extremes and the device pad.
class BoundsWalk {
public:
    void step(const DisplayOp& op) {
        tracker_.step(op);   // property, transform, dash, save and restore ops
        std::visit([&](const auto& payload) { visit(payload); }, op.value);
    }

    DrawnBounds result() const {
        DrawnBounds bounds;
        bounds.devicePad = pad_;
        if (minX_ <= maxX_ && minY_ <= maxY_)
            bounds.rect = NormalizedRect{minX_, minY_, maxX_ - minX_, maxY_ - minY_};
        return bounds;
    }

private:
    struct Mapped {
        double x, y;
    };

    const CanvasState& state() const { return tracker_.state; }

    std::optional<Mapped> map(double x, double y) const {
        const CanvasMatrix& m = state().transform;
        Mapped p{m.a * x + m.c * y + m.e, m.b * x + m.d * y + m.f};
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
        return p;
    }

    void addPathPoint(double x, double y) {
        if (auto p = map(x, y)) points_.push_back(*p);
    }

    void extend(const Mapped& p, double pad) {
        minX_ = jsMin(minX_, p.x - pad);
        minY_ = jsMin(minY_, p.y - pad);
        maxX_ = jsMax(maxX_, p.x + pad);
        maxY_ = jsMax(maxY_, p.y + pad);
    }

    // The four corners of a rectangle, each mapped; corners that map outside the finite
    // plane are dropped.
    void extendByBox(double x, double y, double w, double h, double pad) {
        for (auto [cx, cy] : {Mapped{x, y}, Mapped{x + w, y}, Mapped{x, y + h}, Mapped{x + w, y + h}}) {
            if (auto p = map(cx, cy)) extend(*p, pad);
        }
    }

    // Half the line width, grown for miter joins (the miter limit is 10) and square caps,
    // scaled by the larger axis of the transform.
    double strokePad() const {
        const CanvasState& s = state();
        double j = s.lineJoin == "miter" ? 10.0 : 1.0;
        if (s.lineCap == "square") j = jsMax(j, 1.4142135623730951);
        const CanvasMatrix& m = s.transform;
        double scale = jsMax(std::sqrt(m.a * m.a + m.b * m.b), std::sqrt(m.c * m.c + m.d * m.d));
        return (s.lineWidth / 2) * j * scale;
    }

    // Shadows are drawn in device space, offset and blurred: they widen the device pad.
    void applyShadow() {
        const CanvasState& s = state();
        std::optional<RGBA> colour = CSSColor(s.shadowColor).rgba();
        if (!colour || !(colour->alpha > 0)) return;
        if (!(s.shadowBlur > 0 || s.shadowOffsetX != 0 || s.shadowOffsetY != 0)) return;
        pad_ = jsMax(pad_, jsMax(std::fabs(s.shadowOffsetX), std::fabs(s.shadowOffsetY)) +
                               1.5 * s.shadowBlur + 1);
    }

    static bool finite(double a, double b, double c, double d) {
        return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
    }

    void visit(const DisplayOp::Path& path) {
        std::visit(
            [&](const auto& op) {
                using T = std::decay_t<decltype(op)>;
                if constexpr (std::is_same_v<T, PathOp::MoveTo> || std::is_same_v<T, PathOp::LineTo>) {
                    addPathPoint(op.x, op.y);
                } else if constexpr (std::is_same_v<T, PathOp::QuadraticCurveTo>) {
                    addPathPoint(op.cpx, op.cpy);
                    addPathPoint(op.x, op.y);
                } else if constexpr (std::is_same_v<T, PathOp::BezierCurveTo>) {
                    addPathPoint(op.cp1x, op.cp1y);
                    addPathPoint(op.cp2x, op.cp2y);
                    addPathPoint(op.x, op.y);
                } else if constexpr (std::is_same_v<T, PathOp::Arc>) {
                    // The whole square around the circle, whatever the angles.
                    double r = op.radius;
                    addPathPoint(op.x - r, op.y - r);
                    addPathPoint(op.x + r, op.y - r);
                    addPathPoint(op.x - r, op.y + r);
                    addPathPoint(op.x + r, op.y + r);
                } else if constexpr (std::is_same_v<T, PathOp::Rect>) {
                    addPathPoint(op.x, op.y);
                    addPathPoint(op.x + op.width, op.y);
                    addPathPoint(op.x, op.y + op.height);
                    addPathPoint(op.x + op.width, op.y + op.height);
                } else if constexpr (std::is_same_v<T, PathOp::BeginPath>) {
                    points_.clear();
                }
            },
            path.op.value);
    }

    void visit(const DisplayOp::Fill&) {
        for (const Mapped& p : points_) extend(p, 0);
        applyShadow();
    }

    void visit(const DisplayOp::Stroke&) {
        double pad = strokePad();
        for (const Mapped& p : points_) extend(p, pad);
        applyShadow();
    }

    void visit(const DisplayOp::FillRect& r) {
        if (finite(r.x, r.y, r.width, r.height)) extendByBox(r.x, r.y, r.width, r.height, 0);
        applyShadow();
    }

    void visit(const DisplayOp::StrokeRect& r) {
        if (finite(r.x, r.y, r.width, r.height)) extendByBox(r.x, r.y, r.width, r.height, strokePad());
        applyShadow();
    }

    void visit(const DisplayOp::FillText& t) {
        std::optional<CanvasFont> font = CanvasFont::parse(state().font);
        if (!font || !(font->size > 0)) return;
        double s = font->size;
        double m = measureTextWidth(t.text, s, font->family, font->bold);
        // A generous box: fallback fonts may run wider than the width tables.
        double width = 1.25 * m + s;
        const std::string& align = state().textAlign;
        double left = align == "center"                   ? t.x - width / 2
                      : align == "right" || align == "end" ? t.x - width + s / 2
                                                           : t.x - s / 2;
        double top = t.y - 1.5 * s;
        double height = 3 * s;
        if (std::isfinite(left) && std::isfinite(top) && std::isfinite(width) && !std::isinf(height))
            extendByBox(left, top, width, height, 0);
        applyShadow();
    }

    void visit(const DisplayOp::DrawImage& i) {
        if (finite(i.x, i.y, i.width, i.height)) extendByBox(i.x, i.y, i.width, i.height, 0);
        applyShadow();
    }

    void visit(const DisplayOp::FillCircles& c) {
        double r = c.radius;
        for (const Point& centre : c.centres) {
            double x = centre.x - r;
            double y = centre.y - r;
            if (std::isfinite(x) && std::isfinite(y) && std::isfinite(2 * r))
                extendByBox(x, y, 2 * r, 2 * r, 0);
        }
        applyShadow();
    }

    // Clipping never shrinks the bounds; the other ops only change the state.
    template <typename Op>
    void visit(const Op&) {}

    detail::StateTracker tracker_;
    std::vector<Mapped> points_;
    double minX_ = std::numeric_limits<double>::infinity();
    double minY_ = std::numeric_limits<double>::infinity();
    double maxX_ = -std::numeric_limits<double>::infinity();
    double maxY_ = -std::numeric_limits<double>::infinity();
    double pad_ = 1;
};

} // namespace

DrawnBounds DisplayList::drawnBounds() const {
    BoundsWalk walk;
    for (const DisplayOp& op : ops()) walk.step(op);
    return walk.result();
}

} // namespace dv
