#pragma once
// Turns parsed canvas fonts into platform fonts: CSS family lists are mapped onto installed
// families (fixed substitutes for the CSS generic families, "Helvetica" as the last resort),
// and every answer is cached process-wide. Any thread may call in.

#include "DVRender/Canvas/CanvasFont.hpp"
#include "Platform/Text/Font.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

struct FontResolver {
    using FontRef = std::shared_ptr<const gfx::Font>;

    struct EmBox {
        double ascent = 0;
        double descent = 0;
        bool operator==(const EmBox&) const = default;
    };

    /// The font for a parsed canvas font. Never fails; a size that is not finite and positive
    /// becomes 10.
    static FontRef ctFont(const CanvasFont& font);

    /// The part of the em square above and below the baseline at `size`.
    static EmBox emBox(const gfx::Font& font, double size);

    /// One family name for a CSS family list.
    static std::string resolveFamily(std::string_view list);

    /// The cleaned family names of a CSS family list, in order.
    static std::vector<std::string> families(std::string_view list);

    /// Empties every cache; fonts being made meanwhile are not cached.
    static void invalidate();

    /// Typographic ascent over (ascent − descent) from the raw bytes of an "OS/2" table.
    static std::optional<double> typoAscentRatio(std::span<const std::uint8_t> os2);

    /// The em box at `size` for an ascent ratio: both parts multiples of 1/64.
    static EmBox emBoxForRatio(double ratio, double size);

    static constexpr std::size_t MAX_CACHED_FONTS = 512;
    static constexpr std::size_t MAX_CACHED_RESOLUTIONS = 4096;
};

namespace detail {

/// Observation points for tests of the caches.
struct FontResolverProbe {
    static std::size_t cachedFontCount();
    static std::size_t cachedResolutionCount();
    /// Runs after a font is made and before it is stored (nothing when empty).
    static void setAfterFontMade(std::function<void()> hook);
};

} // namespace detail

} // namespace dv
