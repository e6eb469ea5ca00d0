#include "DVRender/RenderImage.hpp"
#include "DVRender/DecodedImageCache.hpp"

#include <atomic>

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
    return std::shared_ptr<RenderImage>(new RenderImage(std::move(src), naturalWidth, naturalHeight, Content{}));
}

gfx::ImageRef RenderImage::cgImage(std::int64_t, std::int64_t, std::int64_t) const {
    // Decoding arrives with the image sources.
    return nullptr;
}

ImageLookup RenderImage::make(const std::string&) { return ImageLookup::failed(); }

ImageStateKey ImageLookup::stateKey() const {
    switch (kind) {
        case Kind::loaded: return {ImageStateKey::Kind::loaded, image ? image->identity() : 0};
        case Kind::loading: return {ImageStateKey::Kind::loading, 0};
        case Kind::failed: break;
    }
    return {ImageStateKey::Kind::failed, 0};
}

}  // namespace dv
