#include "DVRender/Editor/RenderCache.hpp"

#include "DVGeometry/ConnectorGeometry.hpp"
#include "DVModel/JSNumber.hpp"
#include "DVRender/Canvas/RecordingContext.hpp"
#include "DVRender/Images/BundledIconPacks.hpp"
#include "DVRender/Scene/ElementPainting.hpp"
#include "DVRender/Scene/GenericIcons.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

namespace dv {

namespace {

bool sameOptionalText(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || jsStringEquals(*a, *b);
}

bool sameTheme(const RenderTheme& a, const RenderTheme& b) {
    return a.isLight == b.isLight && jsStringEquals(a.canvasBackground, b.canvasBackground);
}

// The picture an element shows, when its painting depends on an image's loading state.
std::optional<std::string> imageSourceOf(const Element& element) {
    if (const auto* stencil = element.payload.stencil()) {
        if (const auto* embedded = std::get_if<StencilSource::Embedded>(&stencil->source.kind)) return embedded->src;
        const std::string& ref = std::get<StencilSource::Builtin>(stencil->source.kind).ref;
        if (getGenericIcon(ref)) return std::nullopt;
        if (const BundledIcon* icon = BundledIconPacks::icon(ref)) return icon->src;
        return std::nullopt;
    }
    if (const auto* image = element.payload.image()) return image->src;
    return std::nullopt;
}

bool isVisible(const Element& element) { return element.visible.value_or(true); }

}  // namespace

ElementRenderKey::ElementRenderKey(const Element& e, const ElementIndex& index, const RenderTheme& t,
                                   const std::optional<std::string>& editingShapeLabelId, ImageProvider* images)
    : element(e), theme(t) {
    if (auto ends = connectorEnds(e); ends && (ends->startElementId || ends->endElementId)) {
        if (ends->routing == ConnectorRouting::elbow) {
            for (const Point& p : resolveConnectorRoute(*ends, index)) {
                resolvedGeometry.push_back(p.x);
                resolvedGeometry.push_back(p.y);
            }
        } else {
            const ConnectorEndpoints p = resolveArrowEndpoints(*ends, index);
            resolvedGeometry = {p.x, p.y, p.x2, p.y2};
        }
    }
    labelHidden = editingShapeLabelId && jsStringEquals(*editingShapeLabelId, e.id);
    if (auto source = imageSourceOf(e); source && images) imageState = images->image(*source).stateKey();
}

bool ElementRenderKey::operator==(const ElementRenderKey& other) const {
    if (labelHidden != other.labelHidden) return false;
    if (imageState != other.imageState) return false;
    if (!sameTheme(theme, other.theme)) return false;
    if (resolvedGeometry.size() != other.resolvedGeometry.size()) return false;
    for (std::size_t i = 0; i < resolvedGeometry.size(); ++i) {
        if (std::bit_cast<std::uint64_t>(resolvedGeometry[i]) != std::bit_cast<std::uint64_t>(other.resolvedGeometry[i])) {
            return false;
        }
    }
    return element.isIdentical(other.element);
}

RenderedElement::RenderedElement(std::string i, ElementRenderKey k, DisplayList list, NormalizedRect cull)
    : id(std::move(i)), key(std::move(k)), displayList(std::move(list)), cullBounds(cull) {
    drawnBounds = displayList.drawnBounds();
    if (drawnBounds.rect) drawnBounds.unionWith(cullBounds);
    else drawnBounds.rect = cullBounds;
}

namespace {
bool meets(const NormalizedRect& a, const NormalizedRect& b) {
    return a.x <= b.x + b.w && b.x <= a.x + a.w && a.y <= b.y + b.h && b.y <= a.y + a.h;
}
}  // namespace

bool RenderedElement::intersects(const NormalizedRect& rect) const { return meets(rect, cullBounds); }

NormalizedRect cullBounds(const Element& element, const ElementIndex& index) {
    NormalizedRect r = getElementBounds(element, &index);
    if (element.rotation && *element.rotation != 0 && !std::isnan(*element.rotation)) {
        const double cx = r.x + r.w / 2, cy = r.y + r.h / 2;
        const double c = std::cos(*element.rotation), s = std::sin(*element.rotation);
        double minX = 0, minY = 0, maxX = 0, maxY = 0;
        bool first = true;
        for (const Point p : {Point{r.x, r.y}, Point{r.x + r.w, r.y}, Point{r.x + r.w, r.y + r.h}, Point{r.x, r.y + r.h}}) {
            const double dx = p.x - cx, dy = p.y - cy;
            const double x = cx + dx * c - dy * s, y = cy + dx * s + dy * c;
            minX = first ? x : jsMin({minX, x});
            minY = first ? y : jsMin({minY, y});
            maxX = first ? x : jsMax({maxX, x});
            maxY = first ? y : jsMax({maxY, y});
            first = false;
        }
        r = {minX, minY, maxX - minX, maxY - minY};
    }
    const double margin = element.shadowBlur.value_or(0) + element.strokeWidth * 0.5 +
                          jsMax({std::fabs(element.shadowOffsetX.value_or(0)), std::fabs(element.shadowOffsetY.value_or(0))}) + 4;
    return {r.x - margin, r.y - margin, r.w + 2 * margin, r.h + 2 * margin};
}

// The device padding of a recording is in device pixels: seen in board units at the context's
// scale.
void RenderSnapshot::draw(DrawingContext& context, const std::optional<NormalizedRect>& visibleRect) const {
    const auto& m = context.state().transform.values();
    const double scale = std::sqrt(std::fabs(m[0] * m[3] - m[1] * m[2]));
    auto inView = [&](const NormalizedRect& kept, const DrawnBounds& drawn) {
        if (!visibleRect || meets(*visibleRect, kept)) return true;
        const auto reach = drawn.rectForDeviceScale(scale);
        return reach && meets(*visibleRect, *reach);
    };
    for (const RenderedElementRef& element : elements) {
        if (inView(element->cullBounds, element->drawnBounds)) element->displayList.replay(context);
    }
    for (const ConnectorLabelItemRef& label : labels) {
        if (inView(label->bounds, label->drawnBounds)) label->displayList.replay(context);
    }
}

RenderedElementRef RenderCache::keyed(const Element& element, const ElementIndex& index,
                                      const RenderEnvironment& environment,
                                      const std::optional<std::string>& editingShapeLabelId,
                                      std::unordered_map<JSStringKey, RenderedElementRef>& into) {
    ElementRenderKey key(element, index, environment.theme, editingShapeLabelId, environment.images);
    if (auto it = entries_.find(JSStringKey(element.id)); it != entries_.end() && it->second->key == key) {
        into[JSStringKey(element.id)] = it->second;
        return it->second;
    }
    RecordingContext recording;
    drawElement(recording, element, &index, editingShapeLabelId, environment);
    auto rendered = std::make_shared<const RenderedElement>(element.id, std::move(key), recording.displayList(),
                                                            cullBounds(element, index));
    into[JSStringKey(element.id)] = rendered;
    return rendered;
}

namespace {

bool hasPaintedLabel(const Element& element) {
    const ConnectorFields* connector = element.payload.connector();
    return connector && connector->label && !connector->label->empty();
}

bool sameBox(const LabelBox& a, const LabelBox& b) {
    return std::bit_cast<std::uint64_t>(a.x) == std::bit_cast<std::uint64_t>(b.x) &&
           std::bit_cast<std::uint64_t>(a.y) == std::bit_cast<std::uint64_t>(b.y) &&
           std::bit_cast<std::uint64_t>(a.w) == std::bit_cast<std::uint64_t>(b.w) &&
           std::bit_cast<std::uint64_t>(a.h) == std::bit_cast<std::uint64_t>(b.h);
}

// The label `element` paints now, `old` itself when its recording still holds.
std::optional<ConnectorLabelItemRef> labelOf(const Element& element, const ConnectorLabelBoxes& boxes,
                                             const RenderEnvironment& environment,
                                             const std::optional<std::string>& editingShapeLabelId,
                                             const ConnectorLabelItemRef& old) {
    std::unordered_map<JSStringKey, ConnectorLabelItem> reusing;
    if (old) reusing.emplace(JSStringKey(old->id), *old);
    std::vector<ConnectorLabelItem> items = connectorLabelItems(
        std::vector<Element>{element}, boxes, environment.theme.canvasBackground, editingShapeLabelId, environment, reusing);
    if (items.empty()) return std::nullopt;
    if (old && items.front().key == old->key) return old;
    return std::make_shared<const ConnectorLabelItem>(std::move(items.front()));
}

}  // namespace

void RenderCache::relabel(const ElementIndex& scene, const RenderEnvironment& environment,
                          const std::optional<std::string>& editingShapeLabelId) {
    std::unordered_map<JSStringKey, ConnectorLabelItem> reusing;
    std::unordered_map<JSStringKey, ConnectorLabelItemRef> kept;
    for (const ConnectorLabelItemRef& item : labels_) {
        reusing.insert_or_assign(JSStringKey(item->id), *item);
        kept.insert_or_assign(JSStringKey(item->id), item);
    }
    const std::vector<Element>& elements = scene.elements();
    std::vector<ConnectorLabelItem> items = connectorLabelItems(elements, labelLayout_.boxes(),
                                                                environment.theme.canvasBackground,
                                                                editingShapeLabelId, environment, reusing);
    labels_.clear();
    labelPositions_.clear();
    labels_.reserve(items.size());
    labelPositions_.reserve(items.size());
    // Items come in element order, one per labelled connector with a box; elements sharing an
    // id share their box, so the next labelled element of the item's id is the one it paints.
    std::size_t at = 0;
    for (ConnectorLabelItem& item : items) {
        while (at < elements.size() && !(hasPaintedLabel(elements[at]) && jsStringEquals(elements[at].id, item.id))) ++at;
        labelPositions_.push_back(at++);
        auto same = kept.find(JSStringKey(item.id));
        if (same != kept.end() && same->second->key == item.key) labels_.push_back(same->second);
        else labels_.push_back(std::make_shared<const ConnectorLabelItem>(std::move(item)));
    }
}

bool RenderCache::relabelAt(const ElementIndex& scene, const RenderEnvironment& environment,
                            const std::optional<std::string>& editingShapeLabelId, const std::vector<bool>& rekeyed) {
    // Only labels of re-keyed connectors and labels whose box moved are recorded again; a
    // label that appears or goes changes the list's shape and takes the full pass.
    const std::vector<Element>& elements = scene.elements();
    const ConnectorLabelBoxes& boxes = labelLayout_.boxes();
    for (std::size_t position = 0; position < rekeyed.size(); ++position) {
        if (!rekeyed[position]) continue;
        const auto slot = std::lower_bound(labelPositions_.begin(), labelPositions_.end(), position);
        const bool had = slot != labelPositions_.end() && *slot == position;
        const std::size_t k = static_cast<std::size_t>(slot - labelPositions_.begin());
        auto now = labelOf(elements[position], boxes, environment, editingShapeLabelId, had ? labels_[k] : nullptr);
        if (had != now.has_value()) return false;
        if (now) labels_[k] = std::move(*now);
    }
    auto rebox = [&](std::size_t k) {
        const std::size_t position = labelPositions_[k];
        if (position >= rekeyed.size()) return false;
        if (rekeyed[position]) return true;
        const std::optional<LabelBox> box = boxes[labels_[k]->id];
        if (!box) return false;
        if (sameBox(*box, labels_[k]->key.box)) return true;
        auto now = labelOf(elements[position], boxes, environment, editingShapeLabelId, labels_[k]);
        if (!now) return false;
        labels_[k] = std::move(*now);
        return true;
    };
    // When the layout tells where boxes changed, only the labels there are looked at.
    if (const auto& changed = labelLayout_.boxesChangedAt()) {
        for (std::size_t position : *changed) {
            const auto slot = std::lower_bound(labelPositions_.begin(), labelPositions_.end(), position);
            if (slot == labelPositions_.end() || *slot != position) {
                if (position < rekeyed.size() && rekeyed[position]) continue;
                return false;
            }
            if (!rebox(static_cast<std::size_t>(slot - labelPositions_.begin()))) return false;
        }
        return true;
    }
    for (std::size_t k = 0; k < labels_.size(); ++k) {
        if (!rebox(k)) return false;
    }
    return true;
}

std::shared_ptr<std::vector<Element>> RenderCache::nextList(const std::vector<Element>& elements,
                                                            const std::vector<std::size_t>& changed) {
    // The list of the build before differs from the last one only where that build changed it,
    // so patching it there and where this build changes it gives the new list, unless something
    // (a label layout not yet updated) still reads it.
    Last& last = *last_;
    std::shared_ptr<std::vector<Element>> list = std::move(last.spare);
    if (list && list.use_count() == 1 && list->size() == elements.size()) {
        for (std::size_t i : last.spareStale) (*list)[i] = elements[i];
        for (std::size_t i : changed) (*list)[i] = elements[i];
    } else {
        list = std::make_shared<std::vector<Element>>(elements);
    }
    last.spareStale.clear();
    return list;
}

RenderSnapshot RenderCache::full(const std::vector<Element>& elements, const RenderEnvironment& environment,
                                 const std::optional<std::string>& editingId,
                                 const std::optional<std::string>& editingShapeLabelId) {
    auto list = std::make_shared<std::vector<Element>>(elements);
    ElementIndex index{std::shared_ptr<const std::vector<Element>>(list)};
    std::unordered_map<JSStringKey, RenderedElementRef> next;
    next.reserve(elements.size());
    std::vector<std::int64_t> visibleIndex(elements.size(), -1);
    std::unordered_map<std::size_t, std::vector<std::size_t>> dependents;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const auto ends = connectorEnds(elements[i]);
        if (!ends) continue;
        for (const auto* id : {&ends->startElementId, &ends->endElementId}) {
            if (!*id || (*id)->empty()) continue;
            if (auto at = index.firstPosition(**id)) dependents[*at].push_back(i);
        }
    }
    std::vector<RenderedElementRef> visible;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const Element& element = elements[i];
        if ((editingId && jsStringEquals(*editingId, element.id)) || !isVisible(element)) continue;
        visibleIndex[i] = static_cast<std::int64_t>(visible.size());
        visible.push_back(keyed(element, index, environment, editingShapeLabelId, next));
    }
    entries_ = std::move(next);
    labelLayout_.update(index);
    relabel(index, environment, editingShapeLabelId);
    last_ = Last{std::move(list), std::move(index), nullptr, {}, environment.theme, editingId, editingShapeLabelId,
                 visible, std::move(visibleIndex), std::move(dependents)};
    lastRekeyedIndices_.reset();
    return {std::move(visible), labels_, environment.theme};
}

