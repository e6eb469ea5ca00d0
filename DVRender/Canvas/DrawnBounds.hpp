#pragma once
// The area a display list can paint, found without drawing: a conservative rectangle in the
// coordinates the list's transforms map into, plus a margin in device pixels for shadows.

#include <cstddef>
#include <functional>
#include <optional>

#include "DVGeometry/ElementIndex.hpp"

namespace dv {

// The union of two rectangles; a NaN anywhere gives NaN (JavaScript minimum and maximum).
NormalizedRect unionRect(const NormalizedRect& a, const NormalizedRect& b);

struct DrawnBounds {
    std::optional<NormalizedRect> rect;   // absent when nothing is drawn
    double devicePad = 1;                 // device pixels, not scaled with the view

    // Grows the rectangle to take in `other` (named so because `union` is reserved).
    void unionWith(const NormalizedRect& other);
    // Both rectangles united, the larger pad.
    DrawnBounds merged(const DrawnBounds& other) const;
    // The rectangle widened on each side by the pad seen at a device scale; a scale that is
    // not a finite positive number widens nothing.
    std::optional<NormalizedRect> rectForDeviceScale(double scale) const;

    bool operator==(const DrawnBounds&) const = default;
};

std::size_t hashValue(const DrawnBounds& bounds);

} // namespace dv

template <>
struct std::hash<dv::DrawnBounds> {
    std::size_t operator()(const dv::DrawnBounds& value) const { return dv::hashValue(value); }
};
