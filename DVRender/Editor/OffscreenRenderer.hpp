#pragma once
// What a board view shows, a viewport at a size and pixel density, drawn into a bitmap from a
// snapshot of recorded elements, with the canvas background and a grid when asked.

#include "DVModel/Viewport.hpp"
#include "DVRender/Editor/GridPattern.hpp"
#include "DVRender/Editor/RenderCache.hpp"
#include "DVRender/Scene/RenderTheme.hpp"
#include "Platform/Graphics/Image.hpp"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace dv {

struct OffscreenRenderOptions {
    struct Grid {
        GridPattern pattern = GridPattern::dot;
        double size = 20;
    };

    Viewport viewport;
    double width = 0;             // points
    double height = 0;            // points
    double devicePixelRatio = 1;  // pixels per point
    RenderEnvironment environment;
    bool drawsBackground = false;
    std::optional<Grid> grid;
    std::optional<std::string> editingId;
    std::optional<std::string> editingShapeLabelId;
};

/// A frame is waited for: it may take more of the free processors than a picture drawn in the
/// background.
inline constexpr int OFFSCREEN_MAX_BANDS = 8;

struct OffscreenRenderer {
    class RenderError : public std::runtime_error {
    public:
        enum class Case : std::uint8_t { invalidSize, contextCreationFailed, encodingFailed };
        static RenderError invalidSize(double width, double height, double scale);
        static RenderError contextCreationFailed();
        static RenderError encodingFailed();
        Case errorCase() const { return case_; }

    private:
        RenderError(Case c, const std::string& message) : std::runtime_error(message), case_(c) {}
        Case case_;
    };

    /// Each side is ⌈devicePixelRatio × points⌉ pixels and must lie in 1...32768; the bitmap
    /// must also hold no more pixels than a raster export may (268,435,456), since 32768 on both
    /// sides would take 4 GiB. A side the bitmap library cannot make (32768 itself) answers
    /// contextCreationFailed.
    static gfx::ImageRef render(const std::vector<Element>& elements, const OffscreenRenderOptions& options);
    /// A large frame is drawn in horizontal bands on the processors that are free, each band
    /// replaying only what can reach it; the picture is the same, to the bit.
    static gfx::ImageRef render(const RenderSnapshot& snapshot, const OffscreenRenderOptions& options);
    static std::vector<std::uint8_t> pngData(const std::vector<Element>& elements, const OffscreenRenderOptions& options);
    static std::vector<std::uint8_t> pngData(const gfx::ImageRef& image);
};

namespace detail {
/// The same bitmap as `OffscreenRenderer::render`, drawn in at most the given number of bands
/// (one for the whole frame at once) whatever the frame's size and the machine's load; for tests.
gfx::ImageRef renderOffscreenInBands(const RenderSnapshot& snapshot, const OffscreenRenderOptions& options, int bands);
}  // namespace detail

/// A double as messages show it: the shortest text that reads back the same, with ".0" after a
/// whole number ("800.0", "1.5"), and "nan", "inf", "-inf".
std::string messageNumber(double value);

}  // namespace dv
