#include "DVRender/Editor/GridPattern.hpp"

#include "DVModel/JSNumber.hpp"

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace dv {

namespace {

constexpr double millimetre = 3.7795275590551185;  // canvas units at 96 units per inch

// Lines or dots closer than this many device pixels cannot be told apart: they blend into one
// faint tone, and drawing them one by one would cost a line or dot for every pixel or more.
constexpr double MIN_DEVICE_SPACING = 2;

bool isPositive(double v) { return std::isfinite(v) && v > 0; }

// How many grid lines at `screenStep` apart can cross `extent` canvas units, plus one before and
// one after: a bound on every loop below, whatever the numbers (a step lost to rounding far from
// the origin never ends the loop otherwise).
double linesAcross(double extent, double screenStep, double devicePixels) {
    return std::fmin(std::ceil(extent / screenStep), std::ceil(devicePixels)) + 2;
}

// The share of the canvas covered by lines `width` wide, `spacing` apart on both axes.
double lineCoverage(double width, double spacing) {
    const double across = std::fmin(1.0, width / spacing);
    return across + across - across * across;
}

// The share of the canvas covered by dots of `radius` on a square lattice `spacing` apart, as
// they are drawn: squares 2 × radius wide, or discs, each cell holding a quarter of each
// corner's disc, less where neighbouring discs overlap, until the discs meet in the cell's middle.
double dotCoverage(double radius, double spacing, bool squares) {
    const double r = radius / spacing;
    if (squares) return std::fmin(1.0, 2 * r) * std::fmin(1.0, 2 * r);
    if (!(r < std::numbers::sqrt2 / 2)) return 1;
    double covered = std::numbers::pi * r * r;
    if (r > 0.5) {
        const double lens = 2 * r * r * std::acos(0.5 / r) - 0.5 * std::sqrt(4 * r * r - 1);
        covered -= 2 * lens;
    }
    return covered;
}

struct Layer {
    double spacing;
    double alpha;
    double width;
};

// The canvas in canvas units (device pixels over the pixel ratio) and the world edges it shows.
struct Canvas {
    const Viewport& viewport;
    double pixelWidth, pixelHeight, ratio;
    double W, H, left, top, right, bottom;

    Canvas(const Viewport& v, double pixelWidth, double pixelHeight, double ratio)
        : viewport(v), pixelWidth(pixelWidth), pixelHeight(pixelHeight), ratio(ratio), W(pixelWidth / ratio),
          H(pixelHeight / ratio), left(-v.offsetX / v.zoom), top(-v.offsetY / v.zoom), right((W - v.offsetX) / v.zoom),
          bottom((H - v.offsetY) / v.zoom) {}

    // Whether things `spacing` world units apart are far enough apart to draw one by one.
    bool distinct(double spacing) const { return viewport.zoom * spacing * ratio >= MIN_DEVICE_SPACING; }
};

class GridPainter {
public:
    GridPainter(DrawingContext& context, const Canvas& canvas, const RenderTheme& theme)
        : context_(context), canvas_(canvas) {
        ink_ = isLightColor(theme.canvasBackground).value_or(theme.isLight) ? "0,0,0" : "255,255,255";
    }

    std::string color(double alpha) const { return "rgba(" + ink_ + "," + jsNumberString(alpha) + ")"; }

    // Vertical and horizontal lines the layer's spacing apart over the whole canvas, one spacing past
    // its far edges (`pastEnd` also takes a line falling exactly there), in one stroke; lines too
    // close to tell apart as the wash they blend to.
    void lines(const Layer& layer, bool pastEnd) {
        const Viewport& v = canvas_.viewport;
        const double u = layer.spacing;
        if (!canvas_.distinct(u)) return wash(layer.alpha, lineCoverage(layer.width, v.zoom * u));
        context_.setStrokeStyle(color(layer.alpha));
        context_.setLineWidth(layer.width);
        context_.beginPath();
        auto within = [&](double at, double end) { return pastEnd ? at <= end + u : at < end + u; };
        double n = linesAcross(canvas_.W, v.zoom * u, canvas_.pixelWidth);
        for (double x = std::floor(canvas_.left / u) * u; within(x, canvas_.right) && n-- > 0; x += u) {
            const double sx = v.zoom * x + v.offsetX;
            context_.moveTo(sx, 0);
            context_.lineTo(sx, canvas_.H);
        }
        n = linesAcross(canvas_.H, v.zoom * u, canvas_.pixelHeight);
        for (double y = std::floor(canvas_.top / u) * u; within(y, canvas_.bottom) && n-- > 0; y += u) {
            const double sy = v.zoom * y + v.offsetY;
            context_.moveTo(0, sy);
            context_.lineTo(canvas_.W, sy);
        }
        context_.stroke();
    }

    // Dots `step` world units apart that stop before the far edges, in one call.
    void dots(double alpha, double radius, double step) {
        const Viewport& v = canvas_.viewport;
        if (!canvas_.distinct(step))
            return wash(alpha, dotCoverage(radius, v.zoom * step, radius * canvas_.ratio < SQUARE_DOT_DEVICE_RADIUS));
        if (faint(alpha, radius)) return;
        const std::vector<double> xs = positions(canvas_.left, canvas_.right, step, canvas_.W, canvas_.pixelWidth);
        const std::vector<double> ys = positions(canvas_.top, canvas_.bottom, step, canvas_.H, canvas_.pixelHeight);
        context_.setFillStyle(color(alpha));
        std::vector<Point> points;
        points.reserve(xs.size() * ys.size());
        for (double x : xs) {
            for (double y : ys) points.push_back({v.zoom * x + v.offsetX, v.zoom * y + v.offsetY});
        }
        context_.fillCircles(points, radius);
    }

private:
    // World positions from the step at or before `first` while before `end`.
    std::vector<double> positions(double first, double end, double step, double extent, double devicePixels) const {
        std::vector<double> at;
        double n = linesAcross(extent, canvas_.viewport.zoom * step, devicePixels);
        for (double p = std::floor(first / step) * step; p < end && n-- > 0; p += step) at.push_back(p);
        return at;
    }

    // Whether dots of `radius` in ink of `alpha` change no pixel by more than a level: squares
    // so small that the most a pixel holds of one (its whole square) lays under a level and a
    // half of ink, the coverage rounded up by a level. At ratio 0.1 a frame's dots 2 pixels
    // apart are 0.16 pixels wide, 67 million of them on 16384 x 16384 pixels, and took 20 s.
    bool faint(double alpha, double radius) const {
        const double side = 2 * radius * canvas_.ratio;
        if (!(radius * canvas_.ratio < SQUARE_DOT_DEVICE_RADIUS) || !(side < 1)) return false;
        const double ink = std::fmin(255, std::floor(alpha * 256));
        return ink * (side * side * 255 + 1) / 255 < 1.5;
    }

    // The whole canvas in the tone a layer too fine to resolve blends to, where its ink of
    // `alpha` covers the `coverage` share of it, at the nearest level a colour channel can hold
    // (a bitmap drops what is finer); nothing where that is no level. The bitmap holds the ink
    // itself in whole levels, its fraction dropped (an alpha of 0.12 lays 30 levels, not 30.6).
    void wash(double alpha, double coverage) {
        const double ink = std::fmin(255, std::floor(alpha * 256));
        const double levels = std::round(ink * coverage);
        if (!(levels >= 1)) return;
        context_.setFillStyle(color(levels / 255));
        context_.fillRect(0, 0, canvas_.W, canvas_.H);
    }

    DrawingContext& context_;
    const Canvas& canvas_;
    std::string ink_;
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

    context.save();
    context.resetTransform();
    context.scale(devicePixelRatio, devicePixelRatio);
    const Canvas canvas(viewport, canvasWidth, canvasHeight, devicePixelRatio);
    GridPainter painter(context, canvas, theme);

    if (gridType == GridPattern::mm) {
        const Layer layers[] = {{millimetre, 0.04, 0.4}, {millimetre * 5, 0.09, 0.5}, {millimetre * 10, 0.18, 0.7}};
        const bool shown[] = {millimetre * zoom >= 3, millimetre * 5 * zoom >= 2, true};
        for (int i = 0; i < 3; ++i) {
            if (shown[i]) painter.lines(layers[i], true);
        }
    } else {
        double step = gridSize;
        while (zoom * step < 8) step = step + step;
        if (gridType == GridPattern::line) painter.lines({step, 0.07, 0.5}, false);
        else painter.dots(0.12, jsMax({0.8, 0.6 * zoom}), step);
    }
    context.restore();
}

}  // namespace dv
