// Painters of the open and content-bearing kinds: curves, polygons, freehand strokes, text
// blocks and images, with the two image placeholders. None of them wobbles.

#include "DVGeometry/FreehandOutline.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVRender/Canvas/DrawingContext.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "DVRender/Scene/detail/Painting.hpp"
#include "DVText/TextMetrics.hpp"

namespace dv::detail {

std::string fontText(double fontSize, std::string_view family) {
    std::string font = jsNumberString(fontSize);
    font += "px ";
    font += family;
    return font;
}

void paintCurve(DrawingContext& context, const PaintJob& job, const Element::Curve& curve) {
    context.beginPath();
    context.moveTo(job.element.x, job.element.y);
    context.quadraticCurveTo(curve.cx, curve.cy, curve.x2, curve.y2);
    context.stroke();
}

void paintPolygon(DrawingContext& context, const PaintJob&, const Element::Polygon& polygon) {
    const auto& points = polygon.points;
    if (points.size() < 2) return;
    context.beginPath();
    context.moveTo(points[0].x, points[0].y);
    for (std::size_t i = 1; i < points.size(); ++i) context.lineTo(points[i].x, points[i].y);
    // An open polygon is still filled (the fill closes it) but its outline stays open.
    if (polygon.closed) context.closePath();
    context.fill();
    context.stroke();
}

void paintFreehand(DrawingContext& context, const PaintJob& job, const Element::Freehand& freehand) {
    if (freehand.points.size() < 2) return;
    const std::vector<Point> outline =
        buildFreehandOutline(freehand.points, freehand.pressures, job.element.strokeWidth);
    if (outline.size() < 3) return;
    context.save();
    context.setLineDash({});
    context.setFillStyle(job.strokeColor);
    context.beginPath();
    context.moveTo(outline[0].x, outline[0].y);
    for (std::size_t i = 1; i < outline.size(); ++i) context.lineTo(outline[i].x, outline[i].y);
    context.closePath();
    context.fill();
    context.restore();
}

namespace {

void paintCodeBlock(DrawingContext& context, const PaintJob& job, const Element::Text& text) {
    const double x = job.element.x;
    const double y = job.element.y;
    const CodeBlockColors colors = codeBlockColors(job.environment.theme);
    context.setFillStyle(std::string(colors.fill));
    context.beginPath();
    context.roundRect(x, y, text.width, text.height, 6);
    context.fill();
    context.setStrokeStyle(std::string(colors.border));
    context.setLineWidth(1);
    context.stroke();

    context.setFont(fontText(text.fontSize, text.fontFamily));
    context.setFillStyle(job.strokeColor);
    context.setTextBaseline("top");
    double tx = x + 10;
    switch (text.textAlign.value_or(TextAlign::left)) {
    case TextAlign::left: context.setTextAlign("left"); break;
    case TextAlign::right:
        context.setTextAlign("right");
        tx = x + text.width - 10;
        break;
    case TextAlign::center:
        context.setTextAlign("center");
        tx = x + text.width * 0.5;
        break;
    }
    const std::vector<std::string_view> lines = splitLines(text.content);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        context.fillText(lines[i], tx, y + 10 + static_cast<double>(i) * text.fontSize * 1.3);
    }
    context.setTextAlign("left");
}

void paintPlainText(DrawingContext& context, const PaintJob& job, const Element::Text& text) {
    const Element& element = job.element;
    const TextContentBox box =
        getTextContentBox(element.x, element.y, text.width, text.height, text.padding.value_or(0));
    const std::string& fill = element.fillColor.rawValue;
    // "none" is no background either, like "transparent".
    if (fill != "transparent" && fill != "none") {
        context.setFillStyle(fill);
        context.fillRect(element.x, element.y, text.width, text.height);
    }
    const bool bold = text.bold.value_or(false);
    std::string font;
    if (text.italic.value_or(false)) font += "italic ";
    if (bold) font += "bold ";
    font += fontText(text.fontSize, text.fontFamily);
    context.setFont(std::move(font));
    context.setFillStyle(job.strokeColor);
    context.setTextBaseline("top");

    const TextAlign align = text.textAlign.value_or(TextAlign::left);
    double tx = box.x;
    switch (align) {
    case TextAlign::left: context.setTextAlign("left"); break;
    case TextAlign::center:
        context.setTextAlign("center");
        tx = box.x + box.width * 0.5;
        break;
    case TextAlign::right:
        context.setTextAlign("right");
        tx = box.x + box.width;
        break;
    }
    const bool underline = text.underline.value_or(false);
    const bool strikethrough = text.strikethrough.value_or(false);
    const double decorationWidth = jsMax(1.0, text.fontSize * 0.06);
    // A narrow block of a long text wraps to many thousands of lines running far past the
    // picture: only the lines that can show are drawn, and the wrapping stops after the last.
    const double underlineReach = underline || strikethrough ? text.fontSize + 2 * decorationWidth : 0;
    const DrawingContext::LineRange shown = context.textLinesShown(box.y, text.fontSize * 1.2, underlineReach);
    const std::vector<std::string_view> lines = wrapTextLineViews(text.content, box.width, text.fontSize,
                                                                  text.fontFamily, bold, box.padding > 0, shown.end);
    // The decorations' stroke settings change nothing that the text is drawn with: they are set
    // once for all the lines rather than saved and restored around each.
    const bool decorated = (underline || strikethrough) && shown.first < lines.size();
    if (decorated) {
        context.save();
        context.setStrokeStyle(job.strokeColor);
        context.setLineWidth(decorationWidth);
        context.setLineDash({});
    }
    for (std::size_t i = shown.first; i < lines.size(); ++i) {
        const double y = box.y + static_cast<double>(i) * text.fontSize * 1.2;
        context.fillText(lines[i], tx, y);
        if (!decorated) continue;
        const double w = context.measureText(lines[i]);
        const double sx = align == TextAlign::left ? tx : align == TextAlign::center ? tx - w * 0.5 : tx - w;
        if (underline) {
            const double yu = y + text.fontSize + context.lineWidth();
            context.beginPath();
            context.moveTo(sx, yu);
            context.lineTo(sx + w, yu);
            context.stroke();
        }
        if (strikethrough) {
            const double ys = y + text.fontSize * 0.55;
            context.beginPath();
            context.moveTo(sx, ys);
            context.lineTo(sx + w, ys);
            context.stroke();
        }
    }
    if (decorated) context.restore();
    context.setTextAlign("left");
}

}  // namespace

