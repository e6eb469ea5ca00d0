#include "DVIO/BoardFile.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

#include "DVGeometry/ViewportGeometry.hpp"
#include "DVIO/detail/ElementArray.hpp"
#include "DVIO/detail/JSONWriterCore.hpp"
#include "DVModel/ElementValidation.hpp"

namespace dv {

namespace {

constexpr std::int64_t kMaxElements = 5000;

std::string decimal(std::int64_t value) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

bool isKnownTopLevelKey(std::string_view key) {
    return key == "version" || key == "viewport" || key == "elements" || key == "cloud";
}

// The version as a 64-bit integer. Doubles from 9e18 upwards saturate; below that the
// conversion is exact for the integral values the caller passes.
std::int64_t versionNumber(double value) {
    if (value >= 9e18) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(value);
}

void readVersion(const JSONValue& value, DrevalinReadResult& result) {
    std::optional<double> number = value.doubleValue();
    if (number && std::isfinite(*number) && *number >= 1 && std::trunc(*number) == *number) {
        result.document.version = versionNumber(*number);
        result.semantics = DrevalinReaderSemantics::web;
        if (*number > 1) {
            result.warnings.push_back({DrevalinReadWarning::NewerVersion{*number}});
            result.isNewerVersion = true;
        }
        return;
    }
    result.warnings.push_back({DrevalinReadWarning::InvalidVersion{value}});
    result.semantics = DrevalinReaderSemantics::mcp;
    result.isNewerVersion = number && *number > 1;
}

// The numbers an element's points and pressures hold.
std::int64_t pointNumbers(const Element& element) {
    std::size_t numbers = 0;
    if (const Element::Polygon* polygon = element.payload.polygon()) numbers = 2 * polygon->points.size();
    if (const Element::Freehand* freehand = element.payload.freehand()) {
        numbers = 2 * freehand->points.size() + (freehand->pressures ? freehand->pressures->size() : 0);
    }
    return static_cast<std::int64_t>(numbers);
}

// Validates the entries of the element list while the file is parsed, so that besides the
// elements already built only one entry's JSON is alive at a time, never the whole tree. The
// points of the elements kept are counted as they come, so that a file holding too many stops
// being read there.
class ElementListReader final : public JSONListConsumer {
public:
    ElementListReader() : JSONListConsumer("elements") {}

    void beginList() override {
        list_.emplace();
        pointNumbers_ = 0;
    }
    void takeEntry(JSONValue&& entry) override {
        const std::size_t before = list_->accepted().size();
        list_->add(std::move(entry));
        if (list_->accepted().size() > before) hold(list_->accepted().back());
    }

    // The length of the element list, and what validateElements gives for it: the list that
    // opened last, which the parsed tree holds empty.
    std::int64_t count(const JSONValue& elements) const {
        return static_cast<std::int64_t>(list_ ? list_->offered() : elements.arrayValue()->size());
    }
    std::optional<std::vector<Element>> finish(JSONValue&& elements) {
        if (list_) return std::move(*list_).finish();
        auto valid = ElementValidation::validateElements(std::move(elements));
        if (valid)
            for (const Element& element : *valid) hold(element);
        return valid;
    }

private:
    void hold(const Element& element) {
        pointNumbers_ += pointNumbers(element);
        if (pointNumbers_ > kDrevalinReadPointNumberLimit) throw DrevalinFileError::tooLarge();
    }

