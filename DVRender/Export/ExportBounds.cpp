#include "DVRender/Export/ExportBounds.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVGeometry/ConnectorLabelLayout.hpp"
#include "DVGeometry/ElementIndex.hpp"
#include "DVGeometry/ShapeGeometry.hpp"
#include "DVModel/Hashing.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVModel/JSString.hpp"
#include "DVModel/StencilRegistry.hpp"

#include <cmath>
#include <limits>

namespace dv {

namespace {

struct BoundsFold {
    ExportBounds bounds{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};

    void add(double left, double top, double right, double bottom) {
        bounds.minX = jsMin(bounds.minX, left);
        bounds.minY = jsMin(bounds.minY, top);
        bounds.maxX = jsMax(bounds.maxX, right);
        bounds.maxY = jsMax(bounds.maxY, bottom);
    }
    void addNormalized(double x, double y, double w, double h) {
        double left = w < 0 ? x + w : x;
        double top = h < 0 ? y + h : y;
        add(left, top, left + std::fabs(w), top + std::fabs(h));
    }
    void addPoints(const std::vector<Point>& points) {
        for (const Point& p : points) add(p.x, p.y, p.x, p.y);
    }
};

}  // namespace

ExportBounds exportBounds(const ElementIndex& index, const ConnectorLabelBoxes& labelBoxes) {
    BoundsFold fold;
    for (const Element& element : index.elements()) {
        const auto& payload = element.payload;
        switch (element.type()) {
            case ElementType::rectangle:
            case ElementType::ellipse:
            case ElementType::rhombus:
                fold.addNormalized(element.x, element.y, payload.box()->width, payload.box()->height);
                break;
            case ElementType::shape:
                fold.addNormalized(element.x, element.y, payload.shape()->width, payload.shape()->height);
                break;
            case ElementType::text:
                fold.addNormalized(element.x, element.y, payload.text()->width, payload.text()->height);
                break;
            case ElementType::image:
                fold.addNormalized(element.x, element.y, payload.image()->width, payload.image()->height);
                break;
            case ElementType::stencil: {
                const Element::Stencil& s = *payload.stencil();
                double w = std::fabs(s.width);
                double left = s.width < 0 ? element.x + s.width : element.x;
                double top = s.height < 0 ? element.y + s.height : element.y;
                double bottom = top + std::fabs(s.height);
                bool captioned = s.label && !s.label->empty();
                double captionWidth = captioned ? StencilRegistry::getStencilLabelWidth(w) : w;
                double centre = left + w / 2;
                fold.add(centre - captionWidth / 2, top, centre + captionWidth / 2,
                         bottom + getStencilLabelHeight(s));
                break;
            }
            case ElementType::line:
            case ElementType::arrow: {
                NormalizedRect r = getElementBounds(element, &index);
                fold.add(r.x, r.y, r.x + r.w, r.y + r.h);
                break;
            }
            case ElementType::curve: {
                const Element::Curve& c = *payload.curve();
                fold.add(jsMin(element.x, c.x2, c.cx), jsMin(element.y, c.y2, c.cy), jsMax(element.x, c.x2, c.cx),
                         jsMax(element.y, c.y2, c.cy));
                break;
            }
            case ElementType::polygon:
                fold.addPoints(payload.polygon()->points);
                break;
            case ElementType::freehand:
                fold.addPoints(payload.freehand()->points);
                break;
        }
    }
    for (const LabelBox& box : labelBoxes.values())
        fold.add(box.x - box.w / 2, box.y - box.h / 2, box.x + box.w / 2, box.y + box.h / 2);
    return fold.bounds;
}

ExportBounds computeExportBounds(const std::vector<Element>& elements) {
    ElementIndex index(elements);
    return exportBounds(index, ConnectorLabelLayout::once(index).boxes());
}

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
