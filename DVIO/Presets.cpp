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

using Draft = JSONObject;
using IdSource = std::function<std::string()>;

// Every draft starts from the common stroke keys; later keys set over them keep their place.
Draft makeDraft(std::initializer_list<std::pair<std::string_view, JSONValue>> keys) {
    Draft draft{{"strokeWidth", 1.5}, {"opacity", 1}, {"roughness", 0}};
    for (const auto& [key, value] : keys) draft.set(std::string(key), value);
    return draft;
}

std::vector<Draft> flowchart(const Palette& c, const IdSource& createId) {
    const std::string start = createId(), process = createId(), decision = createId(), end = createId();
    std::vector<Draft> drafts{
        makeDraft({{"id", start}, {"type", "ellipse"}, {"x", -70}, {"y", -220}, {"width", 140}, {"height", 50},
                  {"strokeColor", c.greenStroke}, {"fillColor", c.greenFill}, {"label", "Start"}}),
        makeDraft({{"id", process}, {"type", "rectangle"}, {"x", -80}, {"y", -120}, {"width", 160}, {"height", 55},
                  {"strokeColor", c.blueStroke}, {"fillColor", c.blueFill}, {"label", "Process"}}),
        makeDraft({{"id", decision}, {"type", "rhombus"}, {"x", -80}, {"y", -5}, {"width", 160}, {"height", 80},
                  {"strokeColor", c.redStroke}, {"fillColor", c.redFill}, {"label", "Decision"}}),
        makeDraft({{"id", end}, {"type", "ellipse"}, {"x", -70}, {"y", 145}, {"width", 140}, {"height", 50},
                  {"strokeColor", c.greenStroke}, {"fillColor", c.greenFill}, {"label", "End"}}),
    };
    const auto arrow = [&](double y, double y2, const std::string& from, const std::string& to) {
        return makeDraft({{"id", createId()}, {"type", "arrow"}, {"x", 0}, {"y", y}, {"x2", 0}, {"y2", y2},
                         {"strokeColor", c.ink}, {"fillColor", "transparent"}, {"startElementId", from},
                         {"endElementId", to}});
    };
    drafts.push_back(arrow(-170, -120, start, process));
    drafts.push_back(arrow(-65, -5, process, decision));
    drafts.push_back(arrow(75, 145, decision, end));
    return drafts;
}

std::vector<Draft> mindMap(const Palette& c, const IdSource& createId) {
    const std::string centre = createId();
    std::vector<Draft> drafts{makeDraft({{"id", centre}, {"type", "rectangle"}, {"x", -70}, {"y", -30}, {"width", 140},
                                      {"height", 60}, {"strokeColor", c.blueStroke}, {"fillColor", c.blueFill},
                                      {"label", "Main Topic"}, {"cornerRadius", 8}})};
    for (int i = 0; i < 5; ++i) {
        // The first topic sits straight above the centre, the others follow clockwise on screen.
        const double angle = static_cast<double>(i) / 5 * 2 * std::numbers::pi - std::numbers::pi / 2;
        const double x = jsRound(std::cos(angle) * 180), y = jsRound(std::sin(angle) * 180);
        const std::string topic = createId(), line = createId();
        drafts.push_back(makeDraft({{"id", line}, {"type", "line"}, {"x", 0}, {"y", 0}, {"x2", x}, {"y2", y},
                                  {"strokeColor", c.ink}, {"fillColor", "transparent"}, {"strokeWidth", 1.2},
                                  {"startElementId", centre}, {"endElementId", topic}}));
        drafts.push_back(makeDraft({{"id", topic}, {"type", "ellipse"}, {"x", x - 55}, {"y", y - 23}, {"width", 110},
                                  {"height", 46}, {"strokeColor", c.greenStroke}, {"fillColor", c.greenFill},
                                  {"label", "Topic " + std::to_string(i + 1)}}));
    }
    return drafts;
}

