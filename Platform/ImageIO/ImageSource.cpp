#include "Platform/ImageIO/ImageSource.hpp"
#include "Platform/ImageIO/detail/Decoding.hpp"

#include "Platform/Graphics/MemoryHeadroom.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace dv::gfx {

namespace detail {

namespace {
std::atomic<std::size_t> pixelBuffers{0};
}

void countPixelBuffer() { pixelBuffers.fetch_add(1, std::memory_order_relaxed); }

int tiffOrientation(std::span<const std::uint8_t> tiff) {
    if (tiff.size() < 8) return 1;
    const std::uint8_t* d = tiff.data();
    bool little;
    if (d[0] == 'I' && d[1] == 'I') little = true;
    else if (d[0] == 'M' && d[1] == 'M') little = false;
    else return 1;
    auto u16 = [&](std::size_t at) -> std::uint32_t { return little ? le16(d + at) : be16(d + at); };
    auto u32 = [&](std::size_t at) -> std::uint32_t { return little ? le32(d + at) : be32(d + at); };
    if (u16(2) != 42) return 1;
    const std::size_t ifd = u32(4);
    if (ifd > tiff.size() || tiff.size() - ifd < 2) return 1;
    const std::size_t entries = u16(ifd);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t at = ifd + 2 + i * 12;
        if (at > tiff.size() || tiff.size() - at < 12) return 1;
        if (u16(at) != 0x0112) continue;
        if (u16(at + 2) != 3 || u32(at + 4) < 1) return 1;  // one SHORT, stored in place
        const std::uint32_t v = u16(at + 8);
        return v >= 1 && v <= 8 ? static_cast<int>(v) : 1;
    }
    return 1;
}

AreaScaler::AreaScaler(int inWidth, int inHeight, Bitmap& out)
    : inWidth_(inWidth), inHeight_(inHeight), out_(out), runs_(static_cast<std::size_t>(out.width()) + 1),
      sums_(static_cast<std::size_t>(out.width()) * 4), counts_(static_cast<std::size_t>(out.width())) {
    // Source column x lands in output column x * outWidth / inWidth; each output column takes
    // the run of source columns from runs_[o] to runs_[o + 1].
    const auto outWidth = static_cast<std::int64_t>(out.width());
    for (std::int64_t o = 0; o <= outWidth; ++o) {
        runs_[static_cast<std::size_t>(o)] = static_cast<int>(std::min<std::int64_t>(
            inWidth, (o * inWidth + outWidth - 1) / outWidth));
    }
}

void AreaScaler::addRow(const std::uint32_t* row) {
    if (y_ >= inHeight_) return;
    const int target = static_cast<int>(static_cast<std::int64_t>(y_) * out_.height() / inHeight_);
    if (pending_ && target != outRow_) flush();
    outRow_ = target;
    for (std::size_t o = 0; o < counts_.size(); ++o) {
        // Sums of contiguous pixels, in pieces small enough for 32-bit sums, which vectorise.
        for (int x = runs_[o]; x < runs_[o + 1];) {
            const int end = std::min(runs_[o + 1], x + (1 << 23));
            std::uint32_t a = 0, r = 0, g = 0, b = 0;
            for (int i = x; i < end; ++i) {
                const std::uint32_t p = row[i];
                a += p >> 24;
                r += (p >> 16) & 0xFF;
                g += (p >> 8) & 0xFF;
                b += p & 0xFF;
            }
            sums_[o * 4 + 0] += a;
            sums_[o * 4 + 1] += r;
            sums_[o * 4 + 2] += g;
            sums_[o * 4 + 3] += b;
            counts_[o] += static_cast<std::uint32_t>(end - x);
            x = end;
        }
    }
    pending_ = true;
    ++y_;
    if (y_ == inHeight_) flush();
}

void AreaScaler::finish() {
    if (pending_) flush();
}

void AreaScaler::flush() {
    std::uint32_t* out = out_.row(outRow_);
    for (std::size_t o = 0; o < counts_.size(); ++o) {
        const std::uint64_t n = counts_[o];
        if (n == 0) continue;
        auto avg = [&](std::size_t c) { return static_cast<std::uint32_t>((sums_[o * 4 + c] + n / 2) / n); };
        out[o] = (avg(0) << 24) | (avg(1) << 16) | (avg(2) << 8) | avg(3);
    }
    std::fill(sums_.begin(), sums_.end(), 0);
    std::fill(counts_.begin(), counts_.end(), 0);
    pending_ = false;
}

std::optional<Bitmap> applyOrientation(Bitmap&& in, int orientation) {
    if (orientation <= 1 || orientation > 8) return std::move(in);
    const int w = in.width(), h = in.height();
    const bool swap = orientation >= 5;
    auto out = Bitmap::create(swap ? h : w, swap ? w : h);
    if (!out) throw std::bad_alloc();  // the sides of a bitmap that was made
    countPixelBuffer();
    for (int y = 0; y < out->height(); ++y) {
        std::uint32_t* row = out->row(y);
        for (int x = 0; x < out->width(); ++x) {
            int sx = x, sy = y;
            switch (orientation) {
                case 2: sx = w - 1 - x; sy = y; break;
                case 3: sx = w - 1 - x; sy = h - 1 - y; break;
                case 4: sx = x; sy = h - 1 - y; break;
                case 5: sx = y; sy = x; break;
                case 6: sx = y; sy = h - 1 - x; break;
                case 7: sx = w - 1 - y; sy = h - 1 - x; break;
                case 8: sx = w - 1 - y; sy = x; break;
                default: break;
            }
            row[x] = in.row(sy)[sx];
        }
    }
    return out;
}

}  // namespace detail

