#include "DVRender/Images/DecodedImageCache.hpp"
#include "DVRender/Images/ImageBudget.hpp"
#include "DVRender/Images/ImageStore.hpp"
#include "DVRender/Images/RenderImage.hpp"
#include "DVRender/Images/SVGImage.hpp"
#include "ImageFixtures.hpp"
#include "Platform/ImageIO/ImageSource.hpp"
#include "Platform/ImageIO/detail/Decoding.hpp"
#include "Platform/SVG/SVGDocument.hpp"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace dv {
namespace {

using testing::Bytes;

std::shared_ptr<RenderImage> loaded(const std::string& src) {
    auto lookup = RenderImage::make(src);
    EXPECT_EQ(lookup.kind, ImageLookup::Kind::loaded) << src.substr(0, 80);
    return lookup.image;
}

int longerSide(const gfx::ImageRef& image) { return std::max(image->width(), image->height()); }

TEST(RenderImage, RasterDecodesAtThePowerOfTwoBucketNeverAboveNaturalSize) {
    auto image = loaded(testing::dataURL("image/png", testing::encodePNG(testing::solid(1000, 500, 10, 20, 30, 255))));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->naturalWidth(), 1000);
    EXPECT_EQ(image->naturalHeight(), 500);
    struct Case { std::int64_t w, h, cap, side; };
    const Case cases[] = {
        {100, 50, 8192, 128}, {300, 10, 8192, 512}, {5000, 4000, 8192, 1000}, {5000, 4000, 200, 200},
        {0, 0, 8192, 64},     {64, 1, 8192, 64},    {65, 1, 8192, 128},       {100, 50, 0, 1},
        {100, 50, -5, 1},
    };
    for (const auto& c : cases) {
        auto pixels = image->cgImage(c.w, c.h, c.cap);
        ASSERT_TRUE(pixels) << c.w << "x" << c.h << " cap " << c.cap;
        EXPECT_EQ(longerSide(pixels), c.side) << c.w << "x" << c.h << " cap " << c.cap;
        EXPECT_TRUE(DecodedImageCache::shared().contains(image->identity(), c.side, 0));
        EXPECT_EQ(image->cgImage(c.w, c.h, c.cap), pixels) << "a second request is served from the cache";
    }
    // Aspect ratio is kept: 1000 x 500 at side 128 is 128 x 64.
    auto small = image->cgImage(100, 50, 8192);
    EXPECT_EQ(small->width(), 128);
    EXPECT_EQ(small->height(), 64);
    EXPECT_EQ(small->pixel(10, 10), 0xFF0A141Eu);
    // A natural size below the smallest bucket caps the decode.
    auto tiny = loaded(testing::dataURL("image/png", testing::encodePNG(testing::solid(20, 10, 0, 0, 0, 255))));
    EXPECT_EQ(longerSide(tiny->cgImage(0, 0, 100)), 20);
}

TEST(RenderImage, VectorRendersAtTheExactRequestedSize) {
    const std::string svg = "<svg viewBox='0 0 24 24'><rect width='12' height='24' fill='red'/></svg>";
    auto image = loaded("data:image/svg+xml;base64," + testing::base64(svg));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->content().kind, RenderImage::Content::Kind::vector);
    EXPECT_EQ(image->naturalWidth(), 24);
    struct Case { std::int64_t w, h, cap, ew, eh; };
    const Case cases[] = {{100, 50, 8192, 100, 50}, {0, 0, 8192, 1, 1}, {500, 30, 200, 200, 30}, {10, 10, 0, 1, 1}};
    for (const auto& c : cases) {
        auto pixels = image->cgImage(c.w, c.h, c.cap);
        ASSERT_TRUE(pixels);
        EXPECT_EQ(pixels->width(), c.ew);
        EXPECT_EQ(pixels->height(), c.eh);
        EXPECT_TRUE(DecodedImageCache::shared().contains(image->identity(), c.ew, c.eh));
    }
    EXPECT_EQ(image->cgImage(100, 50, 8192)->pixel(10, 25), 0xFFFF0000u);
}

TEST(RenderImage, SizeOnlyImagesNeverDrawAndIdentitiesAreFresh) {
    auto a = RenderImage::sizeOnly("x", 10, 10);
    auto b = RenderImage::sizeOnly("x", 10, 10);
    EXPECT_FALSE(a->cgImage(10, 10, 100));
    EXPECT_NE(a->identity(), b->identity());
    EXPECT_GE(a->identity(), 1u);
    EXPECT_EQ(ImageLookup::loaded(a).stateKey(), (ImageStateKey{ImageStateKey::Kind::loaded, a->identity()}));
    EXPECT_NE(ImageLookup::loaded(a).stateKey(), ImageLookup::loaded(b).stateKey());
    EXPECT_EQ(ImageLookup::failed().stateKey(), ImageLookup::failed().stateKey());
}

TEST(RenderImage, SourcesThatDoNotResolveFail) {
    const std::string bad[] = {
        "/tmp/picture.png",
        "https://example.com/a.png",
        "data:text/plain",
        "data:image/png;base64,!!!!",
        "data:image/png;base64,AAAA",                                  // no image format
        "data:image/svg+xml,%FF%FE",                                   // not UTF-8
        "data:image/svg+xml,<html/>",                                  // sanitiser refuses
        "data:image/svg+xml,<svg",                                     // not XML
        "data:image/png;base64," + testing::base64(Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}),  // header cut short
    };
    for (const auto& src : bad) EXPECT_EQ(RenderImage::make(src).kind, ImageLookup::Kind::failed) << src;
}

