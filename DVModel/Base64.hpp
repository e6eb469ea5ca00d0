#pragma once
// Base64 (RFC 4648): the one codec for every text the kit reads or writes that carries bytes
// (data URLs, share links). Encoding uses the standard alphabet with "=" padding and no line
// breaks, or the URL alphabet ("-" and "_") without padding.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

std::string base64Encode(std::span<const std::uint8_t> bytes);
// The URL-safe form: "-" for "+", "_" for "/", no "=" at the end.
std::string base64URLEncode(std::span<const std::uint8_t> bytes);

enum class Base64Decoding {
    // Padded to a multiple of four characters, with at most two "=" and only at the end.
    strict,
    // The web's forgiving decoding: the padding may be left out.
    forgiving,
};

// The bytes of standard-alphabet text. ASCII white space (space, tab, LF, FF, CR) is skipped;
// any other character outside the alphabet, or a length that cannot be base64, gives absent.
// Unused bits of the last character are ignored.
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text, Base64Decoding mode);

}  // namespace dv
