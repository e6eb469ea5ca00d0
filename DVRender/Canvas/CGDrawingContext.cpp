#include "DVRender/Canvas/CGDrawingContext.hpp"

#include "DVModel/CSSColor.hpp"
#include "DVModel/UTF8.hpp"
#include "DVRender/Canvas/FontResolver.hpp"
#include "DVRender/Canvas/RecentParses.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "DVText/TextMetrics.hpp"
#include "Platform/Graphics/Shortcuts.hpp"
#include "Platform/Text/Font.hpp"
#include "Platform/Unicode/Unicode.hpp"

#include <cmath>
#include <optional>
#include <utility>
#include <variant>

namespace dv {

namespace {

constexpr gfx::Color OPAQUE_BLACK{0, 0, 0, 1};
constexpr gfx::Color TRANSPARENT_BLACK{0, 0, 0, 0};

gfx::AffineTransform toAffine(const CanvasMatrix& m) { return {m.a, m.b, m.c, m.d, m.e, m.f}; }

bool allFinite(std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

bool forbidsSplitting(char32_t c) {
    // Right-to-left scripts, bidirectional controls and private-use characters: shaping such a
    // text in pieces would reorder or substitute differently than shaping it whole.
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF) ||
           (c >= 0x10800 && c <= 0x10FFF) || (c >= 0x1E800 && c <= 0x1EFFF) || c == 0x061C || c == 0x200E ||
           c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
           (c >= 0xE000 && c <= 0xF8FF) || (c >= 0xF0000 && c <= 0x10FFFF);
}

struct Runs {
    std::vector<std::shared_ptr<const gfx::TextLine>> lines;
    std::vector<double> offsets;
    std::vector<std::string_view> texts;
    double width = 0;
};

Runs makeTextRuns(const gfx::Font& font, std::string_view text) {
    Runs runs;
    if (text.find(' ') != std::string_view::npos && CGDrawingContext::canSplitAtSpaces(text)) {
        // Maximal runs of spaces and of everything else; a space is one byte, so cutting the
        // UTF-8 text cuts its UTF-16 form at the same places.
        std::size_t start = 0;
        while (start < text.size()) {
            const bool space = text[start] == ' ';
            std::size_t end = start;
            while (end < text.size() && (text[end] == ' ') == space) ++end;
            runs.texts.push_back(text.substr(start, end - start));
            start = end;
        }
    } else {
        runs.texts.push_back(text);
    }
    runs.lines.reserve(runs.texts.size());
    for (std::string_view piece : runs.texts) {
        runs.offsets.push_back(runs.width);
        runs.lines.push_back(gfx::TextLine::shared(font, piece));
        runs.width += runs.lines.back()->typographicWidth();
    }
    return runs;
}

} // namespace

CGDrawingContext::CGDrawingContext(std::shared_ptr<gfx::GraphicsContext> context)
    : context_(std::move(context)), base_(context_->userToDevice()) {
    paint_ = {OPAQUE_BLACK, OPAQUE_BLACK, TRANSPARENT_BLACK};
    context_->setLineCap(gfx::LineCap::butt);
    context_->setLineJoin(gfx::LineJoin::miter);
    context_->setMiterLimit(10);
}

std::optional<gfx::Color> CGDrawingContext::color(std::string_view css) {
    thread_local RecentParses<std::optional<gfx::Color>> recent;
    return recent.get(css, [](std::string_view text) -> std::optional<gfx::Color> {
        const auto rgba = CSSColor{std::string(text)}.rgba();
        if (!rgba) return std::nullopt;
        return gfx::Color{rgba->red, rgba->green, rgba->blue, rgba->alpha};
    });
}

// ---- state ----------------------------------------------------------------------------------

void CGDrawingContext::setProperty(const CanvasProperty& property) {
    state_.apply(property);
    gfx::Color* target = nullptr;
    const std::string* text = nullptr;
    switch (property.kind) {
    case CanvasProperty::Kind::fillStyle: target = &paint_.fill, text = &state_.fillStyle; break;
    case CanvasProperty::Kind::strokeStyle: target = &paint_.stroke, text = &state_.strokeStyle; break;
    case CanvasProperty::Kind::shadowColor: target = &paint_.shadow, text = &state_.shadowColor; break;
    default: return;
    }
    // A colour that does not parse leaves the paint as it was: drawing goes on in the last
    // usable colour while the state keeps the new text.
    if (auto c = color(*text)) *target = *c;
}

void CGDrawingContext::save() {
    stack_.emplace_back(state_, paint_, applied_);
    context_->saveGState();
}

void CGDrawingContext::restore() {
    if (stack_.empty()) return;
    std::tie(state_, paint_, applied_) = std::move(stack_.back());
    stack_.pop_back();
    context_->restoreGState();
}

// The device transform is set whole from the canvas one rather than moved by the difference:
// after a nearly singular transform the difference cannot be formed, and the device would keep
// the old transform for every later drawing.
void CGDrawingContext::syncTransform() {
    if (!state_.transform.isInvertible() || state_.transform == applied_) return;
    if (context_->setCTM(toAffine(state_.transform).concatenating(base_))) applied_ = state_.transform;
}

void CGDrawingContext::translate(double tx, double ty) {
    state_.concatenate({1, 0, 0, 1, tx, ty});
    syncTransform();
}

void CGDrawingContext::rotate(double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    state_.concatenate({c, s, -s, c, 0, 0});
    syncTransform();
}

void CGDrawingContext::scale(double sx, double sy) {
    state_.concatenate({sx, 0, 0, sy, 0, 0});
    syncTransform();
}

void CGDrawingContext::setTransform(double a, double b, double c, double d, double e, double f) {
    state_.setTransform({a, b, c, d, e, f});
    syncTransform();
}

void CGDrawingContext::resetTransform() {
    state_.setTransform(CanvasMatrix::identity());
    syncTransform();
}

void CGDrawingContext::setLineDash(const std::vector<double>& segments) { state_.setLineDash(segments); }

// ---- paths ----------------------------------------------------------------------------------

void CGDrawingContext::emit(const PathOp& op) {
    gfx::GraphicsContext& g = *context_;
    if (std::holds_alternative<PathOp::BeginPath>(op.value)) return g.beginPath();
    if (isSingular()) return;
    std::visit(
        [&](const auto& o) {
            using T = std::decay_t<decltype(o)>;
            if constexpr (std::is_same_v<T, PathOp::MoveTo>) {
                if (allFinite({o.x, o.y})) g.moveTo(o.x, o.y);
            } else if constexpr (std::is_same_v<T, PathOp::LineTo>) {
                if (allFinite({o.x, o.y}) && !g.isPathEmpty()) g.addLineTo(o.x, o.y);
            } else if constexpr (std::is_same_v<T, PathOp::QuadraticCurveTo>) {
                if (allFinite({o.cpx, o.cpy, o.x, o.y}) && !g.isPathEmpty()) g.addQuadCurveTo(o.cpx, o.cpy, o.x, o.y);
            } else if constexpr (std::is_same_v<T, PathOp::BezierCurveTo>) {
                if (allFinite({o.cp1x, o.cp1y, o.cp2x, o.cp2y, o.x, o.y}) && !g.isPathEmpty())
                    g.addCurveTo(o.cp1x, o.cp1y, o.cp2x, o.cp2y, o.x, o.y);
            } else if constexpr (std::is_same_v<T, PathOp::Arc>) {
                if (allFinite({o.x, o.y, o.radius, o.startAngle, o.endAngle}) && o.radius >= 0) {
                    const double sweep = PathBuilder::arcSweep(o.startAngle, o.endAngle, o.anticlockwise);
                    g.addArc(o.x, o.y, o.radius, o.startAngle, o.startAngle + sweep, sweep < 0);
                }
            } else if constexpr (std::is_same_v<T, PathOp::Rect>) {
                if (allFinite({o.x, o.y, o.width, o.height})) g.addRect({o.x, o.y, o.width, o.height});
            } else if constexpr (std::is_same_v<T, PathOp::ClosePath>) {
                if (!g.isPathEmpty()) g.closePath();
            }
        },
        op.value);
}

void CGDrawingContext::beginPath() { path_.beginPath(emitter()); }
void CGDrawingContext::closePath() { path_.closePath(emitter()); }
void CGDrawingContext::moveTo(double x, double y) { path_.moveTo(x, y, emitter()); }
void CGDrawingContext::lineTo(double x, double y) {
    // The common case of a line from a current point straight to the device, as emit would send
    // it: outlines of long strokes arrive here hundreds of thousands of points at a time.
    if (path_.current && std::isfinite(x) && std::isfinite(y)) {
        path_.current = Point{x, y};
        if (!isSingular() && !context_->isPathEmpty()) context_->addLineTo(x, y);
        return;
    }
    path_.lineTo(x, y, emitter());
}
void CGDrawingContext::quadraticCurveTo(double cpx, double cpy, double x, double y) {
    path_.quadraticCurveTo(cpx, cpy, x, y, emitter());
}
void CGDrawingContext::bezierCurveTo(double cp1x, double cp1y, double cp2x, double cp2y, double x, double y) {
    path_.bezierCurveTo(cp1x, cp1y, cp2x, cp2y, x, y, emitter());
}
void CGDrawingContext::arc(double x, double y, double radius, double startAngle, double endAngle, bool anticlockwise) {
    path_.arc(x, y, radius, startAngle, endAngle, anticlockwise, emitter());
}
void CGDrawingContext::ellipse(double x, double y, double radiusX, double radiusY, double rotation, double startAngle,
                               double endAngle, bool anticlockwise) {
    path_.ellipse(x, y, radiusX, radiusY, rotation, startAngle, endAngle, anticlockwise, emitter());
}
void CGDrawingContext::arcTo(double x1, double y1, double x2, double y2, double radius) {
    path_.arcTo(x1, y1, x2, y2, radius, emitter());
}
void CGDrawingContext::roundRect(double x, double y, double width, double height, double radius) {
    path_.roundRect(x, y, width, height, radius, emitter());
}
void CGDrawingContext::rect(double x, double y, double width, double height) {
    path_.rect(x, y, width, height, emitter());
}

// ---- paint settings -------------------------------------------------------------------------

void CGDrawingContext::applyShadow() {
    const bool offsets = state_.shadowBlur > 0 || state_.shadowOffsetX != 0 || state_.shadowOffsetY != 0;
    if (!levelOfDetail_.skipsShadows && paint_.shadow.alpha > 0 && offsets)
        context_->setShadow(state_.shadowOffsetX, state_.shadowOffsetY, state_.shadowBlur, paint_.shadow);
    else
        context_->clearShadow();
}

void CGDrawingContext::applyFill() {
    context_->setAlpha(state_.globalAlpha);
    context_->setFillColor(paint_.fill);
    applyShadow();
}

void CGDrawingContext::applyStrokeStyle() {
    gfx::GraphicsContext& g = *context_;
    g.setAlpha(state_.globalAlpha);
    g.setStrokeColor(paint_.stroke);
    g.setLineWidth(state_.lineWidth);
    g.setLineCap(state_.lineCap == "round" ? gfx::LineCap::round
                 : state_.lineCap == "square" ? gfx::LineCap::square
                                              : gfx::LineCap::butt);
    g.setLineJoin(state_.lineJoin == "round" ? gfx::LineJoin::round
                  : state_.lineJoin == "bevel" ? gfx::LineJoin::bevel
                                               : gfx::LineJoin::miter);
    bool allZero = true;
    for (double d : state_.lineDash) allZero = allZero && d == 0;
    if (allZero) g.setLineDash({}, 0);
    else g.setLineDash(state_.lineDash, 0);
    applyShadow();
}

// ---- painting -------------------------------------------------------------------------------

void CGDrawingContext::clip(FillRule rule) {
    if (context_->isPathEmpty()) return context_->clipToRect({0, 0, 0, 0});
    context_->clip(rule == FillRule::evenodd ? gfx::FillRule::evenOdd : gfx::FillRule::winding);
}

void CGDrawingContext::fill(FillRule rule) {
    if (context_->isPathEmpty()) return;
    applyFill();
    context_->fillPath(rule == FillRule::evenodd ? gfx::FillRule::evenOdd : gfx::FillRule::winding);
}

void CGDrawingContext::stroke() {
    if (isSingular() || context_->isPathEmpty()) return;
    applyStrokeStyle();
    context_->strokePath();
}

void CGDrawingContext::fillRect(double x, double y, double width, double height) {
    if (isSingular() || !allFinite({x, y, width, height})) return;
    applyFill();
    context_->fillRect({x, y, width, height});
}

void CGDrawingContext::strokeRect(double x, double y, double width, double height) {
    if (isSingular() || !allFinite({x, y, width, height})) return;
    applyStrokeStyle();
    context_->strokeRect({x, y, width, height});
}

std::string CGDrawingContext::prepareCanvasText(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\f' || c == '\r') c = ' ';
    return out;
}

bool CGDrawingContext::canSplitAtSpaces(std::string_view text) {
    std::size_t spaces = 0;
    bool asciiAroundSpaces = true;
    auto isASCII = [&](std::size_t at) { return static_cast<unsigned char>(text[at]) < 0x80; };
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            ++spaces;
            if ((i > 0 && !isASCII(i - 1)) || (i + 1 < text.size() && !isASCII(i + 1))) asciiAroundSpaces = false;
        }
        if (forbidsSplitting(decodeUTF8(text, i))) return false;
    }
    // A space joins a grapheme cluster only after a prepended mark or before a combining mark, a
    // joiner or a spacing mark, and none of those is ASCII: with ASCII on both sides of every
    // space, each space is a cluster of its own and the costly segmentation can be skipped.
    if (asciiAroundSpaces) return true;
    std::size_t spaceClusters = 0;
    for (std::string_view cluster : unicode::graphemeClusters(text)) spaceClusters += cluster == " ";
    return spaces == spaceClusters;
}

