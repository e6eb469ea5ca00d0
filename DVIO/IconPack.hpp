#pragma once
// Turning an archive of SVG files into an icon pack: which entries are icons, the display names
// and categories their file and folder names give (with the naming conventions of the large
// public icon sets), duplicates, sanitising, the size caps and the display order.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DVIO/IconPackModel.hpp"

namespace dv {

struct IconPack {
    // SVG text in; the sanitised SVG text out, or absent to refuse the file.
    using Sanitizer = std::function<std::optional<std::string>(std::string_view svg)>;

    static constexpr std::int64_t maxIconsPerPack = 5000;
    // An icon whose whole data URL is longer than this (in UTF-16 code units) is skipped.
    static constexpr std::size_t maxIconSourceLength = 65536;

    // Builds the pack from candidate files: non-icons are ignored, the larger of two files with
    // the same name and category wins, then icons are sanitised, capped and sorted for display
    // under `localeId` ("en_US", "sv-SE", ...). Never fails.
    static IconPackResult buildIconPack(const std::vector<IconPackFile>& files, const Sanitizer& sanitize,
                                        std::string_view localeId);

    // An .svg file (any case) that is not hidden and not a resource fork or archive metadata.
    static bool isIconSvgPath(std::string_view path);
    // The display name of a file or folder name: extension, variant, date and size suffixes and
    // vendor prefixes removed, separators made spaces, the first letter raised.
    static std::string cleanIconName(std::string_view name);
    // The display (name, category) of an icon path.
    static std::pair<std::string, std::string> describeIconPath(std::string_view path);
    // The pack's display name: a known icon set by its entry names, else the archive's file name.
    static std::string detectPackName(const std::vector<std::string>& entryNames, std::string_view fileName);

private:
    static std::int64_t iconPixelSize(std::string_view path);
    static std::string capitalizeFirst(std::string_view text);
};

}  // namespace dv
