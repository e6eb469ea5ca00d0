#include "DVModel/UTF8.hpp"
#include "DVRender/Images/BundledIconPacks.hpp"
#include "DVRender/Images/DataURL.hpp"
#include "DVRender/Images/ImageStore.hpp"
#include "DVRender/Images/SVGImage.hpp"
#include "DVRender/Images/SVGSanitizer.hpp"
#include "Platform/XML/XMLDocument.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace dv {
namespace {

std::size_t nodeAndAttributeCount(std::string_view svg) {
    auto doc = xml::Document::parse(svg);
    if (!doc) return 0;
    std::vector<xml::Element> all{doc->root()};
    for (const auto& e : doc->root().descendants()) all.push_back(e);
    std::size_t n = all.size();
    for (const auto& e : all) n += e.attributes().size();
    return n;
}

TEST(BundledIconPacks, TheShippedPackIsCleanAndSelfContained) {
    const auto icons = BundledIconPacks::icons("k8s");
    ASSERT_GE(icons.size(), 20u);
    std::set<std::string> ids, srcs;
    const std::regex idPattern("[a-z0-9-]{1,64}");
    for (const auto& icon : icons) {
        EXPECT_TRUE(std::regex_match(icon.id, idPattern)) << icon.id;
        EXPECT_TRUE(ids.insert(icon.id).second) << "duplicate id " << icon.id;
        EXPECT_TRUE(srcs.insert(icon.src).second) << "duplicate src of " << icon.id;
        EXPECT_FALSE(icon.label.empty());
        EXPECT_FALSE(icon.category.empty());
        EXPECT_LE(utf16Length(icon.src), 65536u) << icon.id;
        auto url = parseDataURL(icon.src);
        ASSERT_TRUE(url) << icon.id;
        EXPECT_EQ(url->mediaType, "image/svg+xml");
        EXPECT_EQ(std::string(url->body.begin(), url->body.end()), icon.svg) << icon.id;
        EXPECT_TRUE(icon.src.starts_with("data:image/svg+xml;base64,")) << icon.id;

        auto svg = SVGImage::load({reinterpret_cast<const std::uint8_t*>(icon.svg.data()), icon.svg.size()});
        ASSERT_TRUE(svg) << icon.id;
        EXPECT_EQ(svg->width(), 24);
        EXPECT_EQ(svg->height(), 24);
        auto pixels = svg->rasterize(48, 48);
        ASSERT_TRUE(pixels);
        EXPECT_EQ(pixels->pixel(24, 2) >> 24, 0xFFu) << icon.id << " has its opaque badge";

        // Cleaning takes nothing away: no script, handler, link or text to remove.
        auto clean = sanitizeSvg(icon.svg);
        ASSERT_TRUE(clean) << icon.id;
        EXPECT_EQ(nodeAndAttributeCount(*clean), nodeAndAttributeCount(icon.svg)) << icon.id;
        EXPECT_EQ(icon.svg.find("<text"), std::string::npos) << icon.id;
    }
}

TEST(BundledIconPacks, LooksIconsUpByReference) {
    const BundledIcon* pod = BundledIconPacks::icon("k8s/pod");
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(pod->id, "pod");
    EXPECT_EQ(BundledIconPacks::icon("k8s/pod/x"), pod) << "further pieces are ignored";
    for (const char* miss : {"generic/router", "", "k8s", "other/pod", "/pod", "k8s/", "K8S/pod", "k8s/Pod", "k8s/nothing"}) {
        EXPECT_EQ(BundledIconPacks::icon(miss), nullptr) << miss;
    }
    EXPECT_TRUE(BundledIconPacks::isBundledPack("k8s"));
    EXPECT_FALSE(BundledIconPacks::isBundledPack("aws"));
    EXPECT_FALSE(BundledIconPacks::isBundledPack(""));
    EXPECT_TRUE(BundledIconPacks::icons("aws").empty());
    EXPECT_EQ(BundledIconPacks::iconsBySrc().count(JSStringKey(pod->src)), 1u);
}

TEST(BundledIconPacks, ResourceIconSourcesResolveToVectorImages) {
    const BundledIcon* pod = BundledIconPacks::icon("k8s/pod");
    ASSERT_NE(pod, nullptr);
    ImageStore store;
    auto lookup = store.image(pod->src);
    ASSERT_EQ(lookup.kind, ImageLookup::Kind::loaded);
    EXPECT_EQ(lookup.image->content().kind, RenderImage::Content::Kind::vector);
    EXPECT_EQ(lookup.image->naturalWidth(), 24);
    EXPECT_EQ(lookup.image->src(), pod->src);
}

TEST(BundledIconPacks, PackFilesDecodeWholeOrNotAtAll) {
    auto icon = [](const std::string& id, const std::string& extra = "") {
        std::string out = R"({"id":")";
        out.append(id).append(R"(","label":"L","category":"C","src":"s-)").append(id).append(R"(","svg":"<svg/>")");
        return out.append(extra).append("}");
    };
    auto pack = [](const std::string& body) {
        std::string out = R"({"icons":[)";
        return out.append(body).append("]}");
    };
    struct Case { std::string text; std::size_t count; };
    const Case cases[] = {
        {pack(icon("a") + "," + icon("b")), 2},
        {std::string(R"({"version":3,"icons":[)").append(icon("a", R"(,"more":1)")).append("]}"), 1},
        {pack(""), 0},
        {pack(icon("a") + R"(,{"id":"b","label":"L","category":"C","src":"s"})"), 0},
        {pack(icon("a") + R"(,{"id":1,"label":"L","category":"C","src":"s","svg":"x"})"), 0},
        {pack(icon("a") + ",null"), 0},
        {std::string(R"({"Icons":[)").append(icon("a")).append("]}"), 0},
        {R"({"icons":{}})", 0},
        {std::string("[").append(icon("a")).append("]"), 0},
        {std::string(R"({"icons":[)").append(icon("a")).append("]"), 0},
        {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(BundledIconPacks::parsePackFile(c.text).size(), c.count) << c.text;
}

TEST(BundledIconPacks, TheFirstOfTwoIconsWithOneIdWins) {
    const std::string text =
        "{\"icons\":[{\"id\":\"pod\",\"label\":\"First\",\"category\":\"C\",\"src\":\"s1\",\"svg\":\"<svg/>\"},"
        "{\"id\":\"pod\",\"label\":\"Second\",\"category\":\"C\",\"src\":\"s2\",\"svg\":\"<svg/>\"}]}";
    const auto icons = BundledIconPacks::parsePackFile(text);
    ASSERT_EQ(icons.size(), 2u) << "the pack's list keeps both";
    const auto index = BundledIconPacks::indexIcons(icons);
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index.at(JSStringKey("pod")).label, "First");
}

}  // namespace
}  // namespace dv
