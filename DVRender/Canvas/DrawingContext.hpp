#pragma once
// The one canvas-style interface every picture is painted through. Implementations keep a
// CanvasState with a save stack, a current path built through a PathBuilder, and carry out
// the painting operations; painting code never knows which back end receives the calls.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DVModel/SmallRecords.hpp"
#include "DVRender/Canvas/CanvasState.hpp"

namespace dv {

/// See DrawingContext::fillCircles.
inline constexpr double SQUARE_DOT_DEVICE_RADIUS = 1.5;


class RenderImage;

class DrawingContext {
public:
    virtual ~DrawingContext() = default;
    DrawingContext(const DrawingContext&) = delete;
    DrawingContext& operator=(const DrawingContext&) = delete;

    // The 29 operations, in the order of the interface's table.
    virtual const CanvasState& state() const = 0;
    virtual void setProperty(const CanvasProperty& property) = 0;
    virtual void save() = 0;
    virtual void restore() = 0;
    virtual void translate(double tx, double ty) = 0;
    virtual void rotate(double angle) = 0;
    virtual void scale(double sx, double sy) = 0;
    virtual void setTransform(double a, double b, double c, double d, double e, double f) = 0;
    virtual void resetTransform() = 0;
    virtual void setLineDash(const std::vector<double>& segments) = 0;
    virtual void beginPath() = 0;
    virtual void closePath() = 0;
    virtual void moveTo(double x, double y) = 0;
    virtual void lineTo(double x, double y) = 0;
    virtual void quadraticCurveTo(double cpx, double cpy, double x, double y) = 0;
    virtual void bezierCurveTo(double cp1x, double cp1y, double cp2x, double cp2y, double x,
                               double y) = 0;
    virtual void arc(double x, double y, double radius, double startAngle, double endAngle,
                     bool anticlockwise) = 0;
    virtual void ellipse(double x, double y, double radiusX, double radiusY, double rotation,
                         double startAngle, double endAngle, bool anticlockwise) = 0;
    virtual void arcTo(double x1, double y1, double x2, double y2, double radius) = 0;
    virtual void roundRect(double x, double y, double width, double height, double radius) = 0;
    virtual void rect(double x, double y, double width, double height) = 0;
    virtual void clip(FillRule rule) = 0;
    virtual void fill(FillRule rule) = 0;
    virtual void stroke() = 0;
    virtual void fillRect(double x, double y, double width, double height) = 0;
    virtual void strokeRect(double x, double y, double width, double height) = 0;
    virtual void fillText(std::string_view text, double x, double y) = 0;
    virtual void drawImage(const std::shared_ptr<RenderImage>& image, double x, double y,
                           double width, double height) = 0;
    /// Dots of `radius`; one whose radius in device pixels is below SQUARE_DOT_DEVICE_RADIUS is
    /// filled as the square around its disc (too small for the difference to show).
    virtual void fillCircles(const std::vector<Point>& centres, double radius) = 0;

    // Non-virtual conveniences built on the operations above. Implementations that override
    // fill, clip, arc or ellipse bring these back into scope with a using-declaration.
    void fill() { fill(FillRule::nonzero); }
    void clip() { clip(FillRule::nonzero); }
    void arc(double x, double y, double radius, double startAngle, double endAngle) {
        arc(x, y, radius, startAngle, endAngle, false);
    }
    void ellipse(double x, double y, double radiusX, double radiusY, double rotation,
                 double startAngle, double endAngle) {
        ellipse(x, y, radiusX, radiusY, rotation, startAngle, endAngle, false);
    }

    // Lines of text in the current font, fill and shadow at y0 + i * step (i = 0, 1, ...;
    // step > 0; y as fillText takes it), each with strokes of its own (underlines) that keep
    // within `strokeReach` user units of that y: the lines [first, end) are those that can
    // change a pixel. A context that cannot tell (or input it cannot take) gives every line;
    // the lines left out never show.
    struct LineRange {
        std::size_t first = 0;
        std::size_t end = SIZE_MAX;
        bool operator==(const LineRange&) const = default;
    };
    virtual LineRange textLinesShown(double y0, double step, double strokeReach);

    // The advance width of `text` in the current font by the static width tables; 0 when
    // the font text does not parse. Italic, alignment and the transform play no part.
    double measureText(std::string_view text) const;

    // The thirteen properties. A setter goes through setProperty, so a value the state
    // refuses is ignored and the getter keeps returning the old one.
    std::string fillStyle() const { return state().fillStyle; }
    std::string strokeStyle() const { return state().strokeStyle; }
    double lineWidth() const { return state().lineWidth; }
    double globalAlpha() const { return state().globalAlpha; }
    std::string lineCap() const { return state().lineCap; }
    std::string lineJoin() const { return state().lineJoin; }
    double shadowBlur() const { return state().shadowBlur; }
    std::string shadowColor() const { return state().shadowColor; }
    double shadowOffsetX() const { return state().shadowOffsetX; }
    double shadowOffsetY() const { return state().shadowOffsetY; }
    std::string font() const { return state().font; }
    std::string textAlign() const { return state().textAlign; }
    std::string textBaseline() const { return state().textBaseline; }

    void setFillStyle(std::string value) { setProperty(CanvasProperty::fillStyle(std::move(value))); }
    void setStrokeStyle(std::string value) { setProperty(CanvasProperty::strokeStyle(std::move(value))); }
    void setLineWidth(double value) { setProperty(CanvasProperty::lineWidth(value)); }
    void setGlobalAlpha(double value) { setProperty(CanvasProperty::globalAlpha(value)); }
    void setLineCap(std::string value) { setProperty(CanvasProperty::lineCap(std::move(value))); }
    void setLineJoin(std::string value) { setProperty(CanvasProperty::lineJoin(std::move(value))); }
    void setShadowBlur(double value) { setProperty(CanvasProperty::shadowBlur(value)); }
    void setShadowColor(std::string value) { setProperty(CanvasProperty::shadowColor(std::move(value))); }
    void setShadowOffsetX(double value) { setProperty(CanvasProperty::shadowOffsetX(value)); }
    void setShadowOffsetY(double value) { setProperty(CanvasProperty::shadowOffsetY(value)); }
    void setFont(std::string value) { setProperty(CanvasProperty::font(std::move(value))); }
    void setTextAlign(std::string value) { setProperty(CanvasProperty::textAlign(std::move(value))); }
    void setTextBaseline(std::string value) { setProperty(CanvasProperty::textBaseline(std::move(value))); }

protected:
    DrawingContext() = default;
};

} // namespace dv
