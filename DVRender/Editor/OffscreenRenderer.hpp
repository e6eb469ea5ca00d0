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

struct OffscreenRenderer {
    class RenderError : public std::runtime_error {
    public:
        enum class Case : std::uint8_t { invalidSize, contextCreationFailed, encodingFailed };
        /// What an invalidSize error was asked for: the options' width and height in points and
        /// their pixel ratio, as given (not the pixel sides).
        struct InvalidSize {
            double width = 0;
            double height = 0;
            double scale = 0;
        };
        static RenderError invalidSize(double width, double height, double scale);
        static RenderError contextCreationFailed();
        static RenderError encodingFailed();
        Case errorCase() const { return case_; }
        /// Present for invalidSize alone.
        const std::optional<InvalidSize>& invalidSizePayload() const { return invalidSize_; }

    private:
        RenderError(Case c, const std::string& message) : std::runtime_error(message), case_(c) {}
        Case case_;
        std::optional<InvalidSize> invalidSize_;
    };

    /// Each side is ⌈devicePixelRatio × points⌉ pixels and must lie in 1...32768; the bitmap
    /// must also hold no more pixels than a raster export may (268,435,456), since 32768 on both
    /// sides would take 4 GiB. A side the bitmap library cannot make (32768 itself) answers
    /// contextCreationFailed, as does a frame the memory cannot be had for. The frame is drawn
    /// at once, on the calling thread.
    static gfx::ImageRef render(const std::vector<Element>& elements, const OffscreenRenderOptions& options);
    static gfx::ImageRef render(const RenderSnapshot& snapshot, const OffscreenRenderOptions& options);
    static std::vector<std::uint8_t> pngData(const std::vector<Element>& elements, const OffscreenRenderOptions& options);
    static std::vector<std::uint8_t> pngData(const gfx::ImageRef& image);
};

/// A double as messages show it: the shortest text that reads back the same, with ".0" after a
/// whole number ("800.0", "1.5"), and "nan", "inf", "-inf".
std::string messageNumber(double value);

}  // namespace dv
