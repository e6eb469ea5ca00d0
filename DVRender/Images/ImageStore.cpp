#include "DVRender/Images/ImageStore.hpp"

#include <vector>

namespace dv {

ImageStore& ImageStore::shared() {
    static ImageStore* store = new ImageStore();
    return *store;
}

void ImageStore::touch(Entry& e) { recency_.splice(recency_.end(), recency_, e.use); }

ImageLookup ImageStore::image(const std::string& src) {
    {
        std::lock_guard guard(lock_);
        auto it = entries_.find(src);
        if (it != entries_.end()) {
            touch(it->second);
            return it->second.lookup;
        }
    }
    ImageLookup result = RenderImage::make(src);
    std::vector<ImageLookup> dropped;  // released after the lock
    std::lock_guard guard(lock_);
    auto [it, inserted] = entries_.try_emplace(src);
    if (!inserted) {
        touch(it->second);
        return it->second.lookup;
    }
    it->second.lookup = result;
    it->second.use = recency_.insert(recency_.end(), &it->first);
    totalBytes_ += src.size();
    // Least recently used sources leave first; the one just stored stays even when it alone
    // exceeds the bound, since its caller holds it anyway.
    while (totalBytes_ > limit_ && recency_.size() > 1) {
        auto victim = entries_.find(*recency_.front());
        totalBytes_ -= victim->first.size();
        dropped.push_back(std::move(victim->second.lookup));
        recency_.pop_front();
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
