#pragma once
// The drawing context that draws nothing: it records every call as a DisplayOp while
// keeping the canvas state exactly as a painting context would, so painting code can read
// the state back.

#include <vector>

#include "DVRender/Canvas/DisplayList.hpp"
#include "DVRender/Canvas/DrawingContext.hpp"
#include "DVRender/Canvas/PathBuilder.hpp"

namespace dv {

class RecordingContext final : public DrawingContext {
public:
    RecordingContext() = default;

    // The ops recorded so far (recording may go on).
    DisplayList displayList() const { return DisplayList(ops_); }

    using DrawingContext::arc;
    using DrawingContext::clip;
    using DrawingContext::ellipse;
    using DrawingContext::fill;

    const CanvasState& state() const override { return tracker_.state; }
    void setProperty(const CanvasProperty& property) override;
    void save() override;
    void restore() override;
    void translate(double tx, double ty) override;
    void rotate(double angle) override;
    void scale(double sx, double sy) override;
    void setTransform(double a, double b, double c, double d, double e, double f) override;
    void resetTransform() override;
    void setLineDash(const std::vector<double>& segments) override;
    void beginPath() override;
    void closePath() override;
    void moveTo(double x, double y) override;
    void lineTo(double x, double y) override;
    void quadraticCurveTo(double cpx, double cpy, double x, double y) override;
    void bezierCurveTo(double cp1x, double cp1y, double cp2x, double cp2y, double x, double y) override;
    void arc(double x, double y, double radius, double startAngle, double endAngle,
             bool anticlockwise) override;
    void ellipse(double x, double y, double radiusX, double radiusY, double rotation,
                 double startAngle, double endAngle, bool anticlockwise) override;
    void arcTo(double x1, double y1, double x2, double y2, double radius) override;
    void roundRect(double x, double y, double width, double height, double radius) override;
    void rect(double x, double y, double width, double height) override;
    void clip(FillRule rule) override;
    void fill(FillRule rule) override;
    void stroke() override;
    void fillRect(double x, double y, double width, double height) override;
    void strokeRect(double x, double y, double width, double height) override;
    void fillText(std::string_view text, double x, double y) override;
    void drawImage(const std::shared_ptr<RenderImage>& image, double x, double y, double width,
                   double height) override;
    void fillCircles(const std::vector<Point>& centres, double radius) override;

private:
    // Records the op first, then lets it change the state, so that a refused change is
    // still on the list.
    void record(DisplayOp op);
    // The emit action of the path builder.
    auto pathSink() {
        return [this](const PathOp& op) { ops_.emplace_back(DisplayOp::Path{op}); };
    }

    detail::StateTracker tracker_;   // the state and its save stack
    PathBuilder path_;
    std::vector<DisplayOp> ops_;
};

} // namespace dv
