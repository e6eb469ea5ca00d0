#include "DVIO/Presets.hpp"

#include <cmath>
#include <numbers>
#include <utility>

#include "DVModel/JSNumber.hpp"

namespace dv {

namespace {

struct Palette {
    const char* ink;
    const char* blueStroke;
    const char* blueFill;
    const char* greenStroke;
    const char* greenFill;
    const char* redStroke;
    const char* redFill;
};

constexpr Palette kLight{"#000000", "#1a6fd4", "rgba(77,150,255,0.14)", "#27ae60", "rgba(40,160,70,0.10)",
                         "#c0392b", "rgba(220,50,50,0.10)"};
constexpr Palette kDark{"#e2e2ef", "#4d96ff", "rgba(77,150,255,0.18)", "#6bcb77", "rgba(107,203,119,0.18)",
                        "#ff6b6b", "rgba(255,107,107,0.18)"};

using Spec = JSONObject;
using IdSource = std::function<std::string()>;

// Every spec starts from the common stroke keys; later keys set over them keep their place.
Spec makeSpec(std::initializer_list<std::pair<std::string_view, JSONValue>> keys) {
    Spec spec{{"strokeWidth", 1.5}, {"opacity", 1}, {"roughness", 0}};
    for (const auto& [key, value] : keys) spec.set(std::string(key), value);
    return spec;
}

std::vector<Spec> flowchart(const Palette& c, const IdSource& createId) {
    const std::string start = createId(), process = createId(), decision = createId(), end = createId();
    std::vector<Spec> specs{
        makeSpec({{"id", start}, {"type", "ellipse"}, {"x", -70}, {"y", -220}, {"width", 140}, {"height", 50},
                  {"strokeColor", c.greenStroke}, {"fillColor", c.greenFill}, {"label", "Start"}}),
        makeSpec({{"id", process}, {"type", "rectangle"}, {"x", -80}, {"y", -120}, {"width", 160}, {"height", 55},
                  {"strokeColor", c.blueStroke}, {"fillColor", c.blueFill}, {"label", "Process"}}),
        makeSpec({{"id", decision}, {"type", "rhombus"}, {"x", -80}, {"y", -5}, {"width", 160}, {"height", 80},
                  {"strokeColor", c.redStroke}, {"fillColor", c.redFill}, {"label", "Decision"}}),
        makeSpec({{"id", end}, {"type", "ellipse"}, {"x", -70}, {"y", 145}, {"width", 140}, {"height", 50},
                  {"strokeColor", c.greenStroke}, {"fillColor", c.greenFill}, {"label", "End"}}),
    };
    const auto arrow = [&](double y, double y2, const std::string& from, const std::string& to) {
        return makeSpec({{"id", createId()}, {"type", "arrow"}, {"x", 0}, {"y", y}, {"x2", 0}, {"y2", y2},
                         {"strokeColor", c.ink}, {"fillColor", "transparent"}, {"startElementId", from},
                         {"endElementId", to}});
    };
    specs.push_back(arrow(-170, -120, start, process));
    specs.push_back(arrow(-65, -5, process, decision));
    specs.push_back(arrow(75, 145, decision, end));
    return specs;
}

std::vector<Spec> mindMap(const Palette& c, const IdSource& createId) {
    const std::string centre = createId();
    std::vector<Spec> specs{makeSpec({{"id", centre}, {"type", "rectangle"}, {"x", -70}, {"y", -30}, {"width", 140},
                                      {"height", 60}, {"strokeColor", c.blueStroke}, {"fillColor", c.blueFill},
                                      {"label", "Main Topic"}, {"cornerRadius", 8}})};
    for (int i = 0; i < 5; ++i) {
        // The first topic sits straight above the centre, the others follow clockwise on screen.
        const double angle = static_cast<double>(i) / 5 * 2 * std::numbers::pi - std::numbers::pi / 2;
        const double x = jsRound(std::cos(angle) * 180), y = jsRound(std::sin(angle) * 180);
        const std::string topic = createId(), line = createId();
        specs.push_back(makeSpec({{"id", line}, {"type", "line"}, {"x", 0}, {"y", 0}, {"x2", x}, {"y2", y},
                                  {"strokeColor", c.ink}, {"fillColor", "transparent"}, {"strokeWidth", 1.2},
                                  {"startElementId", centre}, {"endElementId", topic}}));
        specs.push_back(makeSpec({{"id", topic}, {"type", "ellipse"}, {"x", x - 55}, {"y", y - 23}, {"width", 110},
                                  {"height", 46}, {"strokeColor", c.greenStroke}, {"fillColor", c.greenFill},
                                  {"label", "Topic " + std::to_string(i + 1)}}));
    }
    return specs;
}

std::vector<Spec> swot(const Palette& c, const IdSource& createId) {
    std::vector<Spec> specs{makeSpec({{"id", createId()}, {"type", "text"}, {"x", -180}, {"y", -185},
                                      {"width", 360}, {"height", 28}, {"content", "SWOT Analysis"}, {"fontSize", 15},
                                      {"fontFamily", "Arial, sans-serif"}, {"textAlign", "center"},
                                      {"strokeColor", c.ink}, {"fillColor", "transparent"}, {"strokeWidth", 0}})};
    struct Quadrant {
        const char* label;
        double x, y;
        bool green;
    };
    for (const Quadrant& q : {Quadrant{"Strengths", -180, -150, true}, Quadrant{"Weaknesses", 5, -150, false},
                              Quadrant{"Opportunities", -180, -5, true}, Quadrant{"Threats", 5, -5, false}}) {
        specs.push_back(makeSpec({{"id", createId()}, {"type", "rectangle"}, {"x", q.x}, {"y", q.y}, {"width", 175},
                                  {"height", 135}, {"strokeColor", q.green ? c.greenStroke : c.redStroke},
                                  {"fillColor", q.green ? c.greenFill : c.redFill}, {"label", q.label},
                                  {"cornerRadius", 4}}));
    }
    return specs;
}

std::vector<Spec> sequence(const Palette& c, const IdSource& createId) {
    std::vector<Spec> specs;
    const auto actor = [&](const char* label, double x, const char* stroke, const char* fill) {
        specs.push_back(makeSpec({{"id", createId()}, {"type", "rectangle"}, {"x", x}, {"y", 0}, {"width", 140},
                                  {"height", 50}, {"strokeColor", stroke}, {"fillColor", fill}, {"label", label}}));
    };
    actor("Actor A", 0, c.blueStroke, c.blueFill);
    actor("Actor B", 260, c.greenStroke, c.greenFill);
    for (double x : {70.0, 330.0}) {
        specs.push_back(makeSpec({{"id", createId()}, {"type", "line"}, {"x", x}, {"y", 50}, {"x2", x}, {"y2", 260},
                                  {"strokeColor", c.ink}, {"fillColor", "transparent"}, {"strokeWidth", 1},
                                  {"strokeStyle", "dashed"}, {"opacity", 0.35}}));
    }
    const auto message = [&](const char* label, double x, double x2, double y, bool dashed) {
        Spec spec = makeSpec({{"id", createId()}, {"type", "arrow"}, {"x", x}, {"y", y}, {"x2", x2}, {"y2", y},
                              {"strokeColor", c.ink}, {"fillColor", "transparent"}, {"label", label}});
        if (dashed) spec.set("strokeStyle", "dashed");
        specs.push_back(std::move(spec));
    };
    message("Request", 70, 330, 110, false);
    message("Response", 330, 70, 170, true);
    message("Ack", 70, 330, 230, false);
    return specs;
}

double numberOrZero(const Spec& spec, std::string_view key) {
    const JSONValue* value = spec.find(key);
    if (!value) return 0;
    return value->doubleValue().value_or(0);
}

void shift(Spec& spec, std::string_view key, double by) {
    spec.set(std::string(key), numberOrZero(spec, key) + by);
}

void centre(std::vector<Spec>& specs, double cx, double cy) {
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    const auto widen = [&](double x, double y) {
        minX = jsMin(minX, x);
        maxX = jsMax(maxX, x);
        minY = jsMin(minY, y);
        maxY = jsMax(maxY, y);
    };
    for (const Spec& spec : specs) {
        const JSONValue* typeValue = spec.find("type");
        const std::string* type = typeValue ? typeValue->stringValue() : nullptr;
        if (!type) continue;
        const double x = numberOrZero(spec, "x"), y = numberOrZero(spec, "y");
        if (*type == "rectangle" || *type == "ellipse" || *type == "rhombus" || *type == "text" || *type == "image") {
            widen(x, y);
            widen(x + numberOrZero(spec, "width"), y + numberOrZero(spec, "height"));
        } else if (*type == "arrow" || *type == "line") {
            widen(x, y);
            widen(numberOrZero(spec, "x2"), numberOrZero(spec, "y2"));
        }
    }
    const double dx = cx - (minX + maxX) / 2, dy = cy - (minY + maxY) / 2;
    for (Spec& spec : specs) {
        shift(spec, "x", dx);
        shift(spec, "y", dy);
        const JSONValue* typeValue = spec.find("type");
        const std::string* type = typeValue ? typeValue->stringValue() : nullptr;
        if (type && (*type == "arrow" || *type == "line")) {
            shift(spec, "x2", dx);
            shift(spec, "y2", dy);
        }
    }
}

}  // namespace

const std::vector<Presets::Preset>& Presets::all() {
    static const std::vector<Preset> presets{
        {"flowchart", "presetFlowchart"},
        {"mindmap", "presetMindMap"},
        {"swot", "presetSwot"},
        {"sequence", "presetSequence"},
    };
    return presets;
}

std::optional<std::vector<Element>> Presets::buildElements(std::string_view id, double cx, double cy, bool isDark,
                                                           const std::function<std::string()>& createId) {
    using Builder = std::vector<Spec> (*)(const Palette&, const IdSource&);
    Builder builder = id == "flowchart" ? flowchart
                      : id == "mindmap" ? mindMap
                      : id == "swot"    ? swot
                      : id == "sequence" ? sequence
                                         : nullptr;
    if (!builder) return std::nullopt;
    std::vector<Spec> specs = builder(isDark ? kDark : kLight, createId);
    centre(specs, cx, cy);
    std::vector<Element> elements;
    elements.reserve(specs.size());
    for (const Spec& spec : specs) {
        if (std::optional<Element> element = Element::fromLenientJSON(spec)) elements.push_back(std::move(*element));
    }
    return elements;
}

}  // namespace dv
