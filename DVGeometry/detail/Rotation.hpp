#pragma once
// Turning points about an element's centre: shared by connector geometry and by the editor's
// handles, which must agree on when an element counts as rotated.

#include "DVModel/Element.hpp"
#include "DVModel/SmallRecords.hpp"

#include <cmath>

namespace dv::detail {

// A NaN rotation counts as unrotated; an infinite one as rotated (its results are NaN).
inline bool isRotated(const Element& element) {
    return element.rotation && *element.rotation != 0 && !std::isnan(*element.rotation);
}

// Offset (dx, dy) turned by theta.
inline Point rotateOffset(double dx, double dy, double theta) {
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    return {dx * c - dy * s, dx * s + dy * c};
}

// Offset (dx, dy) turned back by theta.
inline Point unrotateOffset(double dx, double dy, double theta) {
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    return {dx * c + dy * s, -dx * s + dy * c};
}

inline Point rotateAbout(Point p, Point centre, double theta) {
    const Point r = rotateOffset(p.x - centre.x, p.y - centre.y, theta);
    return {centre.x + r.x, centre.y + r.y};
}

inline Point unrotateAbout(Point p, Point centre, double theta) {
    const Point r = unrotateOffset(p.x - centre.x, p.y - centre.y, theta);
    return {centre.x + r.x, centre.y + r.y};
}

} // namespace dv::detail
