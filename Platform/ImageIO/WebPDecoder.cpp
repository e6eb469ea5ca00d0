// WebP over libwebp: still images decode straight into the target size; animations give
// their first frame.

#include "Platform/ImageIO/detail/Decoding.hpp"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>

namespace dv::gfx::detail {

namespace {

struct Demuxer {
    WebPDemuxer* demux = nullptr;
    explicit Demuxer(const WebPData& data) : demux(WebPDemux(&data)) {}
    ~Demuxer() {
        if (demux) WebPDemuxDelete(demux);
    }
};

}  // namespace

std::optional<HeaderInfo> readWebPHeader(std::span<const std::uint8_t> d) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(d.data(), d.size(), &features) != VP8_STATUS_OK) return std::nullopt;
    HeaderInfo info;
    info.properties.pixelWidth = features.width;
    info.properties.pixelHeight = features.height;
    const WebPData whole{d.data(), d.size()};
    Demuxer demux(whole);
    if (demux.demux) {
        info.properties.pixelWidth = WebPDemuxGetI(demux.demux, WEBP_FF_CANVAS_WIDTH);
        info.properties.pixelHeight = WebPDemuxGetI(demux.demux, WEBP_FF_CANVAS_HEIGHT);
        WebPChunkIterator chunk;
        if (WebPDemuxGetChunk(demux.demux, "EXIF", 1, &chunk)) {
            std::span<const std::uint8_t> exif(chunk.chunk.bytes, chunk.chunk.size);
            if (exif.size() >= 6 && std::memcmp(exif.data(), "Exif\0\0", 6) == 0) exif = exif.subspan(6);
            info.properties.orientation = tiffOrientation(exif);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
    }
    // Lossless and animated pictures are decoded whole before scaling: an animation keeps its
    // canvas, the canvas before it and the frame being decoded; a lossy picture with
    // transparency keeps its alpha plane (a byte a pixel).
    const std::int64_t area = info.properties.pixelWidth * info.properties.pixelHeight;
    info.decodedPixels = area;
    if (features.has_animation || features.format == 2) {
        info.wholePixels = area;
        info.heldBytes = area * 4 * (features.has_animation ? 3 : 1);
        info.decodedPixels = area * 2;  // decoded whole, then read again to scale
    } else if (features.has_alpha) {
        info.heldBytes = area;
    }
    return info;
}

bool webpHeadersDecode(std::span<const std::uint8_t> data) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data.data(), data.size(), &features) != VP8_STATUS_OK) return false;
    if (!features.has_animation) return true;
    const WebPData whole{data.data(), data.size()};
    Demuxer demux(whole);
    if (!demux.demux) return false;
    WebPIterator frame;
    const bool first = WebPDemuxGetFrame(demux.demux, 1, &frame) != 0;
    if (first) WebPDemuxReleaseIterator(&frame);
    return first;
}

bool decodeWebP(std::span<const std::uint8_t> data, const ImageProperties& p, Bitmap& out) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data.data(), data.size(), &features) != VP8_STATUS_OK) return false;
    if (!features.has_animation) {
        WebPDecoderConfig config;
        if (!WebPInitDecoderConfig(&config)) return false;
        config.options.use_scaling = 1;
        config.options.scaled_width = out.width();
        config.options.scaled_height = out.height();
        // Premultiplied B, G, R, A bytes: the bitmap's own layout on a little-endian machine.
        config.output.colorspace = MODE_bgrA;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = out.data();
        config.output.u.RGBA.stride = static_cast<int>(out.stride());
        config.output.u.RGBA.size = out.byteCount();
        const bool ok = WebPDecode(data.data(), data.size(), &config) == VP8_STATUS_OK;
        WebPFreeDecBuffer(&config.output);
        return ok;
    }
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return false;
    options.color_mode = MODE_bgrA;
    options.use_threads = 0;
    const WebPData whole{data.data(), data.size()};
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&whole, &options);
    if (decoder == nullptr) return false;
    countPixelBuffer();
    std::uint8_t* frame = nullptr;
    int timestamp = 0;
    bool ok = WebPAnimDecoderGetNext(decoder, &frame, &timestamp) != 0 && frame != nullptr;
    if (ok) {
        const int w = static_cast<int>(p.pixelWidth), h = static_cast<int>(p.pixelHeight);
        AreaScaler scaler(w, h, out);
        for (int y = 0; y < h; ++y) {
            scaler.addRow(reinterpret_cast<const std::uint32_t*>(frame + static_cast<std::size_t>(y) * w * 4));
        }
    }
    WebPAnimDecoderDelete(decoder);
    return ok;
}

}  // namespace dv::gfx::detail
