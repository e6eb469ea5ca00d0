#pragma once

// Keyed hashing for every hash table of the kit whose keys can come from a file. The key is drawn
// at random once per process, so nobody outside can build texts that collide on purpose (hash
// flooding). Hash values are never stored or shown: they only have to agree with equality.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dv {

/// Streaming SipHash-1-3 under the process key.
class Hasher {
public:
    Hasher() noexcept;

    void write(const void* data, std::size_t size) noexcept;
    void write(std::string_view bytes) noexcept { write(bytes.data(), bytes.size()); }
    void writeU64(std::uint64_t value) noexcept;
    void writeByte(std::uint8_t value) noexcept { write(&value, 1); }
    /// Numbers hash by value: −0 as +0, so that the two (which compare equal) hash alike.
    void writeDouble(double value) noexcept;

    /// The hash of everything written so far (the hasher itself is left unchanged).
    std::uint64_t finish() const noexcept;

private:
    void compress(std::uint64_t word) noexcept;

    std::uint64_t v0_, v1_, v2_, v3_;
    std::uint64_t tail_ = 0;      // pending bytes, little-endian
    std::size_t tailSize_ = 0;    // 0..7
    std::uint64_t length_ = 0;    // total bytes written
};

/// Keyed hash of a byte string on its own.
std::uint64_t hashBytes(std::string_view bytes) noexcept;

}  // namespace dv
