#pragma once
// An editor's interaction feedback drawn over the rendered board: ports, the snap ring, the
// selection with its handles, hover, marquee, alignment guides, the text drop preview, the tool
// preview and a curve's control polygon. Each draws onto any drawing context and leaves its state
// as it found it.

#include "DVGeometry/AlignGuides.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/SmallRecords.hpp"
#include "DVModel/Viewport.hpp"
#include "DVRender/Canvas/DrawingContext.hpp"
#include "DVRender/Scene/RenderTheme.hpp"

#include <optional>
#include <vector>

namespace dv {

/// The element's connection ports as rings in screen points; the one at `activeAnchor` filled.
/// An element without ports draws nothing at all.
void drawPortIndicators(DrawingContext& context, const Element& element, const Viewport& viewport,
                        const std::optional<ConnectorAnchor>& activeAnchor, const RenderTheme& theme,
                        double devicePixelRatio);

/// The dashed ring around the point a connector end would snap to (world coordinates).
void drawSnapIndicator(DrawingContext& context, double worldX, double worldY, const Viewport& viewport,
                       const RenderTheme& theme, double devicePixelRatio);

/// The selection box, its resize and rotation handles, member outlines of a multi-selection and
/// the grips of a single selected connector. Nothing for an empty selection.
void drawSelection(DrawingContext& context, const std::vector<Element>& selected, const Viewport& viewport,
                   const ElementIndex* index, const RenderTheme& theme, double devicePixelRatio);

/// The outline of the element under the pointer.
void drawHoverHighlight(DrawingContext& context, const Element& element, const Viewport& viewport,
                        const ElementIndex* index, double devicePixelRatio);

/// The rubber band between two screen points, the same in either drag direction.
void drawMarquee(DrawingContext& context, double x1, double y1, double x2, double y2, double devicePixelRatio);

/// Alignment guides across the whole canvas (its size in device pixels).
void drawAlignGuides(DrawingContext& context, const std::vector<AlignGuide>& guides, const Viewport& viewport,
                     double canvasWidth, double canvasHeight, double devicePixelRatio);

/// Where a dragged text block would land (world box); its border stays 1.5 screen points wide.
void drawTextDragPreview(DrawingContext& context, double x, double y, double width, double height,
                         const Viewport& viewport, double devicePixelRatio);

/// The elements a tool is about to create, painted in world coordinates.
void drawToolPreview(DrawingContext& context, const std::vector<Element>& elements, const ElementIndex& index,
                     const Viewport& viewport, const RenderEnvironment& environment, double devicePixelRatio);

/// The control polygon and control handle of a curve; nothing for other kinds.
void drawCurveControlPoint(DrawingContext& context, const Element& element, const Viewport& viewport,
                           double devicePixelRatio);

}  // namespace dv
