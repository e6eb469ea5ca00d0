#pragma once
// JSON text to the ordered JSON value model, with error messages worded like a browser's
// JSON.parse and the byte offset at which reading stopped.

#include <cstdint>
#include <exception>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "DVModel/JSONValue.hpp"

namespace dv {

class JSONParseError : public std::exception {
public:
    enum class Kind : std::uint8_t {
        unexpectedByte,
        depthLimitExceeded,
        unexpectedEndOfInput,
        invalidNumber,
        invalidEscape,
        invalidUnicodeEscape,
        controlCharacterInString,
        trailingContent,
        valueLimitExceeded,
    };

    // The kind with its payload: the byte for unexpectedByte, the depth limit for
    // depthLimitExceeded, the value limit for valueLimitExceeded, 0 otherwise.
    struct Reason {
        Kind kind = Kind::unexpectedEndOfInput;
        std::int64_t payload = 0;

        static Reason unexpectedByte(std::uint8_t byte) { return {Kind::unexpectedByte, byte}; }
        static Reason depthLimitExceeded(std::int64_t limit) { return {Kind::depthLimitExceeded, limit}; }
        static Reason valueLimitExceeded(std::int64_t limit) { return {Kind::valueLimitExceeded, limit}; }
        static Reason of(Kind kind) { return {kind, 0}; }

        bool operator==(const Reason&) const = default;
    };

    JSONParseError(Reason reason, std::int64_t offset);

    const Reason& reason() const noexcept { return reason_; }
    std::int64_t offset() const noexcept { return offset_; }
    const std::string& description() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

    bool operator==(const JSONParseError& other) const noexcept {
        return reason_ == other.reason_ && offset_ == other.offset_;
    }

private:
    Reason reason_;
    std::int64_t offset_;
    std::string message_;
};

// Receives the entries of a document's main list while the document is being parsed, so that a
// reader can turn each entry into something smaller before the next one is read, instead of
// holding the whole tree at once. The main list is a top-level array, or an array that is the
// value of the top-level object's member named `listKey`.
class JSONListConsumer {
public:
    explicit JSONListConsumer(std::string listKey) : listKey_(std::move(listKey)) {}
    virtual ~JSONListConsumer() = default;

    const std::string& listKey() const noexcept { return listKey_; }

    // A main list opens. A member named twice keeps its last value, so a list that opens replaces
    // whatever earlier lists gave.
    virtual void beginList() = 0;
    // The next complete entry of the list that opened last. The parsed tree keeps nothing of it:
    // a main list comes back empty, whatever its length, so that a list of millions of small
    // entries costs the parse no memory. Nothing said here stands if the parse fails later.
    virtual void takeEntry(JSONValue&& entry) = 0;

private:
    std::string listKey_;
};

struct JSONParser {
    static constexpr std::int64_t defaultMaxDepth = 512;
    static constexpr std::int64_t unlimitedValues = std::numeric_limits<std::int64_t>::max();

    // `maxValues` bounds the memory a hostile text can make the parse hold: it is the most values
    // and member names held at once, counted as each one completes (a container when it closes)
    // and given back when a main-list entry goes to the consumer. The value or name that would
    // go past it stops the parse with valueLimitExceeded at the byte just after it; errors met
    // earlier in the text are reported as without the bound.

    // Parses the UTF-8 bytes of `text`; offsets in errors count bytes.
    static JSONValue parse(std::string_view text, std::int64_t maxDepth = defaultMaxDepth,
                           std::int64_t maxValues = unlimitedValues);
    // Parses the bytes as they are: no byte-order mark is skipped, no other encoding detected.
    static JSONValue parse(std::span<const std::uint8_t> data, std::int64_t maxDepth = defaultMaxDepth,
                           std::int64_t maxValues = unlimitedValues);
    // The same parse, handing the entries of the main list to `consumer` as they complete.
    static JSONValue parse(std::span<const std::uint8_t> data, JSONListConsumer& consumer,
                           std::int64_t maxDepth = defaultMaxDepth, std::int64_t maxValues = unlimitedValues);
};

}  // namespace dv
