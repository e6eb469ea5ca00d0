// GIF over giflib: the first frame only, composited onto the transparent logical screen.

#include "Platform/ImageIO/detail/Decoding.hpp"

#include <gif_lib.h>

#include <cstring>
#include <optional>
#include <vector>

namespace dv::gfx::detail {

namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos;
};

int readBytes(GifFileType* gif, GifByteType* out, int n) {
    auto* r = static_cast<Reader*>(gif->UserData);
    if (n < 0) return 0;
    const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(n), r->size - r->pos);
    std::memcpy(out, r->data + r->pos, take);
    r->pos += take;
    return static_cast<int>(take);
}

struct Gif {
    GifFileType* file = nullptr;
    explicit Gif(Reader& reader) {
        int error = 0;
        file = DGifOpen(&reader, readBytes, &error);
    }
    ~Gif() {
        int error = 0;
        if (file) DGifCloseFile(file, &error);
    }
};

// Moves past extension blocks up to the first image descriptor, noting the transparent
// colour of a graphics control block. False when the file ends first.
bool seekFirstImage(GifFileType* gif, int& transparent) {
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
        if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) != GIF_ERROR;
        if (type == TERMINATE_RECORD_TYPE) return false;
        if (type != EXTENSION_RECORD_TYPE) continue;
        int code = 0;
        GifByteType* ext = nullptr;
        if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) return false;
        if (code == GRAPHICS_EXT_FUNC_CODE && ext != nullptr) {
            GraphicsControlBlock gcb;
            if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) != GIF_ERROR) transparent = gcb.TransparentColor;
        }
        while (ext != nullptr) {
            if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) return false;
        }
    }
}

}  // namespace

std::optional<HeaderInfo> readGIFHeader(std::span<const std::uint8_t> d) {
    if (d.size() < 13) return std::nullopt;
    HeaderInfo info;
    info.properties.pixelWidth = le16(d.data() + 6);
    info.properties.pixelHeight = le16(d.data() + 8);
    // The logical screen is laid out whole, row by row, while the first frame is laid onto
    // it; the frame's colour indices are held whole (a byte each), a screen row as pixels.
    info.wholePixels = info.properties.pixelWidth * info.properties.pixelHeight;
    info.heldBytes = info.wholePixels + info.properties.pixelWidth * 4;
    // The frame is decoded whole, then laid out row by row.
    info.decodedPixels = info.wholePixels * 2;
    return info;
}

namespace {

// The first frame's descriptor and colour map, reached past the extensions before it.
struct FirstFrame {
    const GifImageDesc* desc = nullptr;
    const ColorMapObject* map = nullptr;
    int transparent = NO_TRANSPARENT_COLOR;
};

std::optional<FirstFrame> firstFrame(GifFileType* gif) {
    FirstFrame frame;
    if (!seekFirstImage(gif, frame.transparent)) return std::nullopt;
    frame.desc = &gif->Image;
    frame.map = frame.desc->ColorMap ? frame.desc->ColorMap : gif->SColorMap;
    if (frame.map == nullptr || frame.desc->Width < 1 || frame.desc->Height < 1) return std::nullopt;
    const std::int64_t area = static_cast<std::int64_t>(frame.desc->Width) * frame.desc->Height;
    if (area > DecodeLimits::maxWholeDecodePixels || area > DecodeLimits::maxDecodeBytes) return std::nullopt;
    return frame;
}

}  // namespace

bool gifFirstRowDecodes(std::span<const std::uint8_t> data) {
    Reader reader{data.data(), data.size(), 0};
    Gif gif(reader);
    if (gif.file == nullptr) return false;
    const auto frame = firstFrame(gif.file);
    if (!frame) return false;
    std::vector<GifPixelType> row(static_cast<std::size_t>(frame->desc->Width));
    return DGifGetLine(gif.file, row.data(), frame->desc->Width) != GIF_ERROR;
}

bool decodeGIF(std::span<const std::uint8_t> data, const ImageProperties& p, Bitmap& out) {
    Reader reader{data.data(), data.size(), 0};
    Gif gif(reader);
    if (gif.file == nullptr) return false;
    const auto first = firstFrame(gif.file);
    if (!first) return false;
    const GifImageDesc& desc = *first->desc;
    const ColorMapObject* map = first->map;
    const int transparent = first->transparent;
    const std::int64_t frameArea = static_cast<std::int64_t>(desc.Width) * desc.Height;
    // The frame's colour indices, in display row order.
    std::vector<GifPixelType> frame(static_cast<std::size_t>(frameArea), static_cast<GifPixelType>(transparent < 0 ? 0 : transparent));
    countPixelBuffer();
    int rowsRead = 0;
    auto readRow = [&](int y) {
        return DGifGetLine(gif.file, frame.data() + static_cast<std::size_t>(y) * desc.Width, desc.Width) != GIF_ERROR;
    };
    bool complete = true;
    if (desc.Interlace) {
        static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4 && complete; ++pass) {
            for (int y = start[pass]; y < desc.Height; y += step[pass]) {
                if (!readRow(y)) { complete = false; break; }
                ++rowsRead;
            }
        }
    } else {
        for (int y = 0; y < desc.Height; ++y) {
            if (!readRow(y)) { complete = false; break; }
            ++rowsRead;
        }
    }
    if (rowsRead == 0) return false;
    const int sw = static_cast<int>(p.pixelWidth), sh = static_cast<int>(p.pixelHeight);
    AreaScaler scaler(sw, sh, out);
    std::vector<std::uint32_t> row(static_cast<std::size_t>(sw));
    for (int y = 0; y < sh; ++y) {
        std::fill(row.begin(), row.end(), 0u);
        const int fy = y - desc.Top;
        if (fy >= 0 && fy < desc.Height) {
            const GifPixelType* indices = frame.data() + static_cast<std::size_t>(fy) * desc.Width;
            for (int fx = 0; fx < desc.Width; ++fx) {
                const int x = desc.Left + fx;
                if (x < 0 || x >= sw) continue;
                const int index = indices[fx];
                if (index == transparent || index >= map->ColorCount) continue;
                const GifColorType& c = map->Colors[index];
                row[static_cast<std::size_t>(x)] = 0xFF000000u | (std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue;
            }
        }
        scaler.addRow(row.data());
    }
    return true;
}

}  // namespace dv::gfx::detail
