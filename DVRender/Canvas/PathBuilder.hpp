#pragma once
// Canvas path commands lowered to eight primitive operations. Every drawing context builds
// its paths through a PathBuilder, so the awkward canvas rules (implicit moves, non-finite
// input, ellipses, arcTo corners, rounded rectangles) are decided once for all back ends.

#include "DVModel/Hashing.hpp"
#include <cmath>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "DVModel/JSNumber.hpp"
#include "DVModel/SmallRecords.hpp"

namespace dv {

struct PathOp {
    struct MoveTo {
        double x, y;
        bool operator==(const MoveTo&) const = default;
    };
    struct LineTo {
        double x, y;
        bool operator==(const LineTo&) const = default;
    };
    struct QuadraticCurveTo {
        double cpx, cpy, x, y;
        bool operator==(const QuadraticCurveTo&) const = default;
    };
    struct BezierCurveTo {
        double cp1x, cp1y, cp2x, cp2y, x, y;
        bool operator==(const BezierCurveTo&) const = default;
    };
    struct Arc {
        double x, y, radius, startAngle, endAngle;
        bool anticlockwise;
        bool operator==(const Arc&) const = default;
    };
    struct Rect {
        double x, y, width, height;
        bool operator==(const Rect&) const = default;
    };
    struct BeginPath {
        bool operator==(const BeginPath&) const = default;
    };
    struct ClosePath {
        bool operator==(const ClosePath&) const = default;
    };

    // The case order is part of the type.
    using Value =
        std::variant<MoveTo, LineTo, QuadraticCurveTo, BezierCurveTo, Arc, Rect, BeginPath, ClosePath>;
    Value value;

    template <typename T>
        requires(!std::is_same_v<std::remove_cvref_t<T>, PathOp> &&
                 std::is_constructible_v<Value, T &&>)
    PathOp(T&& op) : value(std::forward<T>(op)) {}

    bool operator==(const PathOp&) const = default;
};

std::size_t hashValue(const PathOp& op);

struct PathBuilder {
    static constexpr double TWO_PI = 6.283185307179586;
    static constexpr double PI = 3.141592653589793;
    static constexpr double HALF_PI = 1.5707963267948966;
    static constexpr double THREE_HALF_PI = 4.71238898038469;

    std::optional<Point> current;       // absent when the path has no current point
    std::optional<Point> subpathStart;  // where closePath returns to

    bool operator==(const PathBuilder&) const = default;

    // The signed angle an arc from `start` to `end` sweeps: in [0, 2pi) clockwise, in
    // (-2pi, 0] anticlockwise, exactly +-2pi when a full turn or more was asked.
    static double arcSweep(double start, double end, bool anticlockwise);

    // Each command hands its primitive operations, in order, to `emit(const PathOp&)`.

    template <typename Emit>
    void beginPath(Emit&& emit) {
        emit(PathOp(PathOp::BeginPath{}));
        current.reset();
        subpathStart.reset();
    }

    template <typename Emit>
    void closePath(Emit&& emit) {
        emit(PathOp(PathOp::ClosePath{}));
        if (subpathStart) current = subpathStart;
    }

    template <typename Emit>
    void moveTo(double x, double y, Emit&& emit) {
        if (!finite(x, y)) return;
        emit(PathOp(PathOp::MoveTo{x, y}));
        setPoint(x, y);
    }

    template <typename Emit>
    void lineTo(double x, double y, Emit&& emit) {
        if (!finite(x, y)) return;
        if (!current) {
            emit(PathOp(PathOp::MoveTo{x, y}));
            setPoint(x, y);
            return;
        }
        emit(PathOp(PathOp::LineTo{x, y}));
        current = Point{x, y};
    }

    template <typename Emit>
    void quadraticCurveTo(double cpx, double cpy, double x, double y, Emit&& emit) {
        if (!finite(cpx, cpy, x, y)) return;
        ensureStart(cpx, cpy, emit);
        emit(PathOp(PathOp::QuadraticCurveTo{cpx, cpy, x, y}));
        current = Point{x, y};
    }

