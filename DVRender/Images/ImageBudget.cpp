#include "DVRender/Images/ImageBudget.hpp"
#include "Platform/ImageIO/ImageSource.hpp"

namespace dv {

ImageLookup BudgetedImages::image(const std::string& src) {
    ImageLookup lookup = images_.image(src);
    if (lookup.kind != ImageLookup::Kind::loaded || !lookup.image ||
        lookup.image->content().kind != RenderImage::Content::Kind::raster) {
        return lookup;
    }
    const std::int64_t pixels = lookup.image->content().raster->decodedPixels();
    const std::uint64_t identity = lookup.image->identity();
    std::lock_guard guard(lock_);
    if (admitted_.count(identity)) return lookup;
    if (refused_.count(identity) || pixels > left_) {
        refused_.insert(identity);
        return ImageLookup::failed();
    }
    left_ -= pixels;
    admitted_.insert(identity);
    return lookup;
}

std::int64_t BudgetedImages::left() const {
    std::lock_guard guard(lock_);
    return left_;
}

}  // namespace dv
