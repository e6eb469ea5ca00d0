#include "DVRender/Images/DecodedImageCache.hpp"

#include <algorithm>
#include <vector>

namespace dv {

DecodedImageCache& DecodedImageCache::shared() {
    // Never destroyed: images held by the store outlive static destruction order.
    static DecodedImageCache* cache = new DecodedImageCache();
    return *cache;
}

gfx::ImageRef DecodedImageCache::image(std::uint64_t owner, std::int64_t width, std::int64_t height) {
    std::lock_guard guard(lock_);
    auto it = entries_.find(Key{owner, width, height});
    if (it == entries_.end()) return nullptr;
    clock_ += 1;
    it->second.lastUse = clock_;
    return it->second.image;
}

void DecodedImageCache::insert(gfx::ImageRef image, std::uint64_t owner, std::int64_t width, std::int64_t height) {
    if (!image) return;
    const std::int64_t bytes = static_cast<std::int64_t>(image->bytesPerRow()) * image->height();
    if (bytes > largestCachedImage) return;
    // Old entries leave the lock only after it is released, so no image is destroyed under it.
    std::vector<gfx::ImageRef> dropped;
    {
        std::lock_guard guard(lock_);
        clock_ += 1;
        const Key key{owner, width, height};
        auto [it, inserted] = entries_.try_emplace(key);
        if (!inserted) {
            totalBytes_ -= it->second.bytes;
            dropped.push_back(std::move(it->second.image));
        }
        it->second = Entry{std::move(image), bytes, clock_};
        totalBytes_ += bytes;
        if (totalBytes_ > byteLimit) {
            std::vector<std::pair<std::uint64_t, Key>> order;
            order.reserve(entries_.size());
            for (const auto& [k, e] : entries_) order.emplace_back(e.lastUse, k);
            std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            const std::int64_t target = byteLimit / 10 * 9;
            for (const auto& [use, k] : order) {
                if (totalBytes_ <= target) break;
                auto victim = entries_.find(k);
                totalBytes_ -= victim->second.bytes;
                dropped.push_back(std::move(victim->second.image));
                entries_.erase(victim);
            }
        }
    }
}

void DecodedImageCache::removeAll(std::uint64_t owner) {
    std::vector<gfx::ImageRef> dropped;
    std::lock_guard guard(lock_);
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->first.owner == owner) {
            totalBytes_ -= it->second.bytes;
            dropped.push_back(std::move(it->second.image));
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

std::int64_t DecodedImageCache::totalBytes() const {
    std::lock_guard guard(lock_);
    return totalBytes_;
}

std::size_t DecodedImageCache::count() const {
    std::lock_guard guard(lock_);
    return entries_.size();
}

bool DecodedImageCache::contains(std::uint64_t owner, std::int64_t width, std::int64_t height) const {
    std::lock_guard guard(lock_);
    return entries_.count(Key{owner, width, height}) != 0;
}

}  // namespace dv
