#include "ImageFixtures.hpp"

#include <gif_lib.h>
#include <png.h>
#include <turbojpeg.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace dv::testing {

Pixels quadrants(int width, int height) {
    Pixels p{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            std::uint8_t r = 0, g = 0, b = 0;
            if (!right && !bottom) r = 255;
            else if (right && !bottom) g = 255;
            else if (!right && bottom) b = 255;
            else r = g = b = 255;
            std::uint8_t* px = &p.rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            px[0] = r; px[1] = g; px[2] = b; px[3] = 255;
        }
    }
    return p;
}

Pixels solid(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    Pixels p{width, height, {}};
    for (int i = 0; i < width * height; ++i) p.rgba.insert(p.rgba.end(), {r, g, b, a});
    return p;
}

Bytes exifOrientation(int orientation) {
    return {'M', 'M', 0, 42, 0, 0, 0, 8,                       // header, first directory at 8
            0, 1,                                              // one entry
            0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, static_cast<std::uint8_t>(orientation), 0, 0,  // orientation SHORT
            0, 0, 0, 0};                                       // no next directory
}

namespace {

void appendBE32(Bytes& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

void writeToVector(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void noFlush(png_structp) {}

std::uint32_t chunkCRC(const Bytes& typed) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : typed) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

void appendPNGChunk(Bytes& out, const char* type, const Bytes& data) {
    appendBE32(out, static_cast<std::uint32_t>(data.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    appendBE32(out, static_cast<std::uint32_t>(chunkCRC(typed)));
}

}  // namespace

Bytes encodePNG(const Pixels& p, int orientation, bool interlaced) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) throw std::runtime_error("png encode");
    png_set_write_fn(png, &out, writeToVector, noFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(p.width), static_cast<png_uint_32>(p.height), 8, PNG_COLOR_TYPE_RGBA,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    Bytes exif;
    if (orientation > 0) {
        exif = exifOrientation(orientation);
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(exif.size()), exif.data());
    }
    png_write_info(png, info);
    std::vector<png_bytep> rows(static_cast<std::size_t>(p.height));
    for (int y = 0; y < p.height; ++y) {
        rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(&p.rgba[static_cast<std::size_t>(y) * p.width * 4]);
    }
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes pngHeaderOnly(std::uint32_t width, std::uint32_t height, bool interlaced) {
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    appendBE32(ihdr, width);
    appendBE32(ihdr, height);
    ihdr.insert(ihdr.end(), {1, 0, 0, 0, static_cast<std::uint8_t>(interlaced ? 1 : 0)});  // 1-bit grey
    appendPNGChunk(out, "IHDR", ihdr);
    appendPNGChunk(out, "IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    appendPNGChunk(out, "IEND", {});
    return out;
}

Bytes encodeJPEG(const Pixels& p, int orientation, bool progressive) {
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(tj, p.rgba.data(), p.width, p.width * 4, p.height, TJPF_RGBA, &jpeg, &size, TJSAMP_444, 95,
                    progressive ? TJFLAG_PROGRESSIVE : 0) != 0) {
        throw std::runtime_error("jpeg encode");
    }
    Bytes out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    if (orientation > 0) {
        Bytes app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
        const Bytes tiff = exifOrientation(orientation);
        app1.insert(app1.end(), tiff.begin(), tiff.end());
        const std::size_t length = app1.size() - 2;
        app1[2] = static_cast<std::uint8_t>(length >> 8);
        app1[3] = static_cast<std::uint8_t>(length);
        out.insert(out.begin() + 2, app1.begin(), app1.end());
    }
    return out;
}

namespace {
int gifWrite(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}
}  // namespace

Bytes encodeGIF(const Pixels& p) {
    // A palette of the distinct colours (at most 256); alpha 0 becomes the transparent index.
    std::vector<GifColorType> colours;
    std::vector<GifPixelType> indices;
    int transparent = -1;
    for (std::size_t i = 0; i < p.rgba.size(); i += 4) {
        if (p.rgba[i + 3] == 0) {
            if (transparent < 0) {
                transparent = static_cast<int>(colours.size());
                colours.push_back({0, 0, 0});
            }
            indices.push_back(static_cast<GifPixelType>(transparent));
            continue;
        }
        int found = -1;
        for (std::size_t c = 0; c < colours.size(); ++c) {
            if (static_cast<int>(c) != transparent && colours[c].Red == p.rgba[i] && colours[c].Green == p.rgba[i + 1] &&
                colours[c].Blue == p.rgba[i + 2]) {
                found = static_cast<int>(c);
            }
        }
        if (found < 0) {
            found = static_cast<int>(colours.size());
            colours.push_back({p.rgba[i], p.rgba[i + 1], p.rgba[i + 2]});
        }
        indices.push_back(static_cast<GifPixelType>(found));
    }
    while (colours.size() < 2 || (colours.size() & (colours.size() - 1)) != 0) colours.push_back({0, 0, 0});
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, gifWrite, &error);
    ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, p.width, p.height, 8, 0, map);
    if (transparent >= 0) {
        GraphicsControlBlock gcb{0, false, 0, transparent};
        GifByteType ext[4];
        const std::size_t n = EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext);
    }
    EGifPutImageDesc(gif, 0, 0, p.width, p.height, false, nullptr);
    for (int y = 0; y < p.height; ++y) EGifPutLine(gif, &indices[static_cast<std::size_t>(y) * p.width], p.width);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

