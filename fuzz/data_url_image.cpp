// Image sources from files. Text starting with "data:" goes through RenderImage::make as an
// image src; anything else is taken as encoded image bytes. Whatever loads must decode within
// the sizes asked for, and nothing may crash or allocate beyond the decode limits.

#include "DVRender/Images/RenderImage.hpp"
#include "Platform/ImageIO/ImageSource.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string lower = text.substr(0, 5);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == "data:") {
        auto lookup = dv::RenderImage::make(text);
        if (lookup.kind != dv::ImageLookup::Kind::loaded) return 0;
        for (std::int64_t side : {0, 1, 70, 300}) {
            auto image = lookup.image->cgImage(side, side / 2, 256);
            if (!image) continue;
            check(image->width() >= 1 && image->height() >= 1);
            if (lookup.image->content().kind == dv::RenderImage::Content::Kind::raster) {
                check(std::max(image->width(), image->height()) <= 256);
            }
        }
        return 0;
    }
    auto source = dv::gfx::ImageSource::create(std::vector<std::uint8_t>(data, data + size));
    if (!source || !source->properties()) return 0;
    const auto& p = *source->properties();
    check(p.pixelWidth * p.pixelHeight <= dv::gfx::DecodeLimits::maxPixelArea);
    for (std::int64_t side : {1, 16, 100}) {
        auto image = source->createThumbnail(side);
        if (image) check(std::max(image->width(), image->height()) <= side);
    }
    return 0;
}
