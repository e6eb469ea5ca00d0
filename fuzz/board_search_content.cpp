// Search content of arbitrary board bytes. Reading either throws DrevalinFileError or yields
// content whose text is well-formed UTF-8, whose keywords are unique and non-empty, and which
// is the same when extracted again from the read elements.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>

#include "fuzz/support/Invariant.hpp"
#include "DVIO/BoardFile.hpp"
#include "DVIO/BoardSearchContent.hpp"
#include "DVModel/UTF8.hpp"

using dv::fuzz::broken;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<dv::BoardSearchContent> content;
    try {
        content = dv::BoardSearchContent::fromFileData({data, size});
    } catch (const dv::DrevalinFileError&) {
        return 0;
    }
    const std::string text = content->textContent();
    if (!dv::isValidUTF8(text)) broken("the text content is not well-formed UTF-8");
    std::set<std::string> seen;
    for (const std::string& keyword : content->keywords) {
        if (keyword.empty()) broken("an empty keyword");
        if (!seen.insert(keyword).second) broken("a keyword listed twice");
    }
    for (const std::string& field : content->texts) {
        if (!dv::isValidUTF8(field)) broken("a text is not well-formed UTF-8");
    }
    const dv::DrevalinReadResult read = dv::readDrevalinFile({data, size});
    if (!(dv::BoardSearchContent(read.document.elements) == *content))
        broken("content from the read elements differs");
    return 0;
}
