#pragma once
// The machine's fonts as the text layer sees them: fontconfig with the kit's own family aliases
// loaded over the system configuration, the installed family names, and a cheap check for
// fonts that were added or removed while the process runs.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dv::gfx {

struct FamilyAlias {
    const char* family;
    std::vector<const char*> substitutes;
};

class FontSystem {
public:
    /// The families the kit always offers, each mapped onto fonts that are installed with it.
    static const std::vector<FamilyAlias>& aliases();

    /// The fontconfig configuration text that carries `aliases()`.
    static std::string aliasConfiguration();

    /// Every family name of every installed font, then the alias names, in no particular order.
    static std::vector<std::string> availableFamilyNames();

    /// Unicode lower case of a family name (invalid UTF-8 is repaired first).
    static std::string foldCase(std::string_view name);

    /// Looks, at most once every few seconds, whether fontconfig's files or font folders changed;
    /// when they did, the font data is reloaded, the generation moves and every observer runs.
    static bool pollForChanges();

    /// Runs `observer` on the thread that notices a change, after the reload.
    static void addChangeObserver(std::function<void()> observer);

    /// Counts reloads; text objects made before a reload stay usable.
    static std::uint64_t generation();
};

} // namespace dv::gfx
