// A board of 1,000 texts at as many sizes, 10.000 to 10.999 pixels, against the same board at
// one size: every size once made a font of its own (a match and a sort of the installed fonts,
// on two threads); with the argument own_sizes=1 every size is still laid out at its own size,
// as before sizes close together shared theirs. The ratio of the two boards is printed as the
// counter "vs_one_size". Run with FONTCONFIG_FILE pointing at tests/data/fonts/fonts.conf.
#include "DVRender/Canvas/CGDrawingContext.hpp"
#include "DVRender/Canvas/FontResolver.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Text/detail/FontContext.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

// One drawing of the board on a fresh bitmap, in seconds. Each run starts with no font or line
// made: the fonts are reloaded (the font system's caches go with the generation) first.
double drawBoard(bool distinctSizes, int round) {
    dv::FontResolver::invalidate();
    auto bitmap = *dv::gfx::Bitmap::create(1024, 1024);
    dv::CGDrawingContext ctx(std::make_shared<dv::gfx::GraphicsContext>(bitmap));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i) {
        // A size never drawn before in this process, so that no font is reused from a round before.
        const double size = distinctSizes ? 10 + i / 1000.0 + round * 1e-7 : 10;
        char font[64];
        std::snprintf(font, sizeof font, "%.9fpx Liberation Sans", size);
        ctx.setFont(font);
        ctx.fillText("Text number " + std::to_string(i), 10 + (i % 20) * 50, 12 + (i / 20) * 20);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ThousandSizesAgainstOne(benchmark::State& state) {
    dv::gfx::detail::layOutAtOwnSizes(state.range(0) != 0);
    const int first = static_cast<int>(state.range(0)) * 1000;  // sizes never drawn in the other run
    int round = first;
    double distinct = 0, one = 0;
    for (auto _ : state) {
        ++round;
        distinct += drawBoard(true, round);
        one += drawBoard(false, round);
    }
    state.counters["vs_one_size"] = one > 0 ? distinct / one : 0;
    const double rounds = round - first;
    state.counters["ms_thousand_sizes"] = rounds > 0 ? 1000 * distinct / rounds : 0;
    state.counters["ms_one_size"] = rounds > 0 ? 1000 * one / rounds : 0;
    dv::gfx::detail::layOutAtOwnSizes(false);
}
BENCHMARK(BM_ThousandSizesAgainstOne)->Arg(0)->Arg(1)->ArgName("own_sizes")->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
