#include "DVRender/Scene/ElementPainting.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVRender/Canvas/DrawingContext.hpp"
#include "DVRender/Scene/detail/Painting.hpp"

#include <cmath>

namespace dv {

namespace detail {

std::string paintColor(std::string_view color) {
    if (color == "none") return "rgba(0,0,0,0)";
    return std::string(color);
}

void addShapeCommands(DrawingContext& context, const std::vector<ShapeCommand>& commands, double dx,
                      double dy) {
    for (const ShapeCommand& command : commands) {
        std::visit(
            [&](const auto& c) {
                using C = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<C, ShapeCommand::Move>) {
                    context.moveTo(c.x + dx, c.y + dy);
                } else if constexpr (std::is_same_v<C, ShapeCommand::Line>) {
                    context.lineTo(c.x + dx, c.y + dy);
                } else if constexpr (std::is_same_v<C, ShapeCommand::Cubic>) {
                    context.bezierCurveTo(c.x1 + dx, c.y1 + dy, c.x2 + dx, c.y2 + dy, c.x + dx, c.y + dy);
                } else {
                    context.closePath();
                }
            },
            command.command);
    }
}

namespace {

// The two wobbly quadratic halves of a straight piece from p to q: controls at the quarter
// points pushed by the jitter of k1 and k2, ending at the midpoint and then at q.
void addWobblyLine(DrawingContext& context, Point p, Point q, double amplitude, double phase,
                   double phaseY, double k1, double k2) {
    const Point m{(p.x + q.x) / 2, (p.y + q.y) / 2};
    const Point c1{(p.x + m.x) / 2, (p.y + m.y) / 2};
    const Point c2{(m.x + q.x) / 2, (m.y + q.y) / 2};
    context.quadraticCurveTo(c1.x + amplitude * std::sin(phase + k1), c1.y + amplitude * std::sin(phaseY + k1),
                             m.x, m.y);
    context.quadraticCurveTo(c2.x + amplitude * std::sin(phase + k2), c2.y + amplitude * std::sin(phaseY + k2),
                             q.x, q.y);
}

}  // namespace

void strokeRoughQuad(DrawingContext& context, const std::array<Point, 4>& corners, double seed,
                     double amplitude) {
    // Jitter constants per edge; each is 1.7 times a whole number.
    static constexpr double k[4][2] = {{1.7, 5.1}, {13.6, 17.0}, {25.5, 28.9}, {37.4, 40.8}};
    const double phase = jitterPhase(seed);
    const double phaseY = jitterPhaseY(seed);
    context.beginPath();
    context.moveTo(corners[0].x, corners[0].y);
    for (std::size_t e = 0; e < 4; ++e) {
        addWobblyLine(context, corners[e], corners[(e + 1) % 4], amplitude, phase, phaseY, k[e][0], k[e][1]);
    }
    context.closePath();
    context.stroke();
}

void addRoughShapeCommands(DrawingContext& context, const std::vector<ShapeCommand>& commands, double dx,
                           double dy, double seed, double amplitude) {
    const double phase = jitterPhase(seed);
    const double phaseY = jitterPhaseY(seed);
    Point current{dx, dy};
    Point start{dx, dy};
    for (std::size_t index = 0; index < commands.size(); ++index) {
        const double i = static_cast<double>(index);
        auto wobbleTo = [&](Point q) {
            addWobblyLine(context, current, q, amplitude, phase, phaseY, (1 + 7 * i) * 1.7, (7 * i + 3) * 1.7);
        };
        const ShapeCommand::Storage& command = commands[index].command;
        if (const auto* move = std::get_if<ShapeCommand::Move>(&command)) {
            current = {move->x + dx, move->y + dy};
            start = current;
            context.moveTo(current.x, current.y);
        } else if (const auto* line = std::get_if<ShapeCommand::Line>(&command)) {
            const Point q{line->x + dx, line->y + dy};
            wobbleTo(q);
            current = q;
        } else if (const auto* cubic = std::get_if<ShapeCommand::Cubic>(&command)) {
            const double kA = (2 + 5 * i) * 1.7;
            const double kB = (5 * i + 4) * 1.7;
            context.bezierCurveTo(cubic->x1 + dx + amplitude * std::sin(phase + kA),
                                  cubic->y1 + dy + amplitude * std::sin(phaseY + kA),
                                  cubic->x2 + dx + amplitude * std::sin(phase + kB),
                                  cubic->y2 + dy + amplitude * std::sin(phaseY + kB), cubic->x + dx, cubic->y + dy);
            current = {cubic->x + dx, cubic->y + dy};
        } else {
            if (jsHypot(start.x - current.x, start.y - current.y) > 0.5) wobbleTo(start);
            current = start;
        }
    }
}

bool addRoughSegment(DrawingContext& context, Point from, Point to, double seed, double roughness,
                     double extraPhase) {
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double len = jsHypot(dx, dy);
    if (len < 1) return false;
    // One piece per 80 units, but never more than 1024: a connector near the coordinate limits
    // would otherwise cost hundreds of thousands of pieces. Kept a double, so a NaN length makes
    // no piece rather than an undefined conversion.
    const double n = jsMin(jsMax(2.0, jsRound(len / 80)), 1024.0);
    const double amplitude = roughness * jsMin(len * 0.04, 14.0);
    const double nx = -dy / len;
    const double ny = dx / len;
    context.beginPath();
    context.moveTo(from.x, from.y);
    const double phase = (seed + extraPhase) * 0.001;
    for (double j = 0; j < n; ++j) {
        const double tm = (j + 0.5) / n;
        const double te = (j + 1) / n;
        const double off = std::sin(phase + 1.7 * j) * amplitude;
        context.quadraticCurveTo(from.x + dx * tm + nx * off, from.y + dy * tm + ny * off, from.x + dx * te,
                                 from.y + dy * te);
    }
    return true;
}

}  // namespace detail