    template <typename Emit>
    void bezierCurveTo(double cp1x, double cp1y, double cp2x, double cp2y, double x, double y,
                       Emit&& emit) {
        if (!finite(cp1x, cp1y, cp2x, cp2y, x, y)) return;
        ensureStart(cp1x, cp1y, emit);
        emit(PathOp(PathOp::BezierCurveTo{cp1x, cp1y, cp2x, cp2y, x, y}));
        current = Point{x, y};
    }

    template <typename Emit>
    void rect(double x, double y, double width, double height, Emit&& emit) {
        if (!finite(x, y, width, height)) return;
        emit(PathOp(PathOp::Rect{x, y, width, height}));
        setPoint(x, y);
    }

    template <typename Emit>
    void arc(double x, double y, double radius, double startAngle, double endAngle,
             bool anticlockwise, Emit&& emit) {
        if (!finite(x, y, radius, startAngle, endAngle) || radius < 0) return;
        double sweep = arcSweep(startAngle, endAngle, anticlockwise);
        emitArc(x, y, radius, startAngle, endAngle, anticlockwise, startAngle + sweep, emit);
    }

    template <typename Emit>
    void ellipse(double x, double y, double radiusX, double radiusY, double rotation,
                 double startAngle, double endAngle, bool anticlockwise, Emit&& emit) {
        if (!finite(x, y, radiusX, radiusY, rotation) || !finite(startAngle, endAngle) ||
            radiusX < 0 || radiusY < 0)
            return;
        double sweep = arcSweep(startAngle, endAngle, anticlockwise);
        if (!std::isfinite(sweep)) return;
        double cr = std::cos(rotation);
        double sr = std::sin(rotation);
        auto pointAt = [&](double a) {
            return Point{x + radiusX * std::cos(a) * cr - radiusY * std::sin(a) * sr,
                         y + radiusX * std::cos(a) * sr + radiusY * std::sin(a) * cr};
        };
        auto tangentAt = [&](double a) {
            return Point{-radiusX * std::sin(a) * cr - radiusY * std::cos(a) * sr,
                         -radiusX * std::sin(a) * sr + radiusY * std::cos(a) * cr};
        };
        // All segments are computed before anything is emitted: an ellipse whose points
        // overflow to infinity draws nothing at all, like any other non-finite path input,
        // instead of handing non-finite curves to the back ends.
        Point p0 = pointAt(startAngle);
        if (!finite(p0.x, p0.y)) return;
        // |sweep| <= 2pi, so the quotient lies in [0, 4].
        int segments = static_cast<int>(std::ceil(std::fabs(sweep) / HALF_PI));
        PathOp::BezierCurveTo curves[4];
        if (segments > 0) {
            double step = sweep / segments;
            double k = 1.3333333333333333 * std::tan(step / 4);
            for (int i = 0; i < segments; ++i) {
                double a1 = startAngle + i * step;
                double a2 = a1 + step;
                Point p1 = pointAt(a1);
                Point d1 = tangentAt(a1);
                Point p2 = pointAt(a2);
                Point d2 = tangentAt(a2);
                curves[i] = {p1.x + k * d1.x, p1.y + k * d1.y, p2.x - k * d2.x,
                             p2.y - k * d2.y, p2.x, p2.y};
                const auto& c = curves[i];
                if (!finite(c.cp1x, c.cp1y, c.cp2x, c.cp2y, c.x, c.y)) return;
            }
        }
        if (!current) {
            emit(PathOp(PathOp::MoveTo{p0.x, p0.y}));
            setPoint(p0.x, p0.y);
        } else {
            lineTo(p0.x, p0.y, emit);
        }
        for (int i = 0; i < segments; ++i) {
            emit(PathOp(curves[i]));
            current = Point{curves[i].x, curves[i].y};
        }
    }

