#include "DVRender/Images/ImageBudget.hpp"
#include "DVRender/Images/SVGImage.hpp"
#include "Platform/ImageIO/ImageSource.hpp"

namespace dv {

ImageLookup BudgetedImages::image(const std::string& src) {
    ImageLookup lookup = images_.image(src);
    if (lookup.kind != ImageLookup::Kind::loaded || !lookup.image) return lookup;
    const std::uint64_t identity = lookup.image->identity();
    const RenderImage::Content& content = lookup.image->content();
    std::lock_guard guard(lock_);
    if (content.kind != RenderImage::Content::Kind::none && !admitted_.count(identity)) {
        const bool raster = content.kind == RenderImage::Content::Kind::raster;
        const std::int64_t pixels = raster ? content.raster->decodedPixels() : 0;
        const SVGCost svg = !raster && content.vector ? content.vector->cost() : SVGCost{};
        if (refused_.count(identity) || pixels > left_ || svg.nodes > svgLeft_.nodes || svg.work > svgLeft_.work ||
            svg.textBytes > svgLeft_.textBytes) {
            refused_.insert(identity);
            return ImageLookup::failed();
        }
        left_ -= pixels;
        svgLeft_.nodes -= svg.nodes;
        svgLeft_.work -= svg.work;
        svgLeft_.textBytes -= svg.textBytes;
        admitted_.insert(identity);
    }
    if (seen_.insert(identity).second) {
        seenBytes_ += ImageStore::heldBytes(lookup, src.size());
        seenParsedBytes_ += ImageStore::parsedBytes(lookup);
    }
    return lookup;
}

SVGCost BudgetedImages::svgLeft() const {
    std::lock_guard guard(lock_);
    return svgLeft_;
}

bool BudgetedImages::keepsImagesSeen() const {
    std::lock_guard guard(lock_);
    return seenBytes_ <= keptBytes_ && seenParsedBytes_ <= keptParsedBytes_;
}

std::int64_t BudgetedImages::left() const {
    std::lock_guard guard(lock_);
    return left_;
}

}  // namespace dv
