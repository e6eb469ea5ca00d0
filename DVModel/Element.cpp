#include "DVModel/Element.hpp"

namespace dv {

Element::Payload Element::Payload::empty(ElementType type) {
    switch (type) {
    case ElementType::rectangle: return rectangle({});
    case ElementType::ellipse: return ellipse({});
    case ElementType::rhombus: return rhombus({});
    case ElementType::shape: return Shape{};
    case ElementType::stencil: return Stencil{};
    case ElementType::line: return Line{};
    case ElementType::arrow: return Arrow{};
    case ElementType::curve: return Curve{};
    case ElementType::polygon: return Polygon{};
    case ElementType::freehand: return Freehand{};
    case ElementType::text: return Text{};
    case ElementType::image: return Image{};
    }
    return {};
}

const Element::Box* Element::Payload::boxUnchecked() const {
    switch (storage_.index()) {
    case 0: return &std::get<0>(storage_);
    case 1: return &std::get<1>(storage_);
    case 2: return &std::get<2>(storage_);
    default: return nullptr;
    }
}

const LabelFields* Element::Payload::labels() const {
    if (const Box* b = box()) return b;
    if (const Shape* s = shape()) return s;
    if (const Stencil* s = stencil()) return s;
    return connector();
}

const ConnectorFields* Element::Payload::connector() const {
    if (const Line* l = line()) return l;
    if (const Arrow* a = arrow()) return a;
    return nullptr;
}

}  // namespace dv