    std::optional<ElementValidation::ElementList> list_;
    std::int64_t pointNumbers_ = 0;
};

}  // namespace

DrevalinFileError::DrevalinFileError(Kind kind, std::optional<JSONParseError> parseError, std::int64_t count,
                                     std::string message)
    : kind_(kind), parseError_(std::move(parseError)), count_(count), message_(std::move(message)) {}

DrevalinFileError DrevalinFileError::invalidJSON(JSONParseError error) {
    std::string message = "The file is not valid JSON: " + error.description();
    return DrevalinFileError(Kind::invalidJSON, std::move(error), 0, std::move(message));
}

DrevalinFileError DrevalinFileError::tooManyElements(std::int64_t count) {
    return DrevalinFileError(Kind::tooManyElements, std::nullopt, count,
                             "The file has " + decimal(count) + " elements; at most " + decimal(kMaxElements) +
                                 " are supported.");
}

DrevalinFileError DrevalinFileError::noValidElements(std::int64_t count) {
    return DrevalinFileError(Kind::noValidElements, std::nullopt, count,
                             "None of the file's " + decimal(count) + " elements is valid.");
}

DrevalinFileError DrevalinFileError::notADocument() {
    return DrevalinFileError(Kind::notADocument, std::nullopt, 0, "The file is not a Drevalin document.");
}

DrevalinFileError DrevalinFileError::missingElements() {
    return DrevalinFileError(Kind::missingElements, std::nullopt, 0, "The file has no elements.");
}

DrevalinFileError DrevalinFileError::elementsNotAnArray() {
    return DrevalinFileError(Kind::elementsNotAnArray, std::nullopt, 0, "The file's elements are not a list.");
}

DrevalinFileError DrevalinFileError::tooLarge() {
    return DrevalinFileError(Kind::tooLarge, std::nullopt, 0, "The file is too large to read.");
}

DrevalinReadResult readDrevalinFile(std::span<const std::uint8_t> data) {
    if (data.size() >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) data = data.subspan(3);

    JSONValue root;
    ElementListReader reader;
    try {
        root = JSONParser::parse(data, reader, JSONParser::defaultMaxDepth, kDrevalinReadValueLimit);
    } catch (const JSONParseError& error) {
        if (error.reason().kind == JSONParseError::Kind::valueLimitExceeded) throw DrevalinFileError::tooLarge();
        throw DrevalinFileError::invalidJSON(error);
    }

    DrevalinReadResult result;
    JSONValue elements;
    if (root.arrayValue()) {
        result.shape = DrevalinFileShape::bareArray;
        result.semantics = DrevalinReaderSemantics::mcp;
        elements = std::move(root);
    } else if (JSONObject* object = root.objectValue()) {
        if (!object->contains("elements")) throw DrevalinFileError::missingElements();
        if (const JSONValue* version = object->find("version")) {
            result.shape = DrevalinFileShape::versioned;
            readVersion(*version, result);
        } else {
            result.shape = DrevalinFileShape::elementsOnly;
            result.semantics = DrevalinReaderSemantics::mcp;
        }
        if (const JSONValue* viewport = object->find("viewport")) {
            result.document.viewport = ElementValidation::validateViewport(*viewport);
            if (!result.document.viewport) result.warnings.push_back({DrevalinReadWarning::InvalidViewport{}});
        }
        // The root is ours: values move out of it rather than being copied.
        for (std::size_t i = 0; i < object->count(); ++i) {
            const std::string_view key = object->keyAt(i);
            JSONValue& value = object->valueAt(i);
            if (key == "elements") {
                elements = std::move(value);
            } else if (key == "cloud") {
                result.document.cloud = CloudLink::fromJSONValue(value);
                if (!result.document.cloud) {
                    result.warnings.push_back({DrevalinReadWarning::InvalidCloud{}});
                    result.document.extraTopLevel.set(key, std::move(value));
                }
            } else if (key != "version" && key != "viewport") {
                result.document.extraTopLevel.set(key, std::move(value));
            }
        }
        if (!elements.arrayValue()) throw DrevalinFileError::elementsNotAnArray();
    } else {
        throw DrevalinFileError::notADocument();
    }

    const std::int64_t count = reader.count(elements);
    if (count > kMaxElements) throw DrevalinFileError::tooManyElements(count);
    std::optional<std::vector<Element>> valid = reader.finish(std::move(elements));
    if (!valid) throw DrevalinFileError::noValidElements(count);
    const auto kept = static_cast<std::int64_t>(valid->size());
    result.document.elements = std::move(*valid);
    if (kept < count) result.warnings.push_back({DrevalinReadWarning::DroppedElements{count - kept}});
    return result;
}

JSONObject drevalinFileObject(const DrevalinDocumentData& document) {
    JSONObject out;
    out.set("version", JSONValue(static_cast<double>(DrevalinDocumentData::formatVersion)));
    if (document.viewport) out.set("viewport", JSONValue(document.viewport->jsonObject()));
    out.set("elements", detail::elementArray(document.elements));
    if (document.cloud) out.set("cloud", JSONValue(document.cloud->jsonObject()));
    for (const auto& [key, value] : document.extraTopLevel) {
        // An unreadable cloud value survives through the extra keys while no link replaces it.
        bool keep = !isKnownTopLevelKey(key) || (key == "cloud" && !document.cloud);
        if (keep) out.set(key, value);
    }
    return out;
}

std::vector<std::uint8_t> writeDrevalinFile(const DrevalinDocumentData& document) {
    std::string text;
    text.reserve(4096);
    detail::writeJSON(text, JSONValue(drevalinFileObject(document)), 0, 2);
    text.push_back('\n');
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

Viewport loadViewport(const DrevalinDocumentData& document, double canvasWidth, double canvasHeight) {
    if (document.viewport) return *document.viewport;
    // Every inset absent: the fitting's own defaults apply.
    return fitToElements(document.elements, canvasWidth, canvasHeight, FitInsets{});
}

}  // namespace dv
