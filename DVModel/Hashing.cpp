#include "DVModel/Hashing.hpp"

#include <bit>
#include <chrono>
#include <cstring>
#include <random>

namespace dv {
namespace {

struct ProcessKey {
    std::uint64_t k0, k1;
};

const ProcessKey& processKey() noexcept {
    static const ProcessKey key = []() noexcept {
        try {
            std::random_device device;
            auto draw64 = [&] { return (std::uint64_t{device()} << 32) ^ device(); };
            return ProcessKey{draw64(), draw64()};
        } catch (...) {
            // A sandboxed host may offer no entropy source; the clock and the (randomised)
            // addresses of this process still make the key unknown from outside.
            const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            const auto here = reinterpret_cast<std::uintptr_t>(&now);
            const auto code = reinterpret_cast<std::uintptr_t>(&processKey);
            return ProcessKey{now ^ (std::uint64_t{here} * 0x9E3779B97F4A7C15ull),
                              std::rotl(now, 29) ^ (std::uint64_t{code} * 0xC2B2AE3D27D4EB4Full)};
        }
    }();
    return key;
}

inline std::uint64_t rotl(std::uint64_t x, int b) noexcept { return std::rotl(x, b); }

inline void sipRound(std::uint64_t& v0, std::uint64_t& v1, std::uint64_t& v2, std::uint64_t& v3) noexcept {
    v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
    v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
    v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
    v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
}

inline std::uint64_t loadLittleEndian(const unsigned char* p) noexcept {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return word;
}

}  // namespace

Hasher::Hasher() noexcept {
    const ProcessKey& key = processKey();
    v0_ = key.k0 ^ 0x736f6d6570736575ull;
    v1_ = key.k1 ^ 0x646f72616e646f6dull;
    v2_ = key.k0 ^ 0x6c7967656e657261ull;
    v3_ = key.k1 ^ 0x7465646279746573ull;
}

void Hasher::compress(std::uint64_t word) noexcept {
    v3_ ^= word;
    sipRound(v0_, v1_, v2_, v3_);
    v0_ ^= word;
}

void Hasher::write(const void* data, std::size_t size) noexcept {
    const auto* p = static_cast<const unsigned char*>(data);
    length_ += size;
    // Top up the pending word first.
    while (tailSize_ != 0 && size != 0) {
        tail_ |= std::uint64_t{*p++} << (8 * tailSize_);
        --size;
        if (++tailSize_ == 8) {
            compress(tail_);
            tail_ = 0;
            tailSize_ = 0;
        }
    }
    for (; size >= 8; p += 8, size -= 8) compress(loadLittleEndian(p));
    for (; size != 0; --size) tail_ |= std::uint64_t{*p++} << (8 * tailSize_++);
}

void Hasher::writeU64(std::uint64_t value) noexcept {
    if (tailSize_ == 0) {
        length_ += 8;
        compress(value);
        return;
    }
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    write(bytes, 8);
}

void Hasher::writeDouble(double value) noexcept {
    if (value == 0) value = 0.0;
    writeU64(std::bit_cast<std::uint64_t>(value));
}

std::uint64_t Hasher::finish() const noexcept {
    std::uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
    const std::uint64_t last = tail_ | (length_ << 56);
    v3 ^= last;
    sipRound(v0, v1, v2, v3);
    v0 ^= last;
    v2 ^= 0xff;
    sipRound(v0, v1, v2, v3);
    sipRound(v0, v1, v2, v3);
    sipRound(v0, v1, v2, v3);
    return v0 ^ v1 ^ v2 ^ v3;
}

std::uint64_t hashBytes(std::string_view bytes) noexcept {
    Hasher hasher;
    hasher.write(bytes);
    return hasher.finish();
}

}  // namespace dv
