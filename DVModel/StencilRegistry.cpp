#include "DVModel/StencilRegistry.hpp"

#include "DVModel/Hashing.hpp"
#include "DVModel/JSNumber.hpp"

namespace dv {

namespace {

bool isLowerOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }
bool isAsciiLetterOrDigit(char c) { return isLowerOrDigit(c) || (c >= 'A' && c <= 'Z'); }
bool isNameUnit(char c) { return isAsciiLetterOrDigit(c) || c == '_' || c == '-'; }
bool isBase64Unit(char c) { return isAsciiLetterOrDigit(c) || c == '+' || c == '/'; }

constexpr std::string_view kEmbeddedSvgPrefix = "data:image/svg+xml;base64,";

}  // namespace

// Every unit that passes these tests is ASCII, so byte positions and lengths equal UTF-16 ones;
// any non-ASCII byte fails a class test on its own.
bool StencilRegistry::isValidStencilRef(std::string_view ref) {
    const std::size_t slash = ref.find('/');
    if (slash == std::string_view::npos || slash == 0) return false;
    for (std::size_t i = 0; i < slash; ++i) {
        if (!isLowerOrDigit(ref[i])) return false;
    }
    const std::string_view name = ref.substr(slash + 1);
    if (name.empty() || name.size() > 64) return false;
    for (char c : name) {
        if (!isNameUnit(c)) return false;
    }
    return true;
}

bool StencilRegistry::isValidEmbeddedSvg(std::string_view src) {
    // A text of more bytes than the limit is either longer than the limit in UTF-16 units or
    // holds a non-ASCII byte, which the body test refuses anyway.
    if (src.size() > maxEmbeddedSVGChars) return false;
    if (!src.starts_with(kEmbeddedSvgPrefix)) return false;
    std::string_view body = src.substr(kEmbeddedSvgPrefix.size());
    for (int padding = 0; padding < 2 && !body.empty() && body.back() == '='; ++padding) {
        body.remove_suffix(1);
    }
    if (body.empty()) return false;
    for (char c : body) {
        if (!isBase64Unit(c)) return false;
    }
    return true;
}

double StencilRegistry::getStencilLabelWidth(double size) { return jsMax(180, size + size); }

bool StencilRegistry::isRestylableStencil(const Element::Stencil& stencil) {
    const auto* builtin = std::get_if<StencilSource::Builtin>(&stencil.source.kind);
    return builtin != nullptr && builtin->ref.starts_with("generic/");
}

bool StencilRegistry::isRotatableStencil(const Element::Stencil& stencil) {
    return stencil.source.isBuiltin();
}

Element StencilRegistry::createStencil(std::string id, StencilSource source, double cx, double cy,
                                       const StencilStyle& style, std::string label, double size) {
    Element::Stencil stencil;
    stencil.width = size;
    stencil.height = size;
    stencil.source = std::move(source);
    if (!label.empty()) stencil.label = std::move(label);

    Element element;
    element.id = std::move(id);
    element.x = cx - 0.5 * size;
    element.y = cy - 0.5 * size;
    element.strokeColor = style.strokeColor;
    element.fillColor = style.fillColor;
    element.strokeWidth = style.strokeWidth;
    element.opacity = style.opacity;
    element.roughness = style.roughness;
    element.payload = Element::Payload(std::move(stencil));
    return element;
}

const BundledPack& BundledPack::kubernetes() {
    static const BundledPack pack{"k8s", "Kubernetes", "Kubernetes Icons Set, Apache-2.0"};
    return pack;
}

const std::vector<BundledPack>& BundledPack::all() {
    static const std::vector<BundledPack> packs{kubernetes()};
    return packs;
}

}  // namespace dv

std::size_t std::hash<dv::StencilStyle>::operator()(const dv::StencilStyle& style) const noexcept {
    dv::Hasher h;
    h.write(style.strokeColor.rawValue);
    h.writeByte(0xFF);  // keeps the two texts apart
    h.write(style.fillColor.rawValue);
    h.writeByte(0xFF);
    for (double v : {style.strokeWidth, style.opacity, style.roughness}) h.writeDouble(v);
    return h.finish();
}

std::size_t std::hash<dv::BundledPack>::operator()(const dv::BundledPack& pack) const noexcept {
    dv::Hasher h;
    for (const std::string* text : {&pack.id, &pack.title, &pack.attribution}) {
        h.write(*text);
        h.writeByte(0xFF);  // keeps ("ab", "c") apart from ("a", "bc")
    }
    return h.finish();
}
