#include "DVIO/Gzip.hpp"

#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "DVIO/ZipArchive.hpp"
#include "DVIO/detail/Inflate.hpp"
#include "Platform/Compression/Deflate.hpp"

namespace dv {

namespace {

using CRCTables = std::array<std::array<std::uint32_t, 256>, 16>;

// Table 0 is the classic byte-at-a-time table; table k advances a byte through k more zero
// bytes, so sixteen input bytes cost sixteen independent lookups instead of a chain of sixteen.
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

// The register advanced over `bytes` sixteen at a time by the tables, then byte by byte.
std::uint32_t crcUpdateTables(std::uint32_t c, const std::uint8_t* p, std::size_t n) {
    const CRCTables& t = crcTables();
    for (; n >= 16; p += 16, n -= 16) {
        const std::uint32_t one = c ^ (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                                       std::uint32_t{p[3]} << 24);
        c = t[15][one & 0xFF] ^ t[14][(one >> 8) & 0xFF] ^ t[13][(one >> 16) & 0xFF] ^ t[12][one >> 24] ^
            t[11][p[4]] ^ t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^ t[7][p[8]] ^ t[6][p[9]] ^ t[5][p[10]] ^
            t[4][p[11]] ^ t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]];
    }
    for (; n > 0; ++p, --n) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return c;
}

#if defined(__x86_64__)
// Carry-less multiplication folds 64 bytes per step, four times the speed of the tables, so that
// checking a gzip member's CRC costs little beside inflating it. `n` is at least 64 and a
// multiple of 16. The fold and reduction constants are those of the reflected polynomial
// 0xEDB88320 (x^(4*128+32), x^(4*128-32), x^(128+32), x^(128-32), x^64 mod P, and the Barrett
// pair floor(x^64 / P) and P).
#define DV_FOLDING __attribute__((target("pclmul,sse4.1")))

DV_FOLDING inline __m128i load16(const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

// x carried 128 bits further (by the constants in k) and added to `next`.
DV_FOLDING inline __m128i fold16(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), next), _mm_clmulepi64_si128(x, k, 0x00));
}

DV_FOLDING std::uint32_t crcUpdateFolding(std::uint32_t crc, const std::uint8_t* p,
                                                                         std::size_t n) {
    alignas(16) static constexpr std::uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
    alignas(16) static constexpr std::uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
    alignas(16) static constexpr std::uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
    alignas(16) static constexpr std::uint64_t poly[] = {0x01db710641, 0x01f7011641};
    __m128i x1 = _mm_xor_si128(load16(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load16(p + 16), x3 = load16(p + 32), x4 = load16(p + 48);
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    p += 64;
    n -= 64;
    for (; n >= 64; p += 64, n -= 64) {
        x1 = fold16(x1, k, load16(p));
        x2 = fold16(x2, k, load16(p + 16));
        x3 = fold16(x3, k, load16(p + 32));
        x4 = fold16(x4, k, load16(p + 48));
    }
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    x1 = fold16(fold16(fold16(x1, k, x2), k, x3), k, x4);
    for (; n >= 16; p += 16, n -= 16) x1 = fold16(x1, k, load16(p));

    // 128 bits to 64, then the Barrett reduction to 32.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), _mm_srli_si128(x1, 4));
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    const __m128i quotient = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10), low32);
    x1 = _mm_xor_si128(x1, _mm_clmulepi64_si128(quotient, k, 0x00));
    return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

#undef DV_FOLDING

bool canFold() {
    static const bool supported = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return supported;
}
#endif

// The register before the final complement, advanced over `bytes`.
std::uint32_t crcUpdate(std::uint32_t c, std::span<const std::uint8_t> bytes) {
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
#if defined(__x86_64__)
    if (n >= 64 && canFold()) {
        const std::size_t folded = n & ~std::size_t{15};
        c = crcUpdateFolding(c, p, folded);
        p += folded;
        n -= folded;
    }
#endif
    return crcUpdateTables(c, p, n);
}

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes) { return ~crcUpdate(0xFFFFFFFFu, bytes); }

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
    // The CRC is taken piece by piece as the output is decoded, while each piece is in the cache.
    std::uint32_t crc = 0xFFFFFFFFu;
    try {
        out = detail::inflateRawSized(bytes.subspan(pos, bytes.size() - 8 - pos), gunzipMaxBytes, storedSize,
                                      [&crc](std::span<const std::uint8_t> piece) { crc = crcUpdate(crc, piece); });
    } catch (const ZipError&) {
        return std::nullopt;
    } catch (const InflateError&) {
        return std::nullopt;
    }
    if (storedCRC != ~crc || storedSize != static_cast<std::uint32_t>(out.size())) return std::nullopt;
    return out;
}

}  // namespace dv