CGDrawingContext::TextRunLayout CGDrawingContext::textRunLayout(const gfx::Font& font, std::string_view prepared) {
    const Runs runs = makeTextRuns(font, prepared);
    TextRunLayout layout;
    for (std::string_view t : runs.texts) layout.runs.emplace_back(t);
    layout.offsets = runs.offsets;
    layout.width = runs.width;
    return layout;
}

namespace {

double alignedX(const std::string& align, double x, double width) {
    if (align == "center") return x - width / 2;
    if (align == "right" || align == "end") return x - width;
    return x;
}

// The baselines (user y) at which a line of text whose ink keeps within `margin` of its
// baseline can change a pixel of `reach` (device space): from low to high, all of them when the
// transform cannot tell, none (low > high) when the reach is empty. A baseline may still move
// by half a device row when fillText puts it on a whole row; a row more each way takes that in.
struct BaselineSpan {
    double low, high;
};

BaselineSpan baselinesShown(const gfx::AffineTransform& userToDevice, const gfx::DeviceBox& reach, double margin) {
    if (reach.isEmpty()) return {HUGE_VAL, -HUGE_VAL};
    const gfx::AffineTransform toUser = userToDevice.inverted();
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (const auto& [cx, cy] : {std::pair{reach.x0, reach.y0}, std::pair{reach.x1, reach.y0}, std::pair{reach.x0, reach.y1},
                                 std::pair{reach.x1, reach.y1}}) {
        const double v = toUser.apply(cx, cy).y;
        if (!std::isfinite(v)) return {-HUGE_VAL, HUGE_VAL};
        low = std::fmin(low, v);
        high = std::fmax(high, v);
    }
    const bool snaps = userToDevice.b == 0 && userToDevice.c == 0 && userToDevice.d != 0;
    const double row = snaps ? 1 / std::fabs(userToDevice.d) : 0;
    return {low - margin - row, high + margin + row};
}

// Whatever the baseline, a line's glyphs keep within two font sizes of y, however long the line.
double glyphReach(double fontSize) { return 2 * fontSize; }

} // namespace

