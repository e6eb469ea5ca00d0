#include "DVRender/Canvas/RecordingContext.hpp"

#include <cmath>

namespace dv {

void RecordingContext::record(DisplayOp op) {
    ops_.push_back(std::move(op));
    tracker_.step(ops_.back());
}

void RecordingContext::setProperty(const CanvasProperty& property) { record(DisplayOp::Property{property}); }
void RecordingContext::save() { record(DisplayOp::Save{}); }
void RecordingContext::restore() { record(DisplayOp::Restore{}); }
void RecordingContext::translate(double tx, double ty) { record(DisplayOp::Translate{tx, ty}); }
void RecordingContext::rotate(double angle) { record(DisplayOp::Rotate{angle}); }
void RecordingContext::scale(double sx, double sy) { record(DisplayOp::Scale{sx, sy}); }

void RecordingContext::setTransform(double a, double b, double c, double d, double e, double f) {
    record(DisplayOp::SetTransform{{a, b, c, d, e, f}});
}

void RecordingContext::resetTransform() { record(DisplayOp::ResetTransform{}); }
void RecordingContext::setLineDash(const std::vector<double>& segments) { record(DisplayOp::SetLineDash{segments}); }

void RecordingContext::beginPath() { path_.beginPath(pathSink()); }
void RecordingContext::closePath() { path_.closePath(pathSink()); }
void RecordingContext::moveTo(double x, double y) { path_.moveTo(x, y, pathSink()); }
void RecordingContext::lineTo(double x, double y) { path_.lineTo(x, y, pathSink()); }

void RecordingContext::quadraticCurveTo(double cpx, double cpy, double x, double y) {
    path_.quadraticCurveTo(cpx, cpy, x, y, pathSink());
}

void RecordingContext::bezierCurveTo(double cp1x, double cp1y, double cp2x, double cp2y, double x,
                                     double y) {
    path_.bezierCurveTo(cp1x, cp1y, cp2x, cp2y, x, y, pathSink());
}

void RecordingContext::arc(double x, double y, double radius, double startAngle, double endAngle,
                           bool anticlockwise) {
    path_.arc(x, y, radius, startAngle, endAngle, anticlockwise, pathSink());
}

void RecordingContext::ellipse(double x, double y, double radiusX, double radiusY, double rotation,
                               double startAngle, double endAngle, bool anticlockwise) {
    path_.ellipse(x, y, radiusX, radiusY, rotation, startAngle, endAngle, anticlockwise, pathSink());
}

void RecordingContext::arcTo(double x1, double y1, double x2, double y2, double radius) {
    path_.arcTo(x1, y1, x2, y2, radius, pathSink());
}

void RecordingContext::roundRect(double x, double y, double width, double height, double radius) {
    path_.roundRect(x, y, width, height, radius, pathSink());
}

void RecordingContext::rect(double x, double y, double width, double height) {
    path_.rect(x, y, width, height, pathSink());
}

void RecordingContext::clip(FillRule rule) { record(DisplayOp::Clip{rule}); }
void RecordingContext::fill(FillRule rule) { record(DisplayOp::Fill{rule}); }
void RecordingContext::stroke() { record(DisplayOp::Stroke{}); }

void RecordingContext::fillRect(double x, double y, double width, double height) {
    record(DisplayOp::FillRect{x, y, width, height});
}

void RecordingContext::strokeRect(double x, double y, double width, double height) {
    record(DisplayOp::StrokeRect{x, y, width, height});
}

void RecordingContext::fillText(std::string_view text, double x, double y) {
    record(DisplayOp::FillText{std::string(text), x, y});
}

void RecordingContext::drawImage(const std::shared_ptr<RenderImage>& image, double x, double y,
                                 double width, double height) {
    // A missing image is unusable and draws nothing anywhere; it has no source to record.
    if (!image) return;
    record(DisplayOp::DrawImage{image, x, y, width, height});
}

void RecordingContext::fillCircles(const std::vector<Point>& centres, double radius) {
    record(DisplayOp::FillCircles{centres, radius});
    // As though each circle had been added as a full arc starting at angle 0.
    path_.current.reset();
    path_.subpathStart.reset();
    if (centres.empty()) return;
    Point end{centres.back().x + radius, centres.back().y};
    if (std::isfinite(end.x) && std::isfinite(end.y)) {
        path_.current = end;
        path_.subpathStart = end;
    }
}

} // namespace dv
