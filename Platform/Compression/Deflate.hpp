#pragma once
// Raw DEFLATE (no zlib or gzip wrapper) through the system's compression library. The library's
// stream state is owned here and released on every path; callers see byte spans and outcomes.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace dv::platform {

// The raw DEFLATE data of `input` at the library's default level, in one call with the
// destination sized up front. Absent when the library fails.
std::optional<std::vector<std::uint8_t>> deflateRawData(std::span<const std::uint8_t> input);

enum class InflateOutcome {
    complete,       // exactly one stream, ending with the last input byte
    trailingInput,  // a complete stream followed by more bytes
    truncated,      // the input ends before the stream's final block does
    invalid,        // data the decoder rejects, or the decoder could not start
    tooLarge,       // the output would pass `maxOutput`
};

inline constexpr std::size_t inflateChunkBytes = 65536;

// Receives each piece of output as soon as it is decoded, while it is still in the cache.
using InflateObserver = std::function<void(std::span<const std::uint8_t>)>;

// Inflates the raw DEFLATE stream of `input`, appending to `out`. Output is produced at most
// `inflateChunkBytes` at a time and never more than one byte past `maxOutput`, so that an
// oversized stream stops before its memory is taken. `sizeHint` (the expected output size, if
// known) sizes the output up front, so that an honest size leaves no spare capacity and needs no
// growth; it is bounded by `maxOutput` and by what the input could expand to. `observer`, if
// given, sees each decoded piece. On any outcome but `complete` the content of `out` is
// unspecified.
InflateOutcome inflateRawData(std::span<const std::uint8_t> input, std::uint64_t maxOutput,
                              std::vector<std::uint8_t>& out, std::uint64_t sizeHint = 0,
                              const InflateObserver& observer = {});

}  // namespace dv::platform
