// The clipboard decoders on arbitrary text, split at the first NUL into the private form and the
// plain text. Whatever decodes is a non-empty list that survives the text form unchanged once
// written and read.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "DVIO/ElementClipboard.hpp"
#include "fuzz/support/Invariant.hpp"

using dv::fuzz::broken;

namespace {

void check(const std::optional<std::vector<dv::Element>>& list) {
    if (!list) return;
    if (list->empty()) broken("an empty list decoded");
    const auto once = dv::decodeElementClipboardText(dv::elementClipboardText(*list));
    if (!once) broken("clipboard text of decoded elements does not decode");
    const auto twice = dv::decodeElementClipboard(std::nullopt, dv::elementClipboardText(*once));
    if (twice != once) broken("elements change on a second trip through the clipboard");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = all.find('\0');
    std::optional<std::string_view> custom, text;
    if (nul == std::string_view::npos) {
        text = all;
    } else {
        custom = all.substr(0, nul);
        text = all.substr(nul + 1);
    }
    check(dv::decodeElementClipboard(custom, text));
    check(dv::decodeElementClipboard(all));
    check(dv::decodeElementClipboardText(all));
    return 0;
}
