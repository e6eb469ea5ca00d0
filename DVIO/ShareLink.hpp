#pragma once
// Boards shared as links. A link's fragment names either a scene kept by the sharing service (a
// short id) or carries the elements inline: their compact JSON, gzipped, in base64url. Fragments
// come from anywhere, so decoding never throws: anything malformed is absent.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "DVModel/Element.hpp"

namespace dv::ShareLink {

// The current prefix, for short ids and inline payloads alike.
inline constexpr std::string_view shortPrefix = "#s=";
// The older prefix: standard base64, possibly percent-encoded, of gzip or of plain JSON.
inline constexpr std::string_view legacyPrefix = "#share=";

struct ShortId {
    std::string id;
    bool operator==(const ShortId&) const = default;
};

// What a fragment names: a stored scene, or elements already validated.
struct Payload {
    std::variant<ShortId, std::vector<Element>> value;

    static Payload shortId(std::string id) { return {ShortId{std::move(id)}}; }
    static Payload elements(std::vector<Element> list) { return {std::move(list)}; }

    const std::string* asShortId() const {
        const auto* s = std::get_if<ShortId>(&value);
        return s ? &s->id : nullptr;
    }
    const std::vector<Element>* asElements() const { return std::get_if<std::vector<Element>>(&value); }

    bool operator==(const Payload&) const = default;
};

// Begins with "#s=" or "#share=" (exactly, case-sensitive, with the "#").
bool isShareHash(std::string_view hash);
// Exactly 8 ASCII letters or digits.
bool isShortId(std::string_view text);
// `hash` is the fragment with its "#".
std::optional<Payload> decode(std::string_view hash);
// The elements of the JSON body the sharing service returns for a short id.
std::optional<std::vector<Element>> decodeFetched(std::span<const std::uint8_t> body);
// The inline payload of the current form, without a prefix: base64url, no padding.
std::string encodeScene(std::span<const Element> elements);
// origin + "/" + "#s=" + payload; the origin is taken as it is, so one ending in "/" gives "//".
std::string inlineURL(std::span<const Element> elements, std::string_view origin);

}  // namespace dv::ShareLink

template <> struct std::hash<dv::ShareLink::Payload> {
    std::size_t operator()(const dv::ShareLink::Payload& payload) const;
};
