#include "DVIO/IconPack.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <unordered_map>

#include "DVIO/ZipArchive.hpp"
#include "DVModel/Base64.hpp"
#include "DVModel/Hashing.hpp"
#include "DVModel/JSString.hpp"
#include "DVModel/JSStringKey.hpp"
#include "DVModel/UTF8.hpp"
#include "Platform/Unicode/Collation.hpp"
#include "Platform/Unicode/Regex.hpp"
#include "Platform/Unicode/Unicode.hpp"

namespace dv {

namespace {

// The naming rules of the public icon sets. ASCII letters written as [aA] classes match in either
// case where the sets are inconsistent; the vendor prefixes of P7 are matched as they are spelled.
enum Pattern : std::size_t {
    svgExtension,        // P1
    zipExtension,        // P2
    darkSuffix,          // P3
    variantSuffix,       // P4
    dateSuffix,          // P5
    sizeSuffix,          // P6, group 1 is the size
    vendorPrefix,        // P7
    numericPrefix,       // P8
    spacedUnderscore,    // P9
    separatorRun,        // P10
    whiteSpaceRun,       // P11
    genericFolder,       // P12
    formatFolder,        // P13
    iconsFolder,         // P14
    sizeFolder,          // P15
    pxSuffix,            // P16
    patternCount
};

constexpr std::u16string_view kPatternSources[patternCount] = {
    uR"(\.[sS][vV][gG]\z)",
    uR"(\.[zZ][iI][pP]\z)",
    uR"([_-][dD][aA][rR][kK]\z)",
    uR"([_-]([dD][aA][rR][kK]|[lL][iI][gG][hH][tT])\z)",
    uR"([_-][0-9]{8}\z)",
    uR"([_-](16|24|32|48|64|128|256|512)([pP][xX])?(-[cC][oO][lL][oO][rR])?(-[rR][gG][bB])?(@[0-9][xX])?\z)",
    uR"(\A(Arch-Category|Arch|Res)_)",
    uR"(\A[0-9]+-[iI][cC][oO][nN]-[sS][eE][rR][vV][iI][cC][eE]-)",
    uR"([\t\n\x{0B}\f\r\p{Z}\x{FEFF}]_[\t\n\x{0B}\f\r\p{Z}\x{FEFF}])",
    uR"([_-]+)",
    uR"([\t\n\x{0B}\f\r\p{Z}\x{FEFF}]{2,})",
    uR"(\A(([aA][rR][cC][hH]-[cC][aA][tT][eE][gG][oO][rR][yY]|[aA][rR][cC][hH]|[rR][eE][sS])[_-]?)?([0-9]+([pP][xX])?)?([_-]?([lL][iI][gG][hH][tT]|[dD][aA][rR][kK]))?\z)",
    uR"(\A([sS][vV][gG]|[sS][vV][gG][sS]|[pP][nN][gG])\z)",
    uR"(\A[iI][cC][oO][nN][sS]\z)",
    uR"(\A[0-9]+([pP][xX])?\z)",
    uR"([pP][xX]\z)",
};

const unicode::Regex& pattern(Pattern which) {
    static const std::vector<unicode::Regex> compiled = [] {
        std::vector<unicode::Regex> all;
        all.reserve(patternCount);
        for (std::u16string_view source : kPatternSources) {
            std::string error;
            std::optional<unicode::Regex> regex = unicode::Regex::compile(source, &error);
            if (!regex) {
                // The patterns are constants: failing to compile one is a fault of this build.
                std::fprintf(stderr, "DVIO/IconPack: pattern %s does not compile: %s\n",
                             fromUTF16(source).c_str(), error.c_str());
                std::abort();
            }
            all.push_back(std::move(*regex));
        }
        return all;
    }();
    return compiled[which];
}

bool matches(Pattern which, std::string_view text) { return pattern(which).search(toUTF16(text)); }

std::string removeFirst(Pattern which, std::string_view text) {
    return fromUTF16(pattern(which).replaceFirst(toUTF16(text), u""));
}

// Swift-style split: every separator splits, so empty pieces are kept.
std::vector<std::string_view> splitPath(std::string_view path) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) break;
        pieces.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    pieces.push_back(path.substr(start));
    return pieces;
}

// A decimal number of ASCII digits; 0 when it is empty, not a number or too large.
std::int64_t decimalOrZero(std::string_view digits) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return 0;
    return value;
}

