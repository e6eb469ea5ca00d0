#include "DVRender/Scene/ConnectorLabels.hpp"

#include "DVModel/JSNumber.hpp"
#include "DVModel/StencilRegistry.hpp"
#include "DVRender/Canvas/DrawingContext.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "DVModel/Hashing.hpp"
#include "DVRender/Scene/detail/Painting.hpp"

#include <bit>
#include <cstdint>

namespace dv {

namespace {

bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// The label of a connector that gets painted: it has a box, a non-empty label and is not the
// one being edited.
struct PlacedConnectorLabel {
    const Element* element;
    const std::string* label;
    LabelBox box;
};

template <class Visit>
void forEachPlacedLabel(const std::vector<Element>& elements, const ConnectorLabelBoxes& boxes,
                        const std::optional<std::string>& editingShapeLabelId, Visit&& visit) {
    if (boxes.empty()) return;
    for (const Element& element : elements) {
        const ConnectorFields* connector = element.payload.connector();
        if (!connector || !connector->label || connector->label->empty()) continue;
        if (editingShapeLabelId && jsStringEquals(*editingShapeLabelId, element.id)) continue;
        const std::optional<LabelBox> box = boxes[element.id];
        if (!box) continue;
        visit(PlacedConnectorLabel{&element, &*connector->label, *box});
    }
}

void paintLabel(DrawingContext& context, const ConnectorLabelItem::Key& key) {
    const LabelBox& b = key.box;
    context.save();
    context.setGlobalAlpha(key.opacity);
    context.setLineDash({});
    context.setFillStyle(key.canvasColor);
    context.fillRect(b.x - b.w / 2, b.y - b.h / 2, b.w, b.h);
    context.setFont(detail::fontText(key.fontSize, key.fontFamily));
    context.setFillStyle(key.color);
    context.setTextAlign("center");
    context.setTextBaseline("middle");
    // The layout sized the box for exactly these lines: no wrapping here.
    const std::vector<std::string_view> lines = detail::splitLines(key.label);
    const double lh = key.fontSize * 1.2;
    const double top = b.y - static_cast<double>(lines.size()) * lh * 0.5;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        context.fillText(lines[i], b.x, top + static_cast<double>(i) * lh + lh * 0.5);
    }
    context.restore();
}

ConnectorLabelItem::Key keyOf(const PlacedConnectorLabel& placed, const std::string& canvasColor,
                              const RenderTheme& theme) {
    ConnectorLabelStyle style = connectorLabelStyle(*placed.element, theme);
    return {placed.box,         *placed.label,           style.fontSize, std::move(style.fontFamily),
            std::move(style.color), placed.element->opacity, canvasColor};
}

}  // namespace

bool ConnectorLabelItem::Key::operator==(const Key& other) const {
    return sameBits(box.x, other.box.x) && sameBits(box.y, other.box.y) && sameBits(box.w, other.box.w) &&
           sameBits(box.h, other.box.h) && label == other.label && sameBits(fontSize, other.fontSize) &&
           fontFamily == other.fontFamily && color == other.color && sameBits(opacity, other.opacity) &&
           canvasColor == other.canvasColor;
}

ConnectorLabelItem::ConnectorLabelItem(std::string id, Key key, DisplayList displayList, NormalizedRect bounds)
    : id(std::move(id)), key(std::move(key)), displayList(std::move(displayList)), bounds(bounds) {
    drawnBounds = this->displayList.drawnBounds();
    drawnBounds.rect = drawnBounds.rect ? unionRect(*drawnBounds.rect, bounds) : bounds;
}

