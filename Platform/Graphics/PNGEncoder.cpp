#include "Platform/Graphics/PNGEncoder.hpp"

#include "Platform/Graphics/Parallelism.hpp"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

namespace dv::gfx {

namespace {

// No row filter and light compression: on rendered boards (flat areas, thin antialiased
// strokes, text) this writes files about as small as the adaptive filters with the default
// level, at a quarter of the time; trying every filter on every row was most of the cost.
constexpr int LEVEL = 2;
constexpr int WINDOW_BITS = 15;
constexpr std::size_t WINDOW = std::size_t{1} << WINDOW_BITS;

// Deflate is still most of the time of writing a large picture, so its rows are compressed in
// pieces side by side. Each piece is primed with the 32 KiB before it, which keeps the file as
// small as one stream would make it. The pieces follow from the picture's size alone: the same
// pixels always give the same bytes, on any machine.
constexpr std::size_t PIXELS_PER_PIECE = std::size_t{1} << 18;
constexpr std::size_t MAX_PIECES = 8;

// Bytes that are written before they are read: unlike a vector's, they are not cleared first,
// which would touch every page of a worst-case output buffer that is mostly never used.
struct Bytes {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
    explicit Bytes(std::size_t n = 0) : data(n ? new std::uint8_t[n] : nullptr), size(n) {}
};

struct Piece {
    int firstRow = 0;
    int endRow = 0;
    Bytes deflated;                      // raw deflate, ending on a byte boundary
    std::uint32_t adler = 1;             // of the piece's own filtered rows
    std::size_t rawBytes = 0;
    bool ok = false;
};

// One row as the file stores it: the filter byte (none) and straight RGBA.
void filteredRow(const PixelView& px, int y, std::uint8_t* o) {
    *o++ = 0;
    const std::uint8_t* row = px.data + static_cast<std::ptrdiff_t>(y) * px.stride;
    for (int x = 0; x < px.width; ++x) {
        std::uint32_t word;
        std::memcpy(&word, row + 4 * x, 4);
        const unsigned a = word >> 24;
        if (a == 255) { // opaque: the colour is stored as it is
            *o++ = static_cast<std::uint8_t>(word >> 16);
            *o++ = static_cast<std::uint8_t>(word >> 8);
            *o++ = static_cast<std::uint8_t>(word);
            *o++ = 255;
            continue;
        }
        const unsigned c[3] = {(word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF};
        for (int k = 0; k < 3; ++k) {
            unsigned v = a == 0 ? 0 : (c[k] * 255 + a / 2) / a;
            *o++ = static_cast<std::uint8_t>(v > 255 ? 255 : v);
        }
        *o++ = static_cast<std::uint8_t>(a);
    }
}

// Compresses one piece: the rows just before it go in first as the dictionary.
void deflatePiece(const PixelView& px, Piece& piece, bool last) noexcept {
    try {
        const std::size_t rowBytes = 1 + static_cast<std::size_t>(px.width) * 4;
        const std::size_t primingRows = piece.firstRow == 0 ? 0 : std::min<std::size_t>(piece.firstRow, (WINDOW + rowBytes - 1) / rowBytes);
        const int from = piece.firstRow - static_cast<int>(primingRows);
        const Bytes raw(rowBytes * static_cast<std::size_t>(piece.endRow - from));
        for (int y = from; y < piece.endRow; ++y) filteredRow(px, y, raw.data.get() + rowBytes * static_cast<std::size_t>(y - from));
        const std::size_t dictionaryBytes = std::min(WINDOW, primingRows * rowBytes);
        const std::uint8_t* input = raw.data.get() + primingRows * rowBytes;
        piece.rawBytes = raw.size - primingRows * rowBytes;
        piece.adler = static_cast<std::uint32_t>(adler32_z(1, input, piece.rawBytes));

        z_stream z{};
        if (deflateInit2(&z, LEVEL, Z_DEFLATED, -WINDOW_BITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
        struct End {
            z_stream& z;
            ~End() { deflateEnd(&z); }
        } end{z};
        if (dictionaryBytes > 0 &&
            deflateSetDictionary(&z, input - dictionaryBytes, static_cast<uInt>(dictionaryBytes)) != Z_OK)
            return;
        // Room for the worst case and the empty block that ends a flushed piece.
        piece.deflated = Bytes(deflateBound(&z, piece.rawBytes) + 64);
        z.next_out = piece.deflated.data.get();
        std::size_t done = 0;
        for (;;) {
            const std::size_t slice = std::min<std::size_t>(piece.rawBytes - done, std::size_t{1} << 30);
            const bool final = done + slice == piece.rawBytes;
            z.next_in = const_cast<std::uint8_t*>(input + done);
            z.avail_in = static_cast<uInt>(slice);
            const std::size_t room = piece.deflated.size - static_cast<std::size_t>(z.next_out - piece.deflated.data.get());
            z.avail_out = static_cast<uInt>(std::min<std::size_t>(room, std::size_t{1} << 31));
            const int status = deflate(&z, final ? (last ? Z_FINISH : Z_SYNC_FLUSH) : Z_NO_FLUSH);
            if (z.avail_in != 0 || z.avail_out == 0) return;
            done += slice;
            if (final) {
                if (last ? status != Z_STREAM_END : status != Z_OK) return;
                break;
            }
            if (status != Z_OK) return;
        }
        piece.deflated.size = static_cast<std::size_t>(z.next_out - piece.deflated.data.get());
        piece.ok = true;
    } catch (...) {
        // Out of memory: the piece stays unfinished, and the whole encoding fails.
    }
}

std::array<std::uint8_t, 4> be32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    const auto b = be32(v);
    out.insert(out.end(), b.begin(), b.end());
}

// A chunk whose data is `parts` one after another.
void appendChunk(std::vector<std::uint8_t>& out, const char* type,
                 std::initializer_list<std::pair<const std::uint8_t*, std::size_t>> parts) {
    std::size_t length = 0;
    for (const auto& [data, size] : parts) length += size;
    put32(out, static_cast<std::uint32_t>(length));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    for (const auto& [data, size] : parts) out.insert(out.end(), data, data + size);
    put32(out, static_cast<std::uint32_t>(crc32_z(0, out.data() + typeAt, 4 + length)));
}

std::vector<Piece> pieces(const PixelView& px) {
    const std::size_t rowsPerPiece = std::max<std::size_t>(1, PIXELS_PER_PIECE / static_cast<std::size_t>(px.width));
    const std::size_t rows = static_cast<std::size_t>(px.height);
    const std::size_t count = std::min(MAX_PIECES, (rows + rowsPerPiece - 1) / rowsPerPiece);
    std::vector<Piece> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        out[i].firstRow = static_cast<int>(rows * i / count);
        out[i].endRow = static_cast<int>(rows * (i + 1) / count);
    }
    return out;
}

void deflateAll(const PixelView& px, std::vector<Piece>& all) {
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < all.size();) deflatePiece(px, all[i], i + 1 == all.size());
    };
    std::vector<std::thread> helpers;
    const std::size_t threads = std::min(all.size(), freeProcessorCount());
    try {
        for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer helpers: the calling thread takes what is left.
    }
    work();
    for (auto& helper : helpers) helper.join();
}

} // namespace

