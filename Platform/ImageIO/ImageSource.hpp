#pragma once
// Encoded raster images (PNG, JPEG, GIF, WebP): their properties read from the header alone,
// and decoding of the first frame at a reduced size with the EXIF orientation applied.

#include "Platform/Graphics/Image.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace dv::gfx {

enum class ImageFormat { png, jpeg, gif, webp };

// Bounds on what a decoder is asked to do, checked from the header before any pixel memory
// exists. A small file can declare an enormous picture.
struct DecodeLimits {
    // Largest width x height of any image (the raster export's own area limit).
    static constexpr std::int64_t maxPixelArea = std::int64_t{1} << 28;
    // Largest side: decoders hold a few rows, so one enormous row is refused too.
    static constexpr std::int64_t maxSide = 1'000'000;
    // Largest picture a decoder must hold whole: interlaced PNG, progressive or multi-scan
    // JPEG, a GIF's logical screen and frame, lossless or animated WebP.
    static constexpr std::int64_t maxWholeDecodePixels = 64'000'000;
    // Most memory one decode may hold: what the decoder keeps whatever the size (whole
    // pictures, a progressive JPEG's coefficients, which take 2 bytes per sample and
    // component), its rows at the scale it decodes at, and the decoded picture. As much as the
    // largest picture held whole at 4 bytes a pixel.
    static constexpr std::int64_t maxDecodeBytes = maxWholeDecodePixels * 4;
    // Most scans of a JPEG: each one walks the blocks of its components across the whole
    // picture, so their count multiplies the time of a decode.
    static constexpr int maxJPEGScans = 64;
};

struct ImageProperties {
    std::int64_t pixelWidth = 0;   // as stored, before orientation
    std::int64_t pixelHeight = 0;
    int orientation = 1;           // EXIF orientation 1...8
};

class ImageSource {
public:
    // Nothing when the bytes are not one of the four formats.
    static std::shared_ptr<const ImageSource> create(std::vector<std::uint8_t> data);

    ImageFormat format() const { return format_; }
    std::size_t count() const { return 1; }
    std::size_t byteCount() const { return data_.size(); }
    // Read from the header alone; nothing when the header is unreadable, a side is 0 or the
    // picture is beyond DecodeLimits (a JPEG's scans are counted through the whole file).
    const std::optional<ImageProperties>& properties() const { return properties_; }

    // The first frame, oriented, with its longer side at most maxPixelSize and never larger
    // than the image; nothing when decoding fails or would hold more than
    // DecodeLimits::maxDecodeBytes at that size. Throws std::bad_alloc when the memory the
    // decode holds cannot be had.
    ImageRef createThumbnail(std::int64_t maxPixelSize) const;
    // Whether the image can be decoded, found without decoding it whole: a PNG or GIF shows
    // once its first row decodes (nothing after that row is inflated); a JPEG or WebP whose
    // headers the decoder accepts counts as decodable.
    bool decodes() const;
    // What the decoder holds whatever the size asked for (see DecodeLimits::maxDecodeBytes).
    std::int64_t heldBytes() const { return heldBytes_; }
    // The work of a decode at any size, in pixels gone through: every pixel once, once more
    // when the picture is decoded whole and read again (a GIF's frame, lossless or animated
    // WebP), four times for an interlaced PNG's seven passes laid into the whole picture, and
    // a sixteenth more for each scan of a JPEG after its first.
    std::int64_t decodedPixels() const { return decodedPixels_; }

private:
    ImageSource(std::vector<std::uint8_t> data, ImageFormat format);
    std::vector<std::uint8_t> data_;
    ImageFormat format_;
    std::optional<ImageProperties> properties_;
    std::int64_t heldBytes_ = 0;
    std::int64_t decodedPixels_ = 0;
};

// The format of encoded bytes, judged by their signature.
std::optional<ImageFormat> sniffImageFormat(std::span<const std::uint8_t> data);

// Width x height of a raster image of a known format whose header passes DecodeLimits; nothing
// otherwise. A renderer that decodes images whole (as the SVG renderer does) holds this many
// pixels at once.
std::optional<std::int64_t> rasterHeaderPixelCount(std::span<const std::uint8_t> data);

// How many pixel buffers the decoders have allocated in this process (for tests that show a
// refused image never got that far).
std::size_t decoderPixelBufferCount();

}  // namespace dv::gfx
