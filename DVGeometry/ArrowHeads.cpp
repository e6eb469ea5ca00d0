#include "DVGeometry/ArrowHeads.hpp"

#include "DVModel/JSNumber.hpp"

#include <cmath>

namespace dv {

double getArrowHeadLength(double strokeWidth) { return jsMax(12.0, 4 * strokeWidth); }

ArrowHeadShape getArrowHeadShape(ArrowHeadStyle style, double fromX, double fromY, double tipX, double tipY,
                                 double strokeWidth) {
    const double L = getArrowHeadLength(strokeWidth);
    const double theta = std::atan2(tipY - fromY, tipX - fromX);
    const double s = std::sin(theta);
    const double c = std::cos(theta);
    // cos and sin of pi/6 as double precision rounds them.
    constexpr double C = 0.8660254037844387;
    constexpr double S = 0.49999999999999994;
    const Point tip{tipX, tipY};
    const Point wing1{(tipX - c * (C * L)) - s * (S * L), (tipY - s * (C * L)) + c * (S * L)};
    const Point wing2{(tipX - c * (C * L)) + s * (S * L), (tipY - s * (C * L)) - c * (S * L)};

    auto diamond = [&](bool filled) {
        const double mx = tipX - (0.6 * L) * c;
        const double my = tipY - (0.6 * L) * s;
        const double w = 0.35 * L;
        return ArrowHeadShape{ArrowHeadShape::Polygon{
            {tip, {mx - w * s, my + w * c}, {tipX - (1.2 * L) * c, tipY - (1.2 * L) * s}, {mx + w * s, my - w * c}},
            filled}};
    };

    switch (style) {
    case ArrowHeadStyle::open:
        return {ArrowHeadShape::Polyline{{wing1, tip, wing2}}};
    case ArrowHeadStyle::triangle:
        return {ArrowHeadShape::Polygon{{tip, wing1, wing2}, false}};
    case ArrowHeadStyle::triangleFilled:
        return {ArrowHeadShape::Polygon{{tip, wing1, wing2}, true}};
    case ArrowHeadStyle::diamond:
        return diamond(false);
    case ArrowHeadStyle::diamondFilled:
        return diamond(true);
    case ArrowHeadStyle::circle:
        break;
    }
    const double r = L * 0.35;
    return {ArrowHeadShape::Circle{tipX - c * r, tipY - s * r, r}};
}

bool hasStartHead(const Element& element) {
    const Element::Line* line = element.payload.line();
    return line && line->arrowHead && (*line->arrowHead == ArrowHead::start || *line->arrowHead == ArrowHead::both);
}

bool hasEndHead(const Element& element) {
    if (element.payload.arrow()) return true;
    const Element::Line* line = element.payload.line();
    return line && line->arrowHead && (*line->arrowHead == ArrowHead::end || *line->arrowHead == ArrowHead::both);
}

ArrowHeadVector getRouteHeadVector(const std::vector<Point>& route, HeadPlacement placement) {
    if (route.empty()) return {0, 0, 0, 0};
    if (route.size() == 1) return {0, 0, route[0].x, route[0].y};
    const bool atEnd = placement == HeadPlacement::end;
    const Point& from = atEnd ? route[route.size() - 2] : route[1];
    const Point& tip = atEnd ? route.back() : route.front();
    return {from.x, from.y, tip.x, tip.y};
}

std::vector<ConnectorHead> getConnectorHeads(const Element& element,
                                             const std::function<ArrowHeadVector(HeadPlacement)>& vectorFor) {
    std::vector<ConnectorHead> heads;
    if (const Element::Arrow* arrow = element.payload.arrow()) {
        heads.push_back({arrow->endHeadStyle.value_or(ArrowHeadStyle::open), vectorFor(HeadPlacement::end)});
    } else if (const Element::Line* line = element.payload.line()) {
        if (hasEndHead(element))
            heads.push_back({line->endHeadStyle.value_or(ArrowHeadStyle::open), vectorFor(HeadPlacement::end)});
        if (hasStartHead(element))
            heads.push_back({line->startHeadStyle.value_or(ArrowHeadStyle::open), vectorFor(HeadPlacement::start)});
    }
    return heads;
}

namespace {

// A payload coordinate, else the kept extra key read as JavaScript would coerce it for
// arithmetic: numbers as they are, true 1, false and null 0; anything else cannot be read.
std::optional<double> controlCoordinate(const std::optional<double>& field, const JSONObject& extra,
                                        std::string_view key) {
    if (field) return *field;
    const JSONValue* value = extra.find(key);
    if (!value) return std::nullopt;
    if (std::optional<double> number = value->doubleValue()) return number;
    if (std::optional<bool> flag = value->boolValue()) return *flag ? 1.0 : 0.0;
    if (value->isNull()) return 0.0;
    return std::nullopt;
}

} // namespace

std::optional<std::pair<double, double>> lineControlPoint(const Element& element) {
    const Element::Line* line = element.payload.line();
    if (!line) return std::nullopt;
    std::optional<double> cx = controlCoordinate(line->cx, element.extra, "cx");
    std::optional<double> cy = controlCoordinate(line->cy, element.extra, "cy");
    if (!cx || !cy) return std::nullopt;
    return std::pair{*cx, *cy};
}

} // namespace dv