void paintText(DrawingContext& context, const PaintJob& job, const Element::Text& text) {
    context.setLineDash({});
    if (text.isCode.value_or(false)) {
        paintCodeBlock(context, job, text);
    } else {
        paintPlainText(context, job, text);
    }
}

void paintImageLookup(DrawingContext& context, ImageProvider* images, const std::string& src, double x,
                      double y, double width, double height) {
    const ImageLookup lookup = images ? images->image(src) : ImageLookup::failed();
    if (lookup.kind == ImageLookup::Kind::loaded && lookup.image && lookup.image->naturalWidth() > 0) {
        RenderImage::takeDecodeFailure();
        context.drawImage(lookup.image, x, y, width, height);
        if (RenderImage::takeDecodeFailure()) paintImageError(context, x, y, width, height);
    } else if (lookup.kind == ImageLookup::Kind::failed) {
        paintImageError(context, x, y, width, height);
    } else {
        paintImageLoading(context, x, y, width, height);
    }
}

void paintImage(DrawingContext& context, const PaintJob& job, const Element::Image& image) {
    paintImageLookup(context, job.environment.images, image.src, job.element.x, job.element.y, image.width,
                     image.height);
}

namespace {

// A placeholder's tinted box with its dashed outline; the caller restores.
void placeholderBox(DrawingContext& context, std::string fill, std::string stroke, double x, double y,
                    double width, double height) {
    context.save();
    context.setFillStyle(std::move(fill));
    context.fillRect(x, y, width, height);
    context.setStrokeStyle(std::move(stroke));
    context.setLineDash({4, 4});
    context.strokeRect(x, y, width, height);
}

}  // namespace

void paintImageLoading(DrawingContext& context, double x, double y, double width, double height) {
    placeholderBox(context, "rgba(100,100,120,0.3)", "rgba(180,180,200,0.5)", x, y, width, height);
    context.restore();
}

void paintImageError(DrawingContext& context, double x, double y, double width, double height) {
    placeholderBox(context, "rgba(180,40,40,0.25)", "rgba(220,80,80,0.7)", x, y, width, height);
    context.setFillStyle("rgba(220,80,80,0.8)");
    context.setFont("12px monospace");
    context.fillText("\xE2\x9A\xA0 image error", x + 6, y + 16);
    context.restore();
}

}  // namespace dv::detail
