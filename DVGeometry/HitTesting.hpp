#pragma once
// Which element lies under the pointer. Tolerances are screen pixels divided by the zoom, so an
// element is as easy to hit at any zoom; visibility and locking play no part.

#include "DVGeometry/ElementIndex.hpp"
#include "DVGeometry/QuadraticCurve.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/SmallRecords.hpp"

#include <optional>
#include <variant>
#include <vector>

namespace dv {

/// What the test of one element needs besides the element itself: the resolved path of a
/// connector, since its ends follow the elements it is bound to.
struct HitGeometry {
    /// The route of an elbow connector.
    struct Route {
        std::vector<Point> points;
        bool operator==(const Route&) const = default;
    };
    /// The resolved ends of a straight line or arrow.
    struct Endpoints {
        ConnectorEndpoints ends;
        bool operator==(const Endpoints&) const = default;
    };
    /// Every other element.
    struct Plain {
        bool operator==(const Plain&) const = default;
    };

    std::variant<Plain, Route, Endpoints> kind;

    static HitGeometry route(std::vector<Point> points) { return {Route{std::move(points)}}; }
    static HitGeometry endpoints(const ConnectorEndpoints& ends) { return {Endpoints{ends}}; }
    static HitGeometry plain() { return {Plain{}}; }

    bool operator==(const HitGeometry&) const = default;
};

/// The geometry of `element` on the board that `index` describes.
HitGeometry hitGeometry(const Element& element, const ElementIndex& index);

/// Whether (x, y) lies within the element's tolerance. A line or arrow given plain geometry, a
/// polygon or stroke of fewer than two points and anything NaN are never hit.
bool hitTestElement(const Element& element, const HitGeometry& geometry, double x, double y, double zoom,
                    double extraPadPx);

/// The top-most (latest in the list) element hit at (x, y), as a copy. Resolves every connector on
/// each call; editors asking per pointer move use HitTestCache, which answers the same.
std::optional<Element> hitTest(const std::vector<Element>& elements, double x, double y, double zoom,
                               double extraPadPx);

} // namespace dv
