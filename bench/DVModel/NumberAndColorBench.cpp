// Number text runs once per coordinate when boards and pictures are written (a long freehand
// stroke is 200,000 numbers); colour parsing runs for every colour set while painting.
// Budgets: about 150 ns per number and 100 ns per colour on one core.
#include "DVModel/CSSColor.hpp"
#include "DVModel/JSNumber.hpp"

#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<double> numbers(bool typical) {
    std::mt19937_64 random(42);
    std::vector<double> values(1 << 16);
    for (double& v : values) {
        if (typical) {
            v = static_cast<double>(static_cast<std::int64_t>(random() % 200000) - 100000) / 100;
        } else {
            do v = std::bit_cast<double>(random());
            while (!std::isfinite(v));
        }
    }
    return values;
}

void BM_NumberString(benchmark::State& state) {
    const std::vector<double> values = numbers(state.range(0) == 1);
    std::string out;
    std::size_t i = 0;
    for (auto _ : state) {
        out.clear();
        dv::appendJsNumberString(out, values[i++ & (values.size() - 1)]);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(state.range(0) == 1 ? "coordinates k/100" : "random bit patterns");
}
BENCHMARK(BM_NumberString)->Arg(0)->Arg(1);

void BM_ColorParse(benchmark::State& state) {
    const std::vector<dv::CSSColor> colors = {
        "#1e1e1e", "#fff", "#ff000080", "red", "RebeccaPurple", "lightgoldenrodyellow", "transparent",
        "rgb(255, 0, 0)", "rgba(12, 34, 56, 0.5)", "rgb(100% 0% 50%)", "hsl(120, 100%, 50%)",
        "hsla(200, 40%, 30%, .75)", "none", "blurple",
    };
    std::size_t i = 0;
    for (auto _ : state) {
        auto rgba = colors[i++ % colors.size()].rgba();
        benchmark::DoNotOptimize(rgba);
    }
}
BENCHMARK(BM_ColorParse);

} // namespace