void CGDrawingContext::fillTextBar(std::string_view text, const CanvasFont& font, double x, double y) {
    const double width = measureTextWidth(text, font.size, font.family, font.bold);
    if (!(std::isfinite(width) && width > 0)) return;
    x = alignedX(state_.textAlign, x, width);
    const std::string& baseline = state_.textBaseline;
    const double size = font.size;
    double top;
    if (baseline == "top") top = y;
    else if (baseline == "hanging") top = y - 0.1 * size;
    else if (baseline == "middle") top = y - 0.5 * size;
    else if (baseline == "bottom" || baseline == "ideographic") top = y - size;
    else top = y - 0.8 * size;
    applyFill();
    context_->setAlpha(state_.globalAlpha * 0.4);
    context_->fillRect({x, top + 0.2 * size, width, 0.6 * size});
}

void CGDrawingContext::fillText(std::string_view text, double x, double y) {
    if (!allFinite({x, y}) || isSingular() || text.empty()) return;
    const auto font = CanvasFont::parse(state_.font);
    if (!font || !(font->size > 0)) return;

    const gfx::AffineTransform device = context_->userToDevice();
    if (levelOfDetail_.textBarsBelowDevicePixels > 0) {
        const double s = std::sqrt(std::fabs(device.a * device.d - device.b * device.c));
        if (levelOfDetail_.textBarsBelowDevicePixels > s * font->size) return fillTextBar(text, *font, x, y);
    }
    // Long wrapped texts run far past the picture; shaping is most of the cost of a line.
    applyFill();  // the shadow set decides how far away a line can still show
    const BaselineSpan shown = baselinesShown(device, context_->visibleReach(), glyphReach(font->size));
    if (!(y >= shown.low && y <= shown.high)) return;

    const FontResolver::FontRef resolved = FontResolver::ctFont(*font);
    const std::string prepared = prepareCanvasText(text);
    const Runs runs = makeTextRuns(*resolved, prepared);

    const double ascent = resolved->ascent(), descent = resolved->descent();
    const FontResolver::EmBox em = FontResolver::emBox(*resolved, font->size);

    x = alignedX(state_.textAlign, x, runs.width);
    const std::string& baseline = state_.textBaseline;
    if (baseline == "top") y += em.ascent;
    else if (baseline == "hanging") y += 0.8 * ascent;
    else if (baseline == "middle") y += (em.ascent - em.descent) / 2;
    else if (baseline == "bottom") y -= em.descent;
    else if (baseline == "ideographic") y -= descent;

    // The baseline lands on a whole device row; rows grow downwards, so a half row rounds up
    // the page (towards the smaller row number).
    if (device.b == 0 && device.c == 0 && device.d != 0) {
        const double v = y * device.d + device.ty;
        if (std::isfinite(v)) y = (std::ceil(v - 0.5) - device.ty) / device.d;
    }

    std::vector<gfx::TextLine::Placed> placed;
    placed.reserve(runs.lines.size());
    for (std::size_t i = 0; i < runs.lines.size(); ++i) placed.push_back({runs.lines[i].get(), runs.offsets[i]});
    gfx::TextLine::draw(*context_, placed, x, y);
}

