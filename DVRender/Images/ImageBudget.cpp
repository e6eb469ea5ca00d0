#include "DVRender/Images/ImageBudget.hpp"

namespace dv {

ImageLookup BudgetedImages::image(const std::string& src) {
    ImageLookup lookup = images_.image(src);
    if (lookup.kind != ImageLookup::Kind::loaded || !lookup.image ||
        lookup.image->content().kind != RenderImage::Content::Kind::raster) {
        return lookup;
    }
    // Raster sizes come from an image header, each side at most 1,000,000.
    const auto pixels = static_cast<std::int64_t>(lookup.image->naturalWidth()) *
                        static_cast<std::int64_t>(lookup.image->naturalHeight());
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
