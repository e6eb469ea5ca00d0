#include "DVIO/CloudLink.hpp"

#include <cmath>

#include "Platform/URL/URLComponents.hpp"

namespace dv {

const std::string CloudLink::defaultOrigin = "https://cloud.drevalin.example";

namespace {

bool isAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

bool CloudLink::isValidBoardId(std::string_view text) {
    if (text.size() < 12 || text.size() > 32) return false;
    for (char c : text)
        if (!isAsciiAlnum(c)) return false;
    return true;
}

bool CloudLink::isDigest(std::string_view text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

bool CloudLink::isValidOrigin(std::string_view text) {
    auto parts = URLComponents::parse(text);
    if (!parts || !parts->scheme || !parts->host) return false;
    std::string host = asciiLower(*parts->host);
    if (host.empty()) return false;
    std::string scheme = asciiLower(*parts->scheme);
    if (scheme != "https" && !(scheme == "http" && (host == "localhost" || host == "127.0.0.1"))) return false;
    if (parts->user || parts->password) return false;
    if (!parts->path.empty() && parts->path != "/") return false;
    return !parts->query && !parts->fragment;
}

std::optional<CloudLink> CloudLink::fromJSONValue(const JSONValue& value) {
    const JSONObject* object = value.objectValue();
    if (!object) return std::nullopt;
    JSONObject rest = *object;
    CloudLink link;

    const std::string* boardId = rest["boardId"] ? rest["boardId"]->stringValue() : nullptr;
    if (!boardId || !isValidBoardId(*boardId)) return std::nullopt;
    link.boardId = *boardId;
    rest.remove("boardId");

    if (const JSONValue* origin = rest["origin"]) {
        const std::string* text = origin->stringValue();
        if (!text || !isValidOrigin(*text)) return std::nullopt;
        link.origin = *text;
        rest.remove("origin");
    }

    if (const JSONValue* version = rest["syncedVersion"]) {
        // Integral and within 1 ... 2^53 - 1 before the conversion, so the cast is exact.
        if (auto number = version->doubleValue();
            number && *number >= 1 && *number <= 9007199254740991.0 && std::trunc(*number) == *number)
            link.syncedVersion = static_cast<std::int64_t>(*number);
        rest.remove("syncedVersion");
    }

    if (const JSONValue* digest = rest["syncedDigest"]) {
        if (const std::string* text = digest->stringValue(); text && isDigest(*text)) link.syncedDigest = *text;
        rest.remove("syncedDigest");
    }

    link.extra = std::move(rest);
    return link;
}

JSONObject CloudLink::jsonObject() const {
    JSONObject out;
    out.set("boardId", JSONValue(boardId));
    if (origin) out.set("origin", JSONValue(*origin));
    if (syncedVersion) out.set("syncedVersion", JSONValue(static_cast<double>(*syncedVersion)));
    if (syncedDigest) out.set("syncedDigest", JSONValue(*syncedDigest));
    for (const auto& [key, value] : extra)
        if (!out.contains(key)) out.set(key, value);
    return out;
}

}  // namespace dv
