// Value records go into hash sets: equal records must hash alike (also when one holds -0 where the
// other holds +0), and records that differ in one field must stay apart in a set.

#include "DVGeometry/ArrowHeads.hpp"
#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVGeometry/FreehandOutline.hpp"
#include "DVGeometry/ShapeGeometry.hpp"
#include "DVGeometry/ViewportGeometry.hpp"
#include "DVIO/BoardFile.hpp"
#include "DVIO/BoardSearchContent.hpp"
#include "DVIO/CloudLink.hpp"
#include "DVIO/ZipArchive.hpp"
#include "DVModel/Element.hpp"
#include "DVText/TextMetrics.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

namespace dv {
namespace {

// `a` and `sameAsA` are equal (typically apart only in the sign of a zero); `other` differs.
template <class T>
void expectHashAgreesWithEquality(const T& a, const T& sameAsA, const T& other) {
    ASSERT_TRUE(a == sameAsA);
    ASSERT_FALSE(a == other);
    EXPECT_EQ(std::hash<T>{}(a), std::hash<T>{}(sameAsA));
    std::unordered_set<T> set{a, sameAsA, other};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_EQ(set.count(sameAsA), 1u);
}

JSONObject objectWith(std::string key, JSONValue value) {
    JSONObject object;
    object.set(std::move(key), std::move(value));
    return object;
}

TEST(RecordHash, ModelRecords) {
    expectHashAgreesWithEquality(Point{0.0, 1}, Point{-0.0, 1}, Point{1, 0});
    expectHashAgreesWithEquality(ConnectorAnchor{0.5, 0.0, objectWith("k", JSONValue(1.0))},
                                 ConnectorAnchor{0.5, -0.0, objectWith("k", JSONValue(1.0))},
                                 ConnectorAnchor{0.5, 0.0, objectWith("k", JSONValue(2.0))});
    expectHashAgreesWithEquality(StencilSource::builtin("aws:ec2"), StencilSource::builtin("aws:ec2"),
                                 StencilSource::embedded("aws:ec2", "", ""));

    Element::Box box;
    box.width = 10;
    box.height = -0.0;
    box.label = "a";
    Element::Box boxPlusZero = box;
    boxPlusZero.height = 0.0;
    Element::Box boxLabelled = box;
    boxLabelled.label = "b";
    expectHashAgreesWithEquality(box, boxPlusZero, boxLabelled);
    // Rectangle and ellipse hold the same record; the payload keeps them apart by kind.
    expectHashAgreesWithEquality(Element::Payload::rectangle(box), Element::Payload::rectangle(boxPlusZero),
                                 Element::Payload::ellipse(box));

    Element::Line line;
    line.x2 = -0.0;
    line.cx = 3;
    Element::Line linePlusZero = line;
    linePlusZero.x2 = 0.0;
    Element::Line lineWithoutControl = line;
    lineWithoutControl.cx.reset();
    expectHashAgreesWithEquality(line, linePlusZero, lineWithoutControl);

    // A label moved from one optional text field to its neighbour must not collide.
    Element::Arrow labelled;
    labelled.label = "Arial";
    Element::Arrow family;
    family.labelFontFamily = "Arial";
    EXPECT_NE(std::hash<Element::Arrow>{}(labelled), std::hash<Element::Arrow>{}(family));

    Element::Freehand stroke{{{0.0, 0}, {1, 2}}, std::vector<double>{0.5, 0.5}};
    Element::Freehand strokeNegZero{{{-0.0, 0}, {1, 2}}, std::vector<double>{0.5, 0.5}};
    Element::Freehand strokeNoPressure{{{0.0, 0}, {1, 2}}, std::nullopt};
    expectHashAgreesWithEquality(stroke, strokeNegZero, strokeNoPressure);
}

TEST(RecordHash, TextAndGeometryRecords) {
    expectHashAgreesWithEquality(TextSize{0.0, 2}, TextSize{-0.0, 2}, TextSize{2, 0});
    expectHashAgreesWithEquality(TextContentBox{1, 2, 3, 4, 0.0}, TextContentBox{1, 2, 3, 4, -0.0},
                                 TextContentBox{1, 2, 3, 4, 5});
    expectHashAgreesWithEquality(QuadraticControlPoint{0.0, 1.0}, QuadraticControlPoint{-0.0, 1.0},
                                 QuadraticControlPoint{std::nullopt, 1.0});
    expectHashAgreesWithEquality(ArrowHeadVector{0.0, 0, 1, 1}, ArrowHeadVector{-0.0, 0, 1, 1},
                                 ArrowHeadVector{0, 0, 1, 2});
    expectHashAgreesWithEquality(ConnectorHead{ArrowHeadStyle::open, {0.0, 0, 1, 1}},
                                 ConnectorHead{ArrowHeadStyle::open, {-0.0, 0, 1, 1}},
                                 ConnectorHead{ArrowHeadStyle::triangle, {0, 0, 1, 1}});
    expectHashAgreesWithEquality(ArrowHeadShape{ArrowHeadShape::Circle{0.0, 1, 2}},
                                 ArrowHeadShape{ArrowHeadShape::Circle{-0.0, 1, 2}},
                                 ArrowHeadShape{ArrowHeadShape::Polygon{{{0, 1}}, true}});
    expectHashAgreesWithEquality(NormalizedRect{0.0, 0, 1, 1}, NormalizedRect{-0.0, 0, 1, 1},
                                 NormalizedRect{0, 0, 1, 2});
    ConnectorEnds ends{0.0, 0, 5, 5, "a", std::nullopt, ConnectorAnchor{0.5, 0, {}}, std::nullopt,
                       ConnectorRouting::elbow};
    ConnectorEnds endsNegZero = ends;
    endsNegZero.x = -0.0;
    ConnectorEnds endsSwapped = ends;
    endsSwapped.startElementId.reset();
    endsSwapped.endElementId = "a";
    expectHashAgreesWithEquality(ends, endsNegZero, endsSwapped);
    expectHashAgreesWithEquality(FreehandOutlineOptions{0.0, std::nullopt}, FreehandOutlineOptions{-0.0, std::nullopt},
                                 FreehandOutlineOptions{std::nullopt, 0.0});
    expectHashAgreesWithEquality(FitInsets{0.0, 1, 2, 3, 4}, FitInsets{-0.0, 1, 2, 3, 4}, FitInsets{0.0, 1, 2, 3, {}});
    expectHashAgreesWithEquality(LabeledShape{LabeledShape::Rectangle{}, 0.0}, LabeledShape{LabeledShape::Rectangle{}, -0.0},
                                 LabeledShape{LabeledShape::Ellipse{}, 0.0});
    expectHashAgreesWithEquality(ElementPort{0.0, 1, {0.5, 0, {}}}, ElementPort{-0.0, 1, {0.5, -0.0, {}}},
                                 ElementPort{0, 1, {0.5, 1, {}}});
}

TEST(RecordHash, FileRecords) {
    CloudLink link{"board", std::nullopt, 3, std::nullopt, {}};
    CloudLink linkSame = link;
    CloudLink linkOrigin = link;
    linkOrigin.origin = "board";
    expectHashAgreesWithEquality(link, linkSame, linkOrigin);

    BoardSearchContent content;
    content.texts = {"ab", "c"};
    auto contentSame = content;
    auto contentSplit = content;
    contentSplit.texts = {"a", "bc"};
    expectHashAgreesWithEquality(content, contentSame, contentSplit);

    DrevalinReadWarning newer{DrevalinReadWarning::NewerVersion{0.0}};
    DrevalinReadWarning newerNegZero{DrevalinReadWarning::NewerVersion{-0.0}};
    DrevalinReadWarning dropped{DrevalinReadWarning::DroppedElements{0}};
    expectHashAgreesWithEquality(newer, newerNegZero, dropped);
    expectHashAgreesWithEquality(DrevalinReadWarning{DrevalinReadWarning::InvalidViewport{}},
                                 DrevalinReadWarning{DrevalinReadWarning::InvalidViewport{}},
                                 DrevalinReadWarning{DrevalinReadWarning::InvalidCloud{}});

    DrevalinReadResult result;
    result.document.viewport = Viewport{0.0, 0, 1};
    result.document.cloud = link;
    result.warnings = {newer};
    DrevalinReadResult resultNegZero = result;
    resultNegZero.document.viewport = Viewport{-0.0, 0, 1};
    resultNegZero.warnings = {newerNegZero};
    DrevalinReadResult resultNewer = result;
    resultNewer.isNewerVersion = true;
    expectHashAgreesWithEquality(result, resultNegZero, resultNewer);
    expectHashAgreesWithEquality(result.document, resultNegZero.document, DrevalinDocumentData{});
}

// The damaged-stream error has no payload: every one is equal to every other, and one key of a set.
TEST(RecordHash, ArchiveErrors) {
    const InflateError damaged, truncated;
    ASSERT_TRUE(damaged == truncated);
    EXPECT_EQ(std::hash<InflateError>{}(damaged), std::hash<InflateError>{}(truncated));
    EXPECT_EQ((std::unordered_set<InflateError>{damaged, truncated}.size()), 1u);
    expectHashAgreesWithEquality(ZipError("Not a ZIP archive"), ZipError("Not a ZIP archive"), ZipError("Encrypted entry: a"));
}

}  // namespace
}  // namespace dv
