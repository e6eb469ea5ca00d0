// JPEG over TurboJPEG, decoded straight at the smallest DCT scale that still covers the
// target size. TurboJPEG reports errors by return value.

#include "Platform/ImageIO/detail/Decoding.hpp"

#include <turbojpeg.h>

#include <cstring>
#include <limits>

namespace dv::gfx::detail {

std::optional<HeaderInfo> readJPEGHeader(std::span<const std::uint8_t> d) {
    // Walk the marker segments up to the first scan: the frame header gives the size and
    // coding, an APP1 "Exif" segment the orientation.
    HeaderInfo info;
    bool haveFrame = false;
    bool progressive = false;
    int frameComponents = 0;
    std::size_t at = 2;
    while (at + 4 <= d.size()) {
        if (d[at] != 0xFF) return std::nullopt;
        const std::uint8_t marker = d[at + 1];
        if (marker == 0xFF) { ++at; continue; }  // fill byte
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { at += 2; continue; }
        if (marker == 0xD9) break;
        const std::size_t length = be16(d.data() + at + 2);
        if (length < 2 || length > d.size() - at - 2) return std::nullopt;
        const std::uint8_t* seg = d.data() + at + 4;
        const std::size_t segLength = length - 2;
        if (marker == 0xE1 && segLength >= 6 && std::memcmp(seg, "Exif\0\0", 6) == 0) {
            info.properties.orientation = tiffOrientation({seg + 6, segLength - 6});
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (segLength < 6 || haveFrame) return std::nullopt;
            info.properties.pixelHeight = be16(seg + 1);
            info.properties.pixelWidth = be16(seg + 3);
            frameComponents = seg[5];
            progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            haveFrame = true;
        } else if (marker == 0xDA) {
            if (!haveFrame || segLength < 1) return std::nullopt;
            // Progressive coding, or a first scan that carries only some components, makes
            // the decoder keep coefficients for the whole picture.
            if (progressive || (frameComponents > 1 && seg[0] < frameComponents)) {
                info.wholePixels = info.properties.pixelWidth * info.properties.pixelHeight;
            }
            return info;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

namespace {

struct Decompressor {
    tjhandle handle = tjInitDecompress();
    ~Decompressor() {
        if (handle) tjDestroy(handle);
    }
};

}  // namespace

bool decodeJPEG(std::span<const std::uint8_t> data, const ImageProperties&, Bitmap& out) {
    if (data.size() > std::numeric_limits<unsigned long>::max()) return false;
    Decompressor tj;
    if (!tj.handle) return false;
    int width = 0, height = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(tj.handle, data.data(), static_cast<unsigned long>(data.size()), &width, &height, &subsamp,
                            &colorspace) != 0) {
        return false;
    }
    // The smallest scale whose output still covers the target on both sides.
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    int sw = width, sh = height;
    for (int i = 0; factors && i < count; ++i) {
        const int w = TJSCALED(width, factors[i]);
        const int h = TJSCALED(height, factors[i]);
        if (w >= out.width() && h >= out.height() && static_cast<std::int64_t>(w) * h < static_cast<std::int64_t>(sw) * sh) {
            sw = w;
            sh = h;
        }
    }
    const bool cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(sw) * static_cast<std::size_t>(sh) * 4);
    countPixelBuffer();
    // BGRA bytes are the native 0xAARRGGBB word on a little-endian machine; JPEG is opaque.
    if (tjDecompress2(tj.handle, data.data(), static_cast<unsigned long>(data.size()), pixels.data(), sw, sw * 4, sh,
                      cmyk ? TJPF_CMYK : TJPF_BGRA, 0) != 0) {
        // A warning (such as a file cut short) still leaves the decoded part usable.
        if (tjGetErrorCode(tj.handle) != TJERR_WARNING) return false;
    }
    AreaScaler scaler(sw, sh, out);
    std::vector<std::uint32_t> row(static_cast<std::size_t>(sw));
    for (int y = 0; y < sh; ++y) {
        const std::uint8_t* src = pixels.data() + static_cast<std::size_t>(y) * sw * 4;
        if (cmyk) {
            // CMYK JPEGs as written by common tools store inverted ink values.
            for (int x = 0; x < sw; ++x) {
                const std::uint32_t c = src[x * 4], m = src[x * 4 + 1], yy = src[x * 4 + 2], k = src[x * 4 + 3];
                row[static_cast<std::size_t>(x)] =
                    0xFF000000u | ((c * k + 127) / 255) << 16 | ((m * k + 127) / 255) << 8 | ((yy * k + 127) / 255);
            }
        } else {
            std::memcpy(row.data(), src, static_cast<std::size_t>(sw) * 4);
            for (auto& p : row) p |= 0xFF000000u;
        }
        scaler.addRow(row.data());
    }
    return true;
}

}  // namespace dv::gfx::detail
