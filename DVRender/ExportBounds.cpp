#include "DVRender/ExportBounds.hpp"

#include "DVModel/Hashing.hpp"
#include "DVModel/JSString.hpp"

namespace dv {

std::string resolveCanvasBackground(std::string_view color) {
    std::string trimmed = jsTrim(color);
    if (trimmed.empty()) return "#080808";
    return trimmed;
}

}  // namespace dv

std::size_t std::hash<dv::ExportBounds>::operator()(const dv::ExportBounds& bounds) const noexcept {
    dv::Hasher h;
    h.writeDouble(bounds.minX);
    h.writeDouble(bounds.minY);
    h.writeDouble(bounds.maxX);
    h.writeDouble(bounds.maxY);
    return static_cast<std::size_t>(h.finish());
}
