#pragma once
#include "Platform/Graphics/GraphicsContext.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace dv::gfx {

/// Encodes premultiplied pixels as an 8-bit RGBA PNG tagged as sRGB; nothing when the pixels are
/// unusable or the encoder fails.
std::optional<std::vector<std::uint8_t>> encodePNG(const PixelView& pixels);

} // namespace dv::gfx
