#include "DVRender/Images/SVGImage.hpp"

#include "DVModel/JSString.hpp"
#include "DVRender/Images/DataURL.hpp"
#include "Platform/ImageIO/ImageSource.hpp"
#include "Platform/XML/XMLDocument.hpp"

#include <mutex>
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

// CSS can reach documents too: url() references and imported style sheets. Only references
// inside the document ("#id") are let through to the renderer.
bool cssStaysInside(const std::string& css) {
    const std::string lower = asciiLowercased(css);
    if (lower.find("@import") != std::string::npos) return false;
    for (auto at = lower.find("url("); at != std::string::npos; at = lower.find("url(", at + 4)) {
        std::size_t i = at + 4;
        while (i < lower.size() && (lower[i] == ' ' || lower[i] == '\t' || lower[i] == '\n' || lower[i] == '\r' ||
                                    lower[i] == '\f' || lower[i] == '"' || lower[i] == '\'')) {
            ++i;
        }
        if (i >= lower.size() || lower[i] != '#') return false;
    }
    return true;
}

// The SVG renderer decodes every raster image whole, so the pixels of all the images one SVG
// image links (nested SVG images included) count against the limit of whole-image decoders.
bool linksWithinLimits(std::span<const std::uint8_t> svg, int depth, std::int64_t& wholePixels) {
    auto doc = xml::Document::parse(std::string_view(reinterpret_cast<const char*>(svg.data()), svg.size()));
    if (!doc) return false;
    xml::Element root = doc->root();
    std::vector<xml::Element> elements{root};
    for (const auto& e : root.descendants()) elements.push_back(e);
    for (const auto& element : elements) {
        if (asciiLowercased(element.localName()) == "style" && !cssStaysInside(element.text())) return false;
        for (const auto& attribute : element.attributes()) {
            if (!cssStaysInside(attribute.value)) return false;
            if (asciiLowercased(attribute.localName) != "href") continue;
            const std::string value = jsTrim(attribute.value);
            if (!hasPrefixIgnoringASCIICase(value, "data:")) continue;
            // A data: link we cannot read ourselves is not handed on either.
            auto url = parseDataURL(value);
            if (!url) return false;
            if (url->mediaType == "image/svg+xml") {
                if (depth >= maxNestedSVG || !linksWithinLimits(url->body, depth + 1, wholePixels)) return false;
            } else {
                const auto pixels = gfx::rasterHeaderPixelCount(url->body);
                if (!pixels) return false;
                wholePixels += *pixels;
                if (wholePixels > gfx::DecodeLimits::maxWholeDecodePixels) return false;
            }
        }
    }
    return true;
}

}  // namespace

bool svgRasterLinksWithinLimits(std::span<const std::uint8_t> svg) {
    std::int64_t wholePixels = 0;
    return linksWithinLimits(svg, 0, wholePixels);
}

std::shared_ptr<SVGImage> SVGImage::load(std::span<const std::uint8_t> data) {
    if (!svgRasterLinksWithinLimits(data)) return nullptr;
    std::lock_guard guard(svgLock);
    auto document = gfx::SVGDocument::load(data);
    if (!document) return nullptr;
    return std::shared_ptr<SVGImage>(new SVGImage(std::move(*document)));
}

gfx::ImageRef SVGImage::rasterize(std::int64_t pixelWidth, std::int64_t pixelHeight) const {
    if (pixelWidth < 1 || pixelHeight < 1 || pixelWidth > gfx::Bitmap::maxSide || pixelHeight > gfx::Bitmap::maxSide) {
        return nullptr;
    }
    auto bitmap = gfx::Bitmap::create(static_cast<int>(pixelWidth), static_cast<int>(pixelHeight));
    if (!bitmap) return nullptr;
    {
        std::lock_guard guard(svgLock);
        if (!document_.render(*bitmap)) return nullptr;
    }
    return std::move(*bitmap).takeImage();
}

}  // namespace dv
