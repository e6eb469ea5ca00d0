#pragma once
#include <cstdint>

namespace dv::gfx::detail {

/// Blurs an 8-bit alpha plane in place with three box passes per axis, which approximates a
/// Gaussian of standard deviation `sigma` closely; the spread stays within 3·sigma.
void gaussianBlurAlpha(std::uint8_t* data, int width, int height, int stride, double sigma);

/// The box size of each pass for a standard deviation.
int boxSizeForSigma(double sigma);

} // namespace dv::gfx::detail
