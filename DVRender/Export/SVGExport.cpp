// The SVG document, the escaping of everything it quotes, and the attributes every kind shares.

#include "DVRender/Export/SVGExport.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Hashing.hpp"
#include "DVModel/UTF8.hpp"
#include "DVRender/Export/ExportBounds.hpp"
#include "DVRender/Export/detail/SVGWriter.hpp"

#include <array>
#include <cmath>
#include <numbers>

namespace dv {

namespace {

// What a byte asks of the escaper: nothing, a reference, dropping, or a look at the UTF-8
// sequence it starts (for U+FFFE, U+FFFF and ill-formed bytes).
enum class ByteClass : unsigned char { keep, reference, drop, multibyte };

constexpr std::array<ByteClass, 256> byteClasses = [] {
    std::array<ByteClass, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = ByteClass::drop;
    table['\t'] = table['\n'] = table['\r'] = ByteClass::keep;
    table['"'] = table['&'] = table['<'] = table['>'] = ByteClass::reference;
    for (int c = 0x80; c < 0x100; ++c) table[c] = ByteClass::multibyte;
    return table;
}();

// The length of the well-formed sequence at `pos` that a document may hold as it is, or 0 when
// it must change (a noncharacter that XML forbids, or ill-formed bytes).
std::size_t keptSequenceLength(std::string_view text, std::size_t pos) {
    std::size_t end = pos;
    const char32_t scalar = decodeUTF8(text, end);
    if (scalar == 0xFFFE || scalar == 0xFFFF) return 0;
    if (scalar == kReplacementCharacter && text.substr(pos, end - pos) != "\xEF\xBF\xBD") return 0;
    return end - pos;
}

// The position of the first byte that must change, or the text's size.
std::size_t firstChange(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        switch (byteClasses[static_cast<unsigned char>(text[i])]) {
            case ByteClass::keep: ++i; break;
            case ByteClass::multibyte: {
                const std::size_t length = keptSequenceLength(text, i);
                if (length == 0) return i;
                i += length;
                break;
            }
            default: return i;
        }
    }
    return i;
}

void appendChanged(std::string& out, std::string_view text, std::size_t from) {
    std::size_t i = from;
    while (i < text.size()) {
        const char c = text[i];
        switch (byteClasses[static_cast<unsigned char>(c)]) {
            case ByteClass::keep: out += c; ++i; break;
            case ByteClass::drop: ++i; break;
            case ByteClass::reference:
                out += c == '"' ? "&quot;" : c == '&' ? "&amp;" : c == '<' ? "&lt;" : "&gt;";
                ++i;
                break;
            case ByteClass::multibyte: {
                const std::size_t length = keptSequenceLength(text, i);
                if (length > 0) {
                    out.append(text, i, length);
                    i += length;
                    break;
                }
                std::size_t end = i;
                const char32_t scalar = decodeUTF8(text, end);
                if (scalar != 0xFFFE && scalar != 0xFFFF) appendUTF8(out, kReplacementCharacter);
                i = end;
                break;
            }
        }
    }
}

// A generous guess at the document's length, so that the text is not moved while it grows: a
// few hundred bytes per element, more for point lists, pictures and texts that are copied in.
std::size_t expectedLength(const std::vector<Element>& elements) {
    std::size_t total = 256;
    for (const Element& e : elements) {
        total += 640;
        if (const auto* polygon = e.payload.polygon()) total += polygon->points.size() * 40;
        else if (const auto* freehand = e.payload.freehand()) total += freehand->points.size() * 56;
        else if (const auto* image = e.payload.image()) total += image->src.size();
        else if (const auto* text = e.payload.text()) total += text->content.size() * 2;
        else if (const auto* stencil = e.payload.stencil()) {
            if (const auto* embedded = std::get_if<StencilSource::Embedded>(&stencil->source.kind))
                total += embedded->src.size();
            else total += 1024;  // a generic icon's paths, or a resource icon's picture
        }
        if (const LabelFields* labels = e.payload.labels(); labels && labels->label) total += labels->label->size() * 2;
    }
    return total;
}

// The label layout is made once and serves both the bounds and the label fragments.
struct SVGScene {
    ElementIndex index;
    ConnectorLabelLayout labels;
    explicit SVGScene(const std::vector<Element>& elements) : index(elements), labels(ConnectorLabelLayout::once(index)) {}
};

}  // namespace

