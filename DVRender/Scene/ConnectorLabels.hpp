#pragma once
// Labels of lines and arrows, painted after every element on a patch of canvas colour, inside the
// boxes the scene's connector-label layout placed. Exports paint them straight onto a context;
// the render cache keeps one recording per label and reuses it while its key is unchanged.

#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/JSStringKey.hpp"
#include "DVRender/Canvas/DisplayList.hpp"
#include "DVRender/Canvas/DrawnBounds.hpp"
#include "DVRender/Scene/RenderTheme.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace dv {

class DrawingContext;

struct ConnectorLabelItem {
    // Everything the recording of one label depends on.
    struct Key {
        LabelBox box;  // x and y are the centre
        std::string label;
        double fontSize = 0;
        std::string fontFamily;
        std::string color;
        double opacity = 0;
        std::string canvasColor;

        // Numbers bit for bit, texts by code units.
        bool operator==(const Key& other) const;
    };

    std::string id;
    Key key;
    DisplayList displayList;
    NormalizedRect bounds;     // the label box grown by a margin, for culling
    DrawnBounds drawnBounds;   // what the recording may touch, including `bounds`

    ConnectorLabelItem(std::string id, Key key, DisplayList displayList, NormalizedRect bounds);
};

struct ConnectorLabelStyle {
    double fontSize = 0;
    std::string fontFamily;
    std::string color;
};

// Size 12 and the default family unless the connector names its own; the label colour (or the
// connector's stroke colour) with the theme's ink swap.
ConnectorLabelStyle connectorLabelStyle(const Element& connector, const RenderTheme& theme);

// Lays the labels of `elements` out and paints them.
void drawConnectorLabels(DrawingContext& context, const std::vector<Element>& elements,
                         const std::string& canvasColor, const std::optional<std::string>& editingShapeLabelId,
                         const RenderEnvironment& environment);
// Paints with a layout already made for the same scene, so a caller that also needs the boxes
// for its bounds lays the labels out only once.
void drawConnectorLabels(DrawingContext& context, const ElementIndex& index, const ConnectorLabelBoxes& boxes,
                         const std::string& canvasColor, const std::optional<std::string>& editingShapeLabelId,
                         const RenderEnvironment& environment);

// One recorded item per painted label, in element order; nothing is reused.
std::vector<ConnectorLabelItem> connectorLabelItems(const std::vector<Element>& elements,
                                                    const std::string& canvasColor,
                                                    const std::optional<std::string>& editingShapeLabelId,
                                                    const RenderEnvironment& environment);
// The same with precomputed boxes; an item of `reusing` whose key is unchanged is taken as it is.
std::vector<ConnectorLabelItem> connectorLabelItems(
    const std::vector<Element>& elements, const ConnectorLabelBoxes& boxes, const std::string& canvasColor,
    const std::optional<std::string>& editingShapeLabelId, const RenderEnvironment& environment,
    const std::unordered_map<JSStringKey, ConnectorLabelItem>& reusing);

}  // namespace dv

template <>
struct std::hash<dv::ConnectorLabelItem::Key> {
    std::size_t operator()(const dv::ConnectorLabelItem::Key& key) const noexcept;
};