// The four quadrants of the stored picture (red, green / blue, white) as the EXIF
// orientation says they are shown: top left, top right, bottom left, bottom right.
struct Orientation {
    int tag;
    std::uint32_t tl, tr, bl, br;
};
constexpr std::uint32_t R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF, W = 0xFFFFFFFF;
const Orientation orientations[] = {
    {1, R, G, B, W}, {2, G, R, W, B}, {3, W, B, G, R}, {4, B, W, R, G},
    {5, R, B, G, W}, {6, B, R, W, G}, {7, W, G, B, R}, {8, G, W, R, B},
};

void expectNear(std::uint32_t actual, std::uint32_t expected, int tolerance, const std::string& where) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = static_cast<int>((actual >> shift) & 0xFF), e = static_cast<int>((expected >> shift) & 0xFF);
        EXPECT_NEAR(a, e, tolerance) << where << std::hex << " actual " << actual << " expected " << expected;
    }
}

void expectQuadrants(const gfx::ImageRef& image, const Orientation& o, int tolerance, const std::string& what) {
    const int w = image->width(), h = image->height();
    expectNear(image->pixel(w / 4, h / 4), o.tl, tolerance, what + " top left");
    expectNear(image->pixel(w * 3 / 4, h / 4), o.tr, tolerance, what + " top right");
    expectNear(image->pixel(w / 4, h * 3 / 4), o.bl, tolerance, what + " bottom left");
    expectNear(image->pixel(w * 3 / 4, h * 3 / 4), o.br, tolerance, what + " bottom right");
}

TEST(RenderImage, ExifOrientationsTurnTheImageUpright) {
    const auto stored = testing::quadrants(64, 32);
    for (const auto& o : orientations) {
        const bool swapped = o.tag >= 5;
        struct Format { const char* name; Bytes data; int tolerance; };
        const Format formats[] = {
            {"jpeg", testing::encodeJPEG(stored, o.tag), 40},
            {"png", testing::encodePNG(stored, o.tag), 0},
        };
        for (const auto& f : formats) {
            const std::string what = std::string(f.name) + " orientation " + std::to_string(o.tag);
            auto image = loaded(testing::dataURL("image/jpeg", f.data));
            ASSERT_TRUE(image) << what;
            EXPECT_EQ(image->naturalWidth(), swapped ? 32 : 64) << what;
            EXPECT_EQ(image->naturalHeight(), swapped ? 64 : 32) << what;
            auto pixels = image->cgImage(64, 64, 1000);
            ASSERT_TRUE(pixels) << what;
            EXPECT_EQ(pixels->width(), swapped ? 32 : 64) << what;
            EXPECT_EQ(pixels->height(), swapped ? 64 : 32) << what;
            expectQuadrants(pixels, o, f.tolerance, what);
            // Scaled down, the quadrants stay where they are.
            auto scaled = gfx::ImageSource::create(f.data)->createThumbnail(16);
            ASSERT_TRUE(scaled);
            EXPECT_EQ(longerSide(scaled), 16);
            expectQuadrants(scaled, o, f.tolerance, what + " at 16");
        }
    }
}

TEST(RenderImage, EveryFormatDecodes) {
    const auto picture = testing::quadrants(40, 20);
    struct Format { const char* name; Bytes data; int tolerance; };
    const Format formats[] = {
        {"png", testing::encodePNG(picture), 0},
        {"interlaced png", testing::encodePNG(picture, 0, true), 0},
        {"jpeg", testing::encodeJPEG(picture), 40},
        {"progressive jpeg", testing::encodeJPEG(picture, 0, true), 40},
        {"gif", testing::encodeGIF(picture), 0},
        {"webp", testing::encodeWebP(picture), 40},
        {"lossless webp", testing::encodeWebP(picture, true), 0},
    };
    for (const auto& f : formats) {
        // The media type need not name the format: the bytes decide.
        auto image = loaded(testing::dataURL("application/octet-stream", f.data));
        ASSERT_TRUE(image) << f.name;
        EXPECT_EQ(image->naturalWidth(), 40) << f.name;
        EXPECT_EQ(image->naturalHeight(), 20) << f.name;
        auto pixels = image->cgImage(40, 20, 100);
        ASSERT_TRUE(pixels) << f.name;
        EXPECT_EQ(pixels->width(), 40) << f.name;
        expectQuadrants(pixels, orientations[0], f.tolerance, f.name);
    }
}

// Whether an image counts as loaded is decided without decoding all of it, and must agree
// with what decoding all of it gives: a file cut anywhere, a flipped byte in its image data.
TEST(ImageSource, DecodesAgreesWithAWholeDecodeOnDamagedFiles) {
    const auto picture = testing::quadrants(40, 20);
    struct Format { const char* name; Bytes data; };
    const Format formats[] = {
        {"png", testing::encodePNG(picture)},
        {"interlaced png", testing::encodePNG(picture, 0, true)},
        {"png with orientation", testing::encodePNG(picture, 6)},
        {"gif", testing::encodeGIF(picture)},
    };
    int decodable = 0, undecodable = 0;
    for (const auto& f : formats) {
        std::vector<Bytes> variants;
        for (std::size_t cut = 8; cut < f.data.size(); cut += 3) variants.emplace_back(f.data.begin(), f.data.begin() + cut);
        for (std::size_t at = 33; at < f.data.size(); at += 7) {
            variants.push_back(f.data);
            variants.back()[at] ^= 0x5A;
        }
        for (std::size_t i = 0; i < variants.size(); ++i) {
            auto source = gfx::ImageSource::create(variants[i]);
            if (!source) continue;
            const bool whole = source->createThumbnail(16) != nullptr;
            EXPECT_EQ(source->decodes(), whole) << f.name << " variant " << i;
            (whole ? decodable : undecodable) += 1;
        }
    }
    EXPECT_GT(decodable, 10) << "the damaged files include ones that still show";
    EXPECT_GT(undecodable, 10) << "and ones that do not";
}

