#include "DVGeometry/ElementIndex.hpp"

#include <cmath>
#include <utility>

namespace dv {

ElementIndex::ElementIndex(std::vector<Element> elements) : elements_(std::move(elements)) {
    positions_.reserve(elements_.size());
    for (std::size_t i = 0; i < elements_.size(); ++i) positions_.try_emplace(JSStringKey(elements_[i].id), i);
}

std::optional<ElementIndex> ElementIndex::replacingElements(std::vector<Element> elements) const {
    if (elements.size() != elements_.size()) return std::nullopt;
    ElementIndex index;
    index.elements_ = std::move(elements);
    index.positions_ = positions_;
    return index;
}

std::optional<std::size_t> ElementIndex::firstPosition(std::string_view id) const {
    auto found = positions_.find(JSStringKey(id));
    if (found == positions_.end()) return std::nullopt;
    return found->second;
}

const Element* ElementIndex::element(std::string_view id) const {
    std::optional<std::size_t> position = firstPosition(id);
    if (!position || *position >= elements_.size()) return nullptr;
    return &elements_[*position];
}

const Element* ElementIndex::boundElement(const std::optional<std::string>& id) const {
    if (!id || id->empty()) return nullptr;
    return element(*id);
}

std::optional<ConnectorEnds> connectorEnds(const Element& element) {
    const ConnectorFields* c = element.payload.connector();
    if (!c) return std::nullopt;
    return ConnectorEnds{element.x,         element.y,          c->x2,       c->y2,    c->startElementId,
                         c->endElementId,   c->startAnchor,     c->endAnchor, c->routing};
}

NormalizedRect normalizeRect(double x, double y, double width, double height) {
    return {width < 0 ? x + width : x, height < 0 ? y + height : y, std::fabs(width), std::fabs(height)};
}

} // namespace dv
