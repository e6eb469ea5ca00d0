#include "DVModel/Viewport.hpp"

#include "DVModel/Hashing.hpp"

namespace dv {

JSONObject Viewport::jsonObject() const {
    JSONObject object;
    object.set("offsetX", JSONValue(offsetX));
    object.set("offsetY", JSONValue(offsetY));
    object.set("zoom", JSONValue(zoom));
    return object;
}

}  // namespace dv

std::size_t std::hash<dv::Viewport>::operator()(const dv::Viewport& viewport) const noexcept {
    dv::Hasher h;
    for (double v : {viewport.offsetX, viewport.offsetY, viewport.zoom}) h.writeDouble(v);
    return h.finish();
}
