#include "DVRender/Images/ImageBudget.hpp"
#include "Platform/ImageIO/ImageSource.hpp"

namespace dv {

ImageLookup BudgetedImages::image(const std::string& src) {
    ImageLookup lookup = images_.image(src);
    if (lookup.kind != ImageLookup::Kind::loaded || !lookup.image) return lookup;
    const std::uint64_t identity = lookup.image->identity();
    std::lock_guard guard(lock_);
    if (lookup.image->content().kind == RenderImage::Content::Kind::raster && !admitted_.count(identity)) {
        const std::int64_t pixels = lookup.image->content().raster->decodedPixels();
        if (refused_.count(identity) || pixels > left_) {
            refused_.insert(identity);
            return ImageLookup::failed();
        }
        left_ -= pixels;
        admitted_.insert(identity);
    }
    if (seen_.insert(identity).second) seenBytes_ += ImageStore::heldBytes(lookup, src.size());
    return lookup;
}

bool BudgetedImages::keepsImagesSeen() const {
    std::lock_guard guard(lock_);
    return seenBytes_ <= keptBytes_;
}

std::int64_t BudgetedImages::left() const {
    std::lock_guard guard(lock_);
    return left_;
}

}  // namespace dv
