#pragma once
// A font chosen by family, weight, slant and size, and the text lines laid out in it.
// A Font and a TextLine are immutable and may be shared between threads. Any number of
// threads may lay out and draw text at once, in any number of font files: everything here
// that reaches a font face takes fontFaceMutex().
#include "Platform/Graphics/GraphicsContext.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

typedef struct _PangoFontDescription PangoFontDescription;
typedef struct _PangoLayout PangoLayout;

namespace dv::gfx {

/// The largest glyph size ever asked of the font rasteriser, in pixels. It refuses sizes from
/// 65,536 pixels up, and a refusal leaves cairo unable to draw that face on the thread ever
/// again; larger text is shaped at this size and its outlines enlarged.
inline constexpr double MAX_GLYPH_PIXELS = 16384;

/// The size text of `size` (finite, positive, within MAX_GLYPH_PIXELS) is laid out at, and then
/// enlarged to `size`. Pango makes a font for every size it is asked for, each after a match
/// and a sort of the installed fonts on two threads of its own: a board of thousands of sizes
/// took thousands of them, and threads a memory limit could refuse. Sizes are laid out on a
/// grid of 8 steps to every doubling (whole pixels from 8 to 16, even ones from 16 to 32), so
/// text on the grid is laid out at its own size, and text off it at a size under 6.25 % away.
/// Glyphs are still rasterised at their own size: only their places along the line move, by
/// the rounding of the shaper's positions, which does not grow with the distance.
double sharedLayoutSize(double size);

struct FontDescriptor {
    std::string family;
    bool bold = false;
    bool italic = false;
    double size = 10; // user units (one em)
};

constexpr std::uint32_t fontTableTag(char a, char b, char c, char d) {
    return (std::uint32_t(std::uint8_t(a)) << 24) | (std::uint32_t(std::uint8_t(b)) << 16) |
           (std::uint32_t(std::uint8_t(c)) << 8) | std::uint32_t(std::uint8_t(d));
}

class Font {
public:
    /// The best installed match; fontconfig synthesises bold and slant for families without
    /// such faces. Sizes that are not finite and positive are taken as 10.
    static std::shared_ptr<const Font> create(const FontDescriptor& descriptor);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    const FontDescriptor& descriptor() const { return descriptor_; }
    double size() const { return descriptor_.size; }
    /// The PostScript name of the primary face (empty when no font is installed at all).
    const std::string& postScriptName() const { return postScriptName_; }
    /// Font-wide ascent and descent at this size (descent positive below the baseline).
    double ascent() const { return ascent_; }
    double descent() const { return descent_; }
    /// The raw bytes of a table of the primary face, when it has one.
    std::optional<std::vector<std::uint8_t>> copyTable(std::uint32_t tag) const;

    /// The face at sharedLayoutSize(min(size, MAX_GLYPH_PIXELS)).
    const PangoFontDescription* description() const { return description_; }

private:
    Font() = default;
    FontDescriptor descriptor_;
    PangoFontDescription* description_ = nullptr;
    std::string postScriptName_;
    double ascent_ = 0;
    double descent_ = 0;
};

/// One line of text shaped in one font (with fallback fonts for characters it lacks), never
/// wrapped, laid out left to right with bidirectional reordering. Control characters that
/// cannot be shown are dropped; tabs and line breaks become spaces.
class TextLine {
public:
    TextLine(const Font& font, std::string_view utf8);
    ~TextLine();
    TextLine(TextLine&& other) noexcept;

    TextLine& operator=(TextLine&&) = delete;
    TextLine(const TextLine&) = delete;

    /// A line shaped earlier in an equal font (same descriptor) with the same text, or a new
    /// one, shaped anew only when no line of that text was shaped at the same layout size (see
    /// sharedLayoutSize): it is then that line enlarged to its size, to the bit the line
    /// shaping it again would give. Boards repeat words and spaces endlessly, and shaping is the costly part of text;
    /// the most recent lines are kept, for every thread (the bands of a picture share them),
    /// until the fonts are reloaded. A long text wrapped narrowly repeats its words, or the
    /// characters of a script written without spaces, a line each: a few thousand lines hold
    /// them. Long lines are kept only up to a total of text, so that thousands of them cannot
    /// hold their glyphs.
    static std::shared_ptr<const TextLine> shared(const Font& font, std::string_view utf8);
    static constexpr std::size_t MAX_SHARED_LINES = 4096;
    static constexpr std::size_t MAX_SHARED_BYTES = 128 * 1024;

    /// The files of the fonts the line is shown in, one per run (fallback fonts included).
    std::vector<std::string> fontFiles() const;

    /// The advance width, trailing spaces included.
    double typographicWidth() const { return width_; }

    struct Placed {
        const TextLine* line;
        double offset; // along the baseline
    };
    /// Draws lines along one baseline at (x, y) in the current fill colour, alpha and shadow;
    /// all lines cast one shadow together.
    static void draw(GraphicsContext& context, std::span<const Placed> lines, double x, double y);

private:
    struct Cleaned {};
    TextLine(const Font& font, const std::string& showable, Cleaned);
    /// `shaped` shown at `size`: the same layout, enlarged differently.
    TextLine(const TextLine& shaped, double size);
    void scaleTo(double size);

    // The layout's extents, in Pango units of the size it was shaped at.
    struct Extents {
        int logicalWidth = 0, inkX = 0, inkY = 0, inkWidth = 0, inkHeight = 0;
    };

    PangoLayout* layout_ = nullptr;
    double size_ = 0;        // the font size, in user units
    double layoutSize_ = 1;  // the size the layout was shaped at
    Extents extents_;
    double layoutScale_ = 1; // size_ over layoutSize_
    double width_ = 0;
    // Ink box relative to the line origin, y down.
    double inkX0_ = 0, inkY0_ = 0, inkX1_ = 0, inkY1_ = 0;
};

} // namespace dv::gfx