DrawingContext::LineRange CGDrawingContext::textLinesShown(double y0, double step, double strokeReach) {
    // Off the shortcuts, every line is drawn, for a test to hold the lines left out to it.
    if (!gfx::shortcutsTaken() || !allFinite({y0, step, strokeReach}) || !(step > 0) || isSingular()) return {};
    // Without a usable font no glyph is drawn.
    const auto font = CanvasFont::parse(state_.font);
    const double glyphs = font && font->size > 0 ? glyphReach(font->size) : 0;
    applyFill();
    const BaselineSpan shown = baselinesShown(context_->userToDevice(), context_->visibleReach(),
                                              std::fmax(glyphs, std::fabs(strokeReach)));
    if (!(shown.low <= shown.high)) return {0, 0};
    // A line more each way takes in the rounding of the painter's own positions.
    const double first = std::floor((shown.low - y0) / step) - 1;
    const double last = std::ceil((shown.high - y0) / step) + 1;
    constexpr double beyondAnyCount = 0x1p63;
    LineRange range;
    range.first = !(first > 0) ? 0 : first >= beyondAnyCount ? SIZE_MAX : static_cast<std::size_t>(first);
    range.end = !(last >= 0) ? 0 : last >= beyondAnyCount ? SIZE_MAX : static_cast<std::size_t>(last) + 1;
    return range;
}

