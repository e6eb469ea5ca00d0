#pragma once
// Where an element is and where its border lies, and, for a line or arrow bound to other
// elements, where its two ends are and which path it takes. Bound elements are found through an
// ElementIndex; nothing is cached here.

#include "DVModel/Hashing.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVGeometry/QuadraticCurve.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/SmallRecords.hpp"

#include <vector>

namespace dv {

/// A point on an element's border, in world coordinates and as fractions of the element's bounds.
struct ElementPort {
    double worldX = 0;
    double worldY = 0;
    ConnectorAnchor anchor;
    bool operator==(const ElementPort&) const = default;
};

/// The unrotated, axis-aligned box of any element. Connectors resolve their bound ends through
/// `index` when one is given; without one, an elbow connector is routed as if alone on the board.
NormalizedRect getElementBounds(const Element& element, const ElementIndex* index = nullptr);
NormalizedRect getElementBounds(const Element& element, const std::vector<Element>& elements);

Point getElementCenter(const Element& element);

/// The bounds grown by the label a stencil carries below its picture.
NormalizedRect getConnectorBox(const Element& element);

/// Where the ray from the element's centre toward (towardX, towardY) leaves the element.
Point getElementBorderPoint(const Element& element, double towardX, double towardY);

/// The border point nearest to (x, y); a point on a stencil's bottom edge sits below its label.
Point getNearestElementBorderPoint(const Element& element, double x, double y);

/// Distance of (x, y) from the border of the element whose bounds are given.
double distToShapeBoundary(const Element& element, const NormalizedRect& bounds, double x, double y);

/// The four side ports (top, right, bottom, left) of elements that have sides, else none.
std::vector<ElementPort> getElementPorts(const Element& element);

/// (x, y) as fractions of the element's bounds, clamped to 0...1.
ConnectorAnchor worldToAnchor(const Element& element, double x, double y);

/// The anchor's point on the element, moved onto the border.
Point anchorToWorld(const Element& element, const ConnectorAnchor& anchor);

ConnectorEndpoints resolveArrowEndpoints(const ConnectorEnds& ends, const ElementIndex& index);
ConnectorEndpoints resolveArrowEndpoints(const ConnectorEnds& ends, const std::vector<Element>& elements);

/// Two points for a straight connector; an orthogonal route for an elbow one.
std::vector<Point> resolveConnectorRoute(const ConnectorEnds& ends, const ElementIndex& index);
std::vector<Point> resolveConnectorRoute(const ConnectorEnds& ends, const std::vector<Element>& elements);

} // namespace dv

DV_HASH_MEMBERS(dv::ElementPort, &dv::ElementPort::worldX, &dv::ElementPort::worldY, &dv::ElementPort::anchor);
