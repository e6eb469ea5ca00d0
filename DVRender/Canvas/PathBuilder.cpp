#include "DVRender/Canvas/PathBuilder.hpp"

#include "DVModel/Hashing.hpp"

namespace dv {

double PathBuilder::arcSweep(double start, double end, bool anticlockwise) {
    auto turn = [](double angle) { return std::fmod(std::fmod(angle, TWO_PI) + TWO_PI, TWO_PI); };
    double delta = end - start;
    if (std::isfinite(delta)) {
        if (!anticlockwise) return delta >= TWO_PI ? TWO_PI : turn(delta);
        double reverse = start - end;
        return reverse >= TWO_PI ? -TWO_PI : -turn(reverse);
    }
    // The difference overflowed (or an angle is not finite): reduce both angles first.
    double e = std::fmod(end, TWO_PI);
    double s = std::fmod(start, TWO_PI);
    return anticlockwise ? -turn(s - e) : turn(e - s);
}

std::size_t hashValue(const PathOp& op) {
    Hasher seed;
    hashMix(seed, op.value.index());
    std::visit(
        [&](const auto& payload) {
            using T = std::decay_t<decltype(payload)>;
            auto mix = [&](auto... values) { (hashMix(seed, values), ...); };
            if constexpr (std::is_same_v<T, PathOp::MoveTo> || std::is_same_v<T, PathOp::LineTo>) {
                mix(payload.x, payload.y);
            } else if constexpr (std::is_same_v<T, PathOp::QuadraticCurveTo>) {
                mix(payload.cpx, payload.cpy, payload.x, payload.y);
            } else if constexpr (std::is_same_v<T, PathOp::BezierCurveTo>) {
                mix(payload.cp1x, payload.cp1y, payload.cp2x, payload.cp2y, payload.x, payload.y);
            } else if constexpr (std::is_same_v<T, PathOp::Arc>) {
                mix(payload.x, payload.y, payload.radius, payload.startAngle, payload.endAngle,
                    payload.anticlockwise);
            } else if constexpr (std::is_same_v<T, PathOp::Rect>) {
                mix(payload.x, payload.y, payload.width, payload.height);
            }
        },
        op.value);
    return hashResult(seed);
}

} // namespace dv
