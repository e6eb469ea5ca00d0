#pragma once

// Text equality as JavaScript has it: by UTF-16 code units, with no Unicode normalisation, so
// "é" (U+00E9) and "e" + U+0301 are different texts. Model texts are well-formed UTF-8 (the JSON
// parser repairs what is not), on which code-unit equality is byte equality.

#include "DVModel/Hashing.hpp"

#include <compare>
#include <concepts>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace dv {

inline bool jsStringEquals(std::string_view a, std::string_view b) noexcept { return a == b; }

/// Optional texts: both absent, or both present and equal. (Only optional arguments pick this
/// overload, so plain texts never convert into optionals.)
template <class A, class B>
    requires std::same_as<A, std::optional<std::string>> && std::same_as<B, std::optional<std::string>>
bool jsStringEquals(const A& a, const B& b) noexcept {
    if (!a || !b) return !a && !b;
    return jsStringEquals(std::string_view(*a), std::string_view(*b));
}

/// Key of every text-keyed map. Its hash is keyed per process (see Hashing.hpp), so maps keyed by
/// texts from files keep their speed whatever the texts are. Ordering (for tree maps) is by bytes,
/// which on well-formed UTF-8 is code point order.
struct JSStringKey {
    std::string string;

    JSStringKey() = default;
    JSStringKey(std::string text) : string(std::move(text)) {}
    JSStringKey(std::string_view text) : string(text) {}
    JSStringKey(const char* text) : string(text) {}

    friend bool operator==(const JSStringKey& a, const JSStringKey& b) noexcept {
        return a.string == b.string;
    }
    friend std::strong_ordering operator<=>(const JSStringKey& a, const JSStringKey& b) noexcept {
        return a.string.compare(b.string) <=> 0;
    }
};

}  // namespace dv

template <>
struct std::hash<dv::JSStringKey> {
    std::size_t operator()(const dv::JSStringKey& key) const noexcept {
        return static_cast<std::size_t>(dv::hashBytes(key.string));
    }
};
