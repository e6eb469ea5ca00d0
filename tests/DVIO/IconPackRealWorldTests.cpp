// A real icon library: the scalable icons of the Adwaita theme that Debian ships, zipped by the
// zip program and imported through the kit's own SVG sanitiser.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "ArchiveFixtures.hpp"
#include "DVIO/IconPack.hpp"
#include "DVModel/Base64.hpp"
#include "DVRender/Images/SVGSanitizer.hpp"
#include "Platform/SVG/SVGDocument.hpp"

namespace dv {
namespace {

namespace fs = std::filesystem;

const char* const kThemeDir = "/usr/share/icons/Adwaita";

// What a plain file name says: hyphens and underscores as spaces, the first letter raised. The
// theme's names carry none of the size and variant suffixes that the import also removes.
std::string plainName(std::string stem) {
    std::string out;
    for (char ch : stem) {
        const bool separator = ch == '-' || ch == '_';
        if (separator && !out.empty() && out.back() == ' ') continue;
        out.push_back(separator ? ' ' : ch);
    }
    if (!out.empty()) out[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
    return out;
}

std::string lowered(std::string text) {
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

TEST(IconPackRealWorld, AdwaitaScalableIcons) {
    const fs::path scalable = fs::path(kThemeDir) / "scalable";
    if (!fs::is_directory(scalable))
        GTEST_SKIP() << scalable << " is missing (Debian package adwaita-icon-theme)";
    if (!testing::hasProgram("zip")) GTEST_SKIP() << "zip (Debian package zip) is not installed";

    // The tree: category folder -> the plain names of its SVG files, and their texts.
    std::multiset<std::pair<std::string, std::string>> expected;
    std::map<std::pair<std::string, std::string>, std::string> texts;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(scalable)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".svg") continue;
        ASSERT_EQ(entry.path().parent_path().parent_path(), scalable) << "deeper than one category";
        const std::pair<std::string, std::string> key{plainName(entry.path().parent_path().filename()),
                                                      plainName(entry.path().stem())};
        expected.insert(key);
        texts[key] = testing::textOf(testing::readFile(entry.path()));
    }
    ASSERT_GE(expected.size(), 300u);

    testing::ScratchDir dir;
    const std::string archive = dir / "Adwaita.zip";
    ASSERT_TRUE(testing::run("cd '" + std::string(kThemeDir) + "' && zip -q -r -X '" + archive + "' scalable"));
    const testing::Bytes zip = testing::readFile(archive);

    const IconPack::ZipImport pack = IconPack::fromZip(zip, "Adwaita.zip", sanitizeSvg, "en_US");
    EXPECT_EQ(pack.name, "Adwaita");
    EXPECT_EQ(pack.skipped, 0);
    std::multiset<std::pair<std::string, std::string>> got;
    std::set<std::string> ids;
    for (const ImportedIcon& icon : pack.icons) got.insert({icon.category, icon.name});
    EXPECT_EQ(got, expected);

    const std::string prefix = "data:image/svg+xml;base64,";
    std::string previous;
    for (const ImportedIcon& icon : pack.icons) {
        SCOPED_TRACE(icon.category + "/" + icon.name);
        EXPECT_TRUE(ids.insert(icon.id).second);
        // Categories come in alphabetical groups (the names are plain ASCII words).
        EXPECT_LE(lowered(previous), lowered(icon.category));
        previous = icon.category;

        ASSERT_TRUE(icon.src.starts_with(prefix));
        const auto svg = base64Decode(std::string_view(icon.src).substr(prefix.size()), Base64Decoding::strict);
        ASSERT_TRUE(svg.has_value());
        const auto clean = sanitizeSvg(texts[{icon.category, icon.name}]);
        ASSERT_TRUE(clean.has_value());
        EXPECT_EQ(testing::textOf(*svg), *clean);
        const auto document = gfx::SVGDocument::load(*svg);
        ASSERT_TRUE(document.has_value());
        EXPECT_GT(document->width(), 0);
    }
}

}  // namespace
}  // namespace dv
