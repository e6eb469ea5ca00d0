// PNG over libpng. libpng reports errors with longjmp, so the frames that call it hold only
// plain data; buffers belong to the caller.

#include "Platform/ImageIO/detail/Decoding.hpp"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace dv::gfx::detail {

std::optional<HeaderInfo> readPNGHeader(std::span<const std::uint8_t> d) {
    // Signature, then IHDR must come first.
    if (d.size() < 33 || std::memcmp(d.data() + 12, "IHDR", 4) != 0 || be32(d.data() + 8) != 13) return std::nullopt;
    HeaderInfo info;
    info.properties.pixelWidth = be32(d.data() + 16);
    info.properties.pixelHeight = be32(d.data() + 20);
    // The format caps each side at 2^31 - 1; larger ones are not PNG, and two of them would
    // overflow the whole-picture product below.
    constexpr std::int64_t maxSide = 0x7FFFFFFF;
    if (info.properties.pixelWidth > maxSide || info.properties.pixelHeight > maxSide) return std::nullopt;
    // Only the combinations the format defines; anything else would fail in the decoder, after
    // its row buffers exist.
    const int depth = d[24], colorType = d[25];
    const bool depthOK = (colorType == 0 && (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16)) ||
                         (colorType == 3 && (depth == 1 || depth == 2 || depth == 4 || depth == 8)) ||
                         ((colorType == 2 || colorType == 4 || colorType == 6) && (depth == 8 || depth == 16));
    if (!depthOK || d[26] != 0 || d[27] != 0 || d[28] > 1) return std::nullopt;
    const bool interlaced = d[28] == 1;
    // A row of pixels for libpng's and the scaler's use, or the whole picture.
    info.heldBytes = info.properties.pixelWidth * 4 * 3;
    info.decodedPixels = info.properties.pixelWidth * info.properties.pixelHeight;
    if (interlaced) {
        info.wholePixels = info.properties.pixelWidth * info.properties.pixelHeight;
        info.heldBytes += info.wholePixels * 4;
        // Seven passes laid into the whole picture, which is then read again: about four times
        // the work of rows read in order.
        info.decodedPixels *= 4;
    }
    // The orientation lives in an eXIf chunk, which may sit anywhere before IEND.
    std::size_t at = 8;
    bool seenImageData = false;
    while (at <= d.size() && d.size() - at >= 12) {
        const std::size_t length = be32(d.data() + at);
        const std::uint8_t* type = d.data() + at + 4;
        seenImageData = seenImageData || std::memcmp(type, "IDAT", 4) == 0;
        if (length > d.size() - at - 12) {
            // The decoder reads every chunk before the image data whole: one that claims more
            // bytes than the file has would only become a huge allocation. Image data cut
            // short is fine (the rows that are there still show).
            if (!seenImageData) return std::nullopt;
            break;
        }
        if (std::memcmp(type, "eXIf", 4) == 0) {
            info.properties.orientation = tiffOrientation(d.subspan(at + 8, length));
            break;
        }
        if (std::memcmp(type, "IEND", 4) == 0) break;
        at += 12 + length;
    }
    return info;
}

namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos;
};

void readBytes(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (n > r->size - r->pos) png_error(png, "truncated");
    std::memcpy(out, r->data + r->pos, n);
    r->pos += n;
}

void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void quietWarning(png_structp, png_const_charp) {}

void premultiplyRow(std::uint32_t* row, int width) {
    for (int x = 0; x < width; ++x) {
        const std::uint32_t p = row[x];
        const auto a = static_cast<std::uint8_t>(p >> 24);
        if (a != 255) row[x] = premultipliedARGB(static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                                                 static_cast<std::uint8_t>(p), a);
    }
}

// Hands the rows of a whole interlaced picture to the scaler.
int deliverWhole(AreaScaler* scaler, std::uint32_t* whole, int width, int height, int rowLimit, bool transparent) {
    int delivered = 0;
    for (int y = 0; y < height && delivered < rowLimit; ++y) {
        std::uint32_t* r = whole + static_cast<std::size_t>(y) * width;
        if (scaler) {
            if (transparent) premultiplyRow(r, width);
            scaler->addRow(r);
        }
        ++delivered;
    }
    return delivered;
}