std::string escapeXml(std::string text) {
    const std::size_t first = firstChange(text);
    if (first == text.size()) return text;
    std::string out;
    out.reserve(text.size() + 16);
    out.append(text, 0, first);
    appendChanged(out, text, first);
    return out;
}

void appendEscapedXml(std::string& out, std::string_view text) {
    const std::size_t first = firstChange(text);
    out.append(text.substr(0, first));
    if (first < text.size()) appendChanged(out, text, first);
}

std::string roundedNumberText(double value) {
    std::string out;
    detail::appendRounded(out, value);
    return out;
}

std::string plainNumberText(double value) { return jsNumberString(value); }

std::string SVGMaskIds::claim(std::string identifier) {
    auto [it, fresh] = taken_.try_emplace(identifier, 2);
    if (fresh) return identifier;
    // Suffixed forms can themselves be taken (by an id that ends in "-2", say): try on until one
    // is free, and remember where to go on next time so that many collisions stay linear.
    for (std::size_t n = it->second;; ++n) {
        std::string candidate = identifier + "-" + std::to_string(n);
        if (taken_.try_emplace(candidate, 2).second) {
            taken_[identifier] = n + 1;
            return candidate;
        }
    }
}

namespace {

void appendElementFragment(std::string& out, const Element& element, const ElementIndex& index, double dx,
                           double dy, SVGMaskIds& maskIds) {
    using namespace detail;
    if (const auto ends = connectorEnds(element); ends && ends->isElbow()) {
        appendConnectorFragment(out, element, index, dx, dy, maskIds);
        return;
    }
    switch (element.type()) {
        case ElementType::rectangle:
        case ElementType::ellipse:
        case ElementType::rhombus: appendBoxFragment(out, element, dx, dy, rotationAttribute(element, dx, dy)); break;
        case ElementType::shape: appendShapeFragment(out, element, dx, dy, rotationAttribute(element, dx, dy)); break;
        case ElementType::polygon: appendPolygonFragment(out, element, dx, dy); break;
        case ElementType::image: appendImageFragment(out, element, dx, dy, rotationAttribute(element, dx, dy)); break;
        case ElementType::line:
        case ElementType::arrow: appendConnectorFragment(out, element, index, dx, dy, maskIds); break;
        case ElementType::curve: appendCurveFragment(out, element, dx, dy); break;
        case ElementType::stencil:
            appendStencilFragment(out, element, dx, dy, rotationAttribute(element, dx, dy));
            break;
        case ElementType::text: appendTextFragment(out, element, dx, dy, rotationAttribute(element, dx, dy)); break;
        case ElementType::freehand:
            appendFreehandFragment(out, element, dx, dy, rotationAttribute(element, dx, dy));
            break;
    }
}

}  // namespace

std::string elementToSVG(const Element& element, const ElementIndex& index, double dx, double dy,
                         SVGMaskIds& maskIds) {
    std::string out;
    appendElementFragment(out, element, index, dx, dy, maskIds);
    return out;
}

std::string connectorLabelToSVG(const Element& element, const LabelBox& box, double dx, double dy,
                                std::string_view escapedCanvasColor) {
    std::string out;
    detail::appendConnectorLabel(out, element, box, dx, dy, escapedCanvasColor);
    return out;
}

std::optional<std::string> sceneToSVG(const std::vector<Element>& elements, const SceneToSVGOptions& options) {
    if (elements.empty()) return std::nullopt;
    const SVGScene scene(elements);
    const ExportBounds bounds = exportBounds(scene.index, scene.labels.boxes());
    const double width = bounds.maxX - bounds.minX + 48;
    const double height = bounds.maxY - bounds.minY + 48;
    const double dx = 24 - bounds.minX;
    const double dy = 24 - bounds.minY;
    std::string canvas;
    appendEscapedXml(canvas, options.canvasColor);

    std::string out;
    out.reserve(expectedLength(elements));
    std::string size;
    size += "width=\"";
    detail::appendRounded(size, width);
    size += "\" height=\"";
    detail::appendRounded(size, height);
    size += '"';
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" ";
    out += size;
    out += " viewBox=\"0 0 ";
    detail::appendRounded(out, width);
    out += ' ';
    detail::appendRounded(out, height);
    out += "\">";
    if (options.withBackground) {
        out += "\n<rect ";
        out += size;
        out += " fill=\"";
        out += canvas;
        out += "\"/>";
    }
    SVGMaskIds maskIds;
    for (const Element& element : scene.index.elements()) {
        out += '\n';
        appendElementFragment(out, element, scene.index, dx, dy, maskIds);
    }
    const ConnectorLabelBoxes& boxes = scene.labels.boxes();
    if (!boxes.empty()) {
        for (const Element& element : scene.index.elements()) {
            const ElementType type = element.type();
            if (type != ElementType::line && type != ElementType::arrow) continue;
            const std::optional<LabelBox> box = boxes[element.id];
            if (!box) continue;
            out += '\n';
            detail::appendConnectorLabel(out, element, *box, dx, dy, canvas);
        }
    }
    out += "\n</svg>";
    return out;
}

