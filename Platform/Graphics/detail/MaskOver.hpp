#pragma once
#include <cstdint>

namespace dv::gfx::detail {

/// A colour (components and alpha from 0 to 1) as cairo lays it, premultiplied in 8 bits: each
/// premultiplied component in 16 bits, rounded, then its high byte (alpha in the top byte).
std::uint32_t solidPixel(double red, double green, double blue, double alpha);

/// Lays `colour` (see solidPixel) through an 8-bit mask of width × height over premultiplied
/// 32-bit pixels, as cairo lays a colour through a mask over a picture: each channel of the
/// colour times the mask level, then that over the pixel, each product rounded from 16 bits and
/// the sum saturated, which gives cairo's pixels to the bit. A wide shadow lays a mask over most
/// of the picture for every shape, and wider vectors than cairo's own lay it faster. Strides are
/// in bytes.
void maskOver(std::uint8_t* pixels, int stride, const std::uint8_t* mask, int maskStride, int width, int height,
              std::uint32_t colour);

} // namespace dv::gfx::detail
