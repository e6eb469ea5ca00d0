#pragma once
// Reading ZIP archives held whole in memory: the names of their entries, and the content of the
// entries a caller selects (stored or deflated). Archives come from downloads, so every step is
// bounded by `ZipLimits`, each limit tested before the memory it guards is taken, and every
// malformed input ends in a `ZipError` whose message is shown to the user. ZIP64, multi-disk
// archives and encryption are not supported.

#include <cstdint>
#include <exception>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

struct ZipLimits {
    std::int64_t maxEntries = 0;     // central-directory records
    std::int64_t maxEntryBytes = 0;  // declared or inflated bytes of one selected entry
    std::int64_t maxTotalBytes = 0;  // bytes of all extracted entries together

    static constexpr ZipLimits defaultLimits() { return {50'000, 1'048'576, 104'857'600}; }

    bool operator==(const ZipLimits&) const = default;
};

struct ZipEntry {
    std::string name;  // the path as stored, decoded as UTF-8 with U+FFFD for bad bytes
    std::vector<std::uint8_t> data;

    bool operator==(const ZipEntry&) const = default;
};

// What went wrong with an archive, in words for the user.
class ZipError : public std::exception {
public:
    explicit ZipError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    bool operator==(const ZipError& other) const { return message_ == other.message_; }

private:
    std::string message_;
};

// The DEFLATE data is not exactly one complete stream that the decoder accepts.
class InflateError : public std::exception {
public:
    const char* what() const noexcept override { return "The compressed data is damaged"; }
    bool operator==(const InflateError&) const { return true; }
};

// Answers whether to extract an entry, given its name and declared uncompressed size.
using ZipEntrySelector = std::function<bool(std::string_view name, std::int64_t size)>;

// The names of all entries in directory order, directories included. Only `maxEntries` applies.
std::vector<std::string> listZipEntries(std::span<const std::uint8_t> bytes,
                                        const ZipLimits& limits = ZipLimits::defaultLimits());

// The selected entries in directory order. Directories (names ending in "/") are never offered
// to `select`. Throws `ZipError` or `InflateError`; the first error ends the whole read.
std::vector<ZipEntry> readZipEntries(std::span<const std::uint8_t> bytes, const ZipEntrySelector& select,
                                     const ZipLimits& limits = ZipLimits::defaultLimits());

// The text of an entry's bytes: one leading byte-order mark dropped, bad UTF-8 as U+FFFD.
std::string decodeUTF8(std::span<const std::uint8_t> bytes);

// The content of one raw DEFLATE stream of at most `cap` bytes. Throws `InflateError` when the
// input is empty, damaged, truncated or followed by other bytes, and `ZipError` "Entry too large
// once decompressed" as soon as the output would pass `cap`.
std::vector<std::uint8_t> inflateRaw(std::span<const std::uint8_t> input, std::int64_t cap);

}  // namespace dv

template <> struct std::hash<dv::ZipLimits> {
    std::size_t operator()(const dv::ZipLimits& limits) const noexcept;
};
template <> struct std::hash<dv::ZipEntry> {
    std::size_t operator()(const dv::ZipEntry& entry) const noexcept;
};
template <> struct std::hash<dv::ZipError> {
    std::size_t operator()(const dv::ZipError& error) const noexcept;
};
template <> struct std::hash<dv::InflateError> {
    std::size_t operator()(const dv::InflateError& error) const noexcept;
};
