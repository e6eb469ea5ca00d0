#include "Platform/Text/FontSystem.hpp"

#include "Platform/Graphics/FontFaceLock.hpp"
#include "Platform/Text/detail/FontContext.hpp"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <glib.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace dv::gfx {

namespace {

constexpr auto POLL_INTERVAL = std::chrono::seconds(5);

struct FontData {
    std::mutex mutex;
    FcConfig* config = nullptr;
    std::atomic<std::uint64_t> generation{0};
    std::atomic<std::int64_t> lastPoll{0};
    std::vector<std::function<void()>> observers;
};

// Never destroyed: text may still be drawn from other threads while the process exits.
FontData& fontData() {
    static FontData& data = *new FontData;
    return data;
}

std::string escapeXml(const char* s) {
    std::string out;
    for (; *s; ++s) {
        switch (*s) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += *s;
        }
    }
    return out;
}

FcConfig* buildConfig() {
    // Honours FONTCONFIG_FILE, which is how a fixed configuration is chosen.
    FcConfig* config = FcInitLoadConfig();
    if (!config) return nullptr;
    const std::string aliases = FontSystem::aliasConfiguration();
    FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(aliases.c_str()), FcFalse);
    FcConfigBuildFonts(config);
    return config;
}

// Our configuration also becomes the process default. Pango loads the default configuration
// on a thread of its own when its first font map is made and waits for it before using the
// configuration it was given; with the default already set, that second load (as costly as
// ours: every configuration file parsed again) is skipped.
void makeCurrent(FcConfig* config) {
    if (config) FcConfigSetCurrent(config);
}

FcConfig* lockedConfig(FontData& data) {
    if (!data.config) {
        data.config = buildConfig();
        makeCurrent(data.config);
    }
    return data.config;
}

// One font map and context for the process, used only under fontFaceMutex(): every thread
// reaches the same faces anyway, and a font map of its own would make each thread load every
// font and shape every line again for nothing, the faces taking turns all the same.
struct SharedFonts {
    std::uint64_t generation = ~std::uint64_t{0};
    PangoFontMap* map = nullptr;
    PangoContext* context = nullptr;
    // See keepFontset; keyed by family, weight, slant and size.
    std::map<std::tuple<std::string, int, int, int>, PangoFontset*> fontsets;

    void release() {
        for (auto& [key, set] : fontsets) g_object_unref(set);
        fontsets.clear();
        if (context) g_object_unref(context);
        if (map) g_object_unref(map);
        context = nullptr;
        map = nullptr;
    }
};

// Under fontFaceMutex().
SharedFonts& sharedFonts() {
    static SharedFonts& fonts = *new SharedFonts;  // never destroyed: text may be let go of at exit
    FontData& data = fontData();
    const std::uint64_t gen = data.generation.load(std::memory_order_acquire);
    if (fonts.map && fonts.generation == gen) return fonts;
    fonts.release();
    FcConfig* config = detail::acquireFontConfig();
    fonts.generation = gen;
    fonts.map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    if (!fonts.map) {
        if (config) FcConfigDestroy(config);
        return fonts;
    }
    if (config) {
        pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(fonts.map), config);
        FcConfigDestroy(config);
    }
    fonts.context = pango_font_map_create_context(fonts.map);
    // A context without a language of its own loads single fonts (the metrics of a Font) for no
    // language but lays text out in the default one: every font would be looked up twice, and
    // each lookup of a new font is costly (the configuration's substitutions, a sort of every
    // installed font, two helper threads). Text keeps the language it was laid out in.
    pango_context_set_language(fonts.context, pango_language_get_default());
    // Fractional, unhinted advances: a line is as wide at every scale, as the layout expects.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(fonts.context, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(fonts.context, FALSE);
    return fonts;
}

} // namespace

namespace detail {

FcConfig* acquireFontConfig() {
    FontData& data = fontData();
    std::lock_guard lock(data.mutex);
    FcConfig* config = lockedConfig(data);
    if (config) FcConfigReference(config);
    return config;
}

PangoContext* sharedPangoContext() { return sharedFonts().context; }

void keepFontset(const PangoFontDescription* description) {
    constexpr std::size_t MOST = 4096;
    SharedFonts& fonts = sharedFonts();
    if (!fonts.map || !fonts.context) return;
    const char* family = pango_font_description_get_family(description);
    std::tuple key{std::string(family ? family : ""), static_cast<int>(pango_font_description_get_weight(description)),
                   static_cast<int>(pango_font_description_get_style(description)),
                   pango_font_description_get_size(description)};
    if (fonts.fontsets.count(key)) return;
    if (fonts.fontsets.size() >= MOST) {
        for (auto& [kept, set] : fonts.fontsets) g_object_unref(set);
        fonts.fontsets.clear();
    }
    if (PangoFontset* set = pango_font_map_load_fontset(fonts.map, fonts.context, description,
                                                        pango_context_get_language(fonts.context)))
        fonts.fontsets.emplace(std::move(key), set);
}

PangoFontMap* sharedFontMap() { return sharedFonts().map; }

} // namespace detail

