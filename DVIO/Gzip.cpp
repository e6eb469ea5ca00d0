#include "DVIO/Gzip.hpp"

#include <array>

#include "DVIO/ZipArchive.hpp"
#include "DVIO/detail/Inflate.hpp"
#include "Platform/Compression/Deflate.hpp"

namespace dv {

namespace {

using CRCTables = std::array<std::array<std::uint32_t, 256>, 8>;

// Table 0 is the classic byte-at-a-time table; table k advances a byte through k more zero
// bytes, so eight input bytes cost eight lookups in one step instead of a chain of eight.
const CRCTables& crcTables() {
    static const CRCTables tables = [] {
        CRCTables t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[0][i] = c;
        }
        for (std::size_t k = 1; k < t.size(); ++k) {
            for (std::size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        }
        return t;
    }();
    return tables;
}

std::uint32_t readLE32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 | std::uint32_t{bytes[at + 2]} << 16 |
           std::uint32_t{bytes[at + 3]} << 24;
}

void appendLE32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

constexpr std::uint8_t kHeader[10] = {0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF};
constexpr std::uint8_t kFlagHeaderCRC = 0x02, kFlagExtra = 0x04, kFlagName = 0x08, kFlagComment = 0x10;

// Moves `pos` past a zero-terminated header field; false when no zero byte follows.
bool skipZeroTerminated(std::span<const std::uint8_t> bytes, std::size_t& pos) {
    if (pos >= bytes.size()) return false;
    for (std::size_t i = pos; i < bytes.size(); ++i) {
        if (bytes[i] == 0) {
            pos = i + 1;
            return true;
        }
    }
    return false;
}

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
    const CRCTables& t = crcTables();
    std::uint32_t c = 0xFFFFFFFFu;
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 8; p += 8, n -= 8) {
        const std::uint32_t one = c ^ (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                                       std::uint32_t{p[3]} << 24);
        c = t[7][one & 0xFF] ^ t[6][(one >> 8) & 0xFF] ^ t[5][(one >> 16) & 0xFF] ^ t[4][one >> 24] ^ t[3][p[4]] ^
            t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; n > 0; ++p, --n) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return ~c;
}

std::optional<std::vector<std::uint8_t>> deflateRaw(std::span<const std::uint8_t> bytes) {
    // One final fixed-Huffman block holding only its end code.
    if (bytes.empty()) return std::vector<std::uint8_t>{0x03, 0x00};
    return platform::deflateRawData(bytes);
}

std::optional<std::vector<std::uint8_t>> gzip(std::span<const std::uint8_t> bytes) {
    const auto deflated = deflateRaw(bytes);
    if (!deflated) return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(sizeof kHeader + deflated->size() + 8);
    out.insert(out.end(), std::begin(kHeader), std::end(kHeader));
    out.insert(out.end(), deflated->begin(), deflated->end());
    appendLE32(out, crc32(bytes));
    appendLE32(out, static_cast<std::uint32_t>(bytes.size()));
    return out;
}

std::optional<std::vector<std::uint8_t>> gunzip(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 18 || bytes[0] != 0x1F || bytes[1] != 0x8B || bytes[2] != 0x08) return std::nullopt;
    const std::uint8_t flags = bytes[3];
    if (flags > 31) return std::nullopt;
    std::size_t pos = 10;
    if (flags & kFlagExtra) pos = 12 + (std::size_t{bytes[10]} | std::size_t{bytes[11]} << 8);
    if ((flags & kFlagName) && !skipZeroTerminated(bytes, pos)) return std::nullopt;
    if ((flags & kFlagComment) && !skipZeroTerminated(bytes, pos)) return std::nullopt;
    if (flags & kFlagHeaderCRC) pos += 2;
    if (bytes.size() < pos + 8) return std::nullopt;

    const std::uint32_t storedCRC = readLE32(bytes, bytes.size() - 8);
    const std::uint32_t storedSize = readLE32(bytes, bytes.size() - 4);
    std::vector<std::uint8_t> out;
    try {
        out = detail::inflateRawSized(bytes.subspan(pos, bytes.size() - 8 - pos), gunzipMaxBytes, storedSize);
    } catch (const ZipError&) {
        return std::nullopt;
    } catch (const InflateError&) {
        return std::nullopt;
    }
    if (storedCRC != crc32(out) || storedSize != static_cast<std::uint32_t>(out.size())) return std::nullopt;
    return out;
}

}  // namespace dv