std::optional<std::vector<std::uint8_t>> encodePNG(const PixelView& px) {
    if (!px.data || px.width <= 0 || px.height <= 0 || px.stride < px.width * 4) return std::nullopt;
    try {
        std::vector<Piece> all = pieces(px);
        deflateAll(px, all);
        std::uint32_t adler = 1;
        std::size_t deflatedBytes = 0;
        for (const Piece& piece : all) {
            if (!piece.ok) return std::nullopt;
            adler = static_cast<std::uint32_t>(adler32_combine(adler, piece.adler, static_cast<z_off_t>(piece.rawBytes)));
            deflatedBytes += piece.deflated.size;
        }

        std::vector<std::uint8_t> out;
        out.reserve(deflatedBytes + 12 * all.size() + 128);
        static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        out.insert(out.end(), signature, signature + 8);
        const auto w = be32(static_cast<std::uint32_t>(px.width)), h = be32(static_cast<std::uint32_t>(px.height));
        // 8 bits per sample, RGBA, deflate, adaptive filtering method, not interlaced.
        static const std::uint8_t format[5] = {8, 6, 0, 0, 0};
        appendChunk(out, "IHDR", {{w.data(), 4}, {h.data(), 4}, {format, 5}});
        // sRGB with the gamma and chromaticities that stand for it, for readers without sRGB.
        const auto gamma = be32(45455);
        appendChunk(out, "gAMA", {{gamma.data(), 4}});
        static const std::uint8_t perceptual = 0;
        appendChunk(out, "sRGB", {{&perceptual, 1}});
        std::uint8_t chromaticities[32];
        const std::uint32_t points[8] = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
        for (int i = 0; i < 8; ++i) std::memcpy(chromaticities + 4 * i, be32(points[i]).data(), 4);
        appendChunk(out, "cHRM", {{chromaticities, 32}});

        // The zlib header (32 KiB window, the level's flag, its check bits) and the Adler-32 of
        // every filtered row frame the pieces, one image data chunk each.
        const unsigned levelFlag = LEVEL < 2 ? 0 : LEVEL < 6 ? 1 : LEVEL == 6 ? 2 : 3;
        unsigned header = (0x78u << 8) | (levelFlag << 6);
        header += 31 - header % 31;
        const std::uint8_t zlibHeader[2] = {static_cast<std::uint8_t>(header >> 8), static_cast<std::uint8_t>(header)};
        const auto trailer = be32(adler);
        for (std::size_t i = 0; i < all.size(); ++i) {
            const bool first = i == 0, last = i + 1 == all.size();
            appendChunk(out, "IDAT",
                        {{zlibHeader, first ? 2u : 0u},
                         {all[i].deflated.data.get(), all[i].deflated.size},
                         {trailer.data(), last ? 4u : 0u}});
        }
        appendChunk(out, "IEND", {});
        return out;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace dv::gfx