// Everything between setjmp and libpng lives here, free of C++ objects with destructors.
// `row` holds one row (width words); `whole` is null for progressive rows or holds the
// whole image for interlaced files. Delivery stops after `rowLimit` rows (of the first pass,
// when interlaced and without `whole`); rows go to the scaler when there is one. Returns the
// number of rows delivered. An interlaced file cut short shows the passes it had.
int readRows(png_structp png, png_infop info, AreaScaler* scaler, std::uint32_t* row, std::uint32_t* whole,
             int width, int height, int rowLimit) {
    volatile int delivered = 0;
    volatile int wholeRowsRead = 0;
    volatile bool transparent = false;
    if (setjmp(png_jmpbuf(png))) {
        if (whole != nullptr && wholeRowsRead > 0) return deliverWhole(scaler, whole, width, height, rowLimit, transparent);
        return delivered;
    }
    png_read_info(png, info);
    const int colorType = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (depth == 16) png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    transparent = png_get_valid(png, info, PNG_INFO_tRNS) || (colorType & PNG_COLOR_MASK_ALPHA);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    // Bytes B, G, R, A: the native 0xAARRGGBB word on a little-endian machine.
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 4) return 0;
    if (whole == nullptr) {
        for (int y = 0; y < height && delivered < rowLimit; ++y) {
            png_read_row(png, reinterpret_cast<png_bytep>(row), nullptr);
            if (scaler) {
                if (transparent) premultiplyRow(row, width);
                scaler->addRow(row);
            }
            delivered = delivered + 1;
        }
    } else {
        for (int pass = 0; pass < passes; ++pass) {
            for (int y = 0; y < height; ++y) {
                png_read_row(png, reinterpret_cast<png_bytep>(whole + static_cast<std::size_t>(y) * width), nullptr);
                wholeRowsRead = wholeRowsRead + 1;
            }
        }
        return deliverWhole(scaler, whole, width, height, rowLimit, transparent);
    }
    return delivered;
}

// Sets libpng up over `data` and reads its rows (see readRows); the rows delivered.
int decodeRows(std::span<const std::uint8_t> data, const ImageProperties& p, AreaScaler* scaler, int rowLimit,
               bool wholeIfInterlaced) {
    const int width = static_cast<int>(p.pixelWidth);
    const int height = static_cast<int>(p.pixelHeight);
    if (p.pixelWidth > 0x7FFFFFFF / 4 || p.pixelHeight > 0x7FFFFFFF) return 0;
    const bool interlaced = wholeIfInterlaced && isInterlacedPNG(data);
    std::vector<std::uint32_t> row(static_cast<std::size_t>(width));
    std::vector<std::uint32_t> whole;
    if (interlaced) {
        whole.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
        countPixelBuffer();
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
    if (png == nullptr) return 0;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return 0;
    }
    // Ancillary chunks are read whole; a corrupt length must not become a huge allocation.
    png_set_chunk_malloc_max(png, 4u << 20);
    Reader reader{data.data(), data.size(), 0};
    png_set_read_fn(png, &reader, readBytes);
    const int delivered =
        readRows(png, info, scaler, row.data(), interlaced ? whole.data() : nullptr, width, height, rowLimit);
    png_destroy_read_struct(&png, &info, nullptr);
    return delivered;
}

}  // namespace

bool isInterlacedPNG(std::span<const std::uint8_t> data) { return data.size() > 28 && data[28] == 1; }

bool decodePNG(std::span<const std::uint8_t> data, const ImageProperties& p, Bitmap& out) {
    if (p.pixelWidth > 0x7FFFFFFF / 4 || p.pixelHeight > 0x7FFFFFFF) return false;
    AreaScaler scaler(static_cast<int>(p.pixelWidth), static_cast<int>(p.pixelHeight), out);
    const int delivered = decodeRows(data, p, &scaler, static_cast<int>(p.pixelHeight), true);
    // A file cut short still shows the rows it had, as image viewers do.
    scaler.finish();
    return delivered > 0;
}

bool pngFirstRowDecodes(std::span<const std::uint8_t> data, const ImageProperties& p) {
    return decodeRows(data, p, nullptr, 1, false) > 0;
}

}  // namespace dv::gfx::detail
