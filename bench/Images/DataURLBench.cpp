// Decoding a 5 MB base64 data URL, beside glib's g_base64_decode on the same text in the same run.
// Ours reads the whole URL (scheme, header, escapes and all); glib gets the base64 part alone.

#include "bench/DVIO/BoardGenerator.hpp"
#include "bench/DVIO/RatioReporter.hpp"
#include "DVRender/Images/DataURL.hpp"

#include <benchmark/benchmark.h>
#include <glib.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

const std::string& url() {
    static const std::string text = dv::bench::base64DataURL(5 << 20);
    return text;
}

constexpr std::size_t kPrefix = sizeof "data:image/png;base64," - 1;

void BM_DataURLDecode(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto decoded = dv::parseDataURL(url());
        if (!decoded) {
            state.SkipWithError("the URL was refused");
            return;
        }
        bytes = decoded->body.size();
        benchmark::DoNotOptimize(decoded->body.data());
    }
    state.counters["decoded_MB"] = static_cast<double>(bytes) / 1e6;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * url().size()));
}

void BM_GlibBase64Decode(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        gsize length = 0;
        guchar* decoded = g_base64_decode(url().c_str() + kPrefix, &length);
        bytes = length;
        benchmark::DoNotOptimize(decoded);
        g_free(decoded);
    }
    state.counters["decoded_MB"] = static_cast<double>(bytes) / 1e6;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * url().size()));
}

BENCHMARK(BM_DataURLDecode)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_GlibBase64Decode)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    dv::bench::RatioReporter reporter;
    if (!dv::bench::runBenchmarks(argc, argv, reporter)) return 1;
    const double ours = reporter.time("BM_DataURLDecode");
    const double glib = reporter.time("BM_GlibBase64Decode");
    if (ours > 0 && glib > 0)
        std::printf("\n%.1f MB data URL: %.2f GB/s, g_base64_decode %.2f GB/s: %.2fx glib's speed (target >= 1)\n",
                    static_cast<double>(url().size()) / 1e6, static_cast<double>(url().size()) / ours / 1e9,
                    static_cast<double>(url().size()) / glib / 1e9, glib / ours);
    return 0;
}
