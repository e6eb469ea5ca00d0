// gunzip and inflateRaw on arbitrary bytes. gunzip yields at most 64 MiB and what it yields
// survives gzip and gunzip unchanged; inflateRaw throws nothing but ZipError and InflateError and
// never passes its cap; crc32 agrees with the compression library's.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "DVIO/Gzip.hpp"
#include "DVIO/ZipArchive.hpp"
#include "fuzz/support/Invariant.hpp"

using dv::fuzz::broken;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (dv::crc32(bytes) != ::crc32(0, data, static_cast<uInt>(size))) broken("crc32 differs from zlib's");

    if (const auto out = dv::gunzip(bytes)) {
        if (static_cast<std::int64_t>(out->size()) > dv::gunzipMaxBytes) broken("gunzip passed its cap");
        const auto again = dv::gzip(*out);
        if (!again) broken("gzip failed on what gunzip gave");
        if (dv::gunzip(*again) != *out) broken("gunzip(gzip(x)) is not x");
    }

    constexpr std::int64_t cap = 1 << 20;
    try {
        if (static_cast<std::int64_t>(dv::inflateRaw(bytes, cap).size()) > cap) broken("inflateRaw passed its cap");
    } catch (const dv::ZipError&) {
    } catch (const dv::InflateError&) {
    }
    return 0;
}
