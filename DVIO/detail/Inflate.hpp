#pragma once
// The raw DEFLATE inflater with a hint for its first allocation, for readers that know the
// expected size (a ZIP entry's declared size, a gzip member's trailer).

#include <cstdint>
#include <span>
#include <vector>

namespace dv::detail {

// `inflateRaw` with the output first sized for `sizeHint` bytes (bounded by `cap`).
std::vector<std::uint8_t> inflateRawSized(std::span<const std::uint8_t> input, std::int64_t cap,
                                          std::int64_t sizeHint);

}  // namespace dv::detail