std::string decimal(std::size_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

constexpr std::string_view kSourcePrefix = "data:image/svg+xml;base64,";

}  // namespace

bool IconPack::isIconSvgPath(std::string_view path) {
    const std::vector<std::string_view> pieces = splitPath(path);
    const std::string_view last = pieces.back();
    if (!matches(svgExtension, last) || last.starts_with('.')) return false;
    return std::none_of(pieces.begin(), pieces.end(), [](std::string_view piece) {
        return piece == "__MACOSX" || piece.starts_with("._");
    });
}

std::string IconPack::capitalizeFirst(std::string_view text) {
    if (text.empty()) return std::string(text);
    std::size_t firstEnd = 0;
    // A character outside the BMP starts with a surrogate in UTF-16 and is left as it is.
    if (decodeUTF8(text, firstEnd) >= 0x10000) return std::string(text);
    std::string out = unicode::toUpperCase(text.substr(0, firstEnd));
    out.append(text.substr(firstEnd));
    return out;
}

std::string IconPack::cleanIconName(std::string_view name) {
    std::u16string text = pattern(svgExtension).replaceFirst(toUTF16(name), u"");
    const bool dark = pattern(darkSuffix).search(text);
    for (Pattern strip : {variantSuffix, dateSuffix, sizeSuffix, vendorPrefix, numericPrefix})
        text = pattern(strip).replaceFirst(text, u"");
    text = pattern(spacedUnderscore).replaceAll(text, u" / ");
    text = pattern(separatorRun).replaceAll(text, u" ");
    text = pattern(whiteSpaceRun).replaceAll(text, u" ");
    std::string out = jsTrim(fromUTF16(text));
    if (dark) out += " (dark)";
    return capitalizeFirst(out);
}

std::pair<std::string, std::string> IconPack::describeIconPath(std::string_view path) {
    std::vector<std::string_view> folders = splitPath(path);
    const std::string_view file = folders.back();
    folders.pop_back();
    std::erase_if(folders, [](std::string_view folder) { return matches(genericFolder, folder); });

    std::string name = cleanIconName(file);
    // Sets that keep each icon in a folder of its own, with format folders below it
    // (Engine/SVG/engine-color.svg), are better named after that folder. The folder can clean to
    // nothing ("__"): the file's own name then stays.
    if (!folders.empty() && matches(formatFolder, folders.back())) {
        folders.pop_back();
        if (!folders.empty()) {
            std::string folderName = cleanIconName(folders.back());
            folders.pop_back();
            if (!folderName.empty()) name = std::move(folderName);
        }
    }
    std::erase_if(folders, [](std::string_view folder) { return matches(iconsFolder, folder); });
    std::string category = folders.empty() ? std::string() : cleanIconName(folders.back());
    return {std::move(name), std::move(category)};
}

std::int64_t IconPack::iconPixelSize(std::string_view path) {
    const std::vector<std::string_view> pieces = splitPath(path);
    std::u16string file = pattern(svgExtension).replaceFirst(toUTF16(pieces.back()), u"");
    file = pattern(variantSuffix).replaceFirst(file, u"");
    if (std::optional<std::u16string> size = pattern(sizeSuffix).firstMatchGroup(file, 1))
        return decimalOrZero(fromUTF16(*size));
    for (std::size_t i = pieces.size() - 1; i-- > 0;) {
        if (matches(sizeFolder, pieces[i])) return decimalOrZero(removeFirst(pxSuffix, pieces[i]));
    }
    return 0;
}

std::string IconPack::detectPackName(const std::vector<std::string>& entryNames, std::string_view fileName) {
    // None of the marks holds a line feed, so looking in each name finds what a search of the
    // names joined by line feeds finds.
    const auto anyNameHolds = [&](std::initializer_list<std::string_view> marks) {
        return std::any_of(entryNames.begin(), entryNames.end(), [&](const std::string& name) {
            return std::any_of(marks.begin(), marks.end(),
                               [&](std::string_view mark) { return name.find(mark) != std::string::npos; });
        });
    };
    if (anyNameHolds({"Architecture-Service-Icons", "Resource-Icons_", "Arch_"})) return "AWS";
    if (anyNameHolds({"Azure_Public_Service_Icons", "-icon-service-"})) return "Azure";
    if (std::any_of(entryNames.begin(), entryNames.end(), [](const std::string& name) {
            return name.starts_with("Unique Icons/") || name.starts_with("Category Icons/");
        }))
        return "Google Cloud";
    std::string name = cleanIconName(removeFirst(zipExtension, fileName));
    return name.empty() ? "Icons" : name;
}

