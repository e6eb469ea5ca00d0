// Icon-pack import of arbitrary archive bytes, with a sanitiser that passes every text through.
// Only ZipError and InflateError may escape; a pack holds at most 5000 icons with distinct ids,
// sources within the data-URL limit and well-formed names, no more icons and skipped ones than
// the archive has SVG entries, and the name the archive's entries give. The naming rules also
// take the bytes as a raw path.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "fuzz/support/Invariant.hpp"
#include "DVIO/IconPack.hpp"
#include "DVIO/ZipArchive.hpp"
#include "DVModel/UTF8.hpp"

using dv::fuzz::broken;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    if (size <= 4096) {
        const auto [name, category] = dv::IconPack::describeIconPath(raw);
        if (!dv::isValidUTF8(name) || !dv::isValidUTF8(category)) broken("a described name is not UTF-8");
        if (!dv::isValidUTF8(dv::IconPack::cleanIconName(raw))) broken("a cleaned name is not UTF-8");
    }

    const std::span<const std::uint8_t> bytes(data, size);
    const auto identity = [](std::string_view svg) { return std::optional<std::string>(svg); };
    dv::IconPack::ZipImport pack;
    try {
        pack = dv::IconPack::fromZip(bytes, "fuzz.zip", identity, "en");
    } catch (const dv::ZipError&) {
        return 0;
    } catch (const dv::InflateError&) {
        return 0;
    }
    const std::vector<std::string> names = dv::listZipEntries(bytes);
    std::int64_t svgEntries = 0;
    for (const std::string& name : names) svgEntries += dv::IconPack::isIconSvgPath(name);

    if (static_cast<std::int64_t>(pack.icons.size()) > dv::IconPack::maxIconsPerPack) broken("too many icons");
    if (pack.skipped < 0 || static_cast<std::int64_t>(pack.icons.size()) + pack.skipped > svgEntries)
        broken("more icons and skipped ones than SVG entries");
    if (pack.name != dv::IconPack::detectPackName(names, "fuzz.zip")) broken("the pack name differs");
    std::set<std::string> ids;
    for (const dv::ImportedIcon& icon : pack.icons) {
        if (!ids.insert(icon.id).second) broken("two icons share an id");
        if (!icon.src.starts_with("data:image/svg+xml;base64,")) broken("a source is no SVG data URL");
        if (icon.src.size() > dv::IconPack::maxIconSourceLength) broken("a source is over the limit");
        if (!dv::isValidUTF8(icon.name) || !dv::isValidUTF8(icon.category)) broken("a name is not UTF-8");
    }
    return 0;
}
