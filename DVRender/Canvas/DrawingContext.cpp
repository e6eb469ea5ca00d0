#include "DVRender/Canvas/DrawingContext.hpp"

#include "DVRender/Canvas/CanvasFont.hpp"
#include "DVText/TextMetrics.hpp"

namespace dv {

double DrawingContext::measureText(std::string_view text) const {
    std::optional<CanvasFont> font = CanvasFont::parse(state().font);
    if (!font) return 0;
    return measureTextWidth(text, font->size, font->family, font->bold);
}

DrawingContext::LineRange DrawingContext::textLinesShown(double, double, double) { return {}; }

} // namespace dv
