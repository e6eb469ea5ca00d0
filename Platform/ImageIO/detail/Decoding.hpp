#pragma once
// Shared pieces of the decoders: the header readers, the row-streaming area scaler and the
// orientation transform.

#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/ImageIO/ImageSource.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace dv::gfx::detail {

void countPixelBuffer();

// EXIF orientation (1...8) from a TIFF block, 1 when absent or unreadable.
int tiffOrientation(std::span<const std::uint8_t> tiff);

// Header readers: nothing when the header is unreadable. They report the size the picture
// would need whole in wholePixels (0 when the decoder can stream it), and in heldBytes what
// the decoder holds whatever the size asked for (whole pictures, a JPEG's coefficients, rows),
// and in decodedPixels the work of a decode (see ImageSource::decodedPixels).
struct HeaderInfo {
    ImageProperties properties;
    std::int64_t wholePixels = 0;
    std::int64_t heldBytes = 0;
    std::int64_t decodedPixels = 0;
};
std::optional<HeaderInfo> readPNGHeader(std::span<const std::uint8_t> data);
std::optional<HeaderInfo> readJPEGHeader(std::span<const std::uint8_t> data);
std::optional<HeaderInfo> readGIFHeader(std::span<const std::uint8_t> data);
std::optional<HeaderInfo> readWebPHeader(std::span<const std::uint8_t> data);

// The bytes of a JPEG's coefficients for the whole picture, from the frame header's component
// entries (3 bytes each: id, sampling factors, table).
std::int64_t jpegCoefficientBytes(std::int64_t width, std::int64_t height, std::span<const std::uint8_t> components);

// Takes rows of premultiplied ARGB32 pixels at the source size, top to bottom, and averages
// them into the output bitmap; it holds one output row of sums.
class AreaScaler {
public:
    AreaScaler(int inWidth, int inHeight, Bitmap& out);
    void addRow(const std::uint32_t* row);
    // Flushes a partly filled output row (for images cut short).
    void finish();
    int rowsAdded() const { return y_; }

private:
    void flush();
    int inWidth_, inHeight_;
    Bitmap& out_;
    std::vector<int> runs_;
    std::vector<std::uint64_t> sums_;
    std::vector<std::uint32_t> counts_;
    int y_ = 0;
    int outRow_ = 0;
    bool pending_ = false;
};

// Decoders: fill `out` (already sized to the target) from the image; false on failure.
bool decodePNG(std::span<const std::uint8_t> data, const ImageProperties& p, Bitmap& out);
// `heldBytes`: what the header said the decoder holds at its smallest scale; a larger scale
// must keep within DecodeLimits::maxDecodeBytes too.
bool decodeJPEG(std::span<const std::uint8_t> data, const ImageProperties& p, Bitmap& out, std::int64_t heldBytes);
bool decodeGIF(std::span<const std::uint8_t> data, const ImageProperties& p, Bitmap& out);
bool decodeWebP(std::span<const std::uint8_t> data, const ImageProperties& p, Bitmap& out);

// An interlaced PNG holds its rows only once every pass is read; others deliver row by row.
bool isInterlacedPNG(std::span<const std::uint8_t> data);
// Whether a PNG delivers its first row (of the first pass, when interlaced), which is all
// decodePNG needs to succeed.
bool pngFirstRowDecodes(std::span<const std::uint8_t> data, const ImageProperties& p);
// Whether a GIF's first frame delivers its first row, which is all decodeGIF needs.
bool gifFirstRowDecodes(std::span<const std::uint8_t> data);
// Whether the decoder accepts the headers of a JPEG or WebP; their pixels are not decoded.
bool jpegHeadersDecode(std::span<const std::uint8_t> data);
bool webpHeadersDecode(std::span<const std::uint8_t> data);

// The bitmap turned upright for an EXIF orientation (sides swap for 5...8); throws
// std::bad_alloc when the turned bitmap cannot be had.
std::optional<Bitmap> applyOrientation(Bitmap&& in, int orientation);

inline std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
inline std::uint16_t be16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
inline std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

}  // namespace dv::gfx::detail
