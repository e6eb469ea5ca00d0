#pragma once
// Test-only helpers for archive and compression tests: a ZIP writer that can also write the
// malformed archives a reader must refuse, raw DEFLATE from zlib directly (so that the code
// under test is not its own oracle), and outside producers run in a scratch folder.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dv::testing {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text);
std::string textOf(const Bytes& bytes);

// Raw DEFLATE of `data` made by zlib at `level`.
Bytes zlibDeflateRaw(const Bytes& data, int level = 6);

// Deterministic bytes that compress somewhat, like text: words from a small vocabulary.
Bytes sampleText(std::size_t size, std::uint32_t seed);
// Deterministic bytes that do not compress.
Bytes noise(std::size_t size, std::uint32_t seed);

struct ZipEntryPlan {
    ZipEntryPlan() = default;
    ZipEntryPlan(std::string name, Bytes data = {}, std::uint16_t method = 0)
        : name(std::move(name)), data(std::move(data)), method(method) {}

    ZipEntryPlan& declaring(std::uint32_t declared) { size = declared; return *this; }
    ZipEntryPlan& storing(Bytes payload) { compressed = std::move(payload); return *this; }
    ZipEntryPlan& withFlags(std::uint16_t value) { flags = value; return *this; }
    ZipEntryPlan& withJunk(Bytes bytes) { junk = std::move(bytes); return *this; }
    ZipEntryPlan& withLocalExtra(std::string extra) { localExtra = std::move(extra); return *this; }

    std::string name;                         // stored bytes of the name, as given
    Bytes data;                               // uncompressed content
    std::uint16_t method = 0;                 // 8 deflates `data`; any other stores it as is
    std::uint16_t flags = 0;
    std::optional<std::uint32_t> size;        // central uncompressed size, when not data.size()
    std::optional<Bytes> compressed;          // stored payload, when not derived from `data`
    Bytes junk;                               // appended to the payload inside its compressed size
    std::string localExtra;                   // extra field of the local header only
};

// A ZIP archive of the entries in order, with `comment` after the end record.
Bytes buildZip(const std::vector<ZipEntryPlan>& entries, std::string_view comment = {});

// Just an end record with the given count and directory offset.
Bytes endRecord(std::uint16_t count, std::uint32_t directoryOffset, std::string_view comment = {});

// A scratch folder, removed with its content.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

// The interpreter of the Debian package, not whatever a user's PATH puts first.
inline constexpr const char* kPython = "/usr/bin/python3";

bool hasProgram(const std::string& name);
// Runs a shell command; true when it exits 0.
bool run(const std::string& command);
Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);

}  // namespace dv::testing