Bytes gifWithScreen(std::uint16_t width, std::uint16_t height) {
    static const std::uint8_t rest[] = {
        0x80, 0, 0, 0, 0, 0, 255, 255, 255,    // two-colour global palette
        0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0,       // a 1 x 1 frame at 0, 0
        0x02, 0x02, 0x44, 0x01, 0x00, 0x3B,    // its pixel, then the trailer
    };
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    out.push_back(static_cast<std::uint8_t>(width));
    out.push_back(static_cast<std::uint8_t>(width >> 8));
    out.push_back(static_cast<std::uint8_t>(height));
    out.push_back(static_cast<std::uint8_t>(height >> 8));
    for (std::uint8_t b : rest) out.push_back(b);
    return out;
}

namespace {

// Entropy-coded bits, most significant first, with a zero byte stuffed after every 0xFF.
struct BitWriter {
    Bytes& out;
    std::uint32_t bits = 0;
    int count = 0;
    void put(std::uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            bits = (bits << 1) | ((value >> i) & 1);
            if (++count == 8) emit();
        }
    }
    void emit() {
        out.push_back(static_cast<std::uint8_t>(bits));
        if ((bits & 0xFF) == 0xFF) out.push_back(0);
        bits = 0;
        count = 0;
    }
    void pad() {
        while (count != 0) put(1, 1);
    }
};

void segment(Bytes& out, std::uint8_t marker, const Bytes& body) {
    out.insert(out.end(), {0xFF, marker, static_cast<std::uint8_t>((body.size() + 2) >> 8), static_cast<std::uint8_t>(body.size() + 2)});
    out.insert(out.end(), body.begin(), body.end());
}

Bytes frameHeader(int width, int height, int components, std::uint8_t sampling) {
    Bytes sof = {8, static_cast<std::uint8_t>(height >> 8), static_cast<std::uint8_t>(height),
                 static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(components)};
    for (int c = 0; c < components; ++c) sof.insert(sof.end(), {static_cast<std::uint8_t>(c + 1), c == 0 ? sampling : std::uint8_t{0x11}, 0});
    return sof;
}

}  // namespace