const std::vector<FamilyAlias>& FontSystem::aliases() {
    static const std::vector<FamilyAlias> table = {
        {"Helvetica", {"Liberation Sans", "DejaVu Sans"}},
        {"Helvetica Neue", {"Liberation Sans", "DejaVu Sans"}},
        {"Arial", {"Liberation Sans", "DejaVu Sans"}},
        {"Times", {"Liberation Serif", "DejaVu Serif"}},
        {"Times New Roman", {"Liberation Serif", "DejaVu Serif"}},
        {"Georgia", {"DejaVu Serif", "Liberation Serif"}},
        {"Courier", {"Liberation Mono", "DejaVu Sans Mono"}},
        {"Courier New", {"Liberation Mono", "DejaVu Sans Mono"}},
        {"Menlo", {"DejaVu Sans Mono", "Liberation Mono"}},
        {"Apple Chancery", {"DejaVu Serif", "Liberation Serif"}},
        {"Papyrus", {"DejaVu Sans", "Liberation Sans"}},
    };
    return table;
}

std::string FontSystem::aliasConfiguration() {
    std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n<fontconfig>\n";
    for (const auto& alias : aliases()) {
        xml += "  <alias binding=\"same\">\n    <family>" + escapeXml(alias.family) + "</family>\n    <prefer>";
        for (const char* s : alias.substitutes) xml += "<family>" + escapeXml(s) + "</family>";
        xml += "</prefer>\n  </alias>\n";
    }
    xml += "</fontconfig>\n";
    return xml;
}

std::vector<std::string> FontSystem::availableFamilyNames() {
    std::vector<std::string> names;
    FcConfig* config = detail::acquireFontConfig();
    if (config) {
        FcPattern* pattern = FcPatternCreate();
        FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
        FcFontSet* set = FcFontList(config, pattern, objects);
        if (set) {
            for (int i = 0; i < set->nfont; ++i) {
                FcChar8* family = nullptr;
                for (int k = 0; FcPatternGetString(set->fonts[i], FC_FAMILY, k, &family) == FcResultMatch; ++k)
                    names.emplace_back(reinterpret_cast<const char*>(family));
            }
            FcFontSetDestroy(set);
        }
        FcObjectSetDestroy(objects);
        FcPatternDestroy(pattern);
        FcConfigDestroy(config);
    }
    for (const auto& alias : aliases()) names.emplace_back(alias.family);
    return names;
}

std::string FontSystem::foldCase(std::string_view name) {
    // Repairs invalid sequences and turns NULs into U+FFFD, so the result is a C string.
    gchar* valid = g_utf8_make_valid(name.data(), static_cast<gssize>(name.size()));
    gchar* lower = g_utf8_strdown(valid, -1);
    std::string out(lower);
    g_free(lower);
    g_free(valid);
    return out;
}

bool FontSystem::pollForChanges() {
    FontData& data = fontData();
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    std::int64_t last = data.lastPoll.load(std::memory_order_relaxed);
    if (last != 0 && now - last < std::chrono::duration_cast<std::chrono::milliseconds>(POLL_INTERVAL).count())
        return false;
    if (!data.lastPoll.compare_exchange_strong(last, now)) return false;
    std::vector<std::function<void()>> observers;
    {
        std::lock_guard lock(data.mutex);
        if (!data.config) return false; // nothing loaded yet, so nothing can be stale
        if (FcConfigUptoDate(data.config)) return false;
        FcConfig* fresh = buildConfig();
        if (!fresh) return false;
        FcConfigDestroy(data.config);
        data.config = fresh;
        makeCurrent(fresh);
        data.generation.fetch_add(1, std::memory_order_acq_rel);
        observers = data.observers;
    }
    for (auto& observer : observers) observer();
    return true;
}

void FontSystem::addChangeObserver(std::function<void()> observer) {
    FontData& data = fontData();
    std::lock_guard lock(data.mutex);
    data.observers.push_back(std::move(observer));
}

std::uint64_t FontSystem::generation() { return fontData().generation.load(std::memory_order_acquire); }

} // namespace dv::gfx
