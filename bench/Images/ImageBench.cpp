// Image sources: how fast hostile images are refused and how little memory that takes, and
// what ordinary decoding and cache hits cost. Peak memory is the process's maximum resident
// size after the benchmark, in MiB.

#include "DVRender/Images/DecodedImageCache.hpp"
#include "DVRender/Images/ImageStore.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "ImageFixtures.hpp"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

namespace {

using namespace dv;

double peakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void refuse(benchmark::State& state, const std::string& src) {
    for (auto _ : state) {
        auto lookup = RenderImage::make(src);
        if (lookup.kind != ImageLookup::Kind::failed) state.SkipWithError("a bomb was accepted");
        benchmark::DoNotOptimize(lookup);
    }
    state.counters["peak_rss_mib"] = peakResidentMiB();
}

std::string svgAround(const std::string& href) {
    return "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'><image width='4' height='4' href='" + href + "'/></svg>";
}

void BM_RefusePNGDeclaring100000Square(benchmark::State& state) {
    refuse(state, testing::dataURL("image/png", testing::pngHeaderOnly(100000, 100000)));
}
BENCHMARK(BM_RefusePNGDeclaring100000Square);

void BM_RefuseGIFWith65535SquareScreen(benchmark::State& state) {
    refuse(state, testing::dataURL("image/gif", testing::gifWithScreen(65535, 65535)));
}
BENCHMARK(BM_RefuseGIFWith65535SquareScreen);

void BM_RefusePNGBombInsideSVG(benchmark::State& state) {
    refuse(state, "data:image/svg+xml," + svgAround(testing::dataURL("image/png", testing::pngHeaderOnly(100000, 100000))));
}
BENCHMARK(BM_RefusePNGBombInsideSVG);

void BM_RefusePNGBombInsideEmbeddedStencil(benchmark::State& state) {
    const auto svg = svgAround(testing::dataURL("image/png", testing::pngHeaderOnly(100000, 100000)));
    refuse(state, "data:image/svg+xml;base64," + testing::base64(svg));
}
BENCHMARK(BM_RefusePNGBombInsideEmbeddedStencil);

// make (which decodes no pixels) plus one decode at the drawn size, for a photo-sized image.
void BM_MakeAndDecode(benchmark::State& state, bool jpeg) {
    const auto pixels = testing::quadrants(4000, 3000);
    const std::string src = jpeg ? testing::dataURL("image/jpeg", testing::encodeJPEG(pixels))
                                 : testing::dataURL("image/png", testing::encodePNG(pixels));
    for (auto _ : state) {
        auto lookup = RenderImage::make(src);
        auto image = lookup.image->cgImage(state.range(0), state.range(0), 8192);
        benchmark::DoNotOptimize(image);
    }
    state.counters["peak_rss_mib"] = peakResidentMiB();
}
BENCHMARK_CAPTURE(BM_MakeAndDecode, jpeg, true)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MakeAndDecode, png, false)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

void BM_StoreAndCacheHit(benchmark::State& state) {
    static const std::string src = testing::dataURL("image/png", testing::encodePNG(testing::solid(300, 200, 1, 2, 3, 255)));
    for (auto _ : state) {
        auto lookup = ImageStore::shared().image(src);
        benchmark::DoNotOptimize(lookup.image->cgImage(100, 60, 8192));
    }
}
BENCHMARK(BM_StoreAndCacheHit)->Threads(1)->Threads(8);

// A progressive JPEG of 2000 x 2000 pixels decoded at 256 pixels, by its count of scans: each
// scan after the first walks every block again (the most a JPEG may have is 64).
void BM_ProgressiveJPEGScans(benchmark::State& state) {
    const bool refined = state.range(0) == 65;
    const std::string src = testing::dataURL("image/jpeg", testing::flatProgressiveJPEG(2000, 2000, 1, refined));
    for (auto _ : state) {
        auto lookup = RenderImage::make(src);
        if (lookup.kind == ImageLookup::Kind::loaded) benchmark::DoNotOptimize(lookup.image->cgImage(256, 256, 8192));
    }
    state.counters["peak_rss_mib"] = peakResidentMiB();
}
BENCHMARK(BM_ProgressiveJPEGScans)->Arg(64)->Arg(65)->Unit(benchmark::kMillisecond);

}  // namespace
