#pragma once
// Bit-exact sameness, for work that keeps what it computed for an element that has not changed:
// numbers compare by their 64-bit pattern (so -0 differs from +0 and a NaN matches the same NaN),
// texts by code units, objects regardless of key order.

#include "DVModel/JSONValue.hpp"

#include <bit>
#include <cstdint>
#include <optional>

namespace dv {

inline bool sameNumberBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

inline bool sameNumberBits(const std::optional<double>& a, const std::optional<double>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || sameNumberBits(*a, *b);
}

bool isIdentical(const JSONValue& a, const JSONValue& b);
bool isIdentical(const JSONObject& a, const JSONObject& b);

}  // namespace dv
