#pragma once
// Small builders for the elements the geometry tests need.

#include "DVModel/Element.hpp"

#include <string>
#include <utility>
#include <vector>

namespace dv::test {

inline Element element(std::string id, double x, double y, Element::Payload payload) {
    Element e;
    e.id = std::move(id);
    e.x = x;
    e.y = y;
    e.strokeWidth = 2;
    e.opacity = 1;
    e.payload = std::move(payload);
    return e;
}

inline Element rectangle(std::string id, double x, double y, double w, double h) {
    Element::Box box;
    box.width = w;
    box.height = h;
    return element(std::move(id), x, y, Element::Payload::rectangle(box));
}

inline Element line(std::string id, double x, double y, double x2, double y2) {
    Element::Line l;
    l.x2 = x2;
    l.y2 = y2;
    return element(std::move(id), x, y, Element::Payload(l));
}

inline Element arrow(std::string id, double x, double y, double x2, double y2) {
    Element::Arrow a;
    a.x2 = x2;
    a.y2 = y2;
    return element(std::move(id), x, y, Element::Payload(a));
}

inline Element stencil(std::string id, double x, double y, double w, double h, std::optional<std::string> label) {
    Element::Stencil s;
    s.width = w;
    s.height = h;
    s.source = StencilSource::builtin("generic/server");
    s.label = std::move(label);
    return element(std::move(id), x, y, Element::Payload(s));
}

inline Element polygon(std::string id, std::vector<Point> points) {
    Element::Polygon p;
    p.points = std::move(points);
    p.closed = true;
    return element(std::move(id), 0, 0, Element::Payload(p));
}

} // namespace dv::test