// Decoders shrink images row by row: each output pixel is the rounded mean, channel by
// channel, of the source pixels whose column x and row y land on it (x * outWidth / inWidth,
// y * outHeight / inHeight, rounded down).
TEST(ImageSource, RowsShrinkToTheMeanOfThePixelsLandingOnEachOutputPixel) {
    struct Case { int inWidth, inHeight, outWidth, outHeight; };
    const Case cases[] = {{100, 60, 7, 5}, {37, 11, 37, 11}, {5, 3, 12, 7}, {1000, 4, 1, 1}, {640, 2, 3, 2}};
    std::mt19937 rng(3);
    for (const Case& c : cases) {
        std::vector<std::uint32_t> source(static_cast<std::size_t>(c.inWidth * c.inHeight));
        for (auto& p : source) {
            const std::uint32_t a = rng() % 256, r = rng() % (a + 1), g = rng() % (a + 1), b = rng() % (a + 1);
            p = a << 24 | r << 16 | g << 8 | b;
        }
        auto out = gfx::Bitmap::create(c.outWidth, c.outHeight);
        ASSERT_TRUE(out);
        gfx::detail::AreaScaler scaler(c.inWidth, c.inHeight, *out);
        for (int y = 0; y < c.inHeight; ++y) scaler.addRow(source.data() + static_cast<std::size_t>(y * c.inWidth));
        for (int oy = 0; oy < c.outHeight; ++oy)
            for (int ox = 0; ox < c.outWidth; ++ox) {
                std::uint64_t sums[4] = {}, n = 0;
                for (int y = 0; y < c.inHeight; ++y)
                    for (int x = 0; x < c.inWidth; ++x) {
                        if (x * c.outWidth / c.inWidth != ox || y * c.outHeight / c.inHeight != oy) continue;
                        const std::uint32_t p = source[static_cast<std::size_t>(y * c.inWidth + x)];
                        for (int k = 0; k < 4; ++k) sums[k] += (p >> (24 - 8 * k)) & 0xFF;
                        ++n;
                    }
                if (n == 0) continue;  // an enlarged image leaves gaps to the caller
                std::uint32_t expected = 0;
                for (int k = 0; k < 4; ++k) expected |= static_cast<std::uint32_t>((sums[k] + n / 2) / n) << (24 - 8 * k);
                EXPECT_EQ(out->row(oy)[ox], expected) << c.inWidth << " x " << c.inHeight << " to " << c.outWidth
                                                      << " x " << c.outHeight << " at " << ox << ", " << oy;
            }
    }
}

TEST(RenderImage, TransparencyIsPremultiplied) {
    auto half = testing::solid(8, 8, 255, 0, 0, 128);
    for (const auto& data : {testing::encodePNG(half), testing::encodeWebP(half, true)}) {
        auto image = loaded(testing::dataURL("image/png", data));
        ASSERT_TRUE(image);
        expectNear(image->cgImage(8, 8, 100)->pixel(3, 3), 0x80800000u, 1, "half red");
    }
    auto clear = testing::solid(4, 4, 0, 0, 0, 0);
    clear.rgba[0] = 255;  // one opaque red pixel; the rest transparent
    clear.rgba[3] = 255;
    auto gif = loaded(testing::dataURL("image/gif", testing::encodeGIF(clear)));
    ASSERT_TRUE(gif);
    auto pixels = gif->cgImage(4, 4, 100);
    EXPECT_EQ(pixels->pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(pixels->pixel(2, 2), 0u);
}

// An SVG document showing each raster image once, side by side, after the markup `before`.
std::string svgWithImages(const std::vector<Bytes>& images, const std::string& before = "") {
    std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='40' height='10'>" + before;
    for (std::size_t i = 0; i < images.size(); ++i) {
        svg += "<image x='" + std::to_string(i * 10) + "' width='10' height='10' href='" +
               testing::dataURL("image/png", images[i]) + "'/>";
    }
    return svg + "</svg>";
}

TEST(SVGImage, RasterImagesInsideCountTogetherAgainstTheWholeDecodeLimit) {
    const Bytes fourThousand = testing::pngHeaderOnly(4000, 4000);  // 16 Mpx
    const Bytes eightThousand = testing::pngHeaderOnly(8000, 8000);  // 64 Mpx exactly
    const std::string nested = "<image width='9' height='9' href='data:image/svg+xml;base64," +
                               testing::base64(svgWithImages({fourThousand, fourThousand})) + "'/>";
    struct Case {
        const char* what;
        std::string svg;
        bool within;
    };
    const Case cases[] = {
        {"four of 16 Mpx", svgWithImages(std::vector<Bytes>(4, fourThousand)), true},
        {"five of 16 Mpx", svgWithImages(std::vector<Bytes>(5, fourThousand)), false},
        {"one of 64 Mpx", svgWithImages({eightThousand}), true},
        {"one a pixel row past 64 Mpx", svgWithImages({testing::pngHeaderOnly(8000, 8001)}), false},
        {"two of 16 Mpx beside a nested SVG image holding two more", svgWithImages({fourThousand, fourThousand}, nested),
         true},
        {"three of 16 Mpx beside a nested SVG image holding two more",
         svgWithImages({fourThousand, fourThousand, fourThousand}, nested), false},
    };
    for (const Case& c : cases) {
        const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(c.svg.data()), c.svg.size());
        EXPECT_EQ(svgRasterLinksWithinLimits(bytes), c.within) << c.what;
    }
}

