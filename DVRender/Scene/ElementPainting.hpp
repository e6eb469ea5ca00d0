#pragma once
// Painting of one board element onto any drawing context, in the deterministic hand-drawn style:
// the style every kind shares (opacity, themed colours, width, caps, joins, dashes, shadow,
// rotation), then the painter of the element's kind. Never fails, never throws.

#include "DVRender/Scene/RenderTheme.hpp"

#include <optional>
#include <string>

namespace dv {

class DrawingContext;
class ElementIndex;
struct Element;

// `index` resolves connectors bound to other elements (nullptr: their stored ends are used);
// the label of the element whose id is `editingShapeLabelId` is left out.
void drawElement(DrawingContext& context, const Element& element, const ElementIndex* index,
                 const std::optional<std::string>& editingShapeLabelId,
                 const RenderEnvironment& environment);

}  // namespace dv
