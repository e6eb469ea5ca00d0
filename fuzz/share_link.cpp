// ShareLink::decode and decodeFetched on arbitrary text. A short id is one; decoded elements
// encode to a payload that decodes to them again once written and read (numbers JSON cannot hold
// are written as null, so the comparison starts from one round trip).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "DVIO/ShareLink.hpp"
#include "fuzz/support/Invariant.hpp"

using dv::fuzz::broken;
namespace ShareLink = dv::ShareLink;

namespace {

std::vector<dv::Element> throughLink(const std::vector<dv::Element>& elements) {
    const std::string payload = ShareLink::encodeScene(elements);
    if (payload.find_first_of("+/=") != std::string::npos) broken("encodeScene wrote + / or =");
    const auto decoded = ShareLink::decode(std::string(ShareLink::shortPrefix) + payload);
    if (!decoded || !decoded->asElements()) broken("an encoded scene does not decode");
    return *decoded->asElements();
}

void check(std::string_view hash) {
    const auto payload = ShareLink::decode(hash);
    if (!payload) return;
    if (!ShareLink::isShareHash(hash)) broken("a fragment without a share prefix decoded");
    if (const std::string* id = payload->asShortId()) {
        if (!ShareLink::isShortId(*id) || hash != std::string(ShareLink::shortPrefix) + *id) broken("a bad short id");
        return;
    }
    const auto once = throughLink(*payload->asElements());
    if (throughLink(once) != once) broken("elements change on a second trip through a link");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check(text);
    // Most inputs lack a prefix; try the text after each one as well.
    check(std::string(ShareLink::shortPrefix) + std::string(text));
    check(std::string(ShareLink::legacyPrefix) + std::string(text));
    if (const auto fetched = ShareLink::decodeFetched({data, size})) {
        const auto once = throughLink(*fetched);
        if (throughLink(once) != once) broken("fetched elements change on a second trip through a link");
    }
    return 0;
}
