#include "DVIO/ZipArchive.hpp"

#include <algorithm>
#include <string>

#include "DVIO/detail/Inflate.hpp"
#include "DVModel/Hashing.hpp"
#include "DVModel/UTF8.hpp"
#include "Platform/Compression/Deflate.hpp"

namespace dv {

namespace {

constexpr std::uint32_t kEndOfDirectorySignature = 0x06054B50;
constexpr std::uint32_t kDirectoryRecordSignature = 0x02014B50;
constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr std::int64_t kEndOfDirectorySize = 22;
constexpr std::int64_t kDirectoryRecordSize = 46;
constexpr std::int64_t kLocalHeaderSize = 30;
constexpr std::int64_t kLongestComment = 65'535;

struct CentralRecord {
    std::string name;
    std::int64_t method = 0;
    std::int64_t compressedSize = 0;
    std::int64_t size = 0;
    std::int64_t localOffset = 0;
    bool encrypted = false;
};

// Little-endian fields; callers have checked that the bytes lie inside the archive.
std::uint32_t read16(std::span<const std::uint8_t> bytes, std::int64_t at) {
    const auto i = static_cast<std::size_t>(at);
    return std::uint32_t{bytes[i]} | std::uint32_t{bytes[i + 1]} << 8;
}

std::uint32_t read32(std::span<const std::uint8_t> bytes, std::int64_t at) {
    return read16(bytes, at) | read16(bytes, at + 2) << 16;
}

std::int64_t length(std::span<const std::uint8_t> bytes) { return static_cast<std::int64_t>(bytes.size()); }

std::span<const std::uint8_t> slice(std::span<const std::uint8_t> bytes, std::int64_t from, std::int64_t to) {
    return bytes.subspan(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
}

std::string textOf(std::span<const std::uint8_t> bytes) {
    return repairUTF8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// The comment length is not consulted, so a signature inside a comment can win the search; the
// directory read after it then fails as corrupt, which is safe.
std::int64_t zipEndOfCentralDirectory(std::span<const std::uint8_t> bytes) {
    const std::int64_t last = length(bytes) - kEndOfDirectorySize;
    const std::int64_t first = std::max<std::int64_t>(0, last - kLongestComment);
    for (std::int64_t i = last; i >= first; --i) {
        if (read32(bytes, i) == kEndOfDirectorySignature) return i;
    }
    throw ZipError("Not a ZIP archive");
}

std::vector<CentralRecord> readCentralDirectory(std::span<const std::uint8_t> bytes, std::int64_t maxEntries) {
    const std::int64_t end = zipEndOfCentralDirectory(bytes);
    const std::int64_t count = read16(bytes, end + 10);
    const std::int64_t offset = read32(bytes, end + 16);
    if (count == 0xFFFF || offset == 0xFFFFFFFF) throw ZipError("ZIP64 archives are not supported");
    if (count > maxEntries) throw ZipError("Too many entries (" + std::to_string(count) + ")");

    const std::int64_t total = length(bytes);
    std::vector<CentralRecord> records;
    records.reserve(static_cast<std::size_t>(count));
    std::int64_t pos = offset;
    for (std::int64_t i = 0; i < count; ++i) {
        if (pos + kDirectoryRecordSize > total || read32(bytes, pos) != kDirectoryRecordSignature) {
            throw ZipError("Corrupt central directory");
        }
        const std::int64_t nameLength = read16(bytes, pos + 28);
        const std::int64_t extraLength = read16(bytes, pos + 30);
        const std::int64_t commentLength = read16(bytes, pos + 32);
        const std::int64_t nameStart = pos + kDirectoryRecordSize;
        CentralRecord record;
        // A name running past the end of the archive is cut there.
        record.name = textOf(slice(bytes, nameStart, std::min(total, nameStart + nameLength)));
        record.encrypted = (read16(bytes, pos + 8) & 1) != 0;
        record.method = read16(bytes, pos + 10);
        record.compressedSize = read32(bytes, pos + 20);
        record.size = read32(bytes, pos + 24);
        record.localOffset = read32(bytes, pos + 42);
        records.push_back(std::move(record));
        pos = nameStart + nameLength + extraLength + commentLength;
    }
    return records;
}

}  // namespace

std::vector<std::string> listZipEntries(std::span<const std::uint8_t> bytes, const ZipLimits& limits) {
    std::vector<CentralRecord> records = readCentralDirectory(bytes, limits.maxEntries);
    std::vector<std::string> names;
    names.reserve(records.size());
    for (CentralRecord& record : records) names.push_back(std::move(record.name));
    return names;
}

std::vector<ZipEntry> readZipEntries(std::span<const std::uint8_t> bytes, const ZipEntrySelector& select,
                                     const ZipLimits& limits) {
    const std::vector<CentralRecord> records = readCentralDirectory(bytes, limits.maxEntries);
    const std::int64_t total = length(bytes);
    std::int64_t extracted = 0;
    std::vector<ZipEntry> entries;
    for (const CentralRecord& record : records) {
        const std::string& name = record.name;
        if (!name.empty() && name.back() == '/') continue;
        if (!select(name, record.size)) continue;
        if (record.encrypted) throw ZipError("Encrypted entry: " + name);
        if (record.size > limits.maxEntryBytes) throw ZipError("Entry too large: " + name);
        const std::int64_t header = record.localOffset;
        if (header + kLocalHeaderSize > total || read32(bytes, header) != kLocalHeaderSignature) {
            throw ZipError("Corrupt local header: " + name);
        }
        // The local name and extra lengths may differ from the central ones; the local sizes
        // (and any data descriptor) are never read.
        const std::int64_t start = header + kLocalHeaderSize + read16(bytes, header + 26) + read16(bytes, header + 28);
        const std::int64_t end = start + record.compressedSize;
        if (end > total) throw ZipError("Truncated entry: " + name);

        // The total is a running count, tested before an entry's bytes are taken: a deflated
        // entry inflates with the smaller of its own cap and what the total has left. When the
        // total's share is the smaller one and runs out, the archive is reported too large even
        // if the entry alone would also have failed.
        const std::int64_t room = limits.maxTotalBytes - extracted;
        ZipEntry entry{name, {}};
        if (record.method == 8) {
            const bool totalBinds = room < limits.maxEntryBytes;
            try {
                entry.data = detail::inflateRawSized(slice(bytes, start, end), totalBinds ? room : limits.maxEntryBytes,
                                                     record.size);
            } catch (const ZipError&) {
                if (totalBinds) throw ZipError("Archive too large once decompressed");
                throw;
            }
        } else if (record.method == 0) {
            if (record.compressedSize > limits.maxEntryBytes) throw ZipError("Entry too large: " + name);
            if (record.compressedSize > room) throw ZipError("Archive too large once decompressed");
            const auto data = slice(bytes, start, end);
            entry.data.assign(data.begin(), data.end());
        } else {
            throw ZipError("Unsupported compression method " + std::to_string(record.method) + ": " + name);
        }
        if (static_cast<std::int64_t>(entry.data.size()) > room) throw ZipError("Archive too large once decompressed");
        extracted += static_cast<std::int64_t>(entry.data.size());
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string decodeUTF8(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) bytes = bytes.subspan(3);
    return textOf(bytes);
}

namespace detail {

// zlib reports input left over after the end of the stream, so one pass tells a complete stream
// from one followed by other bytes; a second decode without the last byte, as a decoder that
// cannot tell would need, would give the same results at twice the work.
std::vector<std::uint8_t> inflateRawSized(std::span<const std::uint8_t> input, std::int64_t cap,
                                          std::int64_t sizeHint,
                                          const std::function<void(std::span<const std::uint8_t>)>& observer) {
    if (input.empty()) throw InflateError();
    std::vector<std::uint8_t> out;
    const auto outcome = platform::inflateRawData(input, cap < 0 ? 0 : static_cast<std::uint64_t>(cap), out,
                                                  sizeHint < 0 ? 0 : static_cast<std::uint64_t>(sizeHint), observer);
    switch (outcome) {
    case platform::InflateOutcome::complete: return out;
    case platform::InflateOutcome::tooLarge: throw ZipError("Entry too large once decompressed");
    default: throw InflateError();
    }
}

}  // namespace detail

std::vector<std::uint8_t> inflateRaw(std::span<const std::uint8_t> input, std::int64_t cap) {
    return detail::inflateRawSized(input, cap, 0);
}

}  // namespace dv

std::size_t std::hash<dv::ZipLimits>::operator()(const dv::ZipLimits& limits) const noexcept {
    dv::Hasher h;
    for (std::int64_t v : {limits.maxEntries, limits.maxEntryBytes, limits.maxTotalBytes}) {
        h.writeU64(static_cast<std::uint64_t>(v));
    }
    return h.finish();
}

std::size_t std::hash<dv::ZipEntry>::operator()(const dv::ZipEntry& entry) const noexcept {
    dv::Hasher h;
    h.writeU64(entry.name.size());
    h.write(entry.name);
    h.write(entry.data.data(), entry.data.size());
    return h.finish();
}

std::size_t std::hash<dv::ZipError>::operator()(const dv::ZipError& error) const noexcept {
    return dv::hashBytes(error.message());
}

// One case without a payload: every InflateError is equal to every other.
std::size_t std::hash<dv::InflateError>::operator()(const dv::InflateError&) const noexcept {
    return dv::hashFields();
}
