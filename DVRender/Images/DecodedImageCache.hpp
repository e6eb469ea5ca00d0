#pragma once
// Decoded pixels of every RenderImage, bounded by bytes with least-recently-used eviction.

#include "DVModel/Hashing.hpp"
#include "Platform/Graphics/Image.hpp"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace dv {

class DecodedImageCache {
public:
    // Beside the image store's sources and a decode in progress, the thumbnail keeps within
    // 512 MiB: 128 MiB of decoded pictures, the largest half of that.
    static constexpr std::int64_t byteLimit = 134217728;
    static constexpr std::int64_t largestCachedImage = 67108864;

    struct Key {
        std::uint64_t owner = 0;  // a RenderImage identity
        std::int64_t width = 0;
        std::int64_t height = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };

    DecodedImageCache() = default;
    DecodedImageCache(const DecodedImageCache&) = delete;
    DecodedImageCache& operator=(const DecodedImageCache&) = delete;

    // The process-wide cache, made on first use and never destroyed.
    static DecodedImageCache& shared();

    gfx::ImageRef image(std::uint64_t owner, std::int64_t width, std::int64_t height);
    void insert(gfx::ImageRef image, std::uint64_t owner, std::int64_t width, std::int64_t height);
    void removeAll(std::uint64_t owner);

    std::int64_t totalBytes() const;
    std::size_t count() const;
    bool contains(std::uint64_t owner, std::int64_t width, std::int64_t height) const;

private:
    struct KeyHash {
        std::size_t operator()(const Key& k) const noexcept {
            Hasher h;
            hashMix(h, static_cast<std::size_t>(k.owner));
            hashMix(h, static_cast<std::size_t>(k.width));
            hashMix(h, static_cast<std::size_t>(k.height));
            return hashResult(h);
        }
    };
    struct Entry {
        gfx::ImageRef image;
        std::int64_t bytes = 0;
        std::uint64_t lastUse = 0;
    };
    mutable std::mutex lock_;
    std::unordered_map<Key, Entry, KeyHash> entries_;
    std::int64_t totalBytes_ = 0;
    std::uint64_t clock_ = 0;
};

}  // namespace dv
