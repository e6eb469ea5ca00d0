#include "ArchiveFixtures.hpp"

#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace dv::testing {

Bytes bytesOf(std::string_view text) { return {text.begin(), text.end()}; }
std::string textOf(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

Bytes zlibDeflateRaw(const Bytes& data, int level) {
    z_stream s{};
    if (deflateInit2(&s, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
    Bytes out(deflateBound(&s, data.size()));
    s.next_in = const_cast<Bytef*>(data.data());
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    if (status != Z_STREAM_END) throw std::runtime_error("deflate");
    return out;
}

Bytes sampleText(std::size_t size, std::uint32_t seed) {
    static const char* const words[] = {"<svg ", "viewBox=\"0 0 24 24\" ", "<path d=\"M", "12 ", "4.5 ", "L",
                                        "fill=\"none\" ", "stroke=\"#1e1e1e\" ", "/>\n", "</svg>\n", "Z\" "};
    std::mt19937 random(seed);
    Bytes out;
    out.reserve(size + 32);
    while (out.size() < size) {
        const std::string_view word = words[random() % std::size(words)];
        out.insert(out.end(), word.begin(), word.end());
    }
    out.resize(size);
    return out;
}

Bytes noise(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<std::uint8_t>(random());
    return out;
}

namespace {

void put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(Bytes& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void putText(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

}  // namespace

Bytes endRecord(std::uint16_t count, std::uint32_t directoryOffset, std::string_view comment) {
    Bytes out;
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, count);
    put16(out, count);
    put32(out, 0);
    put32(out, directoryOffset);
    put16(out, static_cast<std::uint32_t>(comment.size()));
    putText(out, comment);
    return out;
}

Bytes buildZip(const std::vector<ZipEntryPlan>& entries, std::string_view comment) {
    Bytes out, directory;
    for (const ZipEntryPlan& e : entries) {
        Bytes payload = e.compressed ? *e.compressed : e.method == 8 ? zlibDeflateRaw(e.data) : e.data;
        payload.insert(payload.end(), e.junk.begin(), e.junk.end());
        const std::uint32_t crc = static_cast<std::uint32_t>(::crc32(0, e.data.data(), static_cast<uInt>(e.data.size())));
        const std::uint32_t size = e.size.value_or(static_cast<std::uint32_t>(e.data.size()));
        const auto offset = static_cast<std::uint32_t>(out.size());

        put32(out, 0x04034B50);
        put16(out, 20);
        put16(out, e.flags);
        put16(out, e.method);
        put32(out, 0);  // time and date
        put32(out, crc);
        put32(out, static_cast<std::uint32_t>(payload.size()));
        put32(out, size);
        put16(out, static_cast<std::uint32_t>(e.name.size()));
        put16(out, static_cast<std::uint32_t>(e.localExtra.size()));
        putText(out, e.name);
        putText(out, e.localExtra);
        out.insert(out.end(), payload.begin(), payload.end());

        put32(directory, 0x02014B50);
        put16(directory, 0x031E);
        put16(directory, 20);
        put16(directory, e.flags);
        put16(directory, e.method);
        put32(directory, 0);
        put32(directory, crc);
        put32(directory, static_cast<std::uint32_t>(payload.size()));
        put32(directory, size);
        put16(directory, static_cast<std::uint32_t>(e.name.size()));
        put16(directory, 0);  // extra
        put16(directory, 0);  // comment
        put16(directory, 0);  // disk
        put16(directory, 0);  // internal attributes
        put32(directory, 0);  // external attributes
        put32(directory, offset);
        putText(directory, e.name);
    }
    const auto directoryOffset = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    Bytes end = endRecord(static_cast<std::uint16_t>(entries.size()), directoryOffset, comment);
    out.insert(out.end(), end.begin(), end.end());
    return out;
}

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dv-archives-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool hasProgram(const std::string& name) { return run("command -v '" + name + "' >/dev/null 2>&1"); }

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace dv::testing
