#pragma once
// The drawing context that paints straight into a bitmap through the platform's graphics
// context. The canvas state is the single source of truth; the graphics context only sees
// what a paint operation needs, when it needs it: colours are parsed once when set, the
// transform reaches it as a difference, stroke style and shadow just before each paint.
//
// Device space is y-down, as the bitmap is stored: user space needs no flip, text and images
// are drawn upright as they are, and a positive shadowOffsetY moves a shadow down.

#include "DVRender/Canvas/CanvasFont.hpp"
#include "DVRender/Canvas/CanvasState.hpp"
#include "DVRender/Canvas/DrawingContext.hpp"
#include "DVRender/Canvas/LevelOfDetail.hpp"
#include "DVRender/Canvas/PathBuilder.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace dv {

namespace gfx {
class Font;
}

class CGDrawingContext final : public DrawingContext {
public:
    static constexpr std::int64_t defaultMaxImagePixelSide = 8192;

    explicit CGDrawingContext(std::shared_ptr<gfx::GraphicsContext> context);

    const std::shared_ptr<gfx::GraphicsContext>& cgContext() const { return context_; }
    LevelOfDetail levelOfDetail() const { return levelOfDetail_; }
    void setLevelOfDetail(LevelOfDetail level) { levelOfDetail_ = level; }
    std::int64_t maxImagePixelSide() const { return maxImagePixelSide_; }
    void setMaxImagePixelSide(std::int64_t side) { maxImagePixelSide_ = side; }

    /// The sRGB colour of a CSS colour text; nothing when it does not parse.
    static std::optional<gfx::Color> color(std::string_view css);

    using DrawingContext::arc;
    using DrawingContext::clip;
    using DrawingContext::ellipse;
    using DrawingContext::fill;

    const CanvasState& state() const override { return state_; }
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
    void arc(double x, double y, double radius, double startAngle, double endAngle, bool anticlockwise) override;
    void ellipse(double x, double y, double radiusX, double radiusY, double rotation, double startAngle,
                 double endAngle, bool anticlockwise) override;
    void arcTo(double x1, double y1, double x2, double y2, double radius) override;
    void roundRect(double x, double y, double width, double height, double radius) override;
    void rect(double x, double y, double width, double height) override;
    void clip(FillRule rule) override;
    void fill(FillRule rule) override;
    void stroke() override;
    void fillRect(double x, double y, double width, double height) override;
    void strokeRect(double x, double y, double width, double height) override;
    void fillText(std::string_view text, double x, double y) override;
    LineRange textLinesShown(double y0, double step, double strokeReach) override;
    void drawImage(const std::shared_ptr<RenderImage>& image, double x, double y, double width,
                   double height) override;
    void fillCircles(const std::vector<Point>& centres, double radius) override;

    // Text helpers, exposed for tests.
    /// Tabs, line feeds, form feeds and carriage returns become spaces.
    static std::string prepareCanvasText(std::string_view text);
    /// Whether a text may be shaped piecewise at its spaces without changing its look.
    static bool canSplitAtSpaces(std::string_view text);
    struct TextRunLayout {
        std::vector<std::string> runs;
        std::vector<double> offsets;
        double width = 0;
    };
    /// The runs a prepared text is drawn as, with their offsets along the baseline.
    static TextRunLayout textRunLayout(const gfx::Font& font, std::string_view prepared);

private:
    struct Paint {
        gfx::Color fill;
        gfx::Color stroke;
        gfx::Color shadow;
    };

    void syncTransform();
    void emit(const PathOp& op);
    auto emitter() {
        return [this](const PathOp& op) { emit(op); };
    }
    void applyStrokeStyle();
    void applyShadow();
    void applyFill();
    /// Nothing draws while the canvas transform is singular, or so nearly so that the device
    /// could not take it on.
    bool isSingular() const { return !state_.transform.isInvertible() || !(state_.transform == applied_); }
    void fillTextBar(std::string_view text, const CanvasFont& font, double x, double y);

    std::shared_ptr<gfx::GraphicsContext> context_;
    CanvasState state_;
    Paint paint_;
    std::vector<std::tuple<CanvasState, Paint, CanvasMatrix>> stack_;
    CanvasMatrix applied_;                // the canvas transform the device holds
    gfx::AffineTransform base_;           // the device transform under the canvas one
    PathBuilder path_;
    LevelOfDetail levelOfDetail_ = LevelOfDetail::full();
    std::int64_t maxImagePixelSide_ = defaultMaxImagePixelSide;
};

} // namespace dv
