#pragma once
// An SVG document loaded by librsvg, with its intrinsic size, drawn stretched into a bitmap.
// No base location is ever given, so rendering loads nothing from files or the network;
// only data: URLs inside the document resolve.

#include "Platform/Graphics/Bitmap.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace dv::gfx {

class SVGDocument {
public:
    // Nothing when librsvg cannot load the bytes or the document has no usable size.
    // Not safe to call concurrently with other SVG work: callers serialise it.
    static std::optional<SVGDocument> load(std::span<const std::uint8_t> data);

    double width() const { return width_; }
    double height() const { return height_; }

    // Draws the whole document stretched to fill the bitmap (aspect ratio not kept); false when
    // the library fails to, std::bad_alloc when cairo ran out of memory drawing it.
    bool render(Bitmap& target) const;

    // How many documents were handed to librsvg in this process (for tests).
    static std::size_t loadCount();

private:
    struct Release {
        void operator()(void* handle) const noexcept;
    };
    SVGDocument(void* handle, double w, double h) : handle_(handle), width_(w), height_(h) {}
    std::unique_ptr<void, Release> handle_;
    double width_;
    double height_;
};

}  // namespace dv::gfx
