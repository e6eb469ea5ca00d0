#pragma once
// What the painters of the element kinds share: the per-element quantities drawElement derives
// once, the hand-drawn stroke helpers, and the kind painters themselves.

#include "DVText/TextMetrics.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/ShapeDefinition.hpp"
#include "DVModel/SmallRecords.hpp"
#include "DVRender/Scene/RenderTheme.hpp"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace dv {

class DrawingContext;
class ElementIndex;

namespace detail {

// 2π as the canvas code writes it.
inline constexpr double fullTurn = 6.283185307179586;

// Everything a kind painter receives besides the context.
struct PaintJob {
    const Element& element;
    const ElementIndex* index;
    const RenderEnvironment& environment;
    std::string strokeColor;  // themed, as set as the stroke style
    double seed;              // hashId of the element's id
    bool labelEditing;        // this element's label is being edited: leave it out
    bool plain;               // roughness below 0.05: no hand-drawn wobble
};

// A colour of exactly "none" means no paint; the canvas would ignore the word and keep painting
// with the previous colour, so it is handed over as fully transparent instead.
std::string paintColor(std::string_view color);

// The jitter phases of a seed: x (and one-dimensional offsets) and y.
inline double jitterPhase(double seed) { return seed * 0.001; }
inline double jitterPhaseY(double seed) { return (seed + 99) * 0.001; }

// Shape commands onto the current path, offset by (dx, dy); no beginPath.
void addShapeCommands(DrawingContext& context, const std::vector<ShapeCommand>& commands, double dx,
                      double dy);
// A wobbly closed outline through four corners, stroked.
void strokeRoughQuad(DrawingContext& context, const std::array<Point, 4>& corners, double seed,
                     double amplitude);
// A wobbly version of shape commands onto the current path; neither begins nor strokes.
void addRoughShapeCommands(DrawingContext& context, const std::vector<ShapeCommand>& commands, double dx,
                           double dy, double seed, double amplitude);
// Begins a path holding a wobbly straight segment; false (and no call made) for a segment
// shorter than 1, which is not drawn at all. The caller strokes.
bool addRoughSegment(DrawingContext& context, Point from, Point to, double seed, double roughness,
                     double extraPhase);

// Kind painters.
void paintRectangle(DrawingContext& context, const PaintJob& job, const Element::Box& box);
void paintEllipse(DrawingContext& context, const PaintJob& job, const Element::Box& box);
void paintRhombus(DrawingContext& context, const PaintJob& job, const Element::Box& box);
void paintShape(DrawingContext& context, const PaintJob& job, const Element::Shape& shape);
void paintStencil(DrawingContext& context, const PaintJob& job, const Element::Stencil& stencil);
void paintConnector(DrawingContext& context, const PaintJob& job);
void paintCurve(DrawingContext& context, const PaintJob& job, const Element::Curve& curve);
void paintPolygon(DrawingContext& context, const PaintJob& job, const Element::Polygon& polygon);
void paintFreehand(DrawingContext& context, const PaintJob& job, const Element::Freehand& freehand);
void paintText(DrawingContext& context, const PaintJob& job, const Element::Text& text);
void paintImage(DrawingContext& context, const PaintJob& job, const Element::Image& image);

// The image element's rule for a looked-up source on a box: stretched when loaded, else the
// error or loading placeholder.
void paintImageLookup(DrawingContext& context, ImageProvider* images, const std::string& src,
                      double x, double y, double width, double height);
void paintImageLoading(DrawingContext& context, double x, double y, double width, double height);
void paintImageError(DrawingContext& context, double x, double y, double width, double height);

using dv::splitLines;
// fs + "px " + family, the canvas font text of labels and text.
std::string fontText(double fontSize, std::string_view family);

}  // namespace detail
}  // namespace dv
