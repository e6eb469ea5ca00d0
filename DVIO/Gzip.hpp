#pragma once
// Single-member gzip (RFC 1952) around raw DEFLATE (RFC 1951), for share-link payloads. Failure
// is an absent result, never an exception: the bytes come from links anyone can write.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace dv {

// The most `gunzip` produces (64 MiB).
inline constexpr std::int64_t gunzipMaxBytes = 67'108'864;

// CRC-32 of RFC 1952 (reflected polynomial 0xEDB88320); 0 for no bytes. In the kit's namespace
// because the compression library exports a C function of the same name.
std::uint32_t crc32(std::span<const std::uint8_t> bytes);

// Raw DEFLATE data with no wrapper; absent when the library fails.
std::optional<std::vector<std::uint8_t>> deflateRaw(std::span<const std::uint8_t> bytes);

// A gzip member: a fixed 10-byte header (no name, no time, unknown system), the raw DEFLATE
// data, then the CRC-32 and the length modulo 2^32.
std::optional<std::vector<std::uint8_t>> gzip(std::span<const std::uint8_t> bytes);

// The content of exactly one gzip member whose trailer matches, at most `gunzipMaxBytes`.
// Optional header fields are skipped; the header CRC is not checked.
std::optional<std::vector<std::uint8_t>> gunzip(std::span<const std::uint8_t> bytes);

}  // namespace dv
