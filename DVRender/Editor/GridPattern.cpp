#include "DVRender/Editor/GridPattern.hpp"

#include "DVModel/JSNumber.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace dv {

namespace {

constexpr double millimetre = 3.7795275590551185;  // canvas units at 96 units per inch

bool isPositive(double v) { return std::isfinite(v) && v > 0; }

// How many grid lines at `screenStep` apart can cross `extent` canvas units, plus one before and
// one after: a bound on every loop below, whatever the numbers. Lines closer than a device pixel
// cannot be told apart, so there are never more than the canvas has pixels across.
double linesAcross(double extent, double screenStep, double devicePixels) {
    return std::fmin(std::ceil(extent / screenStep), std::ceil(devicePixels)) + 2;
}

struct Layer {
    double spacing;
    const char* alpha;
    double width;
};

}  // namespace

void drawGrid(DrawingContext& context, const Viewport& viewport, double gridSize, GridPattern gridType,
              double canvasWidth, double canvasHeight, double devicePixelRatio, const RenderTheme& theme) {
    const double zoom = viewport.zoom;
    // A step that is zero, negative or not a number would double forever; a canvas without a
    // finite size has no lines to count.
    if (!isPositive(zoom) || !isPositive(devicePixelRatio) || !std::isfinite(canvasWidth) ||
        !std::isfinite(canvasHeight) || canvasWidth < 0 || canvasHeight < 0) {
        return;
    }
    if (gridType != GridPattern::mm && !isPositive(gridSize)) return;

    const bool light = isLightColor(theme.canvasBackground).value_or(theme.isLight);
    const std::string ink = light ? "0,0,0" : "255,255,255";
    auto color = [&](const char* alpha) { return "rgba(" + ink + alpha; };

    context.save();
    context.resetTransform();
    context.scale(devicePixelRatio, devicePixelRatio);
    const double W = canvasWidth / devicePixelRatio, H = canvasHeight / devicePixelRatio;
    const double left = -viewport.offsetX / zoom, top = -viewport.offsetY / zoom;
    const double right = (W - viewport.offsetX) / zoom, bottom = (H - viewport.offsetY) / zoom;

    if (gridType == GridPattern::mm) {
        const Layer layers[] = {{millimetre, ",0.04)", 0.4}, {millimetre * 5, ",0.09)", 0.5}, {millimetre * 10, ",0.18)", 0.7}};
        const bool shown[] = {millimetre * zoom >= 3, millimetre * 5 * zoom >= 2, true};
        for (int i = 0; i < 3; ++i) {
            if (!shown[i]) continue;
            const double u = layers[i].spacing;
            context.setStrokeStyle(color(layers[i].alpha));
            context.setLineWidth(layers[i].width);
            context.beginPath();
            double n = linesAcross(W, zoom * u, canvasWidth);
            for (double x = std::floor(left / u) * u; x <= right + u && n-- > 0; x += u) {
                const double sx = zoom * x + viewport.offsetX;
                context.moveTo(sx, 0);
                context.lineTo(sx, H);
            }
            n = linesAcross(H, zoom * u, canvasHeight);
            for (double y = std::floor(top / u) * u; y <= bottom + u && n-- > 0; y += u) {
                const double sy = zoom * y + viewport.offsetY;
                context.moveTo(0, sy);
                context.lineTo(W, sy);
            }
            context.stroke();
        }
        context.restore();
        return;
    }

    double step = gridSize;
    while (zoom * step < 8) step = step + step;
    const double firstX = std::floor(left / step) * step, firstY = std::floor(top / step) * step;
    const double columns = linesAcross(W, zoom * step, canvasWidth), rows = linesAcross(H, zoom * step, canvasHeight);
    if (gridType == GridPattern::line) {
        context.setStrokeStyle(color(",0.07)"));
        context.setLineWidth(0.5);
        context.beginPath();
        double n = columns;
        for (double x = firstX; x < right + step && n-- > 0; x += step) {
            const double sx = zoom * x + viewport.offsetX;
            context.moveTo(sx, 0);
            context.lineTo(sx, H);
        }
        n = rows;
        for (double y = firstY; y < bottom + step && n-- > 0; y += step) {
            const double sy = zoom * y + viewport.offsetY;
            context.moveTo(0, sy);
            context.lineTo(W, sy);
        }
        context.stroke();
    } else {
        context.setFillStyle(color(",0.12)"));
        const double radius = jsMax({0.8, 0.6 * zoom});
        std::vector<Point> points;
        double nx = columns;
        for (double x = firstX; x < right && nx-- > 0; x += step) {
            double ny = rows;
            for (double y = firstY; y < bottom && ny-- > 0; y += step) {
                points.push_back({zoom * x + viewport.offsetX, zoom * y + viewport.offsetY});
            }
        }
        context.fillCircles(points, radius);
    }
    context.restore();
}

}  // namespace dv
