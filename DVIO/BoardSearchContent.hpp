#pragma once
// What a search index wants of a board: its visible texts (labels, text blocks) and a short list
// of keywords (stencil names and layer names).

#include "DVModel/Hashing.hpp"
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "DVModel/Element.hpp"

namespace dv {

struct BoardSearchContent {
    // The longest textContent, in user-perceived characters (extended grapheme clusters).
    static constexpr std::int64_t maxTextLength = 100000;

    std::vector<std::string> texts;     // one per contributing field, in element order
    std::vector<std::string> keywords;  // unique regardless of letter case, first spelling kept
    std::int64_t elementCount = 0;

    BoardSearchContent() = default;
    explicit BoardSearchContent(const std::vector<Element>& elements);
    // Reads the board (warnings ignored) and extracts its content; throws the read's
    // DrevalinFileError.
    static BoardSearchContent fromFileData(std::span<const std::uint8_t> data);

    // `texts` joined by line feeds, cut to maxTextLength characters.
    std::string textContent() const;

    bool operator==(const BoardSearchContent&) const = default;
};

}  // namespace dv

DV_HASH_MEMBERS(dv::BoardSearchContent, &dv::BoardSearchContent::texts, &dv::BoardSearchContent::keywords,
                &dv::BoardSearchContent::elementCount);
