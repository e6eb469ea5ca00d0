#pragma once

// Keyed hashing for every hash table of the kit whose keys can come from a file. The key is drawn
// at random once per process, so nobody outside can build texts that collide on purpose (hash
// flooding). Hash values are never stored or shown: they only have to agree with equality.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

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

// Field-by-field hashing of value records: `hashMix` feeds one field, `hashMembers` a whole record.
// Every overload agrees with the field's equality: doubles by value, optionals and lists with a
// presence flag or count first (so that neighbouring fields cannot trade values and hash alike),
// variants by case and payload, nested records through their own std::hash.

inline void hashMix(Hasher& hasher, double value) noexcept { hasher.writeDouble(value); }
inline void hashMix(Hasher& hasher, bool value) noexcept { hasher.writeByte(value ? 1 : 0); }
// Length first, so that two neighbouring texts cannot trade characters and hash alike.
inline void hashMix(Hasher& hasher, std::string_view value) noexcept {
    hasher.writeU64(value.size());
    hasher.write(value);
}
inline void hashMix(Hasher& hasher, const std::string& value) noexcept { hashMix(hasher, std::string_view(value)); }

template <class T>
    requires(std::integral<T> && !std::same_as<T, bool>) || std::is_enum_v<T>
void hashMix(Hasher& hasher, T value) noexcept {
    hasher.writeU64(static_cast<std::uint64_t>(value));
}

// Cases without payload (an empty record) add nothing beyond the case number of their variant.
template <class T>
    requires std::is_empty_v<T> && std::is_class_v<T>
void hashMix(Hasher&, const T&) noexcept {}

template <class T>
    requires(!std::is_empty_v<T> && std::is_class_v<T> && requires(const T& v) { std::hash<T>{}(v); })
void hashMix(Hasher& hasher, const T& value) noexcept {
    hasher.writeU64(static_cast<std::uint64_t>(std::hash<T>{}(value)));
}

template <class T>
void hashMix(Hasher& hasher, const std::optional<T>& value) noexcept {
    hasher.writeByte(value ? 1 : 0);
    if (value) hashMix(hasher, *value);
}

template <class T>
void hashMix(Hasher& hasher, const std::vector<T>& values) noexcept {
    hasher.writeU64(values.size());
    for (const auto& value : values) hashMix(hasher, value);
}

template <class... T>
void hashMix(Hasher& hasher, const std::variant<T...>& value) noexcept {
    hasher.writeU64(value.index());
    std::visit([&](const auto& payload) { hashMix(hasher, payload); }, value);
}

inline std::size_t hashResult(const Hasher& hasher) noexcept { return static_cast<std::size_t>(hasher.finish()); }

/// The hash of the given fields, in order.
template <class... T>
std::size_t hashFields(const T&... fields) noexcept {
    Hasher hasher;
    (hashMix(hasher, fields), ...);
    return hashResult(hasher);
}

/// The hash of a record's members, named by member pointers, in order.
template <class R, class... M, class... C>
std::size_t hashMembers(const R& record, M C::*... members) noexcept {
    return hashFields(record.*members...);
}

}  // namespace dv

// Declares std::hash<TYPE> as the hash of the listed members (member pointers), in order.
#define DV_HASH_MEMBERS(TYPE, ...)                                                            \
    template <>                                                                               \
    struct std::hash<TYPE> {                                                                  \
        std::size_t operator()(const TYPE& value) const noexcept {                            \
            return ::dv::hashMembers(value, __VA_ARGS__);                                     \
        }                                                                                     \
    }
