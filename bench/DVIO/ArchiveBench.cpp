// Decompression against zlib's own one-shot uncompress on the same content, and the ZIP reader
// over an icon-pack-like archive of 5,000 small SVG files.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "BoardGenerator.hpp"
#include "RatioReporter.hpp"
#include "DVIO/Gzip.hpp"
#include "DVIO/ZipArchive.hpp"
#include "tests/DVIO/ArchiveFixtures.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Board JSON (labels, numbers, one embedded image), repeated with its ids changed up to `size`.
Bytes boardBytes(std::size_t size) {
    const std::string board = dv::bench::typicalBoard();
    Bytes out;
    out.reserve(size);
    for (int copy = 0; out.size() < size; ++copy) {
        std::string text = board;
        for (std::size_t i = text.find("\"id\":\""); i != std::string::npos; i = text.find("\"id\":\"", i + 1)) {
            text[i + 6] = static_cast<char>('a' + copy % 26);
        }
        out.insert(out.end(), text.begin(), text.end());
    }
    out.resize(size);
    return out;
}

struct Corpus {
    Bytes content;
    Bytes member;   // gzip, ours
    Bytes raw;      // raw DEFLATE, ours
    Bytes zlib;     // zlib format, compress2 at the same default level
};

const Corpus& corpus(std::size_t size) {
    static std::map<std::size_t, Corpus> all;
    auto it = all.find(size);
    if (it != all.end()) return it->second;
    Corpus c;
    c.content = boardBytes(size);
    c.member = *dv::gzip(c.content);
    c.raw = *dv::deflateRaw(c.content);
    uLongf length = compressBound(c.content.size());
    c.zlib.resize(length);
    compress2(c.zlib.data(), &length, c.content.data(), c.content.size(), Z_DEFAULT_COMPRESSION);
    c.zlib.resize(length);
    return all.emplace(size, std::move(c)).first->second;
}

// Five runs and their fastest, the one least disturbed by other work on the machine.
void bestOfFive(benchmark::internal::Benchmark* b) {
    b->Repetitions(5)->DisplayAggregatesOnly(true)->ComputeStatistics("min", [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    });
}

void BM_Gunzip(benchmark::State& state) {
    const Corpus& c = corpus(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto out = dv::gunzip(c.member);
        if (!out || out->size() != c.content.size()) state.SkipWithError("gunzip failed");
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.content.size()));
}

void BM_InflateRaw(benchmark::State& state) {
    const Corpus& c = corpus(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto out = dv::inflateRaw(c.raw, dv::gunzipMaxBytes);
        if (out.size() != c.content.size()) state.SkipWithError("inflateRaw failed");
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.content.size()));
}

// The peer: the caller knows the size, as gunzip knows it from the trailer.
void BM_ZlibUncompress(benchmark::State& state) {
    const Corpus& c = corpus(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        Bytes out(c.content.size());
        uLongf length = out.size();
        if (uncompress(out.data(), &length, c.zlib.data(), c.zlib.size()) != Z_OK) state.SkipWithError("uncompress failed");
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.content.size()));
}

constexpr std::int64_t kBoardSize = 4 << 20;
constexpr std::int64_t kLargeSize = 64 << 20;
BENCHMARK(BM_Gunzip)->Arg(kBoardSize)->Arg(kLargeSize)->Unit(benchmark::kMillisecond)->Apply(bestOfFive);
BENCHMARK(BM_InflateRaw)->Arg(kBoardSize)->Arg(kLargeSize)->Unit(benchmark::kMillisecond)->Apply(bestOfFive);
BENCHMARK(BM_ZlibUncompress)->Arg(kBoardSize)->Arg(kLargeSize)->Unit(benchmark::kMillisecond)->Apply(bestOfFive);

// 5,000 deflated SVG icons of a few hundred bytes, in folders, as icon packs ship them.
const Bytes& iconArchive() {
    static const Bytes zip = [] {
        std::vector<dv::testing::ZipEntryPlan> entries;
        for (int i = 0; i < 5000; ++i) {
            const std::string n = std::to_string(i);
            std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 64 64\"><title>icon ";
            svg.append(n).append("</title><path d=\"M").append(n).append(" 8 L56 ").append(std::to_string(i % 64));
            svg.append(" L8 56 Z\" fill=\"#1e1e1e\" stroke=\"#a5d8ff\" stroke-width=\"2\"/><circle cx=\"32\" cy=\"32\" r=\"");
            svg.append(std::to_string(4 + i % 24)).append("\"/></svg>\n");
            std::string name = "Pack/Category ";
            name.append(std::to_string(i / 250)).append("/64/icon-").append(n).append(".svg");
            entries.emplace_back(std::move(name),
                                 Bytes(svg.begin(), svg.end()), 8);
        }
        return dv::testing::buildZip(entries);
    }();
    return zip;
}

void BM_ZipRead(benchmark::State& state) {
    const Bytes& zip = iconArchive();
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto entries = dv::readZipEntries(zip, [](std::string_view name, std::int64_t) { return name.ends_with(".svg"); });
        if (entries.size() != 5000) state.SkipWithError("readZipEntries failed");
        bytes = 0;
        for (const auto& e : entries) bytes += e.data.size();
        benchmark::DoNotOptimize(entries);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["entries"] = 5000;
}
BENCHMARK(BM_ZipRead)->Unit(benchmark::kMillisecond)->Apply(bestOfFive);


}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    for (std::int64_t size : {kBoardSize, kLargeSize}) {
        const Corpus& c = corpus(static_cast<std::size_t>(size));
        std::printf("content %lld MiB: gzip %.2f MiB, zlib %.2f MiB\n", static_cast<long long>(size >> 20),
                    static_cast<double>(c.member.size()) / (1 << 20), static_cast<double>(c.zlib.size()) / (1 << 20));
    }
    dv::bench::RatioReporter reporter("min");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (std::int64_t size : {kBoardSize, kLargeSize}) {
        const auto time = [&](std::string name) { return reporter.time(name.append("/").append(std::to_string(size))); };
        const double peer = time("BM_ZlibUncompress");
        for (const char* ours : {"BM_Gunzip", "BM_InflateRaw"}) {
            if (const double t = time(ours); t > 0 && peer > 0)
                std::printf("%s/%lld MiB: throughput against zlib uncompress %.2f (target >= 0.9)\n", ours,
                            static_cast<long long>(size >> 20), peer / t);
        }
    }
    if (const double t = reporter.time("BM_ZipRead"); t > 0)
        std::printf("readZipEntries, 5000 SVG entries: %.1f ms (target < 50 ms)\n", t * 1e3);
    return 0;
}
