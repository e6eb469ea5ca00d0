#pragma once
// Feeding drawing records into the kit's keyed hasher. Their texts (colours, fonts) come from
// board files, so their tables hash them under the process key like every other such table.
// Doubles hash by value so that +0 and -0, which compare equal, also hash equal.

#include "DVModel/Hashing.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dv::detail {

inline void hashMix(Hasher& hasher, std::size_t value) { hasher.writeU64(value); }

inline void hashMix(Hasher& hasher, double value) { hasher.writeDouble(value); }

inline void hashMix(Hasher& hasher, bool value) { hasher.writeByte(value ? 1 : 0); }

// Length first, so that two neighbouring texts cannot trade characters and hash alike.
inline void hashMix(Hasher& hasher, std::string_view value) {
    hasher.writeU64(value.size());
    hasher.write(value);
}

inline std::size_t hashResult(const Hasher& hasher) { return static_cast<std::size_t>(hasher.finish()); }

} // namespace dv::detail
