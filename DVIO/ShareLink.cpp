#include "DVIO/ShareLink.hpp"

#include "DVIO/Gzip.hpp"
#include "DVIO/JSONParser.hpp"
#include "DVIO/JSONWriter.hpp"
#include "DVIO/detail/ElementArray.hpp"
#include "DVModel/Base64.hpp"
#include "DVModel/ElementValidation.hpp"
#include "DVModel/Hashing.hpp"
#include "DVModel/UTF8.hpp"
#include "Platform/URL/URLComponents.hpp"

namespace dv::ShareLink {

namespace {

using Bytes = std::vector<std::uint8_t>;

bool isSkippedWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// Standard base64, padded here when short of a multiple of four. A length one past a multiple of
// four cannot be base64, and the decoding is strict so that padding cannot hide it: "A===" is
// refused, not read as no bytes.
std::optional<Bytes> base64URLDecode(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) n += !isSkippedWhiteSpace(c);
    if (n % 4 == 1) return std::nullopt;
    std::string padded(text);
    padded.append((4 - n % 4) % 4, '=');
    return base64Decode(padded, Base64Decoding::strict);
}

bool isGzipMember(const Bytes& bytes) { return bytes.size() > 2 && bytes[0] == 0x1F && bytes[1] == 0x8B; }

// The validated elements of JSON text. Bad UTF-8 reads as U+FFFD: the parser repairs it inside
// strings exactly as repairing the whole text first would, and anywhere else it is a parse error
// either way, so the text is not copied to repair it.
std::optional<std::vector<Element>> elementsOfJSON(std::span<const std::uint8_t> text) {
    try {
        return ElementValidation::validateElements(JSONParser::parse(text));
    } catch (const JSONParseError&) {
        return std::nullopt;
    }
}

std::optional<std::vector<Element>> decodePayloadBytes(const Bytes& bytes) {
    if (!isGzipMember(bytes)) return elementsOfJSON(bytes);
    const auto text = gunzip(bytes);
    if (!text) return std::nullopt;
    return elementsOfJSON(*text);
}

std::optional<Payload> decodeCurrent(std::string_view rest) {
    if (isShortId(rest)) return Payload::shortId(std::string(rest));
    std::string t(rest);
    for (char& c : t) {
        if (c == '-') c = '+';
        else if (c == '_') c = '/';
    }
    t.append((4 - t.size() % 4) % 4, '=');
    const auto bytes = base64URLDecode(t);
    if (!bytes) return std::nullopt;
    auto list = decodePayloadBytes(*bytes);
    if (!list) return std::nullopt;
    return Payload::elements(std::move(*list));
}

std::optional<Payload> decodeLegacy(std::string_view rest) {
    const auto unescaped = percentDecodeStrict(rest);
    if (!unescaped || !isValidUTF8(*unescaped)) return std::nullopt;
    const auto bytes = base64URLDecode(*unescaped);
    if (!bytes) return std::nullopt;
    std::optional<std::vector<Element>> list;
    if (isGzipMember(*bytes)) {
        const auto text = gunzip(*bytes);
        if (!text) return std::nullopt;
        list = elementsOfJSON(*text);
    } else {
        // Plain JSON text on this path must be well-formed UTF-8 as it stands.
        if (!isValidUTF8(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()))) {
            return std::nullopt;
        }
        list = elementsOfJSON(*bytes);
    }
    if (!list) return std::nullopt;
    return Payload::elements(std::move(*list));
}

}  // namespace

bool isShareHash(std::string_view hash) { return hash.starts_with(shortPrefix) || hash.starts_with(legacyPrefix); }

bool isShortId(std::string_view text) {
    if (text.size() != 8) return false;
    for (char c : text) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!ok) return false;
    }
    return true;
}

std::optional<Payload> decode(std::string_view hash) {
    if (hash.starts_with(shortPrefix)) return decodeCurrent(hash.substr(shortPrefix.size()));
    if (hash.starts_with(legacyPrefix)) return decodeLegacy(hash.substr(legacyPrefix.size()));
    return std::nullopt;
}

std::optional<std::vector<Element>> decodeFetched(std::span<const std::uint8_t> body) { return elementsOfJSON(body); }

std::string encodeScene(std::span<const Element> elements) {
    const std::vector<std::uint8_t> json = JSONWriter::data(detail::elementArray(elements), std::nullopt, false);
    const auto zipped = gzip(json);
    return base64URLEncode(zipped ? *zipped : json);
}

std::string inlineURL(std::span<const Element> elements, std::string_view origin) {
    std::string url(origin);
    url += '/';
    url += shortPrefix;
    url += encodeScene(elements);
    return url;
}

}  // namespace dv::ShareLink

std::size_t std::hash<dv::ShareLink::Payload>::operator()(const dv::ShareLink::Payload& payload) const {
    dv::Hasher h;
    h.writeByte(static_cast<std::uint8_t>(payload.value.index()));
    if (const std::string* id = payload.asShortId()) {
        h.write(*id);
    } else {
        for (const dv::Element& element : *payload.asElements()) h.writeU64(std::hash<dv::Element>{}(element));
    }
    return h.finish();
}
