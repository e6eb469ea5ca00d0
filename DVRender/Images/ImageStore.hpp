#pragma once
// The shared map from image source strings to resolved images.

#include "DVRender/Images/RenderImage.hpp"

#include <cstddef>
#include <list>
#include <map>
#include <mutex>
#include <string>

namespace dv {

class ImageStore final : public ImageProvider {
public:
    // Bound on what the store keeps, counted in bytes of source text. A long-lived host
    // serving many boards would otherwise keep every source string it ever saw.
    static constexpr std::size_t byteLimit = 268435456;

    ImageStore() = default;
    explicit ImageStore(std::size_t limit) : limit_(limit) {}
    ImageStore(const ImageStore&) = delete;
    ImageStore& operator=(const ImageStore&) = delete;

    // The process-wide store, made on first use and never destroyed.
    static ImageStore& shared();

    // The image for a source string: resolved once and remembered (failures too); never
    // answers loading.
    ImageLookup image(const std::string& src) override;

    std::size_t totalBytes() const;
    std::size_t count() const;

private:
    struct Entry {
        ImageLookup lookup;
        std::list<const std::string*>::iterator use;  // position in the recency list
    };
    void touch(Entry& e);

    mutable std::mutex lock_;
    std::size_t limit_ = byteLimit;
    std::size_t totalBytes_ = 0;
    // An ordered tree: source strings come from files, so no hash flooding.
    std::map<std::string, Entry, std::less<>> entries_;
    std::list<const std::string*> recency_;  // least recently used first
};

}  // namespace dv
