#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ArchiveFixtures.hpp"
#include "DVIO/IconPack.hpp"
#include "DVIO/ZipArchive.hpp"

namespace dv {
namespace {

// Identity, except that a file holding "REJECT" is refused and one holding "EMPTY" cleans to nothing.
std::optional<std::string> markerSanitizer(std::string_view svg) {
    if (svg.find("REJECT") != std::string_view::npos) return std::nullopt;
    if (svg.find("EMPTY") != std::string_view::npos) return std::string();
    return std::string(svg);
}

std::string source(std::string_view svg) {
    static const std::string prefix = "data:image/svg+xml;base64,";
    // Small hand-checked encodings only.
    if (svg == "<svg/>") return prefix + "PHN2Zy8+";
    if (svg == "a") return prefix + "YQ==";
    if (svg == "ab") return prefix + "YWI=";
    return "";
}

IconPackResult build(const std::vector<IconPackFile>& files, std::string_view locale = "en_US") {
    return IconPack::buildIconPack(files, markerSanitizer, locale);
}

std::vector<std::string> names(const IconPackResult& result) {
    std::vector<std::string> out;
    for (const ImportedIcon& icon : result.icons) out.push_back(icon.category + "|" + icon.name);
    return out;
}

TEST(IconPackNames, CleanIconNameRemovesSuffixesAndPrefixesInOrder) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"Arch_Amazon-EC2_64_Dark.svg", "Amazon EC2 (dark)"},
        {"10021-icon-service-Virtual-Machine.svg", "Virtual Machine"},
        {"compute_engine-512-color.svg", "Compute engine"},
        {"Res_48_Light.svg", "Res"},
        {"a _ b.svg", "A / b"},
        {"a\xC2\xA0_\xE3\x80\x80" "b.svg", "A / b"},         // NBSP and ideographic space around "_"
        {"Arch-Category_Compute_32.svg", "Compute"},
        {"arch_thing.svg", "Arch thing"},                      // the vendor prefixes are case-sensitive
        {"icon-24px@2x.svg", "Icon"},
        {"logo-64px-color-rgb@3x.SVG", "Logo"},
        {"logo_20231231.svg", "Logo"},
        {"logo_20231231_64.svg", "Logo 20231231"},             // the date goes before the size does
        {"logo_64_20231231.svg", "Logo"},                      // date, then size, each at the end
        {"report_1234567.svg", "Report 1234567"},              // seven digits are no date
        {"chart_72.svg", "Chart 72"},                          // not one of the sizes
        {"x--y__z.svg", "X y z"},
        {"a \t b.svg", "A b"},
        {"  padded .svg", "Padded"},
        {"\xEF\xBB\xBFmark.svg", "Mark"},                      // U+FEFF trimmed as JavaScript does
        {"Night-Dark.svg", "Night (dark)"},
        {"moon-light.svg", "Moon"},
        {"double.svg.svg", "Double.svg"},                      // only one extension is removed
        {"name.zip", "Name.zip"},
        {"\xC3\x9F" "ig.svg", "SSig"},                         // default upper-casing may lengthen
        {"\xC3\xA9t\xC3\xA9.svg", "\xC3\x89t\xC3\xA9"},        // only the very first letter rises
        {"\xF0\x9D\x92\xB6x.svg", "\xF0\x9D\x92\xB6x"},        // a letter beyond the BMP stays as it is
        {".svg", ""},
        {"_dark.svg", " (dark)"},                             // trimmed before the mark is added
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(IconPack::cleanIconName(c.in), c.out) << c.in;
}