    template <typename Emit>
    void arcTo(double x1, double y1, double x2, double y2, double radius, Emit&& emit) {
        if (!finite(x1, y1, x2, y2, radius) || radius < 0) return;
        if (!current) {
            emit(PathOp(PathOp::MoveTo{x1, y1}));
            setPoint(x1, y1);
        }
        Point p0 = *current;
        if ((p0.x == x1 && p0.y == y1) || (x1 == x2 && y1 == y2) || radius == 0) {
            lineTo(x1, y1, emit);
            return;
        }
        double cross = (x1 - p0.x) * (y2 - y1) - (y1 - p0.y) * (x2 - x1);
        if (cross == 0) {
            lineTo(x1, y1, emit);
            return;
        }
        double ux = p0.x - x1, uy = p0.y - y1;
        double wx = x2 - x1, wy = y2 - y1;
        double uLength = jsHypot(ux, uy);
        double wLength = jsHypot(wx, wy);
        ux /= uLength;
        uy /= uLength;
        wx /= wLength;
        wy /= wLength;
        double cosTheta = jsMax(-1.0, jsMin(1.0, ux * wx + uy * wy));
        double half = std::acos(cosTheta) / 2;
        double t = radius / std::tan(half);
        Point t0{x1 + t * ux, y1 + t * uy};
        Point t2{x1 + t * wx, y1 + t * wy};
        double bx = ux + wx, by = uy + wy;
        double bLength = jsHypot(bx, by);
        bx /= bLength;
        by /= bLength;
        double centreDistance = radius / std::sin(half);
        Point centre{x1 + centreDistance * bx, y1 + centreDistance * by};
        lineTo(t0.x, t0.y, emit);
        double a0 = std::atan2(t0.y - centre.y, t0.x - centre.x);
        double a2 = std::atan2(t2.y - centre.y, t2.x - centre.x);
        if (finite(centre.x, centre.y, a0, a2)) {
            if (!current)
                subpathStart = Point{centre.x + radius * std::cos(a0), centre.y + radius * std::sin(a0)};
            emit(PathOp(PathOp::Arc{centre.x, centre.y, radius, a0, a2, cross < 0}));
        }
        current = t2;
    }

    template <typename Emit>
    void roundRect(double x, double y, double width, double height, double radius, Emit&& emit) {
        if (!finite(x, y, width, height, radius) || radius < 0) return;
        double r = radius == 0 ? 0.0 : radius * jsMin(1.0, width / (2 * radius), height / (2 * radius));
        bool leftFinite = std::isfinite(x + r);
        if (leftFinite) {
            emit(PathOp(PathOp::MoveTo{x + r, y}));
            setPoint(x + r, y);
        }
        auto corner = [&](double cx, double cy, double start, double end) {
            if (!finite(cx, cy, r) || !(r >= 0)) return;
            emitArc(cx, cy, r, start, end, false, end, emit);
        };
        lineTo(x + width - r, y, emit);
        corner(x + width - r, y + r, -HALF_PI, 0);
        lineTo(x + width, y + height - r, emit);
        corner(x + width - r, y + height - r, 0, HALF_PI);
        lineTo(x + r, y + height, emit);
        if (leftFinite) {
            corner(x + r, y + height - r, HALF_PI, PI);
            lineTo(x, y + r, emit);
            corner(x + r, y + r, PI, THREE_HALF_PI);
        } else {
            lineTo(x, y + r, emit);
        }
        closePath(emit);
        emit(PathOp(PathOp::MoveTo{x, y}));
        setPoint(x, y);
    }

private:
    template <typename... T>
    static bool finite(T... values) {
        return (std::isfinite(values) && ...);
    }

    void setPoint(double x, double y) {
        current = Point{x, y};
        subpathStart = current;
    }

    // The implicit move of a curve drawn without a current point.
    template <typename Emit>
    void ensureStart(double x, double y, Emit& emit) {
        if (current) return;
        emit(PathOp(PathOp::MoveTo{x, y}));
        setPoint(x, y);
    }

    // Emits an arc op as given; the current point moves to the arc's end at `currentAngle`.
    template <typename Emit>
    void emitArc(double x, double y, double radius, double startAngle, double endAngle,
                 bool anticlockwise, double currentAngle, Emit& emit) {
        emit(PathOp(PathOp::Arc{x, y, radius, startAngle, endAngle, anticlockwise}));
        if (!current)
            subpathStart = Point{x + radius * std::cos(startAngle), y + radius * std::sin(startAngle)};
        current = Point{x + radius * std::cos(currentAngle), y + radius * std::sin(currentAngle)};
    }
};

} // namespace dv

template <>
struct std::hash<dv::PathOp> {
    std::size_t operator()(const dv::PathOp& op) const noexcept { return dv::hashValue(op); }
};
