#pragma once
// Small encoded images made on the fly for the image tests.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dv::testing {

using Bytes = std::vector<std::uint8_t>;

// Straight-alpha RGBA pixels, row by row.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

// A picture split into four quadrants: red top left, green top right, blue bottom left,
// white bottom right.
Pixels quadrants(int width, int height);
Pixels solid(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a);

// A TIFF block holding only an orientation tag (big-endian).
Bytes exifOrientation(int orientation);

Bytes encodePNG(const Pixels& p, int orientation = 0, bool interlaced = false);
Bytes encodeJPEG(const Pixels& p, int orientation = 0, bool progressive = false);
Bytes encodeGIF(const Pixels& p);
Bytes encodeWebP(const Pixels& p, bool lossless = false);

// A PNG whose header declares width x height; its image data is a few bytes of nothing.
Bytes pngHeaderOnly(std::uint32_t width, std::uint32_t height, bool interlaced = false);
// A progressive JPEG of one flat grey (or ink) of the given components: a DC scan (and a
// refinement of it when asked), then one scan for each AC coefficient of each component, so
// 1 (+ 1) + 63 x components scans.
Bytes flatProgressiveJPEG(int width, int height, int components, bool dcRefined);
// A JPEG frame header and a first scan without data; the first component's sampling factors
// as given, the others' 1 x 1.
Bytes jpegHeaderOnly(int width, int height, int components, bool progressive, std::uint8_t sampling = 0x11);
// A GIF whose logical screen is width x height around a 1 x 1 frame.
Bytes gifWithScreen(std::uint16_t width, std::uint16_t height);

std::string base64(const Bytes& data);
std::string base64(std::string_view text);
std::string dataURL(std::string_view mediaType, const Bytes& data);

}  // namespace dv::testing
