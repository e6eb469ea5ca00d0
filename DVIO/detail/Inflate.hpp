#pragma once
// The raw DEFLATE inflater with a hint for its first allocation, for readers that know the
// expected size (a ZIP entry's declared size, a gzip member's trailer).

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace dv::detail {

// `inflateRaw` with the output first sized for `sizeHint` bytes (bounded by `cap`), handing each
// decoded piece to `observer` (if any) while it is still in the cache.
std::vector<std::uint8_t> inflateRawSized(std::span<const std::uint8_t> input, std::int64_t cap,
                                          std::int64_t sizeHint,
                                          const std::function<void(std::span<const std::uint8_t>)>& observer = {});

}  // namespace dv::detail
