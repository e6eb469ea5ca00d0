#pragma once
// Board files at their top level: the three accepted shapes, the format version, the problems
// that stop a read and those that only leave a warning, the keys carried through a round trip,
// and the viewport to show a board with.

#include "DVModel/Hashing.hpp"
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "DVIO/CloudLink.hpp"
#include "DVIO/JSONParser.hpp"
#include "DVModel/Element.hpp"
#include "DVModel/JSONValue.hpp"
#include "DVModel/Viewport.hpp"

namespace dv {

struct DrevalinDocumentData {
    static constexpr std::int64_t formatVersion = 1;

    std::int64_t version = 1;
    std::optional<Viewport> viewport;
    std::vector<Element> elements;
    std::optional<CloudLink> cloud;
    JSONObject extraTopLevel;  // unread top-level keys, in file order

    bool operator==(const DrevalinDocumentData&) const = default;
};

enum class DrevalinFileShape : std::uint8_t { bareArray, elementsOnly, versioned };
enum class DrevalinReaderSemantics : std::uint8_t { web, mcp };

struct DrevalinReadWarning {
    struct NewerVersion {
        double version;
        bool operator==(const NewerVersion&) const = default;
    };
    struct InvalidVersion {
        JSONValue value;
        bool operator==(const InvalidVersion&) const = default;
    };
    struct DroppedElements {
        std::int64_t count;
        bool operator==(const DroppedElements&) const = default;
    };
    struct InvalidViewport {
        bool operator==(const InvalidViewport&) const = default;
    };
    struct InvalidCloud {
        bool operator==(const InvalidCloud&) const = default;
    };

    std::variant<NewerVersion, InvalidVersion, DroppedElements, InvalidViewport, InvalidCloud> kind;

    bool operator==(const DrevalinReadWarning&) const = default;
};

struct DrevalinReadResult {
    DrevalinDocumentData document;
    DrevalinFileShape shape = DrevalinFileShape::bareArray;
    DrevalinReaderSemantics semantics = DrevalinReaderSemantics::mcp;
    bool isNewerVersion = false;
    std::vector<DrevalinReadWarning> warnings;

    bool operator==(const DrevalinReadResult&) const = default;
};

class DrevalinFileError : public std::exception {
public:
    enum class Kind : std::uint8_t {
        invalidJSON,
        tooManyElements,
        noValidElements,
        notADocument,
        missingElements,
        elementsNotAnArray,
        tooLarge,
    };

    static DrevalinFileError invalidJSON(JSONParseError error);
    static DrevalinFileError tooManyElements(std::int64_t count);
    static DrevalinFileError noValidElements(std::int64_t count);
    static DrevalinFileError notADocument();
    static DrevalinFileError missingElements();
    static DrevalinFileError elementsNotAnArray();
    static DrevalinFileError tooLarge();

    Kind kind() const noexcept { return kind_; }
    // The parse error of invalidJSON.
    const std::optional<JSONParseError>& parseError() const noexcept { return parseError_; }
    // The number of entries of the file's elements array for tooManyElements and noValidElements.
    std::int64_t count() const noexcept { return count_; }
    const std::string& description() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

    bool operator==(const DrevalinFileError& other) const noexcept {
        return kind_ == other.kind_ && parseError_ == other.parseError_ && count_ == other.count_;
    }

private:
    DrevalinFileError(Kind kind, std::optional<JSONParseError> parseError, std::int64_t count, std::string message);

    Kind kind_;
    std::optional<JSONParseError> parseError_;
    std::int64_t count_ = 0;
    std::string message_;
};

// The most JSON values (member names included) a board read holds at once. Entries of the element
// list are handed over one at a time, so this bounds one element plus everything outside the list:
// over ten times what a 100,000-point stroke needs, while the parse of a hostile file stays within
// a few hundred MiB whatever its size.
inline constexpr std::int64_t kDrevalinReadValueLimit = 4'000'000;

// The most numbers the polygons and freehand strokes of a board read may hold in all: two for each
// point, one for each pressure, so 128 MiB of them. Each element is bounded on its own, but a file
// as short as "[3,1]" a point would otherwise hold over twice its size in doubles, on top of the
// file itself while it is read; past this the file is too large to read. Real boards hold a few
// hundred thousand points.
inline constexpr std::int64_t kDrevalinReadPointNumberLimit = 16'777'216;

// Reads a board file's bytes (a leading UTF-8 byte-order mark is dropped). Throws
// DrevalinFileError, and nothing else, when no document can be had.
DrevalinReadResult readDrevalinFile(std::span<const std::uint8_t> data);
// The top-level object of a document: "version" 1, "viewport", "elements", "cloud", then the
// extra keys.
JSONObject drevalinFileObject(const DrevalinDocumentData& document);
// The file bytes: the top-level object indented by two spaces, then one line feed.
std::vector<std::uint8_t> writeDrevalinFile(const DrevalinDocumentData& document);
// The stored viewport, or one that fits the elements into the canvas.
Viewport loadViewport(const DrevalinDocumentData& document, double canvasWidth, double canvasHeight);

}  // namespace dv

DV_HASH_MEMBERS(dv::DrevalinDocumentData, &dv::DrevalinDocumentData::version, &dv::DrevalinDocumentData::viewport,
                &dv::DrevalinDocumentData::elements, &dv::DrevalinDocumentData::cloud,
                &dv::DrevalinDocumentData::extraTopLevel);
DV_HASH_MEMBERS(dv::DrevalinReadWarning::NewerVersion, &dv::DrevalinReadWarning::NewerVersion::version);
DV_HASH_MEMBERS(dv::DrevalinReadWarning::InvalidVersion, &dv::DrevalinReadWarning::InvalidVersion::value);
DV_HASH_MEMBERS(dv::DrevalinReadWarning::DroppedElements, &dv::DrevalinReadWarning::DroppedElements::count);
DV_HASH_MEMBERS(dv::DrevalinReadWarning, &dv::DrevalinReadWarning::kind);
DV_HASH_MEMBERS(dv::DrevalinReadResult, &dv::DrevalinReadResult::document, &dv::DrevalinReadResult::shape,
                &dv::DrevalinReadResult::semantics, &dv::DrevalinReadResult::isNewerVersion,
                &dv::DrevalinReadResult::warnings);
