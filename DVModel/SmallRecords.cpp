#include "DVModel/SmallRecords.hpp"

#include <algorithm>

namespace dv {

JSONValue Point::jsonValue() const { return JSONValue(JSONValue::Array{JSONValue(x), JSONValue(y)}); }

JSONObject ConnectorAnchor::jsonObject() const {
    JSONObject object;
    object.reserve(2 + extra.count());
    object.set("x", JSONValue(x));
    object.set("y", JSONValue(y));
    appendExtraKeys(object, extra);
    return object;
}

StencilSource StencilSource::builtin(std::string ref) { return {Builtin{std::move(ref)}, {}}; }

StencilSource StencilSource::embedded(std::string src, std::string pack, std::string name) {
    return {Embedded{std::move(src), std::move(pack), std::move(name)}, {}};
}

JSONObject StencilSource::jsonObject() const {
    JSONObject object;
    if (const auto* b = std::get_if<Builtin>(&kind)) {
        object.set("kind", JSONValue("builtin"));
        object.set("ref", JSONValue(b->ref));
    } else {
        const auto& e = std::get<Embedded>(kind);
        object.set("kind", JSONValue("embedded"));
        object.set("src", JSONValue(e.src));
        object.set("pack", JSONValue(e.pack));
        object.set("name", JSONValue(e.name));
    }
    appendExtraKeys(object, extra);
    return object;
}

void appendExtraKeys(JSONObject& target, const JSONObject& extra) {
    for (const auto& [key, value] : extra) {
        if (!target.contains(key)) target.set(key, value);
    }
}

JSONObject detail::keysExcept(const JSONObject& object, std::initializer_list<std::string_view> taken) {
    JSONObject rest;
    for (const auto& [key, value] : object) {
        if (std::find(taken.begin(), taken.end(), key) == taken.end()) rest.set(key, value);
    }
    return rest;
}

namespace {

const std::string* memberText(const JSONObject& object, std::string_view key) {
    const JSONValue* value = object.find(key);
    return value != nullptr ? value->stringValue() : nullptr;
}

}  // namespace

std::optional<ConnectorAnchor> readConnectorAnchor(const JSONValue& value) {
    const JSONObject* object = value.objectValue();
    if (object == nullptr) return std::nullopt;
    const JSONValue* x = object->find("x");
    const JSONValue* y = object->find("y");
    const auto nx = x != nullptr ? x->doubleValue() : std::nullopt;
    const auto ny = y != nullptr ? y->doubleValue() : std::nullopt;
    if (!nx || !ny) return std::nullopt;
    return ConnectorAnchor{*nx, *ny, detail::keysExcept(*object, {"x", "y"})};
}

std::optional<StencilSource> readStencilSource(const JSONValue& value) {
    const JSONObject* object = value.objectValue();
    if (object == nullptr) return std::nullopt;
    const std::string* kind = memberText(*object, "kind");
    if (kind == nullptr) return std::nullopt;
    if (*kind == "builtin") {
        const std::string* ref = memberText(*object, "ref");
        if (ref == nullptr) return std::nullopt;
        return StencilSource{StencilSource::Builtin{*ref}, detail::keysExcept(*object, {"kind", "ref"})};
    }
    if (*kind == "embedded") {
        const std::string* src = memberText(*object, "src");
        const std::string* pack = memberText(*object, "pack");
        const std::string* name = memberText(*object, "name");
        if (src == nullptr || pack == nullptr || name == nullptr) return std::nullopt;
        return StencilSource{StencilSource::Embedded{*src, *pack, *name},
                             detail::keysExcept(*object, {"kind", "src", "pack", "name"})};
    }
    return std::nullopt;
}

std::optional<std::vector<Point>> readPointList(const JSONValue& value) {
    const JSONValue::Array* entries = value.arrayValue();
    if (entries == nullptr) return std::nullopt;
    std::vector<Point> points;
    points.reserve(entries->size());
    for (const JSONValue& entry : *entries) {
        const JSONValue::Array* pair = entry.arrayValue();
        if (pair == nullptr || pair->size() != 2) return std::nullopt;
        const auto x = (*pair)[0].doubleValue();
        const auto y = (*pair)[1].doubleValue();
        if (!x || !y) return std::nullopt;
        points.push_back(Point{*x, *y});
    }
    return points;
}

std::optional<std::vector<double>> readNumberList(const JSONValue& value) {
    const JSONValue::Array* entries = value.arrayValue();
    if (entries == nullptr) return std::nullopt;
    std::vector<double> numbers;
    numbers.reserve(entries->size());
    for (const JSONValue& entry : *entries) {
        const auto n = entry.doubleValue();
        if (!n) return std::nullopt;
        numbers.push_back(*n);
    }
    return numbers;
}

}  // namespace dv