std::optional<RenderSnapshot> RenderCache::incremental(const std::vector<Element>& elements,
                                                       const RenderEnvironment& environment,
                                                       const std::optional<std::string>& editingId,
                                                       const std::optional<std::string>& editingShapeLabelId,
                                                       const std::vector<std::int64_t>& changedAt) {
    Last& last = *last_;
    const std::vector<Element>& before = last.scene.elements();
    if (elements.size() != before.size()) return std::nullopt;
    if (!sameTheme(environment.theme, last.theme)) return std::nullopt;
    if (!sameOptionalText(editingId, last.editingId)) return std::nullopt;
    if (!sameOptionalText(editingShapeLabelId, last.editingShapeLabelId)) return std::nullopt;

    std::vector<std::size_t> changed;
    std::vector<bool> listed(elements.size(), false);
    for (std::int64_t position : changedAt) {
        // Positions from a careless caller (negative or past the end) are ignored.
        if (position < 0 || static_cast<std::uint64_t>(position) >= elements.size()) continue;
        const auto i = static_cast<std::size_t>(position);
        if (listed[i]) continue;
        listed[i] = true;
        const Element& now = elements[i];
        const Element& was = before[i];
        if (now.isIdentical(was)) continue;
        if (!jsStringEquals(now.id, was.id) || now.visible != was.visible) return std::nullopt;
        const auto a = connectorEnds(now), b = connectorEnds(was);
        const std::optional<std::string> none;
        if (!sameOptionalText(a ? a->startElementId : none, b ? b->startElementId : none) ||
            !sameOptionalText(a ? a->endElementId : none, b ? b->endElementId : none)) {
            return std::nullopt;
        }
        changed.push_back(i);
    }
    std::shared_ptr<std::vector<Element>> list = nextList(elements, changed);
    auto scene = last.scene.replacingSharedElements(list);
    if (!scene) return std::nullopt;

    std::vector<std::size_t> rekey = changed;
    std::vector<bool> queued(elements.size(), false);
    for (std::size_t i : changed) queued[i] = true;
    for (std::size_t i : changed) {
        if (auto it = last.dependents.find(i); it != last.dependents.end()) {
            for (std::size_t d : it->second) {
                if (!queued[d]) {
                    queued[d] = true;
                    rekey.push_back(d);
                }
            }
        }
    }
    for (std::size_t i : rekey) {
        const std::int64_t slot = last.visibleIndex[i];
        if (slot < 0) continue;
        last.visible[static_cast<std::size_t>(slot)] =
            keyed(elements[i], *scene, environment, editingShapeLabelId, entries_);
    }
    std::vector<std::int64_t> sorted(rekey.begin(), rekey.end());
    std::sort(sorted.begin(), sorted.end());
    lastRekeyedIndices_ = std::move(sorted);

    std::vector<std::int64_t> positions(changed.begin(), changed.end());
    labelLayout_.update(*scene, positions);
    if (!relabelAt(*scene, environment, editingShapeLabelId, queued)) relabel(*scene, environment, editingShapeLabelId);
    last.spare = std::move(last.list);
    last.spareStale = std::move(changed);
    last.list = std::move(list);
    last.scene = std::move(*scene);
    return RenderSnapshot{last.visible, labels_, environment.theme};
}

RenderSnapshot RenderCache::snapshot(const std::vector<Element>& elements, const RenderEnvironment& environment,
                                     const std::optional<std::string>& editingId,
                                     const std::optional<std::string>& editingShapeLabelId,
                                     const std::optional<std::vector<std::int64_t>>& changedAt) {
    if (changedAt && last_) {
        if (auto snapshot = incremental(elements, environment, editingId, editingShapeLabelId, *changedAt)) {
            return std::move(*snapshot);
        }
    }
    return full(elements, environment, editingId, editingShapeLabelId);
}

}  // namespace dv

// The id as its map key hashes it (by its bytes), the position bit for bit as the key compares it.
std::size_t std::hash<dv::ElementRenderKey>::operator()(const dv::ElementRenderKey& key) const noexcept {
    return dv::hashFields(std::string_view(key.element.id), std::bit_cast<std::uint64_t>(key.element.x),
                          std::bit_cast<std::uint64_t>(key.element.y), key.labelHidden, key.resolvedGeometry.size());
}
