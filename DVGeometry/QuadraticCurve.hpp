#pragma once
// Quadratic connector curves: head directions, points, exact bounds and point distance.

#include "DVModel/Hashing.hpp"
#include "DVModel/SmallRecords.hpp"
#include "DVModel/Vocabulary.hpp"

#include <array>
#include <optional>
#include <string_view>

namespace dv {

/// Start (x, y) and end (x2, y2) of a connector.
struct ConnectorEndpoints {
    double x = 0;
    double y = 0;
    double x2 = 0;
    double y2 = 0;
    bool operator==(const ConnectorEndpoints&) const = default;
};

/// The connector is curved only when both coordinates are present.
struct QuadraticControlPoint {
    std::optional<double> cx;
    std::optional<double> cy;
    bool operator==(const QuadraticControlPoint&) const = default;
};

/// A head sits at (tipX, tipY) and points away from (fromX, fromY).
struct ArrowHeadVector {
    double fromX = 0;
    double fromY = 0;
    double tipX = 0;
    double tipY = 0;
    bool operator==(const ArrowHeadVector&) const = default;
};

enum class HeadPlacement { start, end };

/// Words "start" and "end": `fromWord<HeadPlacement>` takes exactly these, `allCases` lists
/// start before end.
template <> struct Words<HeadPlacement> {
    static constexpr std::array<std::string_view, 2> list{"start", "end"};
};

struct QuadraticBounds {
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;
    bool operator==(const QuadraticBounds&) const = default;
};

ArrowHeadVector getArrowHeadVector(const ConnectorEndpoints& ends, const QuadraticControlPoint& control,
                                   HeadPlacement placement);

Point getQuadraticPoint(double x0, double y0, double cx, double cy, double x2, double y2, double t);

/// The exact box of the curve (not of its control polygon).
QuadraticBounds getQuadraticBounds(double x0, double y0, double cx, double cy, double x2, double y2);

/// Least distance from (px, py) to the curve flattened into `steps` chords; +infinity when
/// steps <= 0.
double distToQuadraticCurve(double px, double py, double x0, double y0, double cx, double cy, double x2, double y2,
                            long long steps);

} // namespace dv

DV_HASH_MEMBERS(dv::ConnectorEndpoints, &dv::ConnectorEndpoints::x, &dv::ConnectorEndpoints::y,
                &dv::ConnectorEndpoints::x2, &dv::ConnectorEndpoints::y2);
DV_HASH_MEMBERS(dv::QuadraticControlPoint, &dv::QuadraticControlPoint::cx, &dv::QuadraticControlPoint::cy);
DV_HASH_MEMBERS(dv::ArrowHeadVector, &dv::ArrowHeadVector::fromX, &dv::ArrowHeadVector::fromY,
                &dv::ArrowHeadVector::tipX, &dv::ArrowHeadVector::tipY);
DV_HASH_MEMBERS(dv::QuadraticBounds, &dv::QuadraticBounds::minX, &dv::QuadraticBounds::minY,
                &dv::QuadraticBounds::maxX, &dv::QuadraticBounds::maxY);
