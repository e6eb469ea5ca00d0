#pragma once
// The shared map from image source strings to resolved images.

#include "DVRender/Images/RenderImage.hpp"

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace dv {

class ImageStore final : public ImageProvider {
public:
    // Bound on what the store keeps, counted in the bytes its entries hold: the source text once,
    // the encoded data of a raster image, the parsed document of a vector one. With the
    // decoded-image cache's bound beside it, this leaves a thumbnail room within 512 MiB.
    static constexpr std::size_t byteLimit = 134217728;
    // Bound on the parsed documents of vector images kept, within the bound above. The SVG
    // library keeps the text of their attribute values in one table for the whole process,
    // whose every lookup slows with each document held: with 250 distinct icons of 1,000 paths
    // held, each took 20 ms to parse rather than 4, and as long again to let go.
    static constexpr std::size_t parsedLimit = 16777216;
    // What an entry costs besides its source and content: the tree node and the recency link.
    static constexpr std::size_t entryOverhead = 128;

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

    // What keeping a lookup of a source of `sourceBytes` bytes holds.
    static std::size_t heldBytes(const ImageLookup& lookup, std::size_t sourceBytes);
    // Of them, what a vector image's parsed document holds.
    static std::size_t parsedBytes(const ImageLookup& lookup);

private:
    struct Entry {
        ImageLookup lookup;
        // The source text of a failed lookup; a loaded image holds its own, which the key views.
        std::unique_ptr<const std::string> failedSource;
        std::size_t bytes = 0;
        std::size_t parsedBytes = 0;  // of them, a vector image's parsed document
        std::list<std::string_view>::iterator use;  // position in the recency list
    };
    void touch(Entry& e);

    mutable std::mutex lock_;
    std::size_t limit_ = byteLimit;
    std::size_t totalBytes_ = 0;
    std::size_t parsedBytes_ = 0;
    // An ordered tree (source strings come from files, so no hash flooding), keyed by views of
    // the one copy of each source that the entry holds.
    std::map<std::string_view, Entry, std::less<>> entries_;
    std::list<std::string_view> recency_;  // least recently used first
};

}  // namespace dv