std::vector<Draft> swot(const Palette& c, const IdSource& createId) {
    std::vector<Draft> drafts{makeDraft({{"id", createId()}, {"type", "text"}, {"x", -180}, {"y", -185},
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
        drafts.push_back(makeDraft({{"id", createId()}, {"type", "rectangle"}, {"x", q.x}, {"y", q.y}, {"width", 175},
                                  {"height", 135}, {"strokeColor", q.green ? c.greenStroke : c.redStroke},
                                  {"fillColor", q.green ? c.greenFill : c.redFill}, {"label", q.label},
                                  {"cornerRadius", 4}}));
    }
    return drafts;
}

std::vector<Draft> sequence(const Palette& c, const IdSource& createId) {
    std::vector<Draft> drafts;
    const auto actor = [&](const char* label, double x, const char* stroke, const char* fill) {
        drafts.push_back(makeDraft({{"id", createId()}, {"type", "rectangle"}, {"x", x}, {"y", 0}, {"width", 140},
                                  {"height", 50}, {"strokeColor", stroke}, {"fillColor", fill}, {"label", label}}));
    };
    actor("Actor A", 0, c.blueStroke, c.blueFill);
    actor("Actor B", 260, c.greenStroke, c.greenFill);
    for (double x : {70.0, 330.0}) {
        drafts.push_back(makeDraft({{"id", createId()}, {"type", "line"}, {"x", x}, {"y", 50}, {"x2", x}, {"y2", 260},
                                  {"strokeColor", c.ink}, {"fillColor", "transparent"}, {"strokeWidth", 1},
                                  {"strokeStyle", "dashed"}, {"opacity", 0.35}}));
    }
    const auto message = [&](const char* label, double x, double x2, double y, bool dashed) {
        Draft draft = makeDraft({{"id", createId()}, {"type", "arrow"}, {"x", x}, {"y", y}, {"x2", x2}, {"y2", y},
                              {"strokeColor", c.ink}, {"fillColor", "transparent"}, {"label", label}});
        if (dashed) draft.set("strokeStyle", "dashed");
        drafts.push_back(std::move(draft));
    };
    message("Request", 70, 330, 110, false);
    message("Response", 330, 70, 170, true);
    message("Ack", 70, 330, 230, false);
    return drafts;
}

double numberOrZero(const Draft& draft, std::string_view key) {
    const JSONValue* value = draft.find(key);
    if (!value) return 0;
    return value->doubleValue().value_or(0);
}

void shift(Draft& draft, std::string_view key, double by) {
    draft.set(std::string(key), numberOrZero(draft, key) + by);
}

void centre(std::vector<Draft>& drafts, double cx, double cy) {
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    const auto widen = [&](double x, double y) {
        minX = jsMin(minX, x);
        maxX = jsMax(maxX, x);
        minY = jsMin(minY, y);
        maxY = jsMax(maxY, y);
    };
    for (const Draft& draft : drafts) {
        const JSONValue* typeValue = draft.find("type");
        const std::string* type = typeValue ? typeValue->stringValue() : nullptr;
        if (!type) continue;
        const double x = numberOrZero(draft, "x"), y = numberOrZero(draft, "y");
        if (*type == "rectangle" || *type == "ellipse" || *type == "rhombus" || *type == "text" || *type == "image") {
            widen(x, y);
            widen(x + numberOrZero(draft, "width"), y + numberOrZero(draft, "height"));
        } else if (*type == "arrow" || *type == "line") {
            widen(x, y);
            widen(numberOrZero(draft, "x2"), numberOrZero(draft, "y2"));
        }
    }
    const double dx = cx - (minX + maxX) / 2, dy = cy - (minY + maxY) / 2;
    for (Draft& draft : drafts) {
        shift(draft, "x", dx);
        shift(draft, "y", dy);
        const JSONValue* typeValue = draft.find("type");
        const std::string* type = typeValue ? typeValue->stringValue() : nullptr;
        if (type && (*type == "arrow" || *type == "line")) {
            shift(draft, "x2", dx);
            shift(draft, "y2", dy);
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
    using Builder = std::vector<Draft> (*)(const Palette&, const IdSource&);
    Builder builder = id == "flowchart" ? flowchart
                      : id == "mindmap" ? mindMap
                      : id == "swot"    ? swot
                      : id == "sequence" ? sequence
                                         : nullptr;
    if (!builder) return std::nullopt;
    std::vector<Draft> drafts = builder(isDark ? kDark : kLight, createId);
    centre(drafts, cx, cy);
    std::vector<Element> elements;
    elements.reserve(drafts.size());
    for (const Draft& draft : drafts) {
        if (std::optional<Element> element = Element::fromLenientJSON(draft)) elements.push_back(std::move(*element));
    }
    return elements;
}

}  // namespace dv
