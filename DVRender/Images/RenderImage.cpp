#include "DVRender/Images/RenderImage.hpp"
#include "DVRender/Images/BundledIconPacks.hpp"
#include "DVRender/Images/DataURL.hpp"
#include "DVRender/Images/DecodedImageCache.hpp"
#include "DVRender/Images/SVGImage.hpp"
#include "DVRender/Images/SVGSanitizer.hpp"
#include "DVModel/UTF8.hpp"
#include "Platform/ImageIO/ImageSource.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <utility>

namespace dv {

namespace {
std::atomic<std::uint64_t> nextIdentity{1};
}

RenderImage::RenderImage(std::string src, double naturalWidth, double naturalHeight, Content content)
    : src_(std::move(src)),
      naturalWidth_(naturalWidth),
      naturalHeight_(naturalHeight),
      identity_(nextIdentity.fetch_add(1, std::memory_order_relaxed)),
      content_(std::move(content)) {}

RenderImage::~RenderImage() { DecodedImageCache::shared().removeAll(identity_); }

std::shared_ptr<RenderImage> RenderImage::sizeOnly(std::string src, double naturalWidth, double naturalHeight) {
    return withContent(std::move(src), naturalWidth, naturalHeight, Content{});
}

gfx::ImageRef decodeThumbnail(const gfx::ImageSource& source, std::int64_t maxPixelSize) {
    return source.createThumbnail(maxPixelSize);
}

namespace {
thread_local bool decodeFailed = false;
}

bool RenderImage::takeDecodeFailure() { return std::exchange(decodeFailed, false); }

gfx::ImageRef RenderImage::cgImage(std::int64_t pixelWidth, std::int64_t pixelHeight, std::int64_t maxPixelSide) const {
    const std::int64_t cap = maxPixelSide < 1 ? 1 : maxPixelSide;
    auto& cache = DecodedImageCache::shared();
    switch (content_.kind) {
        case Content::Kind::none:
            return nullptr;
        case Content::Kind::vector: {
            const std::int64_t w = std::min(std::max<std::int64_t>(pixelWidth, 1), cap);
            const std::int64_t h = std::min(std::max<std::int64_t>(pixelHeight, 1), cap);
            if (auto hit = cache.image(identity_, w, h)) return hit;
            std::lock_guard decoding(decoding_);
            if (auto hit = cache.image(identity_, w, h)) return hit;
            auto image = content_.vector->rasterize(w, h);
            if (image) cache.insert(image, identity_, w, h);
            return image;
        }
        case Content::Kind::raster: {
            // Raster sizes come from an image header; the range check only guards the cast.
            const double naturalSide = std::max(naturalWidth_, naturalHeight_);
            if (!(naturalSide >= 1)) return nullptr;
            const auto natural = static_cast<std::int64_t>(std::min(naturalSide, 1e15));
            const std::int64_t requested = std::min(std::max(pixelWidth, pixelHeight), cap);
            std::int64_t bucket = 64;
            while (bucket < requested) bucket *= 2;
            const std::int64_t limit = std::min(bucket, natural);
            if (limit < 1) return nullptr;
            const std::int64_t side = std::min(cap, limit);
            if (auto hit = cache.image(identity_, side, 0)) return hit;
            std::lock_guard decoding(decoding_);
            if (auto hit = cache.image(identity_, side, 0)) return hit;
            auto image = decodeThumbnail(*content_.raster, side);
            if (image) cache.insert(image, identity_, side, 0);
            else decodeFailed = true;
            return image;
        }
    }
    return nullptr;
}

namespace {

std::atomic<std::size_t> makeCalls{0};

ImageLookup loadedVector(const std::string& src, std::span<const std::uint8_t> svg) {
    auto image = SVGImage::load(svg);
    if (!image) return ImageLookup::failed();
    RenderImage::Content content;
    content.kind = RenderImage::Content::Kind::vector;
    const double w = image->width(), h = image->height();
    content.vector = std::move(image);
    return ImageLookup::loaded(RenderImage::withContent(src, w, h, std::move(content)));
}

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::size_t RenderImage::makeCount() { return makeCalls.load(std::memory_order_relaxed); }

std::shared_ptr<RenderImage> RenderImage::withContent(std::string src, double naturalWidth, double naturalHeight,
                                                      Content content) {
    return std::shared_ptr<RenderImage>(new RenderImage(std::move(src), naturalWidth, naturalHeight, std::move(content)));
}

ImageLookup RenderImage::make(const std::string& src) {
    makeCalls.fetch_add(1, std::memory_order_relaxed);
    // Resource icons are the team's own SVG and load without cleaning.
    const auto& icons = BundledIconPacks::iconsBySrc();
    if (auto icon = icons.find(JSStringKey(src)); icon != icons.end()) return loadedVector(src, bytesOf(icon->second.svg));

    auto url = parseDataURL(src);
    if (!url) return ImageLookup::failed();
    if (url->mediaType == "image/svg+xml") {
        const std::string_view text(reinterpret_cast<const char*>(url->body.data()), url->body.size());
        if (!isValidUTF8(text)) return ImageLookup::failed();
        auto clean = sanitizeSvg(text);
        if (!clean) return ImageLookup::failed();
        return loadedVector(src, bytesOf(*clean));
    }

    auto source = gfx::ImageSource::create(std::move(url->body));
    if (!source || source->count() == 0) return ImageLookup::failed();
    const auto& properties = source->properties();
    if (!properties || properties->pixelWidth <= 0 || properties->pixelHeight <= 0) return ImageLookup::failed();
    if (!source->decodes()) return ImageLookup::failed();
    double w = static_cast<double>(properties->pixelWidth);
    double h = static_cast<double>(properties->pixelHeight);
    if (properties->orientation >= 5 && properties->orientation <= 8) std::swap(w, h);
    Content content;
    content.kind = Content::Kind::raster;
    content.raster = std::move(source);
    return ImageLookup::loaded(withContent(src, w, h, std::move(content)));
}

ImageStateKey ImageLookup::stateKey() const {
    switch (kind) {
        case Kind::loaded: return {ImageStateKey::Kind::loaded, image ? image->identity() : 0};
        case Kind::loading: return {ImageStateKey::Kind::loading, 0};
        case Kind::failed: break;
    }
    return {ImageStateKey::Kind::failed, 0};
}

}  // namespace dv
