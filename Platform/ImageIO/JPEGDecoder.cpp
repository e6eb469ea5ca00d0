// JPEG over TurboJPEG, decoded straight at the smallest DCT scale that still covers the
// target size. TurboJPEG reports errors by return value.

#include "Platform/ImageIO/detail/Decoding.hpp"

#include <turbojpeg.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace dv::gfx::detail {

namespace {

// Where the entropy-coded data that starts at `at` ends: at the next marker other than a
// restart marker or a stuffed zero byte; d.size() when there is none.
std::size_t endOfScanData(std::span<const std::uint8_t> d, std::size_t at) {
    while (at < d.size()) {
        const void* ff = std::memchr(d.data() + at, 0xFF, d.size() - at);
        if (ff == nullptr) return d.size();
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - d.data());
        if (at + 1 >= d.size()) return d.size();
        const std::uint8_t next = d[at + 1];
        if (next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7)) return at;
        at += next == 0xFF ? 1 : 2;
    }
    return d.size();
}

// The decoded rows at the smallest scale, an eighth of each side, which the decoder holds
// whole.
std::int64_t smallestScaleBytes(std::int64_t width, std::int64_t height) { return (width + 7) / 8 * ((height + 7) / 8) * 4; }

}  // namespace

std::optional<HeaderInfo> readJPEGHeader(std::span<const std::uint8_t> d) {
    // Walk the marker segments through every scan: the frame header gives the size, coding and
    // sampling, an APP1 "Exif" segment the orientation, and the scans are counted.
    HeaderInfo info;
    bool haveFrame = false;
    bool progressive = false;
    bool wholeCoefficients = false;
    std::int64_t coefficientBytes = 0;
    int frameComponents = 0;
    int scans = 0;
    std::size_t at = 2;
    while (at + 4 <= d.size()) {
        if (d[at] != 0xFF) {
            if (scans == 0) return std::nullopt;
            // Past the first scan the decoder skips stray bytes up to the next marker, as the
            // count of scans must.
            const void* ff = std::memchr(d.data() + at, 0xFF, d.size() - at);
            if (ff == nullptr) break;
            at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - d.data());
            continue;
        }
        const std::uint8_t marker = d[at + 1];
        if (marker == 0xFF) { ++at; continue; }  // fill byte
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { at += 2; continue; }
        if (marker == 0xD9) break;
        const std::size_t length = be16(d.data() + at + 2);
        if (length < 2 || length > d.size() - at - 2) {
            if (scans == 0) return std::nullopt;
            break;  // the decoder stops there too, with the scans before it
        }
        const std::uint8_t* seg = d.data() + at + 4;
        const std::size_t segLength = length - 2;
        if (marker == 0xE1 && segLength >= 6 && std::memcmp(seg, "Exif\0\0", 6) == 0) {
            info.properties.orientation = tiffOrientation({seg + 6, segLength - 6});
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (segLength < 6 || haveFrame) return std::nullopt;
            info.properties.pixelHeight = be16(seg + 1);
            info.properties.pixelWidth = be16(seg + 3);
            frameComponents = seg[5];
            if (frameComponents < 1 || segLength < 6 + 3 * static_cast<std::size_t>(frameComponents)) return std::nullopt;
            progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            coefficientBytes = jpegCoefficientBytes(info.properties.pixelWidth, info.properties.pixelHeight,
                                                    {seg + 6, 3 * static_cast<std::size_t>(frameComponents)});
            haveFrame = true;
        } else if (marker == 0xDA) {
            if (!haveFrame || segLength < 1) return std::nullopt;
            // Progressive coding, or a first scan that carries only some components, makes
            // the decoder keep coefficients for the whole picture.
            if (scans == 0 && (progressive || (frameComponents > 1 && seg[0] < frameComponents))) wholeCoefficients = true;
            // Every scan walks the blocks of its components across the whole picture.
            if (++scans > DecodeLimits::maxJPEGScans) return std::nullopt;
            at = endOfScanData(d, at + 2 + length);
            continue;
        }
        at += 2 + length;
    }
    if (scans == 0) return std::nullopt;
    // Every scan after the first walks the blocks again, about a sixteenth of the work of
    // decoding the pixels.
    const std::int64_t pixels = info.properties.pixelWidth * info.properties.pixelHeight;
    info.decodedPixels = pixels + pixels / 16 * (scans - 1);
    info.heldBytes = smallestScaleBytes(info.properties.pixelWidth, info.properties.pixelHeight);
    if (wholeCoefficients) {
        info.wholePixels = info.properties.pixelWidth * info.properties.pixelHeight;
        info.heldBytes += coefficientBytes;
    }
    return info;
}

std::int64_t jpegCoefficientBytes(std::int64_t width, std::int64_t height, std::span<const std::uint8_t> components) {
    // As the decoder lays them out: per component, its blocks of 8 x 8 samples, rounded up to
    // whole units of its sampling factors, each block 64 coefficients of 2 bytes.
    int hMax = 1, vMax = 1;
    for (std::size_t c = 0; c + 2 < components.size(); c += 3) {
        hMax = std::max(hMax, components[c + 1] >> 4);
        vMax = std::max(vMax, components[c + 1] & 15);
    }
    std::int64_t bytes = 0;
    for (std::size_t c = 0; c + 2 < components.size(); c += 3) {
        const std::int64_t h = std::max(1, components[c + 1] >> 4), v = std::max(1, components[c + 1] & 15);
        auto blocks = [](std::int64_t side, std::int64_t factor, std::int64_t most) {
            const std::int64_t inBlocks = (side * factor + most * 8 - 1) / (most * 8);
            return (inBlocks + factor - 1) / factor * factor;
        };
        bytes += blocks(width, h, hMax) * blocks(height, v, vMax) * 64 * 2;
    }
    return bytes;
}

namespace {

struct Decompressor {
    tjhandle handle = tjInitDecompress();
    ~Decompressor() {
        if (handle) tjDestroy(handle);
    }
};

}  // namespace

bool jpegHeadersDecode(std::span<const std::uint8_t> data) {
    if (data.size() > std::numeric_limits<unsigned long>::max()) return false;
    Decompressor tj;
    int width = 0, height = 0, subsamp = 0, colorspace = 0;
    return tj.handle && tjDecompressHeader3(tj.handle, data.data(), static_cast<unsigned long>(data.size()), &width,
                                            &height, &subsamp, &colorspace) == 0;
}

bool decodeJPEG(std::span<const std::uint8_t> data, const ImageProperties&, Bitmap& out, std::int64_t heldBytes) {
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
    if (heldBytes - smallestScaleBytes(width, height) + std::int64_t{sw} * sh * 4 > DecodeLimits::maxDecodeBytes) return false;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(sw) * static_cast<std::size_t>(sh) * 4);
    countPixelBuffer();
    // BGRA bytes are the native 0xAARRGGBB word on a little-endian machine; JPEG is opaque.
    if (tjDecompress2(tj.handle, data.data(), static_cast<unsigned long>(data.size()), pixels.data(), sw, sw * 4, sh,
                      cmyk ? TJPF_CMYK : TJPF_BGRA, TJFLAG_LIMITSCANS) != 0) {
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