TEST(RenderImage, OversizedImagesAreRefusedFromTheHeader) {
    const std::string svgBomb = "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'><image width='4' height='4' href='" +
                                testing::dataURL("image/png", testing::pngHeaderOnly(100000, 100000)) + "'/></svg>";
    Bytes longChunk = testing::encodePNG(testing::solid(4, 4, 0, 0, 0, 255));
    const std::uint8_t claim[] = {0x60, 0, 0, 0x1A, 't', 'E', 'X', 't', 'a', 'b'};  // 1.6 GB announced
    longChunk.insert(longChunk.begin() + 33, std::begin(claim), std::end(claim));
    struct Case { const char* what; std::string src; };
    const Case cases[] = {
        {"png chunk longer than the file", testing::dataURL("image/png", longChunk)},
        {"png 100000 square", testing::dataURL("image/png", testing::pngHeaderOnly(100000, 100000))},
        {"png over 2^28", testing::dataURL("image/png", testing::pngHeaderOnly(16385, 16384))},
        {"interlaced png over 64 Mpx", testing::dataURL("image/png", testing::pngHeaderOnly(8001, 8000, true))},
        {"png one enormous row", testing::dataURL("image/png", testing::pngHeaderOnly(16000000, 8))},
        {"interlaced png with sides past 2^31 - 1",
         testing::dataURL("image/png", testing::pngHeaderOnly(0xF9FFFFEF, 0xFFFFFFF7, true))},
        {"png 2^31 wide", testing::dataURL("image/png", testing::pngHeaderOnly(0x80000000u, 1))},
        {"gif screen 65535 square", testing::dataURL("image/gif", testing::gifWithScreen(65535, 65535))},
        {"gif screen over 64 Mpx", testing::dataURL("image/gif", testing::gifWithScreen(8001, 8000))},
        {"png bomb in svg", "data:image/svg+xml," + svgBomb},
        {"svg holding a png of 2^28 pixels", "data:image/svg+xml," + svgWithImages({testing::pngHeaderOnly(16384, 16384)})},
        {"svg holding pngs of 80 Mpx together",
         "data:image/svg+xml," + svgWithImages(std::vector<Bytes>(5, testing::pngHeaderOnly(4000, 4000)))},
        {"png bomb in an embedded stencil", "data:image/svg+xml;base64," + testing::base64(svgBomb)},
    };
    for (const auto& c : cases) {
        const std::size_t buffers = gfx::decoderPixelBufferCount();
        const std::size_t svgLoads = gfx::SVGDocument::loadCount();
        EXPECT_EQ(RenderImage::make(c.src).kind, ImageLookup::Kind::failed) << c.what;
        EXPECT_EQ(gfx::decoderPixelBufferCount(), buffers) << c.what << ": no pixel buffer was made";
        EXPECT_EQ(gfx::SVGDocument::loadCount(), svgLoads) << c.what << ": the SVG renderer never saw it";
    }
    // Within the limits, a long picture still loads (rows are streamed, not held whole).
    const auto tall = testing::encodePNG(testing::solid(2, 40000, 0, 0, 0, 255));
    auto image = loaded(testing::dataURL("image/png", tall));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->naturalHeight(), 40000);
    EXPECT_EQ(longerSide(image->cgImage(100, 100, 8192)), 128);
}

// Each scan of a progressive JPEG walks every block of the picture again: the scans are
// counted through the file, and one past the limit refuses the image before any decoding.
TEST(ImageSource, ProgressiveJPEGScansAreLimited) {
    static_assert(gfx::DecodeLimits::maxJPEGScans == 64);
    // The decoder skips stray bytes before a marker (with a warning), and so does the count.
    auto withStrayBytes = [](Bytes data) {
        for (std::size_t at = data.size() - 2; at > 2; --at) {
            if (data[at] == 0xFF && data[at + 1] == 0xDA) {
                const std::uint8_t stray[] = {0x12, 0x34, 0x56};
                data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), std::begin(stray), std::end(stray));
                break;
            }
        }
        return data;
    };
    struct Case { const char* what; Bytes data; bool loads; int format; };
    const Case cases[] = {
        {"grey, 64 scans", testing::flatProgressiveJPEG(64, 48, 1, false), true, TJPF_BGRA},
        {"grey, 65 scans (the DC refined)", testing::flatProgressiveJPEG(64, 48, 1, true), false, TJPF_BGRA},
        {"grey, 64 scans, stray bytes before the last", withStrayBytes(testing::flatProgressiveJPEG(64, 48, 1, false)), true,
         TJPF_BGRA},
        {"grey, 65 scans, stray bytes before the last", withStrayBytes(testing::flatProgressiveJPEG(64, 48, 1, true)), false,
         TJPF_BGRA},
        {"ink, 253 scans", testing::flatProgressiveJPEG(16, 16, 4, false), false, TJPF_CMYK},
    };
    for (const Case& c : cases) {
        // Each file is sound: the decoder itself takes it whole.
        tjhandle tj = tjInitDecompress();
        std::vector<std::uint8_t> pixels(64 * 48 * 4);
        const bool decoded = tjDecompress2(tj, c.data.data(), static_cast<unsigned long>(c.data.size()), pixels.data(), 16,
                                           0, 16, c.format, 0) == 0 || tjGetErrorCode(tj) == TJERR_WARNING;
        EXPECT_TRUE(decoded) << c.what << ": " << tjGetErrorStr2(tj);
        tjDestroy(tj);
        const std::size_t buffers = gfx::decoderPixelBufferCount();
        auto lookup = RenderImage::make(testing::dataURL("image/jpeg", c.data));
        EXPECT_EQ(lookup.kind == ImageLookup::Kind::loaded, c.loads) << c.what;
        EXPECT_EQ(gfx::decoderPixelBufferCount(), buffers) << c.what << ": nothing decoded to tell";
        if (!c.loads || !lookup.image) continue;
        auto picture = lookup.image->cgImage(64, 48, 100);
        ASSERT_TRUE(picture) << c.what;
        EXPECT_EQ(picture->pixel(10, 10), 0xFF808080u) << c.what << ": level 0 is mid grey";
    }
}

