#include "DVRender/Images/SVGBounds.hpp"

#include "DVModel/JSString.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dv {

namespace {

// Costs are kept a little past the limits: far enough to tell "past", never near overflow.
constexpr std::int64_t ceilingOf(std::int64_t limit) { return limit * 4 + 4; }

std::int64_t capped(std::int64_t value, std::int64_t limit) { return std::min(value, ceilingOf(limit)); }

std::int64_t times(std::int64_t a, std::int64_t b, std::int64_t limit) {
    if (a == 0 || b == 0) return 0;
    const std::int64_t ceiling = ceilingOf(limit);
    return a > ceiling / b ? ceiling : std::min(a * b, ceiling);
}

SVGCost cap(SVGCost c) {
    c.nodes = capped(c.nodes, SVGLimits::maxNodes);
    c.work = capped(c.work, SVGLimits::maxWork);
    c.surfaces = capped(c.surfaces, SVGLimits::maxSurfaces);
    c.textBytes = capped(c.textBytes, SVGLimits::maxTextBytes);
    return c;
}

SVGCost scaled(const SVGCost& c, std::int64_t n) {
    return {times(c.nodes, n, SVGLimits::maxNodes), times(c.work, n, SVGLimits::maxWork), c.surfaces,
            times(c.textBytes, n, SVGLimits::maxTextBytes)};
}

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

// The numbers in a list of SVG numbers ("1,2 3-4.5.5e1"), counted as the renderer splits them.
std::int64_t countNumbers(std::string_view text) {
    std::int64_t count = 0;
    bool inNumber = false, dot = false, exponent = false;
    char previous = 0;
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        if (digit) {
            if (!inNumber) ++count, dot = exponent = false;
            inNumber = true;
        } else if (c == '.') {
            if (!inNumber || dot || exponent) ++count, exponent = false;
            inNumber = dot = true;
        } else if ((c == 'e' || c == 'E') && inNumber && !exponent) {
            exponent = true;
        } else if ((c == '-' || c == '+') && (previous == 'e' || previous == 'E') && exponent) {
            // the exponent's sign
        } else {
            inNumber = false;
        }
        previous = c;
    }
    return count;
}

std::vector<double> numbersIn(std::string_view text) {
    std::vector<double> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (isSpace(text[i]) || text[i] == ',')) ++i;
        if (i >= text.size()) break;
        double v = 0;
        const char* begin = text.data() + i;
        const char* plus = begin;
        if (*plus == '+') ++plus;
        auto [end, ec] = std::from_chars(plus, text.data() + text.size(), v);
        if (ec != std::errc() || end == plus) {
            out.push_back(NAN);
            return out;
        }
        out.push_back(v);
        i = static_cast<std::size_t>(end - text.data());
    }
    return out;
}

// Milliseconds, more or less, that one primitive takes over 1024 x 1024 pixels; measured with the
// renderer on this platform, rounded up.
std::int64_t primitiveWork(const std::string& name) {
    static const std::unordered_map<std::string, std::int64_t> table = {
        {"feBlend", 20},         {"feColorMatrix", 20},     {"feComponentTransfer", 30},
        {"feComposite", 30},     {"feDiffuseLighting", 20}, {"feSpecularLighting", 40},
        {"feDisplacementMap", 600}, {"feDropShadow", 60},   {"feFlood", 2},
        {"feGaussianBlur", 60},  {"feImage", 4},            {"feMerge", 5},
        {"feMergeNode", 25},     {"feMorphology", 2700},    {"feOffset", 4},
        {"feTile", 4},           {"feConvolveMatrix", 0},   {"feTurbulence", 0},
    };
    auto it = table.find(name);
    return it == table.end() ? 0 : it->second;
}

bool isFilterPrimitive(const std::string& name) {
    return name.starts_with("fe") && name != "feMergeNode" && !name.starts_with("feFunc") && !name.ends_with("Light");
}

