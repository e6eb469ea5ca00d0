#include "DVRender/Canvas/FontResolver.hpp"

#include "DVModel/UTF8.hpp"
#include "Platform/Text/FontSystem.hpp"
#include "Platform/Unicode/Unicode.hpp"

#include <bit>
#include <cmath>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>

namespace dv {

namespace {

struct FontKey {
    std::string family;
    bool bold;
    bool italic;
    std::uint64_t size; // bit pattern, so sizes compare exactly

    bool operator<(const FontKey& o) const {
        return std::tie(family, bold, italic, size) < std::tie(o.family, o.bold, o.italic, o.size);
    }
};

using FamilySet = std::set<std::string>;

// Maps keyed by text from files are ordered trees: no hostile key can make them degrade.
struct FontRegistry {
    std::mutex lock;
    std::mutex familyListLock; // taken before `lock`, only around loading the family list
    std::mutex workLock;       // one piece of font-system work at a time
    std::shared_ptr<const FamilySet> availableFamilies;
    std::map<std::string, std::string> resolvedFamilies;
    std::uint64_t generation = 0;
    std::map<std::string, std::optional<double>> emBoxRatios;
    std::map<FontKey, FontResolver::FontRef> fonts;
    std::function<void()> afterFontMade;
};

// Never destroyed: fonts may still be asked for from other threads while the process exits.
FontRegistry& registry() {
    static FontRegistry& r = *new FontRegistry;
    return r;
}

template <typename F>
auto runOnQueue(F&& work) {
    std::lock_guard guard(registry().workLock);
    return work();
}

const std::map<std::string, std::string>& genericFamilies() {
    static const std::map<std::string, std::string> table = {
        {"sans-serif", "Helvetica"},     {"serif", "Times"},           {"monospace", "Menlo"},
        {"cursive", "Apple Chancery"},   {"fantasy", "Papyrus"},       {"system-ui", "Helvetica Neue"},
        {"ui-sans-serif", "Helvetica Neue"}, {"ui-serif", "Times"},    {"ui-monospace", "Menlo"},
    };
    return table;
}

void installFontChangeObserver() {
    static std::once_flag once;
    std::call_once(once, [] { gfx::FontSystem::addChangeObserver([] { FontResolver::invalidate(); }); });
}

std::shared_ptr<const FamilySet> loadAvailableFamilies() {
    FontRegistry& r = registry();
    std::uint64_t generation;
    {
        std::lock_guard guard(r.lock);
        if (r.availableFamilies) return r.availableFamilies;
        generation = r.generation;
    }
    auto set = runOnQueue([] {
        auto s = std::make_shared<FamilySet>();
        for (const auto& name : gfx::FontSystem::availableFamilyNames()) s->insert(gfx::FontSystem::foldCase(name));
        return std::shared_ptr<const FamilySet>(std::move(s));
    });
    std::lock_guard guard(r.lock);
    if (r.generation == generation) r.availableFamilies = set;
    return set;
}

std::shared_ptr<const FamilySet> installedFamilies() {
    FontRegistry& r = registry();
    {
        std::lock_guard guard(r.lock);
        if (r.availableFamilies) return r.availableFamilies;
    }
    std::lock_guard familyGuard(r.familyListLock);
    return loadAvailableFamilies();
}

std::string_view trimSpaces(std::string_view s) {
    // White space and newlines: the Unicode White_Space property (which covers the line breaks).
    std::size_t start = 0;
    while (start < s.size()) {
        std::size_t next = start;
        if (!unicode::isWhiteSpace(decodeUTF8(s, next))) break;
        start = next;
    }
    std::size_t end = s.size();
    while (end > start) {
        std::size_t previous = end;
        if (!unicode::isWhiteSpace(decodeUTF8Backward(s, previous))) break;
        end = previous;
    }
    return s.substr(start, end - start);
}

std::string cleanFamilyName(std::string_view piece) {
    std::string_view name = trimSpaces(piece);
    if (name.size() > 1 && (name.front() == '"' || name.front() == '\'') && name.back() == name.front())
        name = name.substr(1, name.size() - 2);
    return std::string(name);
}

} // namespace

std::vector<std::string> FontResolver::families(std::string_view list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string_view::npos) comma = list.size();
        std::string name = cleanFamilyName(list.substr(start, comma - start));
        if (!name.empty()) names.push_back(std::move(name));
        start = comma + 1;
    }
    return names;
}

