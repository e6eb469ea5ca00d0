#include "Platform/Text/Font.hpp"

#include "Platform/Graphics/FontFaceLock.hpp"
#include "Platform/Graphics/MemoryHeadroom.hpp"
#include "Platform/Text/FontSystem.hpp"
#include "Platform/Text/detail/FontContext.hpp"

#include <glib.h>
#include <harfbuzz/hb-ot.h>
#include <harfbuzz/hb.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-font.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <pthread.h>
#include <tuple>
#include <utility>
#include <vector>

namespace dv::gfx {

namespace {

struct LoadedFont {
    PangoFont* font = nullptr;
    explicit LoadedFont(const PangoFontDescription* description) {
        PangoFontMap* map = detail::sharedFontMap();
        PangoContext* context = detail::sharedPangoContext();
        if (map && context) font = pango_font_map_load_font(map, context, description);
    }
    ~LoadedFont() {
        if (font) g_object_unref(font);
    }
    hb_face_t* face() const {
        if (!font) return nullptr;
        hb_font_t* hb = pango_font_get_hb_font(font);
        return hb ? hb_font_get_face(hb) : nullptr;
    }
};

// Keeps the characters a line can show: tabs and line breaks become spaces, other C0 controls
// go (a NUL would end the text early), and invalid UTF-8 is repaired.
std::string showableText(std::string_view text) {
    std::string cleaned;
    cleaned.reserve(text.size());
    for (char ch : text) {
        const auto u = static_cast<unsigned char>(ch);
        if (u == 0x09 || u == 0x0A || u == 0x0C || u == 0x0D) cleaned += ' ';
        else if (u >= 0x20) cleaned += ch;
    }
    if (g_utf8_validate(cleaned.data(), static_cast<gssize>(cleaned.size()), nullptr)) return cleaned;
    gchar* valid = g_utf8_make_valid(cleaned.data(), static_cast<gssize>(cleaned.size()));
    std::string out(valid);
    g_free(valid);
    return out;
}

} // namespace

namespace {

std::atomic<bool> ownSizes{false};

// Pango sorts and matches the fonts of every new pattern on two threads of its own, and GLib ends
// the process when one cannot start. Under a memory limit their stacks are promised before Pango
// is asked for fonts or a line: a board that leaves no room for them runs out of memory as
// any other drawing does, with a message.
void promiseFontSortingThreads(std::optional<gfx::MemoryPromise>& threads) {
    if (!gfx::checksMemory()) return;
    static const std::size_t stack = [] {
        std::size_t bytes = 0;
        pthread_attr_t attributes;
        if (::pthread_getattr_default_np(&attributes) == 0) {
            ::pthread_attr_getstacksize(&attributes, &bytes);
            ::pthread_attr_destroy(&attributes);
        }
        return bytes > 0 ? bytes : std::size_t{8} << 20;
    }();
    threads.emplace(2 * stack);
    if (!threads->kept()) throw std::bad_alloc();
}

} // namespace

void detail::layOutAtOwnSizes(bool own) { ownSizes.store(own, std::memory_order_relaxed); }

double sharedLayoutSize(double size) {
    if (ownSizes.load(std::memory_order_relaxed)) return size;
    int exponent = 0;
    std::frexp(size, &exponent);  // size in [2^(exponent - 1), 2^exponent)
    const double step = std::ldexp(1.0, exponent - 4);  // 8 steps to every doubling
    const double onGrid = std::round(size / step) * step;
    return onGrid > 0 ? onGrid : size;
}

namespace {

// The size a font of `size` is described to Pango at: larger text is enlarged from the
// rasteriser's limit, and sizes close together share one.
double describedSize(double size) { return sharedLayoutSize(std::fmin(size, MAX_GLYPH_PIXELS)); }

} // namespace

std::shared_ptr<const Font> Font::create(const FontDescriptor& requested) {
    std::shared_ptr<Font> font(new Font);
    font->descriptor_ = requested;
    if (!(std::isfinite(requested.size) && requested.size > 0)) font->descriptor_.size = 10;
    const double size = font->descriptor_.size;

    PangoFontDescription* d = pango_font_description_new();
    // The family is set as one name, never parsed: names from files may hold commas or words
    // that a description parser would read as styles.
    pango_font_description_set_family(d, showableText(font->descriptor_.family).c_str());
    pango_font_description_set_weight(d, requested.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(d, requested.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    // Pango's absolute sizes are device units; text is enlarged from this size (see
    // sharedLayoutSize and MAX_GLYPH_PIXELS).
    const double scaled = describedSize(size) * PANGO_SCALE;
    pango_font_description_set_absolute_size(d, scaled < 1 ? 1 : scaled);
    font->description_ = d;

    std::lock_guard faces(fontFaceMutex());
    std::optional<gfx::MemoryPromise> sorting;
    promiseFontSortingThreads(sorting);
    detail::keepFontset(d);
    LoadedFont loaded(d);
    if (hb_face_t* face = loaded.face()) {
        char name[256];
        unsigned int length = sizeof name;
        if (hb_ot_name_get_utf8(face, HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID, &length, name) > 0)
            font->postScriptName_.assign(name, length);
        hb_font_t* unscaled = hb_font_create(face); // scale = units per em
        const double upem = hb_face_get_upem(face);
        hb_position_t ascender = 0, descender = 0;
        if (upem > 0 && hb_ot_metrics_get_position(unscaled, HB_OT_METRICS_TAG_HORIZONTAL_ASCENDER, &ascender) &&
            hb_ot_metrics_get_position(unscaled, HB_OT_METRICS_TAG_HORIZONTAL_DESCENDER, &descender)) {
            font->ascent_ = ascender * size / upem;
            font->descent_ = -descender * size / upem;
        }
        hb_font_destroy(unscaled);
    }
    return font;
}

Font::~Font() {
    if (description_) pango_font_description_free(description_);
}

std::optional<std::vector<std::uint8_t>> Font::copyTable(std::uint32_t tag) const {
    std::lock_guard faces(fontFaceMutex());
    LoadedFont loaded(description_);
    hb_face_t* face = loaded.face();
    if (!face) return std::nullopt;
    hb_blob_t* blob = hb_face_reference_table(face, tag);
    unsigned int length = 0;
    const char* data = hb_blob_get_data(blob, &length);
    std::optional<std::vector<std::uint8_t>> out;
    if (data && length > 0) out.emplace(data, data + length);
    hb_blob_destroy(blob);
    return out;
}

namespace {

// The size a text of `bytes` (cleaned) is shaped at to be shown at `size`. Pango measures a
// line in ints of 1/1024 pixel, which a word of thousands of letters at a few hundred pixels
// overruns. No glyph advances more than a few em for each byte of its text: a long line is
// shaped small enough to stay well within them, and enlarged to its size as text beyond the
// rasteriser's limit is.
double shapingSize(double size, std::size_t bytes) {
    constexpr double UNITS = 1 << 30, EM_PER_BYTE = 4;
    const double fitting = UNITS / (PANGO_SCALE * EM_PER_BYTE * static_cast<double>(std::max<std::size_t>(1, bytes)));
    const double described = describedSize(size);
    return fitting < described ? std::fmax(fitting, 1.0 / PANGO_SCALE) : described;
}

} // namespace

TextLine::TextLine(const Font& font, std::string_view utf8) : TextLine(font, showableText(utf8), Cleaned{}) {}

TextLine::TextLine(const Font& font, const std::string& text, Cleaned) {
    std::lock_guard faces(fontFaceMutex());
    std::optional<gfx::MemoryPromise> sorting;
    promiseFontSortingThreads(sorting);
    PangoContext* context = detail::sharedPangoContext();
    if (!context) return;
    layout_ = pango_layout_new(context);
    size_ = font.size();
    layoutSize_ = shapingSize(size_, text.size());
    if (layoutSize_ != describedSize(size_)) {
        PangoFontDescription* small = pango_font_description_copy(font.description());
        pango_font_description_set_absolute_size(small, layoutSize_ * PANGO_SCALE);
        pango_layout_set_font_description(layout_, small);
        pango_font_description_free(small);
    } else {
        pango_layout_set_font_description(layout_, font.description());
    }
    pango_layout_set_single_paragraph_mode(layout_, TRUE);
    // Plain text only: nothing from a file is ever read as markup.
    pango_layout_set_text(layout_, text.data(), static_cast<int>(text.size()));
    PangoLayoutLine* line = pango_layout_get_line_readonly(layout_, 0);
    if (!line) return;
    PangoRectangle ink, logical;
    pango_layout_line_get_extents(line, &ink, &logical);
    extents_ = {logical.width, ink.x, ink.y, ink.width, ink.height};
    scaleTo(size_);
}

TextLine::TextLine(const TextLine& shaped, double size) : size_(size), layoutSize_(shaped.layoutSize_), extents_(shaped.extents_) {
    if (shaped.layout_) layout_ = static_cast<PangoLayout*>(g_object_ref(shaped.layout_));
    if (layout_) scaleTo(size);
}

void TextLine::scaleTo(double size) {
    layoutScale_ = size / layoutSize_;
    const double unit = layoutScale_ / PANGO_SCALE;
    width_ = static_cast<double>(extents_.logicalWidth) * unit;
    inkX0_ = static_cast<double>(extents_.inkX) * unit;
    inkY0_ = static_cast<double>(extents_.inkY) * unit;
    inkX1_ = (static_cast<double>(extents_.inkX) + extents_.inkWidth) * unit;
    inkY1_ = (static_cast<double>(extents_.inkY) + extents_.inkHeight) * unit;
}

namespace {

struct SharedLineKey {
    std::string family;
    bool bold;
    bool italic;
    std::uint64_t size; // bit pattern, so sizes compare exactly
    std::string text;

    bool operator<(const SharedLineKey& o) const {
        return std::tie(text, size, family, bold, italic) < std::tie(o.text, o.size, o.family, o.bold, o.italic);
    }
};

using LineMap = std::map<SharedLineKey, std::shared_ptr<const TextLine>>;

// Keyed by text from files: ordered trees, so no hostile key makes them degrade. When they are
// full they start over, which keeps the frequent lines (spaces, common words) coming back at
// once. `lines` is keyed by the font's size, `shaped` by the size a line was shaped at, which
// sizes close together share. Lines are shaped under fontFaceMutex(), never under the cache's
// own lock, and let go of outside it, as their release takes the face lock.
struct SharedLines {
    std::mutex mutex;
    std::uint64_t generation = 0;
    LineMap lines;
    LineMap shaped;
    std::size_t bytes = 0;  // of the texts kept, which the shaped glyphs grow with

    // Empties the cache into `released`, which the caller lets go of once the lock is released.
    void takeAll(std::vector<LineMap>& released) {
        bytes = 0;
        released.push_back(std::exchange(lines, {}));
        released.push_back(std::exchange(shaped, {}));
    }
};

SharedLines& sharedLines() {
    static SharedLines& cache = *new SharedLines;  // never destroyed: lines outlive every thread
    return cache;
}

} // namespace

std::shared_ptr<const TextLine> TextLine::shared(const Font& font, std::string_view utf8) {
    SharedLines& cache = sharedLines();
    const std::uint64_t generation = FontSystem::generation();
    const FontDescriptor& d = font.descriptor();
    SharedLineKey key{d.family, d.bold, d.italic, std::bit_cast<std::uint64_t>(d.size), std::string(utf8)};
    const std::string showable = showableText(utf8);
    SharedLineKey shapedKey{d.family, d.bold, d.italic,
                            std::bit_cast<std::uint64_t>(shapingSize(d.size, showable.size())), std::string(utf8)};
    std::vector<LineMap> released;
    std::shared_ptr<const TextLine> core;
    {
        std::lock_guard lock(cache.mutex);
        if (cache.generation != generation) {
            cache.takeAll(released);
            cache.generation = generation;
        } else if (auto it = cache.lines.find(key); it != cache.lines.end()) {
            return it->second;
        } else if (auto shapedIt = cache.shaped.find(shapedKey); shapedIt != cache.shaped.end()) {
            core = shapedIt->second;
        }
    }
    const bool shapedHere = !core;
    const std::shared_ptr<const TextLine> line(core ? new TextLine(*core, d.size) : new TextLine(font, showable, Cleaned{}));
    std::lock_guard lock(cache.mutex);
    if (cache.generation != generation) return line;
    if (auto it = cache.lines.find(key); it != cache.lines.end()) return it->second;  // made meanwhile
    if (cache.lines.size() + cache.shaped.size() + 2 > MAX_SHARED_LINES ||
        cache.bytes + 2 * utf8.size() > MAX_SHARED_BYTES)
        cache.takeAll(released);
    cache.bytes += utf8.size();
    cache.lines.emplace(std::move(key), line);
    if (shapedHere && !cache.shaped.count(shapedKey)) {
        cache.bytes += utf8.size();
        cache.shaped.emplace(std::move(shapedKey), line);
    }
    return line;
}

std::vector<std::string> TextLine::fontFiles() const {
    std::vector<std::string> files;
    if (!layout_) return files;
    std::lock_guard faces(fontFaceMutex());
    PangoLayoutLine* line = pango_layout_get_line_readonly(layout_, 0);
    for (const GSList* run = line ? line->runs : nullptr; run; run = run->next) {
        const auto* glyphs = static_cast<const PangoGlyphItem*>(run->data);
        PangoFont* font = glyphs && glyphs->item ? glyphs->item->analysis.font : nullptr;
        if (!font || !PANGO_IS_FC_FONT(font)) continue;
        FcChar8* file = nullptr;
        if (FcPatternGetString(pango_fc_font_get_pattern(PANGO_FC_FONT(font)), FC_FILE, 0, &file) == FcResultMatch)
            files.emplace_back(reinterpret_cast<const char*>(file));
    }
    return files;
}

TextLine::~TextLine() {
    if (!layout_) return;
    // The layout may hold the last reference to its fonts, and they to their faces.
    std::lock_guard faces(fontFaceMutex());
    g_object_unref(layout_);
}

TextLine::TextLine(TextLine&& other) noexcept
    : layout_(other.layout_), size_(other.size_), layoutSize_(other.layoutSize_), extents_(other.extents_),
      layoutScale_(other.layoutScale_), width_(other.width_),
      inkX0_(other.inkX0_), inkY0_(other.inkY0_),
      inkX1_(other.inkX1_), inkY1_(other.inkY1_) {
    other.layout_ = nullptr;
}

namespace {

// A transform squashed almost flat (a determinant near the smallest double) turns singular when
// scaled down further, and cairo answers a singular transform with an error state that ends all
// drawing on the context. Such text is far thinner than a pixel: it is left out.
bool scaleStaysInvertible(cairo_t* cr, double scale) {
    // cairo also refuses a scale whose square underflows to zero.
    if (!std::isfinite(scale) || !(scale * scale != 0)) return false;
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    cairo_matrix_scale(&m, scale, scale);
    return cairo_matrix_invert(&m) == CAIRO_STATUS_SUCCESS;
}

// True when the transform stretches one direction far more than the other, as a strong shear
// or a squash does: the font rasteriser fails on glyphs drawn through it (for a 10 px "d" under
// a transform 250 times longer one way than the other), and its error ends all drawing too.
bool distorts(const cairo_matrix_t& m) {
    const double det = std::fabs(m.xx * m.yy - m.xy * m.yx);
    const double sumOfSquares = m.xx * m.xx + m.xy * m.xy + m.yx * m.yx + m.yy * m.yy;
    return !(sumOfSquares <= 64 * det);
}

// Shows a line shaped at 1 / layoutScale of its size (`layoutSize` in its own units), enlarged by
// layoutScale about its origin. Where the glyphs would reach the rasteriser's limit on the
// device, or the transform distorts them, their outlines are taken upright at a size the
// rasteriser handles, small enough that a long line stays on cairo's grid, and mapped onto the
// device through the transform before the fill.
void showLine(cairo_t* cr, PangoLayoutLine* line, double x, double y, double layoutScale, double layoutSize,
              double deviceSize) {
    cairo_matrix_t current;
    cairo_get_matrix(cr, &current);
    const bool plain = deviceSize <= MAX_GLYPH_PIXELS && !distorts(current);
    if (layoutScale == 1 && plain) {
        cairo_move_to(cr, x, y);
        pango_cairo_show_layout_line(cr, line);
        return;
    }
    cairo_save(cr);
    cairo_translate(cr, x, y);
    if (!scaleStaysInvertible(cr, layoutScale)) {
        cairo_restore(cr);
        return;
    }
    cairo_scale(cr, layoutScale, layoutScale);
    if (plain) {
        cairo_move_to(cr, 0, 0);
        pango_cairo_show_layout_line(cr, line);
        cairo_restore(cr);
        return;
    }
    constexpr double OUTLINE_PIXELS = 256;
    const double upright = OUTLINE_PIXELS / layoutSize;
    cairo_matrix_t toDevice;
    cairo_get_matrix(cr, &toDevice);
    cairo_identity_matrix(cr);
    if (!scaleStaysInvertible(cr, upright)) {
        cairo_restore(cr);
        return;
    }
    cairo_scale(cr, upright, upright);
    cairo_new_path(cr);
    cairo_move_to(cr, 0, 0);
    pango_cairo_layout_line_path(cr, line);
    cairo_identity_matrix(cr);
    cairo_path_t* path = cairo_copy_path(cr);
    cairo_new_path(cr);
    bool finite = path->status == CAIRO_STATUS_SUCCESS;
    for (int i = 0; finite && i < path->num_data; i += path->data[i].header.length) {
        for (int k = 1; k < path->data[i].header.length; ++k) {
            cairo_path_data_t& point = path->data[i + k];
            point.point.x /= upright;
            point.point.y /= upright;
            cairo_matrix_transform_point(&toDevice, &point.point.x, &point.point.y);
            finite = finite && std::isfinite(point.point.x) && std::isfinite(point.point.y);
        }
    }
    if (finite) {
        cairo_append_path(cr, path);
        cairo_fill(cr);
    }
    cairo_path_destroy(path);
    cairo_restore(cr);
}

} // namespace

void TextLine::draw(GraphicsContext& context, std::span<const Placed> lines, double x, double y) {
    const AffineTransform m = context.userToDevice();
    DeviceBox bounds = DeviceBox::none();
    for (const Placed& p : lines) {
        const TextLine& l = *p.line;
        if (!l.layout_ || !(l.inkX1_ > l.inkX0_)) continue;
        const double ox = x + p.offset;
        for (const DevicePoint q : {m.apply(ox + l.inkX0_, y + l.inkY0_), m.apply(ox + l.inkX1_, y + l.inkY0_),
                                    m.apply(ox + l.inkX0_, y + l.inkY1_), m.apply(ox + l.inkX1_, y + l.inkY1_)})
            bounds.include(q.x, q.y);
    }
    if (bounds.isEmpty() || !std::isfinite(bounds.x0) || !std::isfinite(bounds.y0) || !std::isfinite(bounds.x1) ||
        !std::isfinite(bounds.y1))
        return;
    // Glyph outlines join the box with antialiasing; one extra unit keeps them inside it.
    bounds = {bounds.x0 - 1, bounds.y0 - 1, bounds.x1 + 1, bounds.y1 + 1};
    // How much the transform enlarges a glyph at most. A sheared transform stretches a glyph's
    // diagonal beyond either axis, and the rasteriser fails on the whole extent: the root of the
    // summed squares bounds the stretch in every direction.
    const double deviceScale = std::hypot(std::hypot(m.a, m.b), std::hypot(m.c, m.d));
    context.paintWithFill(bounds, [&](cairo_t* cr) {
        std::lock_guard faces(fontFaceMutex());
        // Showing glyphs leaves the fonts they were shown in on the context's state; they are
        // let go of here, within the lock, rather than whenever the context next changes.
        cairo_save(cr);
        for (const Placed& p : lines) {
            const TextLine& l = *p.line;
            if (!l.layout_) continue;
            PangoLayoutLine* line = pango_layout_get_line_readonly(l.layout_, 0);
            if (!line) continue;
            showLine(cr, line, x + p.offset, y, l.layoutScale_, l.size_ / l.layoutScale_, l.size_ * deviceScale);
        }
        cairo_restore(cr);
    });
}

} // namespace dv::gfx