ConnectorLabelStyle connectorLabelStyle(const Element& connector, const RenderTheme& theme) {
    ConnectorLabelStyle style;
    const LabelFields* labels = connector.payload.labels();
    style.fontSize = LabelDefaults::defaultConnectorLabelFontSize;
    style.fontFamily = std::string(LabelDefaults::defaultLabelFontFamily);
    std::string color = connector.strokeColor.rawValue;
    if (labels) {
        if (labels->labelFontSize) style.fontSize = *labels->labelFontSize;
        if (labels->labelFontFamily) style.fontFamily = *labels->labelFontFamily;
        // A present colour wins even when empty.
        if (labels->labelColor) color = labels->labelColor->rawValue;
    }
    style.color = detail::paintColor(resolveStrokeColorForTheme(color, theme, std::nullopt));
    return style;
}

void drawConnectorLabels(DrawingContext& context, const std::vector<Element>& elements,
                         const std::string& canvasColor, const std::optional<std::string>& editingShapeLabelId,
                         const RenderEnvironment& environment) {
    const ElementIndex index(elements);
    drawConnectorLabels(context, index, ConnectorLabelLayout::once(index).boxes(), canvasColor, editingShapeLabelId,
                        environment);
}

void drawConnectorLabels(DrawingContext& context, const ElementIndex& index, const ConnectorLabelBoxes& boxes,
                         const std::string& canvasColor, const std::optional<std::string>& editingShapeLabelId,
                         const RenderEnvironment& environment) {
    forEachPlacedLabel(index.elements(), boxes, editingShapeLabelId, [&](const PlacedConnectorLabel& placed) {
        paintLabel(context, keyOf(placed, canvasColor, environment.theme));
    });
}

std::vector<ConnectorLabelItem> connectorLabelItems(const std::vector<Element>& elements,
                                                    const std::string& canvasColor,
                                                    const std::optional<std::string>& editingShapeLabelId,
                                                    const RenderEnvironment& environment) {
    const ElementIndex index(elements);
    return connectorLabelItems(elements, ConnectorLabelLayout::once(index).boxes(), canvasColor, editingShapeLabelId,
                               environment, {});
}

std::vector<ConnectorLabelItem> connectorLabelItems(
    const std::vector<Element>& elements, const ConnectorLabelBoxes& boxes, const std::string& canvasColor,
    const std::optional<std::string>& editingShapeLabelId, const RenderEnvironment& environment,
    const std::unordered_map<JSStringKey, ConnectorLabelItem>& reusing) {
    std::vector<ConnectorLabelItem> items;
    forEachPlacedLabel(elements, boxes, editingShapeLabelId, [&](const PlacedConnectorLabel& placed) {
        ConnectorLabelItem::Key key = keyOf(placed, canvasColor, environment.theme);
        if (auto it = reusing.find(JSStringKey(placed.element->id)); it != reusing.end() && it->second.key == key) {
            items.push_back(it->second);
            return;
        }
        RecordingContext recorder;
        paintLabel(recorder, key);
        const LabelBox& b = key.box;
        const double m = jsMax(2.0, key.fontSize * 0.25);
        const NormalizedRect bounds{b.x - b.w / 2 - m, b.y - b.h / 2 - m, b.w + 2 * m, b.h + 2 * m};
        items.emplace_back(placed.element->id, std::move(key), recorder.displayList(), bounds);
    });
    return items;
}

}  // namespace dv

std::size_t std::hash<dv::ConnectorLabelItem::Key>::operator()(const dv::ConnectorLabelItem::Key& key) const noexcept {
    // Label texts come from files: keyed hashing keeps hostile texts from colliding on purpose.
    dv::Hasher hasher;
    for (double v : {key.box.x, key.box.y, key.box.w, key.box.h}) hasher.writeDouble(v);
    hasher.write(key.label);
    hasher.writeByte(0);
    hasher.writeDouble(key.fontSize);
    hasher.write(key.fontFamily);
    hasher.writeByte(0);
    hasher.write(key.color);
    hasher.writeByte(0);
    hasher.writeDouble(key.opacity);
    hasher.write(key.canvasColor);
    return static_cast<std::size_t>(hasher.finish());
}