namespace detail {

DocumentBox documentBox(const Element& element, double width, double height, double dx, double dy) {
    return {(width < 0 ? element.x + width : element.x) + dx, (height < 0 ? element.y + height : element.y) + dy,
            std::fabs(width), std::fabs(height)};
}

namespace {

// ` name="`: what every attribute starts with.
void openAttribute(std::string& out, std::string_view name) {
    out += ' ';
    out += name;
    out += "=\"";
}

}  // namespace

SVGTag& SVGTag::rounded(std::string_view name, double value) {
    openAttribute(out, name);
    appendRounded(out, value);
    out += '"';
    return *this;
}

SVGTag& SVGTag::plain(std::string_view name, double value) {
    openAttribute(out, name);
    appendPlain(out, value);
    out += '"';
    return *this;
}

SVGTag& SVGTag::text(std::string_view name, std::string_view value) {
    openAttribute(out, name);
    appendEscaped(out, value);
    out += '"';
    return *this;
}

void appendSpacedDash(std::string& out, const Element& element) {
    const double sw = element.strokeWidth;
    if (element.strokeStyle == StrokeStyle::dashed) {
        out += " stroke-dasharray=\"";
        appendPlain(out, 4 * sw + 4);
        out += ' ';
        appendPlain(out, 2 * sw + 2);
        out += '"';
    } else if (element.strokeStyle == StrokeStyle::dotted) {
        out += " stroke-dasharray=\"";
        appendPlain(out, sw);
        out += ' ';
        appendPlain(out, 3 * sw);
        out += '"';
    }
}

void appendOutlineTail(std::string& out, const Element& element) {
    SVGTag{out}
        .text("stroke", element.strokeColor.rawValue)
        .plain("stroke-width", element.strokeWidth)
        .plain("opacity", element.opacity);
    out += ' ';
    const double sw = element.strokeWidth;
    if (element.strokeStyle == StrokeStyle::dashed || element.strokeStyle == StrokeStyle::dotted) {
        out += "stroke-dasharray=\"";
        appendPlain(out, element.strokeStyle == StrokeStyle::dashed ? 4 * sw : sw);
        out += ',';
        appendPlain(out, 2 * sw);
        out += '"';
    }
    out += "/>";
}

void appendShapeStyle(std::string& out, const Element& element, bool noFill) {
    out += "fill=\"";
    if (noFill || element.fillColor.rawValue == "transparent") out += "none";
    else appendEscaped(out, element.fillColor.rawValue);
    out += '"';
    SVGTag{out}.text("stroke", element.strokeColor.rawValue).plain("stroke-width", element.strokeWidth);
    out += " stroke-linecap=\"round\" stroke-linejoin=\"round\"";
    SVGTag{out}.plain("opacity", element.opacity);
    appendSpacedDash(out, element);
}

std::string rotationAttribute(const Element& element, double dx, double dy) {
    const double rotation = element.rotation.value_or(0);
    if (rotation == 0 || std::isnan(rotation)) return {};
    const NormalizedRect b = getElementBounds(element, nullptr);
    std::string out = " transform=\"rotate(";
    appendRounded(out, rotation * 180 / std::numbers::pi);
    out += ',';
    appendRounded(out, b.x + b.w / 2 + dx);
    out += ',';
    appendRounded(out, b.y + b.h / 2 + dy);
    out += ")\"";
    return out;
}

}  // namespace detail

}  // namespace dv

std::size_t std::hash<dv::SceneToSVGOptions>::operator()(const dv::SceneToSVGOptions& options) const noexcept {
    dv::Hasher h;
    h.write(options.canvasColor);
    h.writeByte(options.withBackground ? 1 : 0);
    return static_cast<std::size_t>(h.finish());
}