void CGDrawingContext::drawImage(const std::shared_ptr<RenderImage>& image, double x, double y, double width,
                                 double height) {
    if (!image || isSingular() || !allFinite({x, y, width, height}) || width == 0 || height == 0) return;
    const gfx::AffineTransform t = context_->userToDevice();
    const double deviceWidth = std::fabs(width) * std::sqrt(t.a * t.a + t.b * t.b);
    const double deviceHeight = std::fabs(height) * std::sqrt(t.c * t.c + t.d * t.d);
    if (!(std::isfinite(deviceWidth) && deviceWidth > 0 && std::isfinite(deviceHeight) && deviceHeight > 0)) return;
    // The cap is applied while the size is still a double: a device width of 1e300 never
    // reaches an integer conversion.
    const double cap = static_cast<double>(maxImagePixelSide_);
    const auto pixelWidth = static_cast<std::int64_t>(std::fmin(cap, std::ceil(deviceWidth)));
    const auto pixelHeight = static_cast<std::int64_t>(std::fmin(cap, std::ceil(deviceHeight)));
    const gfx::ImageRef pixels = image->cgImage(pixelWidth, pixelHeight, maxImagePixelSide_);
    if (!pixels) return;
    context_->setAlpha(state_.globalAlpha);
    applyShadow();
    context_->saveGState();
    context_->setInterpolationQuality(gfx::InterpolationQuality::high);
    context_->drawImage(gfx::pixelsOf(*pixels), {x, y, width, height});
    context_->restoreGState();
}