namespace {

std::string_view capWord(const std::optional<LineCap>& cap) {
    return cap ? toWord(*cap) : std::string_view("round");
}

std::string_view joinWord(const std::optional<LineJoin>& join) {
    return join ? toWord(*join) : std::string_view("round");
}

void applyCommonStyle(DrawingContext& context, const Element& element, const RenderTheme& theme,
                      const std::string& strokeColor) {
    context.setGlobalAlpha(element.opacity);
    context.setStrokeStyle(strokeColor);
    context.setLineWidth(element.strokeWidth);
    const std::string& fill = element.fillColor.rawValue;
    context.setFillStyle(fill == "transparent" ? std::string("rgba(0,0,0,0)") : detail::paintColor(fill));
    context.setLineCap(std::string(capWord(element.lineCap)));
    context.setLineJoin(std::string(joinWord(element.lineJoin)));

    const double w = element.strokeWidth;
    switch (element.strokeStyle.value_or(StrokeStyle::solid)) {
    case StrokeStyle::solid:
        context.setLineDash({});
        break;
    case StrokeStyle::dashed:
        context.setLineDash({4 * w + 4, 2 * w + 2});
        break;
    case StrokeStyle::dotted:
        context.setLineDash({w, 3 * w});
        context.setLineCap("round");  // dots are always round
        break;
    }

    if (element.shadowBlur && *element.shadowBlur > 0) {
        context.setShadowBlur(*element.shadowBlur);
        const std::string color = element.shadowColor ? element.shadowColor->rawValue : "rgba(0,0,0,0.35)";
        context.setShadowColor(shadowColorForTheme(color, theme.isLight));
        context.setShadowOffsetX(element.shadowOffsetX.value_or(4));
        context.setShadowOffsetY(element.shadowOffsetY.value_or(4));
    }

    // A NaN rotation compares unequal to 0 but is skipped, as is 0 itself.
    if (element.rotation && *element.rotation != 0 && !std::isnan(*element.rotation)) {
        const NormalizedRect bounds = getElementBounds(element, static_cast<const ElementIndex*>(nullptr));
        const double cx = bounds.x + bounds.w / 2;
        const double cy = bounds.y + bounds.h / 2;
        context.translate(cx, cy);
        context.rotate(*element.rotation);
        context.translate(-cx, -cy);
    }
}

}  // namespace

void drawElement(DrawingContext& context, const Element& element, const ElementIndex* index,
                 const std::optional<std::string>& editingShapeLabelId,
                 const RenderEnvironment& environment) {
    const RenderTheme& theme = environment.theme;
    const std::string strokeColor = detail::paintColor(
        resolveStrokeColorForTheme(element.strokeColor.rawValue, theme, element.fillColor.rawValue));

    context.save();
    applyCommonStyle(context, element, theme, strokeColor);

    detail::PaintJob job{element,
                         index,
                         environment,
                         strokeColor,
                         static_cast<double>(hashId(element.id)),
                         editingShapeLabelId && jsStringEquals(*editingShapeLabelId, element.id),
                         element.roughness < 0.05};

    const Element::Payload& payload = element.payload;
    switch (payload.type()) {
    case ElementType::rectangle: detail::paintRectangle(context, job, *payload.box()); break;
    case ElementType::ellipse: detail::paintEllipse(context, job, *payload.box()); break;
    case ElementType::rhombus: detail::paintRhombus(context, job, *payload.box()); break;
    case ElementType::shape: detail::paintShape(context, job, *payload.shape()); break;
    case ElementType::stencil:
        // A stencil's ink ignores its fill.
        job.strokeColor = detail::paintColor(
            resolveStrokeColorForTheme(element.strokeColor.rawValue, theme, std::nullopt));
        detail::paintStencil(context, job, *payload.stencil());
        break;
    case ElementType::line:
    case ElementType::arrow: detail::paintConnector(context, job); break;
    case ElementType::curve: detail::paintCurve(context, job, *payload.curve()); break;
    case ElementType::polygon: detail::paintPolygon(context, job, *payload.polygon()); break;
    case ElementType::freehand: detail::paintFreehand(context, job, *payload.freehand()); break;
    case ElementType::text: detail::paintText(context, job, *payload.text()); break;
    case ElementType::image: detail::paintImage(context, job, *payload.image()); break;
    }
    context.restore();
}

}  // namespace dv