IconPack::ZipImport IconPack::fromZip(std::span<const std::uint8_t> bytes, std::string_view fileName,
                                      const Sanitizer& sanitize, std::string_view localeId) {
    const ZipLimits limits = ZipLimits::defaultLimits();
    const std::vector<std::string> names = listZipEntries(bytes, limits);
    std::int64_t tooLarge = 0;
    std::vector<ZipEntry> entries = readZipEntries(
        bytes,
        [&](std::string_view name, std::int64_t size) {
            if (!isIconSvgPath(name)) return false;
            if (size > maxIconFileBytes) {
                ++tooLarge;
                return false;
            }
            return true;
        },
        limits);
    std::vector<IconPackFile> files;
    files.reserve(entries.size());
    for (ZipEntry& entry : entries) {
        files.push_back({std::move(entry.name), decodeUTF8(entry.data)});
        std::vector<std::uint8_t>().swap(entry.data);  // the text replaces the bytes
    }
    IconPackResult result = buildIconPack(files, sanitize, localeId);
    return {detectPackName(names, fileName), std::move(result.icons), result.skipped + tooLarge};
}

IconPackResult IconPack::buildIconPack(const std::vector<IconPackFile>& files, const Sanitizer& sanitize,
                                       std::string_view localeId) {
    struct Candidate {
        const IconPackFile* file;
        std::int64_t size;
        std::string name;
        std::string category;
    };
    // Keys in first-appearance order; the key holds a NUL between category and name.
    std::vector<Candidate> candidates;
    std::unordered_map<JSStringKey, std::size_t> positions;
    for (const IconPackFile& file : files) {
        if (!isIconSvgPath(file.path)) continue;
        auto [name, category] = describeIconPath(file.path);
        const std::int64_t size = iconPixelSize(file.path);
        std::string key = category;
        key.push_back('\0');
        key.append(name);
        auto [found, isNew] = positions.try_emplace(JSStringKey(unicode::toLowerCase(key)), candidates.size());
        if (isNew) {
            candidates.push_back({&file, size, std::move(name), std::move(category)});
        } else if (Candidate& kept = candidates[found->second]; size > kept.size) {
            kept = {&file, size, std::move(name), std::move(category)};
        }
    }

    IconPackResult result;
    for (Candidate& candidate : candidates) {
        if (static_cast<std::int64_t>(result.icons.size()) >= maxIconsPerPack) {
            ++result.skipped;
            continue;
        }
        std::optional<std::string> clean = sanitize(candidate.file->svg);
        if (!clean || clean->empty()) {
            ++result.skipped;
            continue;
        }
        std::string src(kSourcePrefix);
        src += base64Encode(std::span(reinterpret_cast<const std::uint8_t*>(clean->data()), clean->size()));
        // All ASCII: bytes and UTF-16 code units count alike.
        if (src.size() > maxIconSourceLength) {
            ++result.skipped;
            continue;
        }
        result.icons.push_back({decimal(result.icons.size()), std::move(candidate.name), std::move(candidate.category),
                                std::move(src)});
    }

    const unicode::Collator collator(localeId);
    struct SortKeys {
        std::string category, name;
    };
    std::vector<SortKeys> keys;
    keys.reserve(result.icons.size());
    for (const ImportedIcon& icon : result.icons)
        keys.push_back({collator.sortKey(icon.category), collator.sortKey(icon.name)});
    std::vector<std::size_t> order(result.icons.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (const int c = keys[a].category.compare(keys[b].category); c != 0) return c < 0;
        return keys[a].name < keys[b].name;
    });
    std::vector<ImportedIcon> sorted;
    sorted.reserve(order.size());
    for (std::size_t i : order) sorted.push_back(std::move(result.icons[i]));
    result.icons = std::move(sorted);
    return result;
}

std::uint64_t hashValue(const IconPack::ZipImport& result) noexcept {
    Hasher hasher;
    hasher.writeU64(result.name.size());
    hasher.write(result.name);
    hasher.writeU64(result.icons.size());
    for (const ImportedIcon& icon : result.icons) hasher.writeU64(hashValue(icon));
    hasher.writeU64(static_cast<std::uint64_t>(result.skipped));
    return hasher.finish();
}

}  // namespace dv