namespace {

// The columns and rows of centres laid out column by column, each column the same rows (a grid's
// dots); nothing when they are not.
std::optional<std::pair<std::vector<double>, std::vector<double>>> latticeOf(const std::vector<Point>& centres) {
    std::size_t rows = 0;
    while (rows < centres.size() && centres[rows].x == centres[0].x) ++rows;
    if (rows == 0 || centres.size() % rows != 0) return std::nullopt;
    std::pair<std::vector<double>, std::vector<double>> lattice;
    for (std::size_t k = 0; k < rows; ++k) lattice.second.push_back(centres[k].y);
    for (std::size_t i = 0; i < centres.size(); i += rows) {
        lattice.first.push_back(centres[i].x);
        for (std::size_t k = 0; k < rows; ++k)
            if (centres[i + k].x != centres[i].x || centres[i + k].y != lattice.second[k]) return std::nullopt;
    }
    return lattice;
}

}  // namespace

void CGDrawingContext::fillCircles(const std::vector<Point>& centres, double radius) {
    context_->beginPath();
    path_ = PathBuilder{};
    if (isSingular() || centres.empty() || !(radius > 0) || !std::isfinite(radius)) return;
    const gfx::AffineTransform t = context_->userToDevice();
    const double deviceRadius = radius * std::sqrt(t.a * t.a + t.b * t.b);
    applyFill();
    if (deviceRadius < SQUARE_DOT_DEVICE_RADIUS) {
        if (const auto lattice = latticeOf(centres)) {
            context_->fillRectLattice(lattice->first, lattice->second, radius, radius);
            context_->beginPath();
            return;
        }
        std::vector<gfx::Rect> squares;
        squares.reserve(centres.size());
        for (const Point& p : centres) squares.push_back({p.x - radius, p.y - radius, 2 * radius, 2 * radius});
        context_->fillRects(squares);
    } else {
        for (const Point& p : centres) context_->addEllipseInRect({p.x - radius, p.y - radius, 2 * radius, 2 * radius});
        context_->fillPath(gfx::FillRule::winding);
    }
    context_->beginPath();
}

} // namespace dv