Bytes flatProgressiveJPEG(int width, int height, int components, bool dcRefined) {
    Bytes out = {0xFF, 0xD8};
    Bytes dqt = {0};
    dqt.insert(dqt.end(), 64, 1);
    segment(out, 0xDB, dqt);
    segment(out, 0xC2, frameHeader(width, height, components, 0x11));
    // DC: one symbol (difference category 0) coded "0"; AC: the end-of-band runs EOB0...EOB14,
    // four bits each.
    Bytes dht = {0x00, 1};
    dht.insert(dht.end(), 15, 0);
    dht.push_back(0);
    dht.insert(dht.end(), {0x10, 0, 0, 0, 15});
    dht.insert(dht.end(), 12, 0);
    for (int r = 0; r < 15; ++r) dht.push_back(static_cast<std::uint8_t>(r << 4));
    segment(out, 0xC4, dht);
    const int blocks = (width + 7) / 8 * ((height + 7) / 8);
    auto scan = [&](std::vector<int> ids, int ss, int se, int ah, int al, auto&& data) {
        Bytes sos(1 + 2 * ids.size() + 3, 0);
        sos[0] = static_cast<std::uint8_t>(ids.size());
        for (std::size_t i = 0; i < ids.size(); ++i) sos[1 + 2 * i] = static_cast<std::uint8_t>(ids[i]);
        sos[sos.size() - 3] = static_cast<std::uint8_t>(ss);
        sos[sos.size() - 2] = static_cast<std::uint8_t>(se);
        sos[sos.size() - 1] = static_cast<std::uint8_t>(ah << 4 | al);
        segment(out, 0xDA, sos);
        BitWriter bits{out};
        data(bits);
        bits.pad();
    };
    std::vector<int> all;
    for (int c = 1; c <= components; ++c) all.push_back(c);
    // Every block's DC difference is 0; a refinement adds one zero bit a block.
    scan(all, 0, 0, 0, dcRefined ? 1 : 0, [&](BitWriter& b) { for (int i = 0; i < blocks * components; ++i) b.put(0, 1); });
    if (dcRefined) scan(all, 0, 0, 1, 0, [&](BitWriter& b) { for (int i = 0; i < blocks * components; ++i) b.put(0, 1); });
    for (int c = 1; c <= components; ++c)
        for (int k = 1; k < 64; ++k)
            scan({c}, k, k, 0, 0, [&](BitWriter& b) {
                for (int left = blocks; left > 0;) {
                    const int run = std::min(left, 32767);
                    int r = 0;
                    while ((2 << r) <= run) ++r;
                    b.put(static_cast<std::uint32_t>(r), 4);
                    b.put(static_cast<std::uint32_t>(run - (1 << r)), r);
                    left -= run;
                }
            });
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

Bytes jpegHeaderOnly(int width, int height, int components, bool progressive, std::uint8_t sampling) {
    Bytes out = {0xFF, 0xD8};
    segment(out, progressive ? 0xC2 : 0xC0, frameHeader(width, height, components, sampling));
    Bytes sos = {static_cast<std::uint8_t>(components)};
    for (int c = 1; c <= components; ++c) sos.insert(sos.end(), {static_cast<std::uint8_t>(c), 0x00});
    sos.insert(sos.end(), {0, progressive ? std::uint8_t{0} : std::uint8_t{63}, 0});
    segment(out, 0xDA, sos);
    out.insert(out.end(), {0x00, 0xFF, 0xD9});
    return out;
}

Bytes encodeWebP(const Pixels& p, bool lossless) {
    std::uint8_t* data = nullptr;
    const std::size_t size = lossless ? WebPEncodeLosslessRGBA(p.rgba.data(), p.width, p.height, p.width * 4, &data)
                                      : WebPEncodeRGBA(p.rgba.data(), p.width, p.height, p.width * 4, 95, &data);
    if (size == 0) throw std::runtime_error("webp encode");
    Bytes out(data, data + size);
    WebPFree(data);
    return out;
}

std::string base64(const Bytes& data) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        for (int s = 18; s >= 0; s -= 6) out.push_back(alphabet[(v >> s) & 63]);
    }
    if (i + 1 == data.size()) {
        const std::uint32_t v = data[i] << 16;
        out += {alphabet[(v >> 18) & 63], alphabet[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == data.size()) {
        const std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8);
        out += {alphabet[(v >> 18) & 63], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63], '='};
    }
    return out;
}

std::string base64(std::string_view text) { return base64(Bytes(text.begin(), text.end())); }

std::string dataURL(std::string_view mediaType, const Bytes& data) {
    return "data:" + std::string(mediaType) + ";base64," + base64(data);
}

}  // namespace dv::testing
