// The ZIP readers on arbitrary bytes, with small limits. Nothing but ZipError and InflateError
// escapes; entries keep within their limits; the entries read are listed entries, in order, and
// never directories; every name is well-formed UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "DVIO/ZipArchive.hpp"
#include "DVModel/UTF8.hpp"
#include "fuzz/support/Invariant.hpp"

using dv::fuzz::broken;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const dv::ZipLimits limits{1000, 64 * 1024, 1024 * 1024};
    std::vector<std::string> names;
    try {
        names = dv::listZipEntries(bytes, limits);
    } catch (const dv::ZipError&) {
    }
    if (static_cast<std::int64_t>(names.size()) > limits.maxEntries) broken("more entries than the limit");
    for (const std::string& name : names) {
        if (!dv::isValidUTF8(name)) broken("a listed name is not well-formed UTF-8");
    }

    std::vector<dv::ZipEntry> entries;
    std::size_t offered = 0;
    try {
        entries = dv::readZipEntries(
            bytes,
            [&](std::string_view name, std::int64_t) {
                ++offered;
                return name.size() % 3 != 1;  // leave some out
            },
            limits);
    } catch (const dv::ZipError&) {
        return 0;
    } catch (const dv::InflateError&) {
        return 0;
    }
    std::int64_t total = 0;
    std::size_t next = 0;
    for (const dv::ZipEntry& entry : entries) {
        if (static_cast<std::int64_t>(entry.data.size()) > limits.maxEntryBytes) broken("an entry passed its limit");
        total += static_cast<std::int64_t>(entry.data.size());
        if (!entry.name.empty() && entry.name.back() == '/') broken("a directory was read");
        while (next < names.size() && names[next] != entry.name) ++next;
        if (next == names.size()) broken("an entry read is not listed, or out of order");
        ++next;
    }
    if (total > limits.maxTotalBytes) broken("the entries passed the total limit");
    if (offered > names.size()) broken("select was asked more often than there are entries");
    return 0;
}
