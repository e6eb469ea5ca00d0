#include "DVRender/Images/ImageStore.hpp"

#include "DVRender/Images/SVGImage.hpp"
#include "Platform/ImageIO/ImageSource.hpp"

#include <vector>

namespace dv {

ImageStore& ImageStore::shared() {
    static ImageStore* store = new ImageStore();
    return *store;
}

std::size_t ImageStore::heldBytes(const ImageLookup& lookup, std::size_t sourceBytes) {
    std::size_t bytes = entryOverhead + sourceBytes;
    if (lookup.kind != ImageLookup::Kind::loaded || !lookup.image) return bytes;
    const auto& content = lookup.image->content();
    if (content.raster) bytes += content.raster->byteCount();
    return bytes + parsedBytes(lookup);
}

std::size_t ImageStore::parsedBytes(const ImageLookup& lookup) {
    if (lookup.kind != ImageLookup::Kind::loaded || !lookup.image || !lookup.image->content().vector) return 0;
    return lookup.image->content().vector->heldBytes();
}

void ImageStore::touch(Entry& e) { recency_.splice(recency_.end(), recency_, e.use); }

ImageLookup ImageStore::image(const std::string& src) {
    {
        std::lock_guard guard(lock_);
        auto it = entries_.find(std::string_view(src));
        if (it != entries_.end()) {
            touch(it->second);
            return it->second.lookup;
        }
    }
    ImageLookup result = RenderImage::make(src);
    // The key views the one copy of the source the entry keeps: the image's own, or for a
    // failure a copy of its own.
    std::unique_ptr<const std::string> failedSource;
    std::string_view key;
    if (result.kind == ImageLookup::Kind::loaded && result.image && result.image->src() == src) {
        key = result.image->src();
    } else {
        failedSource = std::make_unique<const std::string>(src);
        key = *failedSource;
    }
    const std::size_t bytes = heldBytes(result, src.size());
    std::vector<ImageLookup> dropped;  // released after the lock
    std::lock_guard guard(lock_);
    auto [it, inserted] = entries_.try_emplace(key);
    if (!inserted) {
        touch(it->second);
        return it->second.lookup;
    }
    it->second.lookup = result;
    it->second.failedSource = std::move(failedSource);
    it->second.bytes = bytes;
    it->second.parsedBytes = parsedBytes(result);
    it->second.use = recency_.insert(recency_.end(), it->first);
    totalBytes_ += bytes;
    parsedBytes_ += it->second.parsedBytes;
    // Least recently used sources leave first; the one just stored stays even when it alone
    // exceeds the bounds, since its caller holds it anyway.
    while ((totalBytes_ > limit_ || parsedBytes_ > parsedLimit) && recency_.size() > 1) {
        auto victim = entries_.find(recency_.front());
        totalBytes_ -= victim->second.bytes;
        parsedBytes_ -= victim->second.parsedBytes;
        dropped.push_back(std::move(victim->second.lookup));
        recency_.pop_front();
        // The key views the victim's own source: the node goes before what it holds.
        auto held = std::move(victim->second.failedSource);
        entries_.erase(victim);
    }
    return result;
}

std::size_t ImageStore::totalBytes() const {
    std::lock_guard guard(lock_);
    return totalBytes_;
}

std::size_t ImageStore::count() const {
    std::lock_guard guard(lock_);
    return entries_.size();
}

}  // namespace dv