std::size_t decoderPixelBufferCount() { return detail::pixelBuffers.load(std::memory_order_relaxed); }

std::optional<ImageFormat> sniffImageFormat(std::span<const std::uint8_t> d) {
    static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (d.size() >= 8 && std::memcmp(d.data(), png, 8) == 0) return ImageFormat::png;
    if (d.size() >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return ImageFormat::jpeg;
    if (d.size() >= 6 && (std::memcmp(d.data(), "GIF87a", 6) == 0 || std::memcmp(d.data(), "GIF89a", 6) == 0)) {
        return ImageFormat::gif;
    }
    if (d.size() >= 12 && std::memcmp(d.data(), "RIFF", 4) == 0 && std::memcmp(d.data() + 8, "WEBP", 4) == 0) {
        return ImageFormat::webp;
    }
    return std::nullopt;
}

namespace {

std::optional<detail::HeaderInfo> readHeader(ImageFormat format, std::span<const std::uint8_t> data) {
    switch (format) {
        case ImageFormat::png: return detail::readPNGHeader(data);
        case ImageFormat::jpeg: return detail::readJPEGHeader(data);
        case ImageFormat::gif: return detail::readGIFHeader(data);
        case ImageFormat::webp: return detail::readWebPHeader(data);
    }
    return std::nullopt;
}

std::optional<detail::HeaderInfo> checkedHeader(ImageFormat format, std::span<const std::uint8_t> data) {
    auto info = readHeader(format, data);
    if (!info) return std::nullopt;
    const auto& p = info->properties;
    if (p.pixelWidth < 1 || p.pixelHeight < 1) return std::nullopt;
    if (p.pixelWidth > DecodeLimits::maxSide || p.pixelHeight > DecodeLimits::maxSide) return std::nullopt;
    // Both sides are below 2^32 here, so the product cannot overflow.
    if (p.pixelWidth * p.pixelHeight > DecodeLimits::maxPixelArea) return std::nullopt;
    if (info->wholePixels > DecodeLimits::maxWholeDecodePixels) return std::nullopt;
    if (info->heldBytes > DecodeLimits::maxDecodeBytes) return std::nullopt;
    return info;
}

}  // namespace

std::optional<std::int64_t> rasterHeaderPixelCount(std::span<const std::uint8_t> data) {
    auto format = sniffImageFormat(data);
    if (!format) return std::nullopt;
    auto header = checkedHeader(*format, data);
    if (!header) return std::nullopt;
    return header->properties.pixelWidth * header->properties.pixelHeight;
}

ImageSource::ImageSource(std::vector<std::uint8_t> data, ImageFormat format)
    : data_(std::move(data)), format_(format) {
    if (auto header = checkedHeader(format_, data_)) {
        properties_ = header->properties;
        heldBytes_ = header->heldBytes;
        decodedPixels_ = header->decodedPixels;
    }
}

std::shared_ptr<const ImageSource> ImageSource::create(std::vector<std::uint8_t> data) {
    auto format = sniffImageFormat(data);
    if (!format) return nullptr;
    return std::shared_ptr<const ImageSource>(new ImageSource(std::move(data), *format));
}

ImageRef ImageSource::createThumbnail(std::int64_t maxPixelSize) const {
    if (!properties_ || maxPixelSize < 1) return nullptr;
    const ImageProperties& p = *properties_;
    const std::int64_t longer = std::max(p.pixelWidth, p.pixelHeight);
    const std::int64_t side = std::min({maxPixelSize, longer, std::int64_t{Bitmap::maxSide}});
    // The shorter side keeps the aspect ratio, rounded, at least one pixel.
    auto scaled = [&](std::int64_t s) {
        return s == longer ? side : std::max<std::int64_t>(1, (s * side * 2 + longer) / (longer * 2));
    };
    const std::int64_t ow = scaled(p.pixelWidth), oh = scaled(p.pixelHeight);
    // The decoders answer an allocation that fails as they answer broken data; under a memory
    // limit what they hold must be there first, or the decode fails for memory.
    const std::size_t outBytes = static_cast<std::size_t>(ow) * static_cast<std::size_t>(oh) * 4;
    const MemoryPromise decoding(static_cast<std::size_t>(heldBytes_) + outBytes * (p.orientation > 1 ? 2 : 1));
    if (!decoding.kept()) throw std::bad_alloc();
    auto out = Bitmap::create(static_cast<int>(ow), static_cast<int>(oh));
    if (!out) throw std::bad_alloc();  // both sides are within a bitmap's bounds
    detail::countPixelBuffer();
    bool ok = false;
    switch (format_) {
        case ImageFormat::png: ok = detail::decodePNG(data_, p, *out); break;
        case ImageFormat::jpeg: ok = detail::decodeJPEG(data_, p, *out, heldBytes_); break;
        case ImageFormat::gif: ok = detail::decodeGIF(data_, p, *out); break;
        case ImageFormat::webp: ok = detail::decodeWebP(data_, p, *out); break;
    }
    if (!ok) return nullptr;
    auto upright = detail::applyOrientation(std::move(*out), p.orientation);
    if (!upright) return nullptr;
    return std::move(*upright).takeImage();
}

bool ImageSource::decodes() const {
    if (!properties_) return false;
    switch (format_) {
        case ImageFormat::png: return detail::pngFirstRowDecodes(data_, *properties_);
        case ImageFormat::jpeg: return detail::jpegHeadersDecode(data_);
        case ImageFormat::gif: return detail::gifFirstRowDecodes(data_);
        case ImageFormat::webp: return detail::webpHeadersDecode(data_);
    }
    return false;
}

}  // namespace dv::gfx
