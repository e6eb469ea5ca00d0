#pragma once
// Raster export of a board: the plan (export bounds plus padding at 2 pixels per board unit),
// the limits a bitmap must respect, the bitmap itself, its PNG bytes, and a stand-alone HTML page
// that shows the PNG. Hidden elements are painted like visible ones, as in every export.

#include "DVModel/Element.hpp"
#include "DVRender/Export/ExportBounds.hpp"
#include "DVRender/Scene/RenderTheme.hpp"
#include "Platform/Graphics/Image.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

namespace gfx {
class GraphicsContext;
}

/// Default file names a host offers when it saves an export.
namespace ExportFileName {
inline constexpr std::string_view png = "drevalin-export.png";
inline constexpr std::string_view svg = "drevalin-export.svg";
inline constexpr std::string_view html = "drevalin-embed.html";
}  // namespace ExportFileName

inline constexpr std::int64_t EXPORT_MAX_PIXEL_SIDE = 32767;
inline constexpr std::int64_t EXPORT_MAX_PIXEL_AREA = 268435456;  // 16384 x 16384

struct ExportRasterPlan {
    double worldWidth = 0;    // board units, padding included
    double worldHeight = 0;
    std::uint32_t pixelWidth = 0;
    std::uint32_t pixelHeight = 0;
    double scale = 0;         // pixels per board unit
    double translateX = 0;    // board units, applied after the scale
    double translateY = 0;
    std::string canvasColor;
    bool fillsBackground = false;
    bool operator==(const ExportRasterPlan&) const = default;
};

class ExportError : public std::runtime_error {
public:
    enum class Case : std::uint8_t { unsupportedSize, contextCreationFailed, encodingFailed };

    static ExportError unsupportedSize(std::uint32_t width, std::uint32_t height);
    static ExportError contextCreationFailed();
    static ExportError encodingFailed();

    Case errorCase() const { return case_; }
    /// The refused size (unsupportedSize only).
    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }

private:
    ExportError(Case c, const std::string& message, std::uint32_t w, std::uint32_t h)
        : std::runtime_error(message), case_(c), width_(w), height_(h) {}
    Case case_;
    std::uint32_t width_;
    std::uint32_t height_;
};

/// JavaScript's ToUint32: not finite gives 0, otherwise truncated and taken modulo 2^32.
std::uint32_t toUint32(double value);

/// The plan for a scene of the given bounds (no check of the limits).
ExportRasterPlan exportRasterPlan(const ExportBounds& bounds, bool withBackground, std::string canvasColor);
/// The plan for the elements; absent for an empty list.
std::optional<ExportRasterPlan> exportRasterPlan(const std::vector<Element>& elements, bool withBackground,
                                                 const std::string& canvasColor);

/// Throws `unsupportedSize` unless both sides lie in 1...EXPORT_MAX_PIXEL_SIDE, the area is at
/// most EXPORT_MAX_PIXEL_AREA, and the pixel sides are what the world size at the plan's scale
/// asks for: a side of 2^32 pixels or more (or not finite) wraps into a small size that would
/// export a wrong crop, so it is refused with the wrapped numbers.
void checkExportSize(const ExportRasterPlan& plan);

/// The scene as a bitmap of the plan's pixel size. Throws ExportError.
gfx::ImageRef renderExportImage(const std::vector<Element>& elements, const ExportRasterPlan& plan,
                                const RenderEnvironment& environment);

/// The scene as a bitmap of the plan `adjust` makes of the elements' own plan (a picture fitted
/// into a budget, say); the element index and the label layout serve both the plan and the
/// drawing, and take over the elements when they are handed over. Absent for an empty list.
/// Throws ExportError.
std::optional<gfx::ImageRef> renderExportImage(std::vector<Element> elements, bool withBackground,
                                               const std::string& canvasColor,
                                               const std::function<ExportRasterPlan(const ExportRasterPlan&)>& adjust,
                                               const RenderEnvironment& environment);

namespace detail {
/// The same bitmap as `renderExportImage`, drawn in the given number of bands (one for the whole
/// picture at once; fewer only where the picture has fewer rows) whatever the picture's size
/// and the machine's load; for tests.
gfx::ImageRef renderExportImageInBands(const std::vector<Element>& elements, const ExportRasterPlan& plan,
                                       const RenderEnvironment& environment, int bands);

/// Whether a picture of the elements is drawn at once rather than in bands because it is mostly
/// long text: cairo composites glyphs one thread at a time however many threads show them, and
/// every band wraps, measures and shows again the lines that reach it, so that bands take more
/// than twice the work of the picture drawn at once and end later. Unless asked for bands.
bool drawsTextAtOnce(const std::vector<Element>& elements);
inline constexpr std::size_t TEXT_AT_ONCE_BYTES = 1 << 20;
inline constexpr std::size_t TEXT_AT_ONCE_BYTES_PER_ELEMENT = 1024;

/// Whether the elements hold paths of so many points that cairo's work on their edges, not the
/// picture's pixels, decides the time: such a picture is drawn in bands however small it is
/// (each band laying only the tiles of those paths meeting its rows).
bool drawsHeavyPaths(const std::vector<Element>& elements);
inline constexpr std::size_t HEAVY_PATH_POINTS = 1 << 17;
}  // namespace detail

/// Draws the scene into a context whose user space is the bitmap's pixels, y down.
void drawExportScene(const std::shared_ptr<gfx::GraphicsContext>& context, const std::vector<Element>& elements,
                     const ExportRasterPlan& plan, const RenderEnvironment& environment);

/// The bitmap as PNG bytes. Throws ExportError.
std::vector<std::uint8_t> exportPNGData(const std::vector<Element>& elements, const ExportRasterPlan& plan,
                                        const RenderEnvironment& environment);

/// The page that shows `pngDataURL` at the plan's world size.
std::string exportHTMLDocument(const ExportRasterPlan& plan, std::string_view pngDataURL);

/// The page's bytes for the elements drawn on a filled canvas; absent for an empty list.
/// Throws ExportError.
std::optional<std::vector<std::uint8_t>> exportHTMLData(const std::vector<Element>& elements,
                                                        const std::string& canvasColor,
                                                        const RenderEnvironment& environment);

}  // namespace dv

template <>
struct std::hash<dv::ExportRasterPlan> {
    std::size_t operator()(const dv::ExportRasterPlan& plan) const noexcept;
};
