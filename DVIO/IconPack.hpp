#pragma once
// Turning an archive of SVG files into an icon pack: which entries are icons, the display names
// and categories their file and folder names give (with the naming conventions of the large
// public icon sets), duplicates, sanitising, the size caps and the display order.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DVIO/IconPackModel.hpp"

namespace dv {

struct IconPack {
    // SVG text in; the sanitised SVG text out, or absent to refuse the file.
    using Sanitizer = std::function<std::optional<std::string>(std::string_view svg)>;

    // What an archive import gives: the detected pack name, the icons in display order, and the
    // candidate icons that were dropped (over the caps, refused by the sanitiser, or too large).
    struct ZipImport {
        std::string name;
        std::vector<ImportedIcon> icons;
        std::int64_t skipped = 0;

        bool operator==(const ZipImport&) const = default;
    };

    static constexpr std::int64_t maxIconsPerPack = 5000;
    // SVG entries that declare more bytes than this are not extracted and count as skipped.
    static constexpr std::int64_t maxIconFileBytes = 1'048'576;
    // An icon whose whole data URL is longer than this (in UTF-16 code units) is skipped.
    static constexpr std::size_t maxIconSourceLength = 65536;

    // Imports the SVG files of a ZIP archive (see buildIconPack) within the default ZIP limits.
    // Throws ZipError or InflateError when the archive cannot be read; nothing is imported then.
    static ZipImport fromZip(std::span<const std::uint8_t> bytes, std::string_view fileName, const Sanitizer& sanitize,
                             std::string_view localeId);

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

std::uint64_t hashValue(const IconPack::ZipImport& result) noexcept;

}  // namespace dv

template <> struct std::hash<dv::IconPack::ZipImport> {
    std::size_t operator()(const dv::IconPack::ZipImport& v) const noexcept {
        return static_cast<std::size_t>(dv::hashValue(v));
    }
};
