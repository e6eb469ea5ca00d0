#include "DVGeometry/ShapeGeometry.hpp"

#include "DVGeometry/detail/Cubic.hpp"
#include "DVGeometry/detail/Segment.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVModel/StencilRegistry.hpp"
#include "DVText/TextMetrics.hpp"

#include <cmath>
#include <limits>

namespace dv {

std::optional<LabeledShape> LabeledShape::fromElement(const Element& element) {
    switch (element.type()) {
    case ElementType::rectangle:
        return LabeledShape{Rectangle{}, element.payload.box()->labelFontSize};
    case ElementType::ellipse:
        return LabeledShape{Ellipse{}, element.payload.box()->labelFontSize};
    case ElementType::rhombus:
        return LabeledShape{Rhombus{}, element.payload.box()->labelFontSize};
    case ElementType::shape:
        return LabeledShape{element.payload.shape()->kind, element.payload.shape()->labelFontSize};
    default:
        return std::nullopt;
    }
}

std::vector<std::vector<Point>> flattenShapeCommands(const std::vector<ShapeCommand>& commands) {
    std::vector<std::vector<Point>> result;
    std::vector<Point> current;
    for (const ShapeCommand& command : commands) {
        if (const auto* move = std::get_if<ShapeCommand::Move>(&command.command)) {
            if (current.size() > 1) result.push_back(std::move(current));
            current = {{move->x, move->y}};
        } else if (const auto* line = std::get_if<ShapeCommand::Line>(&command.command)) {
            current.push_back({line->x, line->y});
        } else if (const auto* cubic = std::get_if<ShapeCommand::Cubic>(&command.command)) {
            const Point end{cubic->x, cubic->y};
            const Point start = current.empty() ? end : current.back();
            for (int k = 1; k <= 16; ++k)
                current.push_back(detail::cubicPoint(start, {cubic->x1, cubic->y1}, {cubic->x2, cubic->y2}, end,
                                                     k * 0.0625));
        } else if (!current.empty()) {
            current.push_back(current.front());
        }
    }
    if (current.size() >= 2) result.push_back(std::move(current));
    return result;
}

std::vector<Point> getShapeOutlinePolygon(ShapeKind kind, double width, double height) {
    std::vector<std::vector<Point>> subpaths = flattenShapeCommands(definition(kind).outline(width, height));
    if (subpaths.empty()) return {};
    return std::move(subpaths.front());
}

Point getShapeNearestBorderPoint(ShapeKind kind, double width, double height, double x, double y) {
    const std::vector<Point> polygon = getShapeOutlinePolygon(kind, width, height);
    Point best{width * 0.5, 0};
    if (polygon.size() < 2) return best;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t i = 1; i < polygon.size(); ++i) {
        const Point& a = polygon[i - 1];
        const Point& b = polygon[i];
        const double dx = b.x - a.x;
        const double dy = b.y - a.y;
        const double len2 = dy * dy + dx * dx;
        Point candidate = a;
        if (!(len2 < 1e-12)) {
            const double s = detail::segmentParameter(x, y, a.x, a.y, dx, dy, len2);
            candidate = {a.x + s * dx, a.y + s * dy};
        }
        const double d = jsHypot(candidate.x - x, candidate.y - y);
        if (d < bestDistance) {
            bestDistance = d;
            best = candidate;
        }
    }
    return best;
}

double getShapeDistToBoundary(ShapeKind kind, double width, double height, double x, double y) {
    const Point best = getShapeNearestBorderPoint(kind, width, height, x, y);
    return jsHypot(best.x - x, best.y - y);
}

Point getShapeBorderPointToward(ShapeKind kind, double width, double height, double dx, double dy) {
    const Point fallback{width * 0.5, 0};
    if (std::fabs(dx) < 0.001 && std::fabs(dy) < 0.001) return fallback;
    const std::vector<Point> polygon = getShapeOutlinePolygon(kind, width, height);
    const double cx = width * 0.5;
    const double cy = height * 0.5;
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t i = 1; i < polygon.size(); ++i) {
        const Point& a = polygon[i - 1];
        const Point& b = polygon[i];
        const double ex = b.x - a.x, ey = b.y - a.y;
        const double gx = a.x - cx, gy = a.y - cy;
        const double m = dx * ey - dy * ex;
        if (std::fabs(m) < 1e-12) continue;
        const double t = (ey * gx - ex * gy) / m;
        const double u = (dy * gx - dx * gy) / m;
        if (t > 1e-9 && u >= -1e-9 && u <= 1.000000001 && t < best) best = t;
    }
    if (!std::isfinite(best)) return fallback;
    return {dx * best + width * 0.5, height * 0.5 + dy * best};
}