// Elements drawn only where something refers to them.
bool isTemplate(const std::string& name) {
    static constexpr std::string_view names[] = {"defs", "symbol", "filter", "mask", "clipPath", "marker",
                                                 "pattern", "linearGradient", "radialGradient"};
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// Elements that a style sheet's selectors may give a property to, and that then draw with it.
bool isGraphic(const std::string& name) {
    static constexpr std::string_view names[] = {"rect", "circle", "ellipse", "line", "polyline", "polygon", "path",
                                                 "text", "tspan", "textPath", "image", "use", "g", "svg", "a",
                                                 "switch"};
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// The layer a property's value asks for: work and surfaces.
SVGCost layerOf(const std::string& property, std::string_view value) {
    SVGCost c;
    value = trimmed(value);
    if (property == "opacity") {
        auto n = numbersIn(value);
        if (!n.empty() && !(n[0] >= 1)) c.work = 2, c.surfaces = 1;
    } else if (property == "mix-blend-mode") {
        if (lowered(value) != "normal") c.work = 8, c.surfaces = 1;
    } else if (property == "isolation") {
        if (lowered(value) == "isolate") c.work = 2, c.surfaces = 1;
    } else if (property == "filter") {
        // Filter functions (blur(), drop-shadow(), ...) work as primitives; url() ones are
        // counted through the filter element.
        const std::string lower = lowered(value);
        for (auto at = lower.find('('); at != std::string::npos; at = lower.find('(', at + 1)) {
            if (at >= 3 && lower.compare(at - 3, 3, "url") == 0) continue;
            c.work += 60;
            c.surfaces += 1;
        }
    }
    return c;
}

struct Reference {
    std::string id;
    bool perVertex = false;  // drawn at every vertex (marker-mid and the marker shorthand)
};

// The "#id" targets of url() in a value.
void urlTargets(std::string_view value, bool perVertex, std::vector<Reference>& out) {
    const std::string lower = lowered(value);
    for (auto at = lower.find("url("); at != std::string::npos; at = lower.find("url(", at + 4)) {
        std::size_t i = at + 4;
        while (i < value.size() && (isSpace(value[i]) || value[i] == '"' || value[i] == '\'')) ++i;
        if (i >= value.size() || value[i] != '#') continue;
        std::size_t end = ++i;
        while (end < value.size() && value[end] != ')' && value[end] != '"' && value[end] != '\'' && !isSpace(value[end])) {
            ++end;
        }
        out.push_back({std::string(value.substr(i, end - i)), perVertex});
    }
}

bool isPerVertex(const std::string& property) { return property == "marker-mid" || property == "marker"; }

// Declarations of a style attribute or of a style sheet's rules, as (property, value) pairs.
std::vector<std::pair<std::string, std::string>> declarations(std::string_view css) {
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= css.size(); ++i) {
        if (i < css.size() && css[i] != ';' && css[i] != '{' && css[i] != '}') continue;
        const std::string_view piece = css.substr(start, i - start);
        start = i + 1;
        const auto colon = piece.find(':');
        if (colon == std::string_view::npos) continue;
        out.emplace_back(lowered(trimmed(piece.substr(0, colon))), std::string(trimmed(piece.substr(colon + 1))));
    }
    return out;
}

struct Style {
    SVGCost layer;
    std::vector<Reference> references;
};

// One rule of a style sheet and whom it may reach: the elements of a class or an id when every
// selector is one plain ".class" or "#id", else every element.
struct Rule {
    std::vector<std::string> classes;
    std::vector<std::string> ids;
    bool everyone = false;
    std::string body;
};

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

std::vector<Rule> rulesOf(std::string_view css) {
    std::vector<Rule> out;
    std::size_t at = 0;
    while (at < css.size()) {
        const auto open = css.find('{', at);
        if (open == std::string_view::npos) break;
        const auto close = css.find('}', open);
        Rule rule;
        rule.body = std::string(css.substr(open + 1, (close == std::string_view::npos ? css.size() : close) - open - 1));
        std::string_view selectors = css.substr(at, open - at);
        // Comments and at-rules make the reach unclear: such a rule reaches everyone.
        if (selectors.find("/*") != std::string_view::npos || selectors.find('@') != std::string_view::npos) {
            rule.everyone = true;
        }
        std::size_t start = 0;
        for (std::size_t i = 0; i <= selectors.size() && !rule.everyone; ++i) {
            if (i < selectors.size() && selectors[i] != ',') continue;
            const std::string_view one = trimmed(selectors.substr(start, i - start));
            start = i + 1;
            const bool plain = one.size() > 1 && (one[0] == '.' || one[0] == '#') &&
                               std::all_of(one.begin() + 1, one.end(), isNameChar);
            if (!plain) rule.everyone = true;
            else (one[0] == '.' ? rule.classes : rule.ids).emplace_back(one.substr(1));
        }
        out.push_back(std::move(rule));
        if (close == std::string_view::npos) break;
        at = close + 1;
    }
    return out;
}

// The id and classes of an element, as selectors see them.
struct Selectable {
    std::string id;
    std::vector<std::string> classes;
};

Selectable selectableOf(const xml::Element& e) {
    Selectable out;
    for (const auto& a : e.attributes()) {
        if (a.localName == "id") out.id = a.value;
        if (a.localName != "class") continue;
        const std::string& v = a.value;
        std::size_t i = 0;
        while (i < v.size()) {
            while (i < v.size() && isSpace(v[i])) ++i;
            std::size_t end = i;
            while (end < v.size() && !isSpace(v[end])) ++end;
            if (end > i) out.classes.push_back(v.substr(i, end - i));
            i = end;
        }
    }
    return out;
}

bool reaches(const Rule& rule, const Selectable& e) {
    if (rule.everyone) return true;
    if (!e.id.empty() && std::find(rule.ids.begin(), rule.ids.end(), e.id) != rule.ids.end()) return true;
    for (const auto& c : e.classes) {
        if (std::find(rule.classes.begin(), rule.classes.end(), c) != rule.classes.end()) return true;
    }
    return false;
}

void addProperty(const std::string& property, std::string_view value, Style& style) {
    style.layer = cap(combined(style.layer, layerOf(property, value)));
    urlTargets(value, isPerVertex(property), style.references);
}

class Measurer {
public:
    explicit Measurer(xml::Element root) : root_(root) {
        std::vector<xml::Element> all{root};
        for (const auto& e : root.descendants()) all.push_back(e);
        for (const auto& e : all) {
            for (const auto& a : e.attributes()) {
                if (a.localName == "id") ids_.try_emplace(a.value, e);
            }
            // A style sheet's rules may give their properties to the elements they reach, each of
            // which is charged with them all.
            if (e.localName() == "style") {
                for (auto& rule : rulesOf(e.text())) {
                    Style style;
                    for (const auto& [property, value] : declarations(rule.body)) addProperty(property, value, style);
                    if (style.layer == SVGCost{} && style.references.empty()) continue;
                    sheet_.push_back({std::move(rule), std::move(style)});
                }
            }
        }
    }

    std::optional<SVGCost> measure(bool& rewritten) {
        rewritten_ = &rewritten;
        auto c = cost(root_, 0);
        if (!c) return std::nullopt;
        return *c;
    }

private:
    // What the element asks of the renderer besides its children: own work and layers, the
    // references it draws.
    std::optional<Style> ownStyle(xml::Element e, const std::string& name, std::int64_t& vertices) {
        Style style;
        std::int64_t pathNumbers = 0;
        for (const auto& a : e.attributes()) {
            const std::string property = lowered(a.localName);
            if (property == "href") {
                const std::string_view target = trimmed(a.value);
                if (!target.empty() && target.front() == '#') style.references.push_back({std::string(target.substr(1))});
            } else if (property == "style") {
                for (const auto& [p, v] : declarations(a.value)) addProperty(p, v, style);
            } else if (property == "d" || property == "points") {
                pathNumbers += countNumbers(a.value);
            } else {
                addProperty(property, a.value, style);
            }
        }
        vertices = std::max<std::int64_t>(pathNumbers, 4);
        // A self-crossing outline costs the rasteriser about the square of its vertices: 5,000
        // crossing segments take a third of a second.
        if (pathNumbers > 0) {
            const double w = static_cast<double>(pathNumbers) * static_cast<double>(pathNumbers) / 270'000.0;
            style.layer.work += static_cast<std::int64_t>(std::min(w, 1e9));
        }
        style.layer.work += primitiveWork(name);
        if (name == "feConvolveMatrix") {
            // The renderer aborts on an order past 400 values and on kernels of 400 values or more
            // that do not match the order exactly; below that it reports a mismatch as an error.
            const auto order = numbersIn(e.attribute("order").value_or("3"));
            const std::string matrix = e.attribute("kernelMatrix").value_or("");
            const auto kernel = countNumbers(matrix);
            if (order.empty() || order.size() > 2) return std::nullopt;
            const double x = order[0], y = order.size() == 2 ? order[1] : order[0];
            const double values = x * y;
            if (!(x >= 1 && y >= 1 && values <= SVGLimits::maxKernelValues)) return std::nullopt;
            if (kernel >= SVGLimits::maxKernelValues && !(kernel == SVGLimits::maxKernelValues && values == kernel)) {
                return std::nullopt;
            }
            if (matrix.find_first_not_of("0123456789+-.eE, \t\n\r\f") != std::string::npos) return std::nullopt;
            style.layer.work += static_cast<std::int64_t>(values) * 8;
        }
        if (name == "feTurbulence") {
            const auto octaves = numbersIn(e.attribute("numOctaves").value_or("1"));
            double n = octaves.size() == 1 ? octaves[0] : 1;
            if (!(n <= SVGLimits::maxOctaves)) {
                e.setAttribute("numOctaves", std::to_string(SVGLimits::maxOctaves));
                *rewritten_ = true;
                n = SVGLimits::maxOctaves;
            }
            style.layer.work += 70 * static_cast<std::int64_t>(std::max(1.0, std::ceil(n)));
        }
        if (name == "feConvolveMatrix" || name == "feDiffuseLighting" || name == "feSpecularLighting") {
            for (const auto& a : e.attributes()) {
                if (a.localName == "kernelUnitLength") {
                    e.removeAttribute(a);
                    *rewritten_ = true;
                }
            }
        }
        if (name == "filter") {
            std::int64_t primitives = 0;
            for (const auto& child : e.children()) primitives += isFilterPrimitive(child.localName()) ? 1 : 0;
            style.layer.surfaces += primitives + 2;
        } else if (name == "mask") {
            style.layer.work += 10;
            style.layer.surfaces += 2;
        } else if (name == "clipPath") {
            style.layer.work += 1;
            style.layer.surfaces += 1;
        } else if (name == "pattern") {
            style.layer.work += 2;
            style.layer.surfaces += 1;
        }
        if (name == "text" || name == "tspan" || name == "textPath" || name == "a") {
            style.layer.textBytes += static_cast<std::int64_t>(e.text().size());
        }
        return style;
    }

    std::optional<SVGCost> referenced(const std::vector<Reference>& references, std::int64_t vertices, int depth,
                                      SVGCost& sum, std::int64_t& deepest, bool skipLoops = false) {
        for (const auto& r : references) {
            auto target = ids_.find(r.id);
            if (target == ids_.end()) continue;
            if (skipLoops) {
                auto m = memo_.find(target->second.identity());
                if (m != memo_.end() && !m->second.done) continue;
            }
            auto c = cost(target->second, depth + 1);
            if (!c) return std::nullopt;
            sum = cap(combined(sum, scaled(*c, r.perVertex ? vertices : 1)));
            sum.surfaces -= c->surfaces;
            deepest = std::max(deepest, c->surfaces);
        }
        return sum;
    }

    // Every element under `e`, none drawn.
    static std::int64_t subtreeSize(xml::Element e) {
        return 1 + static_cast<std::int64_t>(e.descendants().size());
    }

    std::optional<SVGCost> cost(xml::Element e, int depth) {
        if (depth > SVGLimits::maxDepth) return std::nullopt;
        auto [memo, fresh] = memo_.try_emplace(e.identity());
        if (!fresh) {
            if (!memo->second.done) return std::nullopt;  // a reference back into itself
            return memo->second.cost;
        }
        const std::string name = e.localName();
        std::int64_t vertices = 0;
        auto own = ownStyle(e, name, vertices);
        if (!own) return std::nullopt;
        SVGCost sum = own->layer;
        sum.nodes += 1;
        sum.surfaces = 0;
        std::int64_t deepest = 0;
        for (const auto& child : e.children()) {
            const std::string childName = child.localName();
            if (isTemplate(childName)) {
                // Parsed and held, drawn only through references; its parameters are still
                // checked and lowered.
                if (!cost(child, depth + 1)) return std::nullopt;
                sum.nodes = capped(sum.nodes + subtreeSize(child), SVGLimits::maxNodes);
                continue;
            }
            auto c = cost(child, depth + 1);
            if (!c) return std::nullopt;
            sum = cap(combined(sum, *c));
            sum.surfaces -= c->surfaces;
            deepest = std::max(deepest, c->surfaces);
            // Past these bounds nothing can bring the document back: stop walking it.
            if (sum.nodes > SVGLimits::maxNodes || sum.textBytes > SVGLimits::maxTextBytes) return std::nullopt;
        }
        if (!referenced(own->references, vertices, depth, sum, deepest)) return std::nullopt;
        if (isGraphic(name) && e.identity() != root_.identity()) {
            std::int64_t sheetSurfaces = 0;
            const Selectable selectable = sheet_.empty() ? Selectable{} : selectableOf(e);
            for (const auto& [rule, style] : sheet_) {
                if (!reaches(rule, selectable)) continue;
                // A selector may reach an element inside what its rule refers to; the renderer
                // breaks such a loop itself, so it costs nothing more here.
                if (!referenced(style.references, vertices, depth, sum, deepest, true)) return std::nullopt;
                sum = cap(combined(sum, SVGCost{0, style.layer.work, 0, 0}));
                sheetSurfaces += style.layer.surfaces;
            }
            deepest += sheetSurfaces;
        }
        sum.surfaces = capped(own->layer.surfaces + deepest, SVGLimits::maxSurfaces);
        auto& entry = memo_[e.identity()];
        entry.done = true;
        entry.cost = sum;
        return sum;
    }

    struct Memo {
        bool done = false;
        SVGCost cost;
    };
    xml::Element root_;
    // A tree: the ids come from the file.
    std::map<std::string, xml::Element, std::less<>> ids_;
    std::unordered_map<const void*, Memo> memo_;
    std::vector<std::pair<Rule, Style>> sheet_;
    bool* rewritten_ = nullptr;
};

}  // namespace

SVGCost combined(const SVGCost& a, const SVGCost& b) {
    return {a.nodes + b.nodes, a.work + b.work, a.surfaces + b.surfaces, a.textBytes + b.textBytes};
}

bool withinSvgLimits(const SVGCost& c) {
    return c.nodes <= SVGLimits::maxNodes && c.work <= SVGLimits::maxWork && c.surfaces <= SVGLimits::maxSurfaces &&
           c.textBytes <= SVGLimits::maxTextBytes;
}

std::optional<SVGMeasure> measureSvg(xml::Element root) {
    SVGMeasure out;
    auto c = Measurer(root).measure(out.rewritten);
    if (!c) return std::nullopt;
    out.cost = *c;
    return out;
}

}  // namespace dv
