#include "DVGeometry/ElementIndex.hpp"

#include <cmath>
#include <utility>

namespace dv {

ElementIndex::ElementIndex(std::vector<Element> elements)
    : ElementIndex(std::make_shared<const std::vector<Element>>(std::move(elements))) {}

ElementIndex::ElementIndex(std::shared_ptr<const std::vector<Element>> elements) {
    if (!elements || elements->empty()) return;
    auto positions = std::make_shared<std::unordered_map<JSStringKey, std::size_t>>();
    positions->reserve(elements->size());
    for (std::size_t i = 0; i < elements->size(); ++i) positions->try_emplace(JSStringKey((*elements)[i].id), i);
    elements_ = std::move(elements);
    positions_ = std::move(positions);
}

std::optional<ElementIndex> ElementIndex::replacingElements(std::vector<Element> elements) const {
    if (elements.size() != this->elements().size()) return std::nullopt;
    return replacingSharedElements(std::make_shared<const std::vector<Element>>(std::move(elements)));
}

std::optional<ElementIndex> ElementIndex::replacingSharedElements(std::shared_ptr<const std::vector<Element>> elements) const {
    const std::size_t count = elements ? elements->size() : 0;
    if (count != this->elements().size()) return std::nullopt;
    ElementIndex index;
    if (count == 0) return index;
    index.elements_ = std::move(elements);
    index.positions_ = positions_;
    return index;
}

const std::vector<Element>& ElementIndex::noElements() {
    static const std::vector<Element> none;
    return none;
}

const std::unordered_map<JSStringKey, std::size_t>& ElementIndex::noPositions() {
    static const std::unordered_map<JSStringKey, std::size_t> none;
    return none;
}

std::optional<std::size_t> ElementIndex::firstPosition(std::string_view id) const {
    if (!positions_) return std::nullopt;
    auto found = positions_->find(JSStringKey(id));
    if (found == positions_->end()) return std::nullopt;
    return found->second;
}

const Element* ElementIndex::element(std::string_view id) const {
    std::optional<std::size_t> position = firstPosition(id);
    if (!position || *position >= elements().size()) return nullptr;
    return &(*elements_)[*position];
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