TEST(IconPackNames, IsIconSvgPath) {
    struct Case {
        const char* path;
        bool icon;
    };
    const Case cases[] = {
        {"a.svg", true},          {"X.SVG", true},           {"dir/sub/b.Svg", true},
        {"dir/.hidden/a.svg", true}, {"__MACOSX2/a.svg", true}, {"a.svgz", false},
        {"a.png", false},         {".svg", false},           {".x.svg", false},
        {"dir/.x.svg", false},    {"__MACOSX/a.svg", false}, {"x/__MACOSX/y/a.svg", false},
        {"a/._x/b.svg", false},   {"._a.svg", false},        {"a.svg/", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IconPack::isIconSvgPath(c.path), c.icon) << c.path;
}

TEST(IconPackNames, DescribeIconPath) {
    struct Case {
        const char* path;
        const char* name;
        const char* category;
    };
    const Case cases[] = {
        {"Compute/Compute Engine/SVG/compute-engine.svg", "Compute Engine", "Compute"},
        {"icons/64/arrow.svg", "Arrow", ""},
        {"x.svg", "X", ""},
        {"SVG/x.svg", "X", ""},                               // a format folder with nothing above it
        {"__/SVG/x.svg", "X", ""},                            // the folder above cleans to nothing
        {"Cat/__/svgs/x.svg", "X", "Cat"},
        {"Arch_64/Arch_Compute/Arch_Amazon-EC2_64.svg", "Amazon EC2", "Compute"},
        {"Cat/Icons/48px/dark/x.svg", "X", "Cat"},
        {"Res_Light/Storage/Res_Bucket_48_Light.svg", "Bucket", "Storage"},
        {"a//b.svg", "B", "A"},
        {"Outer/Inner/PNG/thing.svg", "Inner", "Outer"},
        {"Outer/icons/thing.svg", "Thing", "Outer"},
        {"my_set/Network-Tools/router.svg", "Router", "Network Tools"},
    };
    for (const Case& c : cases) {
        const auto [name, category] = IconPack::describeIconPath(c.path);
        EXPECT_EQ(name, c.name) << c.path;
        EXPECT_EQ(category, c.category) << c.path;
    }
}

TEST(IconPackNames, DetectPackName) {
    struct Case {
        std::vector<std::string> entries;
        const char* fileName;
        const char* name;
    };
    const Case cases[] = {
        {{"Architecture-Service-Icons_07/x.svg"}, "whatever.zip", "AWS"},
        {{"readme.txt", "set/Resource-Icons_2024/a.svg"}, "x.zip", "AWS"},
        {{"deep/Arch_Foo_64.svg"}, "x.zip", "AWS"},
        {{"arch_foo.svg"}, "x.zip", "X"},                       // the marks are case-sensitive
        {{"Azure_Public_Service_Icons/Icons/a.svg"}, "x.zip", "Azure"},
        {{"compute/10021-icon-service-VM.svg"}, "x.zip", "Azure"},
        {{"10021-icon-service-VM.svg", "Arch_x.svg"}, "x.zip", "AWS"},
        {{"Unique Icons/a.svg"}, "x.zip", "Google Cloud"},
        {{"x.svg", "Category Icons/b.svg"}, "x.zip", "Google Cloud"},
        {{"top/Unique Icons/a.svg"}, "fallback.zip", "Fallback"},
        {{}, "My Icons_dark.zip", "My Icons (dark)"},
        {{}, "__.zip", "Icons"},
        {{}, "", "Icons"},
        {{}, "material-symbols.ZIP", "Material symbols"},
        {{}, "pack.zip.zip", "Pack.zip"},
    };
    for (const Case& c : cases) EXPECT_EQ(IconPack::detectPackName(c.entries, c.fileName), c.name) << c.fileName;
}

TEST(IconPackBuild, SourcesAreBase64DataURLsAndIdsTheAcceptanceIndex) {
    const IconPackResult result = build({{"b.svg", "a"}, {"readme.txt", "x"}, {"a.svg", "<svg/>"}, {"c/d.svg", "ab"}});
    ASSERT_EQ(result.icons.size(), 3u);
    EXPECT_EQ(result.skipped, 0);  // files that are no icons are not counted
    // Sorted by category then name; ids stay those of acceptance.
    EXPECT_EQ(result.icons[0], (ImportedIcon{"1", "A", "", source("<svg/>")}));
    EXPECT_EQ(result.icons[1], (ImportedIcon{"0", "B", "", source("a")}));
    EXPECT_EQ(result.icons[2], (ImportedIcon{"2", "D", "C", source("ab")}));
}

TEST(IconPackBuild, TheLargerOfTwoSizesIsKeptAndNoLoserCounts) {
    struct Case {
        std::vector<IconPackFile> files;
        const char* keptSvg;
    };
    const Case cases[] = {
        {{{"a/64/x.svg", "a"}, {"a/128/x.svg", "ab"}}, "ab"},
        {{{"a/128/x.svg", "ab"}, {"a/64/x.svg", "a"}}, "ab"},
        {{{"a/64/x.svg", "a"}, {"a/64px/x.svg", "ab"}}, "a"},      // equal sizes: the first stays
        {{{"a/x_32.svg", "a"}, {"a/x_48.svg", "ab"}}, "ab"},       // size from the file name
        {{{"a/x-256px.svg", "ab"}, {"a/512/x.svg", "a"}}, "a"},    // ... or from the folder
        {{{"a/x.svg", "a"}, {"A/X.svg", "ab"}}, "a"},              // names compare ignoring case
        {{{"a/99999999999999999999/x.svg", "a"}, {"a/1/x.svg", "ab"}}, "ab"},  // too big a size reads as 0
    };
    for (const Case& c : cases) {
        const IconPackResult result = build(c.files);
        ASSERT_EQ(result.icons.size(), 1u) << c.files[0].path;
        EXPECT_EQ(result.icons[0].src, source(c.keptSvg)) << c.files[0].path;
        EXPECT_EQ(result.icons[0].id, "0");
        EXPECT_EQ(result.skipped, 0);
    }
    // A replacement keeps the first position of its key.
    const IconPackResult kept = build({{"a/16/x.svg", "a"}, {"y.svg", "a"}, {"a/32/x.svg", "ab"}});
    ASSERT_EQ(kept.icons.size(), 2u);
    EXPECT_EQ(kept.icons[0].name, "Y");
    EXPECT_EQ(kept.icons[0].id, "1");
    EXPECT_EQ(kept.icons[1].id, "0");
    EXPECT_EQ(kept.icons[1].src, source("ab"));
}

TEST(IconPackBuild, TheDuplicateKeyKeepsCategoryAndNameApart) {
    // Joined without a separator both pairs would read "abc"; cut at the NUL, every name in one
    // category would be the same.
    EXPECT_EQ(names(build({{"Ab/c.svg", "a"}, {"A/bc.svg", "a"}})), (std::vector<std::string>{"A|Bc", "Ab|C"}));
    EXPECT_EQ(build({{"Cat/x.svg", "a"}, {"Cat/y.svg", "a"}}).icons.size(), 2u);
}

TEST(IconPackBuild, RejectedEmptiedAndOversizedIconsCountAsSkipped) {
    // The data URL is the 26-character prefix and 4 characters per 3 bytes: 49131 bytes make
    // 65534 characters, 49132 bytes 65538.
    const IconPackResult result = build({{"1.svg", "REJECT"},
                                         {"2.svg", "EMPTY"},
                                         {"3.svg", std::string(49131, 'x')},
                                         {"4.svg", std::string(49132, 'x')},
                                         {"5.svg", "a"}});
    ASSERT_EQ(result.icons.size(), 2u);
    EXPECT_EQ(result.skipped, 3);
    EXPECT_EQ(result.icons[0].name, "3");
    EXPECT_EQ(result.icons[0].src.size(), 65534u);
    EXPECT_EQ(result.icons[0].id, "0");
    EXPECT_EQ(result.icons[1].id, "1");
}

TEST(IconPackBuild, ThePackHoldsAtMostFiveThousandIcons) {
    std::vector<IconPackFile> files;
    for (int i = 0; i < 5002; ++i) {
        std::string path = std::to_string(i);
        files.push_back({path.insert(0, 1, 'i').append(".svg"), "a"});
    }
    files.back().svg = "REJECT";  // beyond the cap: skipped whatever the sanitiser would say
    IconPackResult result = build(files);
    EXPECT_EQ(result.icons.size(), 5000u);
    EXPECT_EQ(result.skipped, 2);
    EXPECT_EQ(IconPack::maxIconsPerPack, 5000);

    // A rejected icon leaves its place to the next one.
    files.front().svg = "REJECT";
    files.back().svg = "a";
    result = build(files);
    EXPECT_EQ(result.icons.size(), 5000u);
    EXPECT_EQ(result.skipped, 2);
    bool sawLast = false;
    for (const ImportedIcon& icon : result.icons) {
        EXPECT_NE(icon.name, "I0");
        sawLast = sawLast || icon.name == "I5000";
        EXPECT_NE(icon.name, "I5001");
    }
    EXPECT_TRUE(sawLast);
}

TEST(IconPackBuild, OrderFollowsTheLocalesCollation) {
    const std::vector<IconPackFile> files{
        {"\xC3\x84rm.svg", "a"}, {"Zebra.svg", "a"}, {"apple.svg", "a"}, {"Birch.svg", "a"}};
    // German files Ä with A; Swedish puts it after Z. Neither orders by code units ("B" < "a").
    EXPECT_EQ(names(build(files, "de_DE")),
              (std::vector<std::string>{"|Apple", "|\xC3\x84rm", "|Birch", "|Zebra"}));
    EXPECT_EQ(names(build(files, "sv-SE")),
              (std::vector<std::string>{"|Apple", "|Birch", "|Zebra", "|\xC3\x84rm"}));
    // The category decides before the name.
    EXPECT_EQ(names(build({{"b/a.svg", "a"}, {"a/z.svg", "a"}, {"a.svg", "a"}}, "en")),
              (std::vector<std::string>{"|A", "A|Z", "B|A"}));
}

TEST(IconPackBuild, NoFilesGiveAnEmptyPack) {
    const IconPackResult result = build({});
    EXPECT_TRUE(result.icons.empty());
    EXPECT_EQ(result.skipped, 0);
}

using testing::buildZip;
using testing::bytesOf;
using testing::ZipEntryPlan;

IconPack::ZipImport importZip(const testing::Bytes& zip, std::string_view fileName) {
    return IconPack::fromZip(zip, fileName, markerSanitizer, "en");
}

std::string importError(const testing::Bytes& zip) {
    try {
        importZip(zip, "x.zip");
    } catch (const ZipError& error) {
        return error.what();
    } catch (const InflateError&) {
        return "(InflateError)";
    }
    return "(no error)";
}

TEST(IconPackZip, AnEmptyArchiveIsAnEmptyPackNamedAfterItsFile) {
    EXPECT_EQ(importZip(testing::endRecord(0, 0), "my-pack_dark.zip"), (IconPack::ZipImport{"My pack (dark)", {}, 0}));
}

TEST(IconPackZip, ImportsTheSvgEntriesAndCountsTheOversizedAsSkipped) {
    testing::Bytes bom = bytesOf("\xEF\xBB\xBF<svg/>");
    const testing::Bytes zip = buildZip({
        ZipEntryPlan("Architecture-Service-Icons/"),
        ZipEntryPlan("Architecture-Service-Icons/Compute/Arch_Amazon-EC2_64.svg", bytesOf("ab"), 8),
        ZipEntryPlan("Architecture-Service-Icons/Compute/Arch_Amazon-EC2_32.svg", bytesOf("a"), 8),
        ZipEntryPlan("__MACOSX/Architecture-Service-Icons/._x.svg", bytesOf("REJECT")),
        ZipEntryPlan("notes.txt", bytesOf("not read")).declaring(5'000'000),
        ZipEntryPlan("big.svg", bytesOf("a")).declaring(1'048'577),
        ZipEntryPlan("bom.svg", bom, 8),
        ZipEntryPlan("bad.svg", bytesOf("a\xFF" "b")),
        ZipEntryPlan("reject.svg", bytesOf("REJECT")),
    });
    const IconPack::ZipImport result = importZip(zip, "ignored.zip");
    EXPECT_EQ(result.name, "AWS");
    EXPECT_EQ(result.skipped, 2);  // big.svg, never extracted, and the refused one
    ASSERT_EQ(result.icons.size(), 3u);
    const std::string prefix = "data:image/svg+xml;base64,";
    // The byte-order mark is dropped and bad bytes become U+FFFD before the sanitiser sees them.
    EXPECT_EQ(result.icons[0], (ImportedIcon{"2", "Bad", "", prefix + "Ye+/vWI="}));
    EXPECT_EQ(result.icons[1], (ImportedIcon{"1", "Bom", "", source("<svg/>")}));
    EXPECT_EQ(result.icons[2], (ImportedIcon{"0", "Amazon EC2", "Compute", source("ab")}));
}

TEST(IconPackZip, ArchiveErrorsPassThrough) {
    EXPECT_EQ(importError(bytesOf("not an archive at all, just text")), "Not a ZIP archive");
    EXPECT_EQ(importError(buildZip({ZipEntryPlan("a.svg", bytesOf("<svg/>")).withFlags(1)})), "Encrypted entry: a.svg");
    EXPECT_EQ(importError(buildZip({ZipEntryPlan("icons/a.svg", bytesOf("<svg/>"), 12)})),
              "Unsupported compression method 12: icons/a.svg");
    EXPECT_EQ(importError(buildZip({ZipEntryPlan("a.svg", bytesOf("<svg/>"), 8).withJunk(bytesOf("junk"))})),
              "(InflateError)");
    // Entries that are not icons are never extracted, so their faults do not matter.
    EXPECT_EQ(importError(buildZip({ZipEntryPlan("a.png", bytesOf("png")).withFlags(1),
                                    ZipEntryPlan("b.txt", bytesOf("t"), 12)})),
              "(no error)");
}

}  // namespace
}  // namespace dv
