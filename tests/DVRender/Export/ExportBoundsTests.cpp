// The area exports cover: candidates per element kind, connector labels, JavaScript min/max.

#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVGeometry/ShapeGeometry.hpp"
#include "DVModel/StencilRegistry.hpp"
#include "DVRender/Export/ExportBounds.hpp"
#include "DVRender/Export/RasterExport.hpp"
#include "tests/DVGeometry/TestElements.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using dv::Element;
using dv::ExportBounds;
namespace t = dv::test;

constexpr double inf = std::numeric_limits<double>::infinity();

Element curve(double x, double y, double x2, double y2, double cx, double cy) {
    Element::Curve c;
    c.x2 = x2;
    c.y2 = y2;
    c.cx = cx;
    c.cy = cy;
    return t::element("c", x, y, Element::Payload(c));
}

Element hidden(Element e) {
    e.visible = false;
    return e;
}

Element movedTo(Element e, double x, double y) {
    e.x = x;
    e.y = y;
    return e;
}

TEST(ExportBounds, CandidatesPerKind) {
    const double captionW = dv::StencilRegistry::getStencilLabelWidth(40);
    Element captioned = t::stencil("s", 0, 0, 40, 40, "Database server");
    const double captionH = dv::getStencilLabelHeight(captioned);
    ASSERT_GT(captionH, 0);

    struct Case {
        const char* name;
        std::vector<Element> elements;
        ExportBounds expected;
    };
    const std::vector<Case> cases = {
        {"empty", {}, {inf, inf, -inf, -inf}},
        {"negative width", {t::rectangle("r", 10, 10, -30, 20)}, {-20, 10, 10, 30}},
        {"negative height", {t::rectangle("r", 10, 10, 30, -20)}, {10, -10, 40, 10}},
        {"hidden counts", {hidden(t::rectangle("r", 0, 0, 5, 5)), t::rectangle("q", 10, 10, 5, 5)}, {0, 0, 15, 15}},
        {"captioned stencil", {captioned}, {20 - captionW / 2, 0, 20 + captionW / 2, 40 + captionH}},
        {"stencil with empty label", {t::stencil("s", 0, 0, 40, 40, "")}, {0, 0, 40, 40}},
        {"stencil without label", {t::stencil("s", 0, 0, 40, 40, std::nullopt)}, {0, 0, 40, 40}},
        {"curve by its control point", {curve(0, 0, 100, 0, 50, -80)}, {0, -80, 100, 0}},
        {"polygon points as stored", {movedTo(t::polygon("p", {{0, 0}, {10, 10}, {3, 4}}), 500, 500)}, {0, 0, 10, 10}},
        {"empty polygon adds nothing", {t::polygon("p", {}), t::rectangle("r", 1, 2, 3, 4)}, {1, 2, 4, 6}},
        {"free line", {t::line("l", 10, 20, -5, 60)}, {-5, 20, 10, 60}},
    };
    for (const Case& c : cases) {
        ExportBounds b = dv::computeExportBounds(c.elements);
        EXPECT_DOUBLE_EQ(b.minX, c.expected.minX) << c.name;
        EXPECT_DOUBLE_EQ(b.minY, c.expected.minY) << c.name;
        EXPECT_DOUBLE_EQ(b.maxX, c.expected.maxX) << c.name;
        EXPECT_DOUBLE_EQ(b.maxY, c.expected.maxY) << c.name;
    }
}

TEST(ExportBounds, NaNReachesOnlyTheBoundItTouches) {
    Element r = t::rectangle("r", std::nan(""), 0, 10, 10);
    ExportBounds b = dv::computeExportBounds({r, t::rectangle("q", 0, 0, 5, 5)});
    EXPECT_TRUE(std::isnan(b.minX));
    EXPECT_TRUE(std::isnan(b.maxX));
    EXPECT_EQ(b.minY, 0);
    EXPECT_EQ(b.maxY, 10);
}

TEST(ExportBounds, LabelBoxesWidenTheBounds) {
    dv::ElementIndex index(std::vector<Element>{t::rectangle("r", 0, 0, 10, 10)});
    dv::ConnectorLabelBoxes boxes;
    boxes.set("far", dv::LabelBox{100, 50, 40, 20});
    EXPECT_EQ(dv::exportBounds(index, boxes), (ExportBounds{0, 0, 120, 60}));

    dv::ElementIndex empty;
    EXPECT_EQ(dv::exportBounds(empty, boxes), (ExportBounds{80, 40, 120, 60}));
}

TEST(ExportBounds, BoundConnectorEndsAndTheirLabelsAreIncluded) {
    Element a = t::rectangle("a", 0, 0, 100, 100);
    Element b = t::rectangle("b", 400, 0, 100, 100);
    Element arrow = t::arrow("x", 1000, 1000, 1200, 1200);
    arrow.payload.connector()->startElementId = "a";
    arrow.payload.connector()->endElementId = "b";
    arrow.payload.connector()->label = "a rather long connector label that sticks out";
    std::vector<Element> scene{a, b, arrow};

    ExportBounds bounds = dv::computeExportBounds(scene);
    // The stored ends far away play no part once both ends are bound.
    EXPECT_LT(bounds.maxX, 1000);
    EXPECT_LT(bounds.maxY, 1000);
    auto box = dv::getConnectorLabelBoxes(scene)["x"];
    ASSERT_TRUE(box.has_value());
    EXPECT_LE(bounds.minX, box->x - box->w / 2);
    EXPECT_GE(bounds.maxX, box->x + box->w / 2);
    EXPECT_LE(bounds.minY, box->y - box->h / 2);
    EXPECT_GE(bounds.maxY, box->y + box->h / 2);
}

TEST(RasterPlan, PlanOfElements) {
    EXPECT_FALSE(dv::exportRasterPlan(std::vector<Element>{}, true, "#fff").has_value());
    auto plan = dv::exportRasterPlan({t::rectangle("r", 0, 0, 100, 50)}, false, "#123");
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(*plan, (dv::ExportRasterPlan{148, 98, 296, 196, 2, 24, 24, "#123", false}));
    EXPECT_EQ(std::hash<dv::ExportRasterPlan>{}(*plan),
              std::hash<dv::ExportRasterPlan>{}(dv::ExportRasterPlan{148, 98, 296, 196, 2, 24, 24, "#123", false}));
}

}  // namespace
