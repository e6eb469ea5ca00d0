// Painters of the closed, labelled kinds: rectangles, ellipses, rhombi, flowchart shapes and
// stencils, with the label procedure the box-like kinds share.

#include "DVGeometry/ShapeGeometry.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVModel/StencilRegistry.hpp"
#include "DVRender/Images/BundledIconPacks.hpp"
#include "DVRender/Canvas/DrawingContext.hpp"
#include "DVRender/Scene/GenericIcons.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "DVRender/Scene/detail/Painting.hpp"
#include "DVText/TextMetrics.hpp"

#include <algorithm>
#include <cmath>
#include <functional>

namespace dv::detail {

namespace {

// The element's box with negative extents turned into a moved corner. Painters copy its members
// into locals rather than binding them, so that lambdas can capture them with every compiler.
struct Frame {
    double x0, y0, W, H;
};

Frame frameOf(const Element& element, double width, double height) {
    return {width < 0 ? element.x + width : element.x, height < 0 ? element.y + height : element.y,
            std::fabs(width), std::fabs(height)};
}

const std::string& fillText(const Element& element) { return element.fillColor.rawValue; }

bool hasLabel(const LabelFields& labels, const PaintJob& job) {
    return labels.label && !labels.label->empty() && !job.labelEditing;
}

// The label of a box-like kind, wrapped, centred on `centre` and clipped to the path that
// `addClip` adds.
void paintShapeLabel(DrawingContext& context, const PaintJob& job, const LabelFields& labels,
                     const std::function<void()>& addClip, const LabeledShape::Kind& kind, double wrapW,
                     double wrapH, Point centre) {
    if (!hasLabel(labels, job)) return;
    context.save();
    context.setLineDash({});
    context.beginPath();
    addClip();
    context.clip();

    const double wrapWidth = getLabelWrapWidth(LabeledShape{kind, labels.labelFontSize}, wrapW, wrapH);
    const double fs = labels.labelFontSize.value_or(LabelDefaults::defaultShapeLabelFontSize);
    const std::string family =
        labels.labelFontFamily ? *labels.labelFontFamily : std::string(LabelDefaults::defaultLabelFontFamily);
    std::string color;
    if (labels.labelColor && !labels.labelColor->rawValue.empty()) {
        color = resolveStrokeColorForTheme(labels.labelColor->rawValue, job.environment.theme, fillText(job.element));
    } else {
        color = contrastColor(fillText(job.element), job.strokeColor);
    }
    context.setFont(fontText(fs, family));
    context.setFillStyle(paintColor(color));
    context.setTextAlign("center");
    context.setTextBaseline("middle");

    const std::vector<std::string_view> lines = wrapTextLineViews(*labels.label, wrapWidth, fs, family, false, true);
    const double lh = fs * 1.2;
    const double top = centre.y - lh * static_cast<double>(lines.size()) * 0.5;
    // A long label in a small shape wraps to lines far past the clip: only those that can show
    // are drawn.
    const DrawingContext::LineRange shown = context.textLinesShown(top + lh * 0.5, lh, 0);
    for (std::size_t i = shown.first; i < lines.size() && i < shown.end; ++i) {
        context.fillText(lines[i], centre.x, top + static_cast<double>(i) * lh + lh * 0.5);
    }
    context.restore();
}

void strokeOutline(DrawingContext& context, const PaintJob& job, const std::array<Point, 4>& corners,
                   double W, double H) {
    if (job.plain) {
        context.stroke();
    } else {
        strokeRoughQuad(context, corners, job.seed, job.element.roughness * jsMin(W, H) * 0.03);
    }
}

}  // namespace

void paintRectangle(DrawingContext& context, const PaintJob& job, const Element::Box& box) {
    const Frame frame = frameOf(job.element, box.width, box.height);
    const double x0 = frame.x0, y0 = frame.y0, W = frame.W, H = frame.H;
    double r = 0;
    if (box.cornerRadius && *box.cornerRadius > 0) r = jsMin(*box.cornerRadius, W * 0.5, H * 0.5);
    context.beginPath();
    if (r > 0) {
        context.roundRect(x0, y0, W, H, r);
    } else {
        context.rect(x0, y0, W, H);
    }
    context.fill();
    // The hand-drawn outline keeps sharp corners even when the fill is rounded.
    strokeOutline(context, job, {Point{x0, y0}, Point{x0 + W, y0}, Point{x0 + W, y0 + H}, Point{x0, y0 + H}}, W, H);
    paintShapeLabel(
        context, job, box, [&] { context.rect(x0, y0, W, H); }, LabeledShape::Rectangle{}, W, H,
        Point{x0 + W / 2, y0 + H / 2});
}

void paintEllipse(DrawingContext& context, const PaintJob& job, const Element::Box& box) {
    const Element& element = job.element;
    const double cx = element.x + box.width / 2;
    const double cy = element.y + box.height / 2;
    const double rx = std::fabs(box.width / 2);
    const double ry = std::fabs(box.height / 2);
    context.beginPath();
    context.ellipse(cx, cy, rx, ry, 0, 0, fullTurn);
    context.fill();
    if (job.plain) {
        context.stroke();
    } else {
        double base = jsMin(rx, ry);
        if (base == 0 || std::isnan(base)) base = 1;
        const double a = base * element.roughness * 0.05;
        const double phase = jitterPhase(job.seed);
        auto k = [&](double i) { return 1 + std::sin(phase + 1.7 * i) * a / base; };
        context.beginPath();
        context.moveTo(cx + k(0) * rx, cy);
        for (int i = 1; i <= 48; ++i) {
            const double t = i / 48.0 * fullTurn;
            context.lineTo(cx + std::cos(t) * k(i) * rx, cy + std::sin(t) * k(i) * ry);
        }
        context.closePath();
        context.stroke();
    }
    paintShapeLabel(
        context, job, box, [&] { context.ellipse(cx, cy, rx, ry, 0, 0, fullTurn); }, LabeledShape::Ellipse{},
        2 * rx, 2 * ry, Point{cx, cy});
}

namespace {

// An arc of radius rr fitted into the corner at V touches both edges rr / tan(theta / 2) away from
// V, not rr away: a corner that starts anywhere else runs past the touching point and back, a
// straight spur at every corner sharper than a right angle. Where that distance passes half an
// adjoining edge the arc shrinks to fit. A right-angled corner keeps rr exactly.
struct RoundedCorner {
    double tangent;  // distance from V to where the arc meets each edge
    double radius;
};
RoundedCorner roundedCorner(Point P, Point V, Point N, double l1, double l2, double rr) {
    const double ux = P.x - V.x, uy = P.y - V.y, vx = N.x - V.x, vy = N.y - V.y;
    const double dot = ux * vx + uy * vy;
    if (dot == 0) return {rr, rr};
    const double tanHalf = std::abs(ux * vy - uy * vx) / (l1 * l2 + dot);
    const double tangent = std::min(rr / tanHalf, std::min(l1, l2) / 2);
    return {tangent, tangent < rr / tanHalf ? tangent * tanHalf : rr};
}

}  // namespace

void paintRhombus(DrawingContext& context, const PaintJob& job, const Element::Box& box) {
    const Frame frame = frameOf(job.element, box.width, box.height);
    const double x0 = frame.x0, y0 = frame.y0, W = frame.W, H = frame.H;
    double r = 0;
    if (box.cornerRadius && *box.cornerRadius > 0) r = jsMin(*box.cornerRadius, W * 0.25, H * 0.25);
    const std::array<Point, 4> v{Point{x0 + W / 2, y0}, Point{x0 + W, y0 + H / 2}, Point{x0 + W / 2, y0 + H},
                                 Point{x0, y0 + H / 2}};
    auto sharpDiamond = [&] {
        context.moveTo(v[0].x, v[0].y);
        for (std::size_t i = 1; i < 4; ++i) context.lineTo(v[i].x, v[i].y);
    };
    context.beginPath();
    if (r > 0) {
        for (std::size_t i = 0; i < 4; ++i) {
            const Point V = v[i];
            const Point P = v[(i + 3) % 4];
            const Point N = v[(i + 1) % 4];
            const double l1 = jsHypot(P.x - V.x, P.y - V.y);
            const double l2 = jsHypot(N.x - V.x, N.y - V.y);
            const double rr = jsMin(r, l1 / 2, l2 / 2);
            const RoundedCorner corner = roundedCorner(P, V, N, l1, l2, rr);
            const Point S{V.x + (P.x - V.x) * corner.tangent / l1, V.y + (P.y - V.y) * corner.tangent / l1};
            const Point E{V.x + (N.x - V.x) * corner.tangent / l2, V.y + (N.y - V.y) * corner.tangent / l2};
            if (i == 0) {
                context.moveTo(S.x, S.y);
            } else {
                context.lineTo(S.x, S.y);
            }
            context.arcTo(V.x, V.y, E.x, E.y, corner.radius);
        }
    } else {
        sharpDiamond();
    }
    context.closePath();
    context.fill();
    strokeOutline(context, job, v, W, H);
    paintShapeLabel(
        context, job, box,
        [&] {
            sharpDiamond();
            context.closePath();
        },
        LabeledShape::Rhombus{}, W, H, Point{x0 + W / 2, y0 + H / 2});
}

void paintShape(DrawingContext& context, const PaintJob& job, const Element::Shape& shape) {
    const Frame frame = frameOf(job.element, shape.width, shape.height);
    const double x0 = frame.x0, y0 = frame.y0, W = frame.W, H = frame.H;
    const ShapeDefinition& d = definition(shape.kind);
    const std::vector<ShapeCommand> outline = d.outline(W, H);
    std::vector<ShapeCommand> details;
    if (d.details) details = d.details(W, H);

    context.beginPath();
    addShapeCommands(context, outline, x0, y0);
    context.fill();
    if (job.plain) {
        context.stroke();
        if (d.details) {
            context.beginPath();
            addShapeCommands(context, details, x0, y0);
            context.stroke();
        }
    } else {
        const double a = job.element.roughness * jsMin(W, H) * 0.03;
        context.beginPath();
        addRoughShapeCommands(context, outline, x0, y0, job.seed, a);
        context.stroke();
        if (d.details) {
            context.beginPath();
            addRoughShapeCommands(context, details, x0, y0, job.seed + 7, a);
            context.stroke();
        }
    }
    const ShapeBox t = d.textBox(W, H);
    paintShapeLabel(
        context, job, shape, [&] { addShapeCommands(context, outline, x0, y0); }, shape.kind, W, H,
        Point{x0 + t.x + t.w / 2, y0 + t.y + t.h / 2});
}

namespace {

// A picture source fitted into the box, keeping its aspect; anything not drawable by that rule
// is painted by the image element's rule after asking the provider once more.
void paintFittedPicture(DrawingContext& context, ImageProvider* images, const std::string& src,
                        double x0, double y0, double W, double H) {
    if (images) {
        const ImageLookup lookup = images->image(src);
        if (lookup.kind == ImageLookup::Kind::loaded && lookup.image && lookup.image->naturalWidth() != 0) {
            const double nw = lookup.image->naturalWidth();
            const double nh = lookup.image->naturalHeight();
            const double f = jsMin(W / nw, H / nh);
            const double dw = nw * f;
            const double dh = nh * f;
            context.drawImage(lookup.image, x0 + (W - dw) * 0.5, y0 + (H - dh) * 0.5, dw, dh);
            return;
        }
    }
    paintImageLookup(context, images, src, x0, y0, W, H);
}

void paintGenericIcon(DrawingContext& context, const PaintJob& job, const GenericIcon& icon, double x0,
                      double y0, double W, double H) {
    const double size = jsMin(W, H);
    if (!(size > 0)) return;
    const double s = size / ICON_GRID;
    context.save();
    context.translate(x0 + (W - size) * 0.5, y0 + (H - size) * 0.5);
    context.scale(s, s);
    // The icon is ink like its caption: the stroke colour resolved without the fill, so that a
    // black icon turns light on a dark canvas together with its caption.
    context.setStrokeStyle(job.strokeColor);
    context.setLineWidth(getIconStrokeWidth(job.element.strokeWidth));
    if (icon.fill) {
        context.beginPath();
        addShapeCommands(context, *icon.fill, 0, 0);
        context.fill();
    }
    context.beginPath();
    if (job.plain) {
        addShapeCommands(context, icon.strokes, 0, 0);
    } else {
        addRoughShapeCommands(context, icon.strokes, 0, 0, job.seed, job.element.roughness * 0.35);
    }
    context.stroke();
    context.restore();
}

}  // namespace

void paintStencil(DrawingContext& context, const PaintJob& job, const Element::Stencil& stencil) {
    const Frame frame = frameOf(job.element, stencil.width, stencil.height);
    const double x0 = frame.x0, y0 = frame.y0, W = frame.W, H = frame.H;
    ImageProvider* images = job.environment.images;
    if (const auto* embedded = std::get_if<StencilSource::Embedded>(&stencil.source.kind)) {
        paintFittedPicture(context, images, embedded->src, x0, y0, W, H);
    } else {
        const std::string& ref = std::get<StencilSource::Builtin>(stencil.source.kind).ref;
        if (const GenericIcon* icon = getGenericIcon(ref)) {
            paintGenericIcon(context, job, *icon, x0, y0, W, H);
        } else if (const BundledIcon* bundled = BundledIconPacks::icon(ref)) {
            paintFittedPicture(context, images, bundled->src, x0, y0, W, H);
        } else {
            context.save();
            context.setLineDash({4, 4});
            context.setLineWidth(1);
            context.strokeRect(x0, y0, W, H);
            context.restore();
        }
    }

    if (!hasLabel(stencil, job)) return;
    const double fs = stencil.labelFontSize.value_or(LabelDefaults::defaultStencilLabelFontSize);
    context.save();
    context.setLineDash({});
    context.setFont(fontText(fs, stencil.labelFontFamily ? std::string_view(*stencil.labelFontFamily)
                                                         : LabelDefaults::defaultLabelFontFamily));
    std::string color = job.strokeColor;
    if (stencil.labelColor && !stencil.labelColor->rawValue.empty()) {
        color = paintColor(resolveStrokeColorForTheme(stencil.labelColor->rawValue, job.environment.theme, std::nullopt));
    }
    context.setFillStyle(color);
    context.setTextAlign("center");
    context.setTextBaseline("top");
    const std::vector<std::string> lines = getStencilLabelLines(stencil);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        context.fillText(lines[i], x0 + W / 2, y0 + H + 6 + static_cast<double>(i) * fs * 1.2);
    }
    context.restore();
}

}  // namespace dv::detail
