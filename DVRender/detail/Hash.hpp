#pragma once
// Hash mixing for the drawing records. Doubles hash by value so that +0 and -0, which
// compare equal, also hash equal.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace dv::detail {

inline void hashMix(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

inline void hashMix(std::size_t& seed, double value) {
    if (value == 0) value = 0;   // -0 == +0
    hashMix(seed, static_cast<std::size_t>(std::bit_cast<std::uint64_t>(value)));
}

inline void hashMix(std::size_t& seed, bool value) { hashMix(seed, static_cast<std::size_t>(value)); }

inline void hashMix(std::size_t& seed, std::string_view value) {
    hashMix(seed, std::hash<std::string_view>{}(value));
}

} // namespace dv::detail
