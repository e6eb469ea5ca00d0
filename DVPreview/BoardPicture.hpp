#pragma once
// A board as a picture for previews: its elements from file data, whether it wants a light or a
// dark canvas, a raster plan shrunk to a pixel budget, and that plan rendered to a bitmap or PNG;
// plus fitting a size into a maximum size and the canvas colour of a theme.

#include "DVModel/Element.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "DVRender/Scene/RenderTheme.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/Image.hpp"
#include "Platform/Thumbnail/Thumbnailing.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace dv {

namespace platform {
class UserDefaults;
}

struct BoardPicture {
    /// The longest side a preview image should have; callers pass their own budget.
    static constexpr double previewMaxPixelSide = 2400.0;

    /// Throws DrevalinFileError.
    static std::vector<Element> elements(std::span<const std::uint8_t> fileData);

    static RenderTheme theme(bool isLight);
    /// The vote of the visible elements' stroke colours: true light, false dark, absent on a tie.
    static std::optional<bool> prefersLightCanvas(const std::vector<Element>& elements);
    /// The board's own preference, or the system's when the board has none.
    static RenderTheme theme(const std::vector<Element>& elements, bool systemIsLight);

    /// The export plan on the theme's canvas, drawn at no more than 2 pixels per board unit and
    /// with its longest side within `maxPixelSide`; absent for an empty list.
    static std::optional<ExportRasterPlan> plan(const std::vector<Element>& elements, const RenderTheme& theme,
                                                double maxPixelSide);
    /// The capping step of `plan` on its own. A side that cannot be a pixel count (not finite, or
    /// 2^32 or more) becomes 0, which the export refuses.
    static ExportRasterPlan capped(const ExportRasterPlan& exportPlan, double maxPixelSide);

    /// Throws ExportError; absent for an empty list. Elements handed over are not copied: a
    /// board of long strokes would otherwise be held twice while it is drawn.
    static std::optional<gfx::ImageRef> image(std::vector<Element> elements, const RenderTheme& theme,
                                              double maxPixelSide);
    /// Absent for an empty list and for any failure of the export.
    static std::optional<std::vector<std::uint8_t>> png(const std::vector<Element>& elements,
                                                        const RenderTheme& theme, double maxPixelSide);

    /// The size scaled down (never up) to fit `bounds`, aspect kept, rounded half away from zero;
    /// `bounds` itself when the size has no area.
    static ql::Size fitted(ql::Size size, ql::Size bounds);

    /// False exactly when "AppleInterfaceStyle" holds "Dark" in any case.
    static bool systemIsLight(const platform::UserDefaults& defaults);

    /// White for a light theme, grey 8/255 for a dark one, whatever the canvas text says.
    static gfx::Color backgroundColor(const RenderTheme& theme);
};

}  // namespace dv
