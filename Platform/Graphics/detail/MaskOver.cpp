#include "Platform/Graphics/detail/MaskOver.hpp"

#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define DV_MASK_OVER_AVX2 1
#endif

namespace dv::gfx::detail {

namespace {

// a·b / 255, rounded as cairo rounds it.
inline std::uint32_t times(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

void overRow(std::uint8_t* row, const std::uint8_t* mask, int width, std::uint32_t colour) {
    for (int x = 0; x < width; ++x) {
        const std::uint32_t m = mask[x];
        if (m == 0) continue;
        std::uint32_t d;
        std::memcpy(&d, row + 4 * x, 4);
        const std::uint32_t inverse = 255 - times(colour >> 24, m);
        std::uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const std::uint32_t v = times((colour >> shift) & 0xFF, m) + times((d >> shift) & 0xFF, inverse);
            out |= (v > 255 ? 255 : v) << shift;
        }
        std::memcpy(row + 4 * x, &out, 4);
    }
}

#ifdef DV_MASK_OVER_AVX2
#define DV_AVX2 __attribute__((target("avx2")))

DV_AVX2 inline __m256i times16(__m256i a, __m256i b) {
    return _mm256_mulhi_epu16(_mm256_adds_epu16(_mm256_mullo_epi16(a, b), _mm256_set1_epi16(0x80)), _mm256_set1_epi16(0x101));
}

// Each pixel's alpha into its four channels.
DV_AVX2 inline __m256i alphas(__m256i v) { return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(v, 0xFF), 0xFF); }

// Eight pixels at a time, each channel in 16 bits.
DV_AVX2 void overRowWide(std::uint8_t* row, const std::uint8_t* mask, int width, std::uint32_t colour) {
    const __m256i zero = _mm256_setzero_si256(), full = _mm256_set1_epi16(0xFF);
    const __m256i source = _mm256_unpacklo_epi8(_mm256_set1_epi32(static_cast<int>(colour)), zero);
    // Each pixel's mask level into each of its four bytes.
    const __m256i fan = _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12, 0, 0, 0, 0, 4, 4, 4, 4, 8, 8,
                                         8, 8, 12, 12, 12, 12);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        std::uint64_t levels;
        std::memcpy(&levels, mask + x, 8);
        if (levels == 0) continue;
        const __m256i m = _mm256_shuffle_epi8(
            _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<long long>(levels))), fan);
        std::uint8_t* at = row + 4 * x;
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        const __m256i sLow = times16(source, _mm256_unpacklo_epi8(m, zero));
        const __m256i sHigh = times16(source, _mm256_unpackhi_epi8(m, zero));
        const __m256i dLow = times16(_mm256_unpacklo_epi8(d, zero), _mm256_xor_si256(alphas(sLow), full));
        const __m256i dHigh = times16(_mm256_unpackhi_epi8(d, zero), _mm256_xor_si256(alphas(sHigh), full));
        const __m256i out = _mm256_adds_epu8(_mm256_packus_epi16(sLow, sHigh), _mm256_packus_epi16(dLow, dHigh));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), out);
    }
    overRow(row + 4 * x, mask + x, width - x, colour);
}

bool wide() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}
#endif

} // namespace

std::uint32_t solidPixel(double red, double green, double blue, double alpha) {
    const auto clamp = [](double v) { return v > 1 ? 1.0 : v >= 0 ? v : 0.0; };
    const double a = clamp(alpha);
    const auto byte = [](double v) { return static_cast<std::uint32_t>(static_cast<std::uint16_t>(v * 65535.0 + 0.5)) >> 8; };
    return byte(a) << 24 | byte(clamp(red) * a) << 16 | byte(clamp(green) * a) << 8 | byte(clamp(blue) * a);
}

void maskOver(std::uint8_t* pixels, int stride, const std::uint8_t* mask, int maskStride, int width, int height,
              std::uint32_t colour) {
    if (width <= 0 || colour == 0) return;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        const std::uint8_t* levels = mask + static_cast<std::ptrdiff_t>(y) * maskStride;
#ifdef DV_MASK_OVER_AVX2
        if (wide()) {
            overRowWide(row, levels, width, colour);
            continue;
        }
#endif
        overRow(row, levels, width, colour);
    }
}

} // namespace dv::gfx::detail
