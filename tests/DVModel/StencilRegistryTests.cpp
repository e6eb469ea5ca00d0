#include "DVModel/StencilRegistry.hpp"
#include "DVModel/Viewport.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace dv {
namespace {

const std::string kPrefix = "data:image/svg+xml;base64,";

TEST(StencilRegistry, References) {
    for (const std::string& ref : std::vector<std::string>{"generic/server", "k8s/pod_2-a", "k8s/" + std::string(64, 'a'), "a/Z-_9"}) {
        EXPECT_TRUE(StencilRegistry::isValidStencilRef(ref)) << ref;
    }
    for (const std::string& ref : std::vector<std::string>{"/pod", "K8s/pod", "k8s/", "k8s/a/b", "k8s/pod.svg", "k8s/" + std::string(65, 'a'),
                            std::string("pod"), std::string(""), "k8s/p\xC3\xA9", "k8s/pod "}) {
        EXPECT_FALSE(StencilRegistry::isValidStencilRef(ref)) << ref;
    }
}

TEST(StencilRegistry, EmbeddedPictures) {
    for (const std::string& src : std::vector<std::string>{kPrefix + "PHN2Zz4=", kPrefix + "PHN2Zz4", kPrefix + "PHN2Zz4==", kPrefix + "a+/b"}) {
        EXPECT_TRUE(StencilRegistry::isValidEmbeddedSvg(src)) << src;
    }
    for (const std::string& src : std::vector<std::string>{kPrefix, kPrefix + "==", kPrefix + "PHN2Zz4===", kPrefix + "PH=N2", kPrefix + "PHN 2",
                            std::string("DATA:IMAGE/SVG+XML;BASE64,PHN2Zz4="), std::string("data:image/svg+xml,PHN2")}) {
        EXPECT_FALSE(StencilRegistry::isValidEmbeddedSvg(src)) << src;
    }
    const std::string atLimit = kPrefix + std::string(65536 - kPrefix.size(), 'A');
    EXPECT_TRUE(StencilRegistry::isValidEmbeddedSvg(atLimit));
    EXPECT_FALSE(StencilRegistry::isValidEmbeddedSvg(atLimit + "A"));
}

TEST(StencilRegistry, LabelWidth) {
    EXPECT_EQ(StencilRegistry::getStencilLabelWidth(64), 180);
    EXPECT_EQ(StencilRegistry::getStencilLabelWidth(90), 180);
    EXPECT_EQ(StencilRegistry::getStencilLabelWidth(100), 200);
    EXPECT_TRUE(std::isnan(StencilRegistry::getStencilLabelWidth(std::nan(""))));
    EXPECT_EQ(StencilRegistry::getStencilLabelWidth(-std::numeric_limits<double>::infinity()), 180);
}

TEST(StencilRegistry, RestylingAndRotation) {
    struct Row {
        StencilSource source;
        bool restylable;
        bool rotatable;
    };
    const Row rows[] = {
        {StencilSource::builtin("generic/database"), true, true},
        {StencilSource::builtin("k8s/pod"), false, true},
        {StencilSource::builtin("Generic/x"), false, true},
        {StencilSource::embedded(kPrefix + "PHN2Zz4=", "generic", "x"), false, false},
    };
    for (const Row& row : rows) {
        Element::Stencil stencil;
        stencil.source = row.source;
        EXPECT_EQ(StencilRegistry::isRestylableStencil(stencil), row.restylable);
        EXPECT_EQ(StencilRegistry::isRotatableStencil(stencil), row.rotatable);
    }
}

TEST(StencilRegistry, CreateStencil) {
    const StencilStyle style{CSSColor("#000"), CSSColor("#fff"), 2, 0.5, 1};
    const Element e =
        StencilRegistry::createStencil("s1", StencilSource::builtin("k8s/pod"), 100, 50, style, "", 64);
    EXPECT_EQ(e.id, "s1");
    EXPECT_EQ(e.x, 68);
    EXPECT_EQ(e.y, 18);
    EXPECT_EQ(e.strokeColor, CSSColor("#000"));
    EXPECT_EQ(e.opacity, 0.5);
    EXPECT_FALSE(e.rotation);
    EXPECT_FALSE(e.visible);
    ASSERT_NE(e.payload.stencil(), nullptr);
    EXPECT_EQ(e.payload.stencil()->width, 64);
    EXPECT_EQ(e.payload.stencil()->height, 64);
    EXPECT_FALSE(e.payload.stencil()->label);
    EXPECT_TRUE(e.extra.isEmpty());
    const Element labelled =
        StencilRegistry::createStencil("s2", StencilSource::builtin("k8s/pod"), 0, 0, style, "Pod", 64);
    EXPECT_EQ(labelled.payload.stencil()->label, "Pod");
}

TEST(StencilRegistry, ConstantsAndRecords) {
    EXPECT_EQ(StencilRegistry::defaultStencilSize, 64);
    EXPECT_EQ(StencilRegistry::stencilLabelGap, 6);
    EXPECT_EQ(LabelDefaults::defaultLabelFontFamily, "Arial, sans-serif");
    EXPECT_EQ(LabelDefaults::defaultShapeLabelFontSize, 16);
    EXPECT_EQ(LabelDefaults::defaultStencilLabelFontSize, 14);
    EXPECT_EQ(LabelDefaults::defaultConnectorLabelFontSize, 12);
    ASSERT_EQ(BundledPack::all().size(), 1u);
    EXPECT_EQ(BundledPack::all()[0], (BundledPack{"k8s", "Kubernetes", "Kubernetes Icons Set, Apache-2.0"}));
    const StencilStyle a{CSSColor("red"), CSSColor("blue"), 0.0, 1, 1};
    const StencilStyle b{CSSColor("red"), CSSColor("blue"), -0.0, 1, 1};
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<StencilStyle>{}(a), std::hash<StencilStyle>{}(b));
}

TEST(Viewport, JsonEqualityAndHashing) {
    const JSONObject o = Viewport{0, 0, 1}.jsonObject();
    EXPECT_EQ(o.keys(), (std::vector<std::string>{"offsetX", "offsetY", "zoom"}));
    EXPECT_EQ(*o.find("zoom"), JSONValue(1));
    EXPECT_EQ(*o.find("offsetX"), JSONValue(0));
    const Viewport minus{-0.0, 5, 2};
    const Viewport plus{0.0, 5, 2};
    EXPECT_EQ(minus, plus);
    EXPECT_EQ(std::hash<Viewport>{}(minus), std::hash<Viewport>{}(plus));
    const Viewport nan{0, 0, std::nan("")};
    EXPECT_NE(nan, nan);
}

}  // namespace
}  // namespace dv
