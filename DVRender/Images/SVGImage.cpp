#include "DVRender/Images/SVGImage.hpp"

#include "DVModel/JSString.hpp"
#include "DVRender/Images/DataURL.hpp"
#include "DVRender/Images/SVGBounds.hpp"
#include "Platform/Graphics/MemoryHeadroom.hpp"
#include "Platform/ImageIO/ImageSource.hpp"
#include "Platform/XML/XMLDocument.hpp"

#include <mutex>
#include <new>
#include <string_view>

namespace dv {

namespace {

// The SVG renderer is not safe for concurrent use: every load and every rasterisation in the
// process holds this lock.
std::mutex svgLock;

constexpr int maxNestedSVG = 4;

std::string asciiLowercased(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

// The renderer is handed no base address, so a reference to any other document never resolves:
// only data: links reach it, and each of those must pass the decoders' limits first.
enum class LinkCheck {
    fine,    // within the limits
    strip,   // the renderer could not show it either: leave the reference out
    refuse,  // beyond the limits: the picture fails
};

// What the documents of one SVG image (the outer one and those it links) add up to.
struct Tally {
    std::int64_t wholePixels = 0;
    SVGCost cost;
    std::size_t elements = 0;  // of the outer document
};

constexpr std::size_t heldPerElement = 1800;
constexpr std::size_t heldPerByte = 3;

bool linksWithinLimits(std::span<const std::uint8_t> svg, int depth, Tally& tally, std::string* cleaned);

bool isCSSSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// The SVG renderer decodes every raster image whole, so the pixels of all the images one SVG
// image links (nested SVG images included) count against the limit of whole-image decoders.
LinkCheck checkDataLink(const std::string& value, int depth, Tally& tally) {
    auto url = parseDataURL(value);
    if (!url) return LinkCheck::strip;
    if (url->mediaType == "image/svg+xml") {
        if (depth >= maxNestedSVG || !linksWithinLimits(url->body, depth + 1, tally, nullptr)) {
            return LinkCheck::refuse;
        }
        return LinkCheck::fine;
    }
    // Bytes of no format we know are left out: the renderer's own decoders know more formats,
    // whose headers nobody here has checked.
    if (!gfx::sniffImageFormat(url->body)) return LinkCheck::strip;
    const auto pixels = gfx::rasterHeaderPixelCount(url->body);
    if (!pixels) return LinkCheck::refuse;
    tally.wholePixels += *pixels;
    return tally.wholePixels > gfx::DecodeLimits::maxWholeDecodePixels ? LinkCheck::refuse : LinkCheck::fine;
}

// The address at `from` in a style text, after white space, an optional "url(" (when
// `allowFunction`) and an optional quote.
std::string cssAddressAt(const std::string& css, std::size_t from, bool allowFunction) {
    std::size_t i = from;
    while (i < css.size() && isCSSSpace(css[i])) ++i;
    if (allowFunction && hasPrefixIgnoringASCIICase(std::string_view(css).substr(i), "url(")) {
        i += 4;
        while (i < css.size() && isCSSSpace(css[i])) ++i;
    }
    char quote = 0;
    if (i < css.size() && (css[i] == '"' || css[i] == '\'')) quote = css[i++];
    std::size_t end = i;
    while (end < css.size() && (quote ? css[end] != quote : css[end] != ')' && !isCSSSpace(css[end]) && css[end] != ';')) {
        ++end;
    }
    return css.substr(i, end - i);
}

// Style text reaches documents through url() and @import. A data: link in url() must pass the
// same limits as an image link (it cannot be left out of the text, so one the renderer could not
// show fails the picture); an imported data: style sheet is refused, since its own links could
// not be checked. Other addresses never resolve and pass.
bool cssWithinLimits(const std::string& css, int depth, Tally& tally) {
    const std::string lower = asciiLowercased(css);
    for (auto at = lower.find("@import"); at != std::string::npos; at = lower.find("@import", at + 7)) {
        if (hasPrefixIgnoringASCIICase(cssAddressAt(css, at + 7, true), "data:")) return false;
    }
    for (auto at = lower.find("url("); at != std::string::npos; at = lower.find("url(", at + 4)) {
        const std::string address = cssAddressAt(css, at + 4, false);
        if (!hasPrefixIgnoringASCIICase(address, "data:")) continue;
        if (checkDataLink(address, depth, tally) != LinkCheck::fine) return false;
    }
    return true;
}

// With `cleaned`, links the renderer could not show are left out of the document, which is then
// written to `cleaned` (left empty when nothing was left out); without it, such a link fails the
// check, as in nested documents.
bool linksWithinLimits(std::span<const std::uint8_t> svg, int depth, Tally& tally, std::string* cleaned) {
    auto doc = xml::Document::parse(std::string_view(reinterpret_cast<const char*>(svg.data()), svg.size()));
    if (!doc) return false;
    xml::Element root = doc->root();
    // A nested document cannot be rewritten in place: one that would need lowering fails.
    auto measure = measureSvg(root);
    if (!measure || (measure->rewritten && !cleaned)) return false;
    tally.cost = combined(tally.cost, measure->cost);
    if (!withinSvgLimits(tally.cost)) return false;
    bool stripped = measure->rewritten;
    std::vector<xml::Element> elements{root};
    for (const auto& e : root.descendants()) elements.push_back(e);
    if (depth == 0) tally.elements = elements.size();
    for (auto& element : elements) {
        if (asciiLowercased(element.localName()) == "style" && !cssWithinLimits(element.text(), depth, tally)) {
            return false;
        }
        for (const auto& attribute : element.attributes()) {
            if (!cssWithinLimits(attribute.value, depth, tally)) return false;
            if (asciiLowercased(attribute.localName) != "href") continue;
            const std::string value = jsTrim(attribute.value);
            if (!hasPrefixIgnoringASCIICase(value, "data:")) continue;
            switch (checkDataLink(value, depth, tally)) {
            case LinkCheck::fine: break;
            case LinkCheck::refuse: return false;
            case LinkCheck::strip:
                if (!cleaned) return false;
                element.removeAttribute(attribute);
                stripped = true;
                break;
            }
        }
    }
    if (stripped) *cleaned = doc->xmlString(root);
    return withinSvgLimits(tally.cost);
}

}  // namespace

bool svgRasterLinksWithinLimits(std::span<const std::uint8_t> svg) {
    Tally tally;
    std::string cleaned;
    return linksWithinLimits(svg, 0, tally, &cleaned);
}

std::shared_ptr<SVGImage> SVGImage::load(std::span<const std::uint8_t> data) {
    Tally tally;
    std::string cleaned;
    if (!linksWithinLimits(data, 0, tally, &cleaned)) return nullptr;
    if (!cleaned.empty()) {
        data = std::span(reinterpret_cast<const std::uint8_t*>(cleaned.data()), cleaned.size());
    }
    const std::size_t held = tally.elements * heldPerElement + data.size() * heldPerByte;
    // The renderer ends the process when an allocation of its parse fails: under a memory limit
    // what the parsed document holds must be there first, or the picture fails for memory.
    const gfx::MemoryPromise parse(held);
    if (!parse.kept()) throw std::bad_alloc();
    std::lock_guard guard(svgLock);
    auto document = gfx::SVGDocument::load(data);
    if (!document) return nullptr;
    return std::shared_ptr<SVGImage>(new SVGImage(std::move(*document), held, tally.wholePixels, tally.cost));
}

gfx::ImageRef SVGImage::rasterize(std::int64_t pixelWidth, std::int64_t pixelHeight) const {
    if (pixelWidth < 1 || pixelHeight < 1 || pixelWidth > gfx::Bitmap::maxSide || pixelHeight > gfx::Bitmap::maxSide) {
        return nullptr;
    }
    // The renderer decodes each raster image the document links whole, into the decoder's
    // buffer and a surface made from it, and each offscreen surface is as large as the picture;
    // when such an allocation fails it leaves the image or the effect out and reports success.
    // Under a memory limit that memory must be there first: a picture drawn without it is no
    // picture of the document, and fails for memory rather than as a broken image.
    const auto pictureBytes = static_cast<std::size_t>(pixelWidth) * static_cast<std::size_t>(pixelHeight) * 4;
    const gfx::MemoryPromise drawing(pictureBytes * (1 + static_cast<std::size_t>(cost_.surfaces)) +
                                     static_cast<std::size_t>(linkedPixels_) * 8);
    if (!drawing.kept()) throw std::bad_alloc();
    auto bitmap = gfx::Bitmap::create(static_cast<int>(pixelWidth), static_cast<int>(pixelHeight));
    if (!bitmap) throw std::bad_alloc();  // the size is within a bitmap's bounds
    {
        std::lock_guard guard(svgLock);
        if (!document_.render(*bitmap)) return nullptr;
    }
    return std::move(*bitmap).takeImage();
}

}  // namespace dv