// What the decoder holds is counted in bytes from the frame header: a progressive JPEG keeps
// 128 bytes of coefficients for each block of each component, beside its rows at an eighth
// of each side (4 bytes a pixel), however few pixels the picture has.
TEST(ImageSource, WholeDecodeLimitCountsCoefficientBytes) {
    static_assert(gfx::DecodeLimits::maxDecodeBytes == 256'000'000);
    struct Case { const char* what; Bytes data; std::int64_t held; };
    const std::int64_t refused = -1;
    const Case cases[] = {
        {"progressive ink 8000 square", testing::jpegHeaderOnly(8000, 8000, 4, true), refused},
        {"progressive colour 8000 square, no subsampling", testing::jpegHeaderOnly(8000, 8000, 3, true), refused},
        {"progressive colour 8000 square, colour at a quarter", testing::jpegHeaderOnly(8000, 8000, 3, true, 0x22),
         (1'000'000 + 2 * 250'000) * 128 + 4'000'000},
        {"progressive grey 8000 square", testing::jpegHeaderOnly(8000, 8000, 1, true), 1'000'000 * 128 + 4'000'000},
        {"progressive ink 8000 x 3968: the most rows within", testing::jpegHeaderOnly(8000, 3968, 4, true),
         496'000 * (4 * 128 + 4)},
        {"progressive ink 8000 x 3976: a block row past", testing::jpegHeaderOnly(8000, 3976, 4, true), refused},
        {"sequential ink 8000 square: streamed", testing::jpegHeaderOnly(8000, 8000, 4, false), 4'000'000},
        {"sequential colour, first scan of one component", testing::jpegHeaderOnly(8000, 8000, 3, false, 0x11), 4'000'000},
    };
    for (const Case& c : cases) {
        auto source = gfx::ImageSource::create(c.data);
        ASSERT_TRUE(source) << c.what;
        EXPECT_EQ(source->properties().has_value(), c.held != refused) << c.what;
        if (c.held != refused) {
            EXPECT_EQ(source->heldBytes(), c.held) << c.what;
        }
        const std::size_t buffers = gfx::decoderPixelBufferCount();
        EXPECT_EQ(RenderImage::make(testing::dataURL("image/jpeg", c.data)).kind == ImageLookup::Kind::loaded,
                  c.held != refused) << c.what;
        EXPECT_EQ(gfx::decoderPixelBufferCount(), buffers) << c.what;
    }
    // A first scan of some components only needs the coefficients of all of them.
    Bytes partial = testing::jpegHeaderOnly(8000, 8000, 3, false);
    const std::size_t scan = partial.size() - 3 - 14;  // the scan header, then a byte of data and the end
    ASSERT_EQ(partial[scan], 0xFF);
    ASSERT_EQ(partial[scan + 1], 0xDA);
    partial[scan + 3] = 8;  // one component: the length shrinks by two
    partial[scan + 4] = 1;
    partial.erase(partial.begin() + static_cast<std::ptrdiff_t>(scan) + 7, partial.begin() + static_cast<std::ptrdiff_t>(scan) + 11);
    auto source = gfx::ImageSource::create(partial);
    ASSERT_TRUE(source);
    EXPECT_FALSE(source->properties()) << "3 x 1,000,000 blocks of coefficients";
}

// Telling that an image decodes takes no decoding of its pixels: the one decode is the one
// made for drawing, at the size drawn.
TEST(RenderImage, ResolvingDecodesNothingAndDrawingDecodesOnce) {
    const auto picture = testing::quadrants(400, 200);
    const std::pair<const char*, Bytes> formats[] = {
        {"png", testing::encodePNG(picture)},
        {"interlaced png", testing::encodePNG(picture, 0, true)},
        {"jpeg", testing::encodeJPEG(picture)},
        {"progressive jpeg", testing::encodeJPEG(picture, 0, true)},
        {"gif", testing::encodeGIF(picture)},
        {"webp", testing::encodeWebP(picture)},
        {"lossless webp", testing::encodeWebP(picture, true)},
    };
    for (const auto& [name, data] : formats) {
        const std::size_t before = gfx::decoderPixelBufferCount();
        auto image = loaded(testing::dataURL("image/png", data));
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(gfx::decoderPixelBufferCount(), before) << name;
        auto drawn = image->cgImage(100, 50, 1000);
        ASSERT_TRUE(drawn) << name;
        EXPECT_EQ(longerSide(drawn), 128) << name;
        const std::size_t afterOne = gfx::decoderPixelBufferCount();
        EXPECT_TRUE(image->cgImage(120, 60, 1000)) << name;
        EXPECT_EQ(gfx::decoderPixelBufferCount(), afterOne) << name << ": the same bucket is not decoded again";
    }
}

// What a decode goes through, whatever the size: every pixel, again for a picture decoded
// whole and read back, four times an interlaced PNG's, a sixteenth more for every further
// scan of a JPEG.
TEST(ImageSource, DecodedPixelsCountTheDecodersWork) {
    const auto picture = testing::quadrants(400, 200);
    const std::pair<Bytes, std::int64_t> cases[] = {
        {testing::encodePNG(picture), 80'000},
        {testing::encodePNG(picture, 0, true), 320'000},
        {testing::encodeJPEG(picture), 80'000},
        {testing::encodeGIF(picture), 160'000},
        {testing::encodeWebP(picture), 80'000},
        {testing::encodeWebP(picture, true), 160'000},
        {testing::flatProgressiveJPEG(64, 48, 1, false), 3072 + 3072 / 16 * 63},
    };
    int i = 0;
    for (const auto& [data, pixels] : cases) {
        auto source = gfx::ImageSource::create(data);
        ASSERT_TRUE(source && source->properties()) << i;
        EXPECT_EQ(source->decodedPixels(), pixels) << i++;
    }
}

// A picture's raster images share one budget of decoded pixels, each charged once; past it
// they count as failed, while vector images, failures and images already taken pass through.
TEST(BudgetedImages, RasterImagesPastTheBudgetCountAsFailed) {
    ImageStore store;
    auto png = [](int w, int h, std::uint8_t shade) {
        return testing::dataURL("image/png", testing::encodePNG(testing::solid(w, h, shade, 0, 0, 255)));
    };
    const std::string a = png(20, 20, 1), b = png(30, 20, 2), c = png(10, 10, 3), d = png(1, 1, 4);
    const std::string svg = "data:image/svg+xml,<svg xmlns='http://www.w3.org/2000/svg' width='900' height='900'/>";
    BudgetedImages images(store, 1099);
    struct Step { const std::string* src; ImageLookup::Kind kind; std::int64_t left; };
    const Step steps[] = {
        {&a, ImageLookup::Kind::loaded, 699},   // 400 pixels
        {&svg, ImageLookup::Kind::loaded, 699},  // drawn, not decoded
        {&a, ImageLookup::Kind::loaded, 699},   // charged once
        {&b, ImageLookup::Kind::loaded, 99},    // 600
        {&c, ImageLookup::Kind::failed, 99},    // 100 more would be 1 past
        {&d, ImageLookup::Kind::loaded, 98},    // a smaller one still fits
        {&c, ImageLookup::Kind::failed, 98},    // once refused, refused for the whole picture
        {&b, ImageLookup::Kind::loaded, 98},
        {&d, ImageLookup::Kind::loaded, 98},
    };
    int i = 0;
    for (const Step& step : steps) {
        EXPECT_EQ(images.image(*step.src).kind, step.kind) << "step " << i;
        EXPECT_EQ(images.left(), step.left) << "step " << i;
        ++i;
    }
    EXPECT_EQ(store.image(c).kind, ImageLookup::Kind::loaded) << "the store itself is not budgeted";
    EXPECT_EQ(BudgetedImages(store).left(), std::int64_t{1} << 29);
}

// The SVG images of a picture share one budget of elements, work and text, taken in the order
// they are first looked up: at the budget every one is drawn, one unit short the last fails.
TEST(BudgetedImages, SvgImagesPastTheBoardsSvgBudgetCountAsFailed) {
    auto svg = [](int variant, const std::string& body) {
        const std::string text = "<svg xmlns='http://www.w3.org/2000/svg' width='90' height='90'><!--" +
                                 std::to_string(variant) + "-->" + body + "</svg>";
        return testing::dataURL("image/svg+xml", std::vector<std::uint8_t>(text.begin(), text.end()));
    };
    std::string shapes;
    for (int i = 0; i < 50; ++i) shapes += "<rect x='" + std::to_string(i) + "' width='9' height='9'/>";
    const std::string blurred = "<filter id='f'><feGaussianBlur stdDeviation='4'/></filter><rect width='80' height='80' filter='url(#f)'/>";
    const std::string words = "<text y='20'>" + std::string(300, 'w') + "</text>";
    const struct {
        const char* what;
        std::string body;
        std::int64_t SVGCost::*unit;
    } cases[] = {
        {"elements", shapes, &SVGCost::nodes},
        {"filter work", blurred, &SVGCost::work},
        {"text", words, &SVGCost::textBytes},
    };
    const std::string png = testing::dataURL("image/png", testing::encodePNG(testing::solid(8, 8, 1, 2, 3, 255)));
    for (const auto& c : cases) {
        ImageStore store;
        const std::string a = svg(1, c.body), b = svg(2, c.body);
        const auto probe = store.image(a);
        ASSERT_EQ(probe.kind, ImageLookup::Kind::loaded) << c.what;
        const SVGCost each = probe.image->content().vector->cost();
        ASSERT_GT(each.*c.unit, 0) << c.what;
        for (const std::int64_t shortBy : {0, 1}) {
            SVGCost budget{1 << 30, 1 << 30, 0, 1 << 30};
            budget.*c.unit = 2 * (each.*c.unit) - shortBy;
            BudgetedImages images(store, BudgetedImages::boardPixelBudget, ImageStore::byteLimit, budget);
            EXPECT_EQ(images.image(a).kind, ImageLookup::Kind::loaded) << c.what;
            EXPECT_EQ(images.image(png).kind, ImageLookup::Kind::loaded) << c.what << ": raster images are not charged";
            EXPECT_EQ(images.image(a).kind, ImageLookup::Kind::loaded) << c.what << ": charged once";
            const auto second = shortBy ? ImageLookup::Kind::failed : ImageLookup::Kind::loaded;
            EXPECT_EQ(images.image(b).kind, second) << c.what << " short by " << shortBy;
            EXPECT_EQ(images.image(b).kind, second) << c.what << ": decided once for the picture";
            EXPECT_EQ(images.svgLeft().*c.unit, shortBy ? each.*c.unit - 1 : 0) << c.what;
        }
    }
}

// Whether a picture's images all stay in the store decides whether bands may look them up
// again: counted once per distinct image, at the bound and just past it.
TEST(BudgetedImages, KeepsImagesSeenWhileTheirHeldBytesFitWhatTheStoreKeeps) {
    auto png = [](int w, std::uint8_t shade) {
        return testing::dataURL("image/png", testing::encodePNG(testing::solid(w, 8, shade, 0, 0, 255)));
    };
    const std::string a = png(20, 1), b = png(30, 2);
    const std::string svg = "data:image/svg+xml,<svg xmlns='http://www.w3.org/2000/svg' width='9' height='9'/>";
    ImageStore probe;
    const std::size_t both = ImageStore::heldBytes(probe.image(a), a.size()) + ImageStore::heldBytes(probe.image(b), b.size());
    const std::size_t all = both + ImageStore::heldBytes(probe.image(svg), svg.size());
    const struct { std::size_t kept; bool afterBoth; bool afterAll; } cases[] = {
        {all, true, true}, {all - 1, true, false}, {both, true, false}, {both - 1, false, false}};
    for (const auto& c : cases) {
        ImageStore store;
        BudgetedImages images(store, BudgetedImages::boardPixelBudget, c.kept);
        EXPECT_TRUE(images.keepsImagesSeen()) << c.kept;
        for (const std::string* src : {&a, &b, &a, &b}) images.image(*src);
        EXPECT_EQ(images.keepsImagesSeen(), c.afterBoth) << c.kept << ": an image seen again counts once";
        images.image(svg);
        images.image("data:image/png;base64,AAAA");  // fails: nothing is kept of it for drawing
        EXPECT_EQ(images.keepsImagesSeen(), c.afterAll) << c.kept;
    }
}

TEST(DecodedImageCache, EvictsLeastRecentlyUsedDownToNinetyPercent) {
    DecodedImageCache cache;
    auto big = [] {  // 2048 x 4096 x 4 bytes = 32 MiB; calloc'd pages are never touched
        return std::move(*gfx::Bitmap::create(2048, 4096)).takeImage();
    };
    for (std::uint64_t owner = 1; owner <= 4; ++owner) cache.insert(big(), owner, 64, 0);
    EXPECT_EQ(cache.totalBytes(), 134217728) << "exactly at the limit: nothing evicted";
    EXPECT_TRUE(cache.image(1, 64, 0)) << "a hit makes owner 1 the most recently used";
    cache.insert(big(), 5, 64, 0);
    // 160 MiB > limit: drop owners 2 and 3 (oldest) to reach at most 120,795,948 bytes.
    EXPECT_EQ(cache.totalBytes(), 100663296);
    EXPECT_TRUE(cache.contains(1, 64, 0));
    EXPECT_FALSE(cache.contains(2, 64, 0));
    EXPECT_FALSE(cache.contains(3, 64, 0));
    EXPECT_TRUE(cache.contains(4, 64, 0));
    EXPECT_TRUE(cache.contains(5, 64, 0));

    // Replacing a key corrects the total.
    cache.insert(big(), 5, 64, 0);
    EXPECT_EQ(cache.totalBytes(), 100663296);

    // Above 64 MiB an image is not stored at all.
    auto huge = std::move(*gfx::Bitmap::create(2048, 8193)).takeImage();
    cache.insert(huge, 6, 64, 0);
    EXPECT_FALSE(cache.contains(6, 64, 0));
    auto limit = std::move(*gfx::Bitmap::create(2048, 8192)).takeImage();
    cache.insert(limit, 7, 64, 0);
    EXPECT_TRUE(cache.contains(7, 64, 0)) << "exactly 64 MiB is stored";

    cache.removeAll(5);
    EXPECT_FALSE(cache.contains(5, 64, 0));
}

TEST(DecodedImageCache, DestroyingAnImageDropsAllItsSizes) {
    auto image = loaded("data:image/svg+xml,<svg width='4' height='4'/>");
    ASSERT_TRUE(image);
    const auto id = image->identity();
    image->cgImage(10, 10, 100);
    image->cgImage(20, 5, 100);
    EXPECT_TRUE(DecodedImageCache::shared().contains(id, 10, 10));
    EXPECT_TRUE(DecodedImageCache::shared().contains(id, 20, 5));
    image.reset();
    EXPECT_FALSE(DecodedImageCache::shared().contains(id, 10, 10));
    EXPECT_FALSE(DecodedImageCache::shared().contains(id, 20, 5));
}

TEST(ImageStore, ResolvesEachSourceOnceAndRemembersFailures) {
    ImageStore store;
    const std::string src = testing::dataURL("image/png", testing::encodePNG(testing::solid(3, 3, 1, 2, 3, 255)));
    const std::size_t before = RenderImage::makeCount();
    auto first = store.image(src);
    auto second = store.image(src);
    ASSERT_EQ(first.kind, ImageLookup::Kind::loaded);
    EXPECT_EQ(first.image->identity(), second.image->identity());
    EXPECT_EQ(store.image("https://example.com/x.png").kind, ImageLookup::Kind::failed);
    EXPECT_EQ(store.image("https://example.com/x.png").kind, ImageLookup::Kind::failed);
    EXPECT_EQ(RenderImage::makeCount() - before, 2u) << "a stored answer, failure included, is not worked out again";
    EXPECT_EQ(&ImageStore::shared(), &ImageStore::shared());
}

TEST(ImageStore, KeepsSourcesWithinItsByteBoundLeastRecentlyUsedFirst) {
    // Room for three failed 10-byte sources, each held once with its entry.
    const std::size_t each = ImageStore::entryOverhead + 10;
    ImageStore store(3 * each);
    const std::string a = "source-aaa", b = "source-bbb", c = "source-ccc", d = "source-ddd";
    for (const auto& s : {a, b, c}) store.image(s);
    EXPECT_EQ(store.totalBytes(), 3 * each);
    store.image(a);  // a is now the most recently used
    const std::size_t before = RenderImage::makeCount();
    store.image(d);  // b leaves
    EXPECT_EQ(store.count(), 3u);
    EXPECT_EQ(store.totalBytes(), 3 * each);
    store.image(a);
    store.image(c);
    store.image(d);
    EXPECT_EQ(RenderImage::makeCount() - before, 1u) << "a, c and d stayed";
    store.image(b);
    EXPECT_EQ(RenderImage::makeCount() - before, 2u) << "b was forgotten and resolved again";
}

// The store counts what an entry really holds: the source once, the encoded data of a raster
// image, the parsed document of a vector one (far more than its text).
TEST(ImageStore, CountsParsedDocumentsAndEncodedDataAgainstItsBound) {
    auto icon = [](int variant) {
        std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='100' height='100'>";
        for (int i = 0; i < 1000; ++i) {
            svg += "<path d='M" + std::to_string((i * 7 + variant) % 100) + " 0 L50 50 Z' fill='#123456'/>";
        }
        svg += "</svg>";
        return testing::dataURL("image/svg+xml", std::vector<std::uint8_t>(svg.begin(), svg.end())) + "";
    };
    const std::string png = testing::dataURL("image/png", testing::encodePNG(testing::solid(64, 32, 9, 9, 9, 255)));
    ImageStore probe;
    const auto vector = probe.image(icon(0));
    ASSERT_EQ(vector.kind, ImageLookup::Kind::loaded);
    const std::size_t iconBytes = ImageStore::heldBytes(vector, icon(0).size());
    // 1,001 elements at 1.8 KB each besides the text: some 1.8 MB for a 40 KB source.
    EXPECT_GE(iconBytes, 1001u * 1800u + icon(0).size());
    const auto raster = probe.image(png);
    ASSERT_EQ(raster.kind, ImageLookup::Kind::loaded);
    EXPECT_EQ(ImageStore::heldBytes(raster, png.size()),
              ImageStore::entryOverhead + png.size() + raster.image->content().raster->byteCount());
    EXPECT_EQ(probe.totalBytes(), iconBytes + ImageStore::heldBytes(raster, png.size()));

    // Three icons' worth: the fourth distinct icon sends the least recently used one away.
    ImageStore store(3 * iconBytes + iconBytes / 2);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(store.image(icon(i)).kind, ImageLookup::Kind::loaded);
    EXPECT_EQ(store.count(), 3u);
    EXPECT_LE(store.totalBytes(), 3 * iconBytes + iconBytes / 2);
    const std::size_t before = RenderImage::makeCount();
    store.image(icon(0));
    EXPECT_EQ(RenderImage::makeCount() - before, 1u) << "the first icon was forgotten";
}

// Parsed documents have a bound of their own within the store's (see parsedLimit): as many
// distinct icons as fit in it stay, the next sends the least recently used away, and a picture
// whose icons together pass it is no longer taken as kept for its bands.
TEST(ImageStore, KeepsParsedDocumentsWithinTheirOwnBound) {
    auto icon = [](int variant) {
        std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='100' height='100'>";
        for (int i = 0; i < 1000; ++i)
            svg += "<path d='M" + std::to_string((i * 7 + variant) % 100) + " " + std::to_string(variant) +
                   " L50 50 Z' fill='#123456'/>";
        svg += "</svg>";
        return testing::dataURL("image/svg+xml", std::vector<std::uint8_t>(svg.begin(), svg.end()));
    };
    ImageStore probe;
    const std::size_t parsed = ImageStore::parsedBytes(probe.image(icon(0)));
    ASSERT_GT(parsed, 1000u * 1800u);
    const int fit = static_cast<int>(ImageStore::parsedLimit / parsed);
    ASSERT_GE(fit, 2);
    ImageStore store;
    BudgetedImages images(store);
    for (int i = 0; i < fit; ++i) ASSERT_EQ(images.image(icon(i)).kind, ImageLookup::Kind::loaded);
    EXPECT_EQ(store.count(), static_cast<std::size_t>(fit));
    EXPECT_TRUE(images.keepsImagesSeen());
    images.image(icon(fit));
    EXPECT_EQ(store.count(), static_cast<std::size_t>(fit));
    EXPECT_FALSE(images.keepsImagesSeen());
    const std::size_t before = RenderImage::makeCount();
    store.image(icon(0));
    EXPECT_EQ(RenderImage::makeCount() - before, 1u) << "the first icon was forgotten";
    EXPECT_LT(store.totalBytes(), ImageStore::byteLimit);
}

TEST(ImageStore, ManyThreadsShareStoreAndCache) {
    std::vector<std::string> sources;
    for (int i = 0; i < 6; ++i) {
        sources.push_back(testing::dataURL("image/png", testing::encodePNG(testing::solid(200 + i, 100, 9, 9, 9, 255))));
    }
    sources.push_back("data:image/svg+xml,<svg width='8' height='8'><rect width='8' height='8'/></svg>");
    sources.push_back("not an image");
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            ImageStore local;
            for (int i = 0; i < 200; ++i) {
                const std::string& src = sources[static_cast<std::size_t>((i + t) % static_cast<int>(sources.size()))];
                ImageStore& store = i % 3 == 0 ? local : ImageStore::shared();
                auto lookup = store.image(src);
                if (src == "not an image") {
                    if (lookup.kind != ImageLookup::Kind::failed) ++failures;
                    continue;
                }
                if (lookup.kind != ImageLookup::Kind::loaded) { ++failures; continue; }
                auto pixels = lookup.image->cgImage(10 + (i * 7) % 300, 10 + (i * 3) % 100, 4096);
                if (!pixels) ++failures;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace dv
