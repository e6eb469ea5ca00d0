// Importing an icon library of 5,000 SVG icons from a ZIP archive: the import's own work (names,
// duplicates, base64, locale order) with a sanitiser that passes texts through, and the whole
// import with the kit's SVG sanitiser. The target is under a second for the whole import.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "ArchiveFixtures.hpp"
#include "DVIO/IconPack.hpp"
#include "DVRender/Images/SVGSanitizer.hpp"

namespace {

constexpr int kIcons = 5000;

// 50 categories of 100 icons, named the way the large public sets name theirs, each about 1 KB
// of path data, deflated; a few README and PNG files beside them.
const dv::testing::Bytes& archive() {
    static const dv::testing::Bytes zip = [] {
        std::vector<dv::testing::ZipEntryPlan> entries;
        entries.emplace_back("Icon-Set/README.txt", dv::testing::bytesOf("Icons for diagrams.\n"), 8);
        for (int i = 0; i < kIcons; ++i) {
            const std::string category = "Arch_Category-" + std::to_string(i / 100);
            std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 64 64\"><title>Icon " +
                              std::to_string(i) + "</title><g fill=\"#232f3e\">";
            for (int p = 0; p < 12; ++p) {
                svg += "<path d=\"M" + std::to_string((i + p) % 64) + " " + std::to_string(p * 5) +
                       "h12.5v8.25c0 1.5-1.25 2.75-2.75 2.75H" + std::to_string(p) + "z\"/>";
            }
            svg += "</g></svg>";
            const std::string name = "Icon-Set/" + category + "/64/Arch_Service-Name-" + std::to_string(i) + "_64.svg";
            entries.emplace_back(name, dv::testing::bytesOf(svg), 8);
            if (i % 1000 == 0) entries.emplace_back(name.substr(0, name.size() - 4) + ".png", dv::testing::noise(2000, i));
        }
        return dv::testing::buildZip(entries);
    }();
    return zip;
}

void report(benchmark::State& state, std::size_t icons) {
    if (icons != static_cast<std::size_t>(kIcons)) state.SkipWithError("not every icon was imported");
    state.counters["time_per_icon"] =
        benchmark::Counter(kIcons, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["archive_MB"] = static_cast<double>(archive().size()) / 1e6;
    state.SetLabel("target: whole import under 1 s");
}

void BM_IconPackImport_PassThrough(benchmark::State& state) {
    const auto identity = [](std::string_view svg) { return std::optional<std::string>(svg); };
    archive();  // made once, outside the timing
    std::size_t icons = 0;
    for (auto _ : state) {
        const auto pack = dv::IconPack::fromZip(archive(), "icons.zip", identity, "en_US");
        icons = pack.icons.size();
        benchmark::DoNotOptimize(pack);
    }
    report(state, icons);
}

void BM_IconPackImport_Sanitized(benchmark::State& state) {
    archive();  // made once, outside the timing
    std::size_t icons = 0;
    for (auto _ : state) {
        const auto pack = dv::IconPack::fromZip(archive(), "icons.zip", dv::sanitizeSvg, "en_US");
        icons = pack.icons.size();
        benchmark::DoNotOptimize(pack);
    }
    report(state, icons);
}

BENCHMARK(BM_IconPackImport_PassThrough)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_IconPackImport_Sanitized)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace

BENCHMARK_MAIN();