ShapeBox getShapeTextBox(ShapeKind kind, double width, double height) {
    return definition(kind).textBox(width, height);
}

double getLabelWrapWidth(const LabeledShape& shape, double width, double height) {
    double base = width;
    if (const ShapeKind* kind = std::get_if<ShapeKind>(&shape.kind))
        base = getShapeTextBox(*kind, width, height).w;
    else if (!std::holds_alternative<LabeledShape::Rectangle>(shape.kind))
        base = width * ROUND_LABEL_AREA;
    return jsMax(base - LABEL_INSET, shape.labelFontSize.value_or(LabelDefaults::defaultShapeLabelFontSize));
}

std::string shapeCommandsToPathData(const std::vector<ShapeCommand>& commands, double xOffset, double yOffset) {
    std::string out;
    appendShapeCommandsPathData(out, commands, xOffset, yOffset);
    return out;
}

void appendShapeCommandsPathData(std::string& out, const std::vector<ShapeCommand>& commands, double xOffset,
                                 double yOffset) {
    auto number = [&](double v) {
        out += ' ';
        appendJsHundredthsString(out, v);
    };
    bool first = true;
    for (const ShapeCommand& command : commands) {
        if (!first) out += ' ';
        first = false;
        if (const auto* move = std::get_if<ShapeCommand::Move>(&command.command)) {
            out += 'M';
            number(move->x + xOffset);
            number(move->y + yOffset);
        } else if (const auto* line = std::get_if<ShapeCommand::Line>(&command.command)) {
            out += 'L';
            number(line->x + xOffset);
            number(line->y + yOffset);
        } else if (const auto* cubic = std::get_if<ShapeCommand::Cubic>(&command.command)) {
            out += 'C';
            number(cubic->x1 + xOffset);
            number(cubic->y1 + yOffset);
            number(cubic->x2 + xOffset);
            number(cubic->y2 + yOffset);
            number(cubic->x + xOffset);
            number(cubic->y + yOffset);
        } else {
            out += 'Z';
        }
    }
}

namespace {

double stencilLabelFontSize(const Element::Stencil& stencil) {
    return stencil.labelFontSize.value_or(LabelDefaults::defaultStencilLabelFontSize);
}

std::string_view stencilLabelFontFamily(const Element::Stencil& stencil) {
    return stencil.labelFontFamily ? std::string_view(*stencil.labelFontFamily) : LabelDefaults::defaultLabelFontFamily;
}

double labelHeight(std::size_t lineCount, double fontSize) {
    if (lineCount == 0) return 0;
    return (static_cast<double>(lineCount) * fontSize) * LINE_HEIGHT_RATIO + StencilRegistry::stencilLabelGap;
}

} // namespace

std::vector<std::string> getStencilLabelLines(const Element::Stencil& stencil) {
    if (!stencil.label || stencil.label->empty()) return {};
    return wrapTextLines(*stencil.label, StencilRegistry::getStencilLabelWidth(std::fabs(stencil.width)),
                         stencilLabelFontSize(stencil), stencilLabelFontFamily(stencil), false, false);
}

double getStencilLabelHeight(const Element::Stencil& stencil) {
    return labelHeight(getStencilLabelLines(stencil).size(), stencilLabelFontSize(stencil));
}

double getStencilLabelHeight(const Element& element) {
    const Element::Stencil* stencil = element.payload.stencil();
    return stencil ? getStencilLabelHeight(*stencil) : 0;
}

std::optional<NormalizedRect> getStencilLabelBox(const Element::Stencil& stencil, double x, double y) {
    const std::vector<std::string> lines = getStencilLabelLines(stencil);
    if (lines.empty()) return std::nullopt;
    const double fontSize = stencilLabelFontSize(stencil);
    const double textWidth = measureTextBlock(lines, fontSize, stencilLabelFontFamily(stencil), false).width;
    const double width = std::fabs(stencil.width);
    const double boxWidth = jsMax(textWidth, width);
    return NormalizedRect{(width * 0.5 + jsMin(x, x + stencil.width)) - boxWidth * 0.5,
                          std::fabs(stencil.height) + jsMin(y, y + stencil.height), boxWidth,
                          labelHeight(lines.size(), fontSize)};
}

std::optional<NormalizedRect> getStencilLabelBox(const Element& element) {
    const Element::Stencil* stencil = element.payload.stencil();
    if (!stencil) return std::nullopt;
    return getStencilLabelBox(*stencil, element.x, element.y);
}

} // namespace dv