std::string FontResolver::resolveFamily(std::string_view list) {
    FontRegistry& r = registry();
    const std::string key(list);
    {
        std::lock_guard guard(r.lock);
        if (auto it = r.resolvedFamilies.find(key); it != r.resolvedFamilies.end()) return it->second;
    }
    std::string result;
    for (const std::string& name : families(list)) {
        const std::string folded = gfx::FontSystem::foldCase(name);
        if (auto g = genericFamilies().find(folded); g != genericFamilies().end()) {
            result = g->second;
            break;
        }
        installFontChangeObserver();
        if (installedFamilies()->count(folded)) {
            result = name;
            break;
        }
    }
    if (result.empty()) result = "Helvetica";
    std::lock_guard guard(r.lock);
    // Family lists come from files: the cache is emptied whole rather than grow without end.
    if (r.resolvedFamilies.size() >= MAX_CACHED_RESOLUTIONS) r.resolvedFamilies.clear();
    r.resolvedFamilies[key] = result;
    return result;
}

FontResolver::FontRef FontResolver::ctFont(const CanvasFont& font) {
    // Stands for the system's font-change notification.
    gfx::FontSystem::pollForChanges();
    FontRegistry& r = registry();
    const std::string family = resolveFamily(font.family);
    const double size = (std::isfinite(font.size) && font.size > 0) ? font.size : 10;
    FontKey key{family, font.bold, font.italic, std::bit_cast<std::uint64_t>(size)};
    std::uint64_t generation;
    std::function<void()> hook;
    {
        std::lock_guard guard(r.lock);
        if (auto it = r.fonts.find(key); it != r.fonts.end()) return it->second;
        generation = r.generation;
        hook = r.afterFontMade;
    }
    FontRef made = runOnQueue([&] { return gfx::Font::create({family, font.bold, font.italic, size}); });
    if (hook) hook();
    std::lock_guard guard(r.lock);
    if (r.generation == generation) {
        if (r.fonts.size() >= MAX_CACHED_FONTS) r.fonts.clear();
        r.fonts.emplace(std::move(key), made);
    }
    return made;
}

std::optional<double> FontResolver::typoAscentRatio(std::span<const std::uint8_t> os2) {
    if (os2.size() < 72) return std::nullopt;
    const auto s16 = [&](std::size_t at) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>((os2[at] << 8) | os2[at + 1]));
    };
    const double a = s16(68), d = s16(70);
    if (a >= 0 && a - d > 0 && a <= a - d) return a / (a - d);
    return std::nullopt;
}

FontResolver::EmBox FontResolver::emBoxForRatio(double ratio, double size) {
    // Halves round away from zero here, as the platform's rounding does.
    const double ascent = std::round(ratio * size * 64) / 64;
    const double descent = std::round(size * 64) / 64 - ascent;
    return {ascent, descent};
}

FontResolver::EmBox FontResolver::emBox(const gfx::Font& font, double size) {
    FontRegistry& r = registry();
    const std::string& name = font.postScriptName();
    std::optional<double> ratio;
    bool found = false;
    {
        std::lock_guard guard(r.lock);
        if (auto it = r.emBoxRatios.find(name); it != r.emBoxRatios.end()) {
            ratio = it->second;
            found = true;
        }
    }
    if (!found) {
        ratio = runOnQueue([&]() -> std::optional<double> {
            const auto table = font.copyTable(gfx::fontTableTag('O', 'S', '/', '2'));
            return table ? typoAscentRatio(*table) : std::nullopt;
        });
        std::lock_guard guard(r.lock);
        r.emBoxRatios[name] = ratio;
    }
    if (!ratio) {
        const double a = font.ascent(), d = font.descent();
        if (a >= 0 && a + d > 0 && a <= a + d) ratio = a / (a + d);
        else return {size, 0};
    }
    return emBoxForRatio(*ratio, size);
}

void FontResolver::invalidate() {
    FontRegistry& r = registry();
    std::lock_guard guard(r.lock);
    ++r.generation;
    r.availableFamilies.reset();
    r.resolvedFamilies.clear();
    r.emBoxRatios.clear();
    r.fonts.clear();
}

namespace detail {

std::size_t FontResolverProbe::cachedFontCount() {
    std::lock_guard guard(registry().lock);
    return registry().fonts.size();
}

std::size_t FontResolverProbe::cachedResolutionCount() {
    std::lock_guard guard(registry().lock);
    return registry().resolvedFamilies.size();
}

void FontResolverProbe::setAfterFontMade(std::function<void()> hook) {
    std::lock_guard guard(registry().lock);
    registry().afterFontMade = std::move(hook);
}

} // namespace detail

} // namespace dv
