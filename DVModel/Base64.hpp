#pragma once
// Standard base64 (RFC 4648 alphabet with "+" and "/", "=" padding, no line breaks): the one
// encoder for every text the kit writes that carries bytes (data URLs of exported pages, links).

#include <cstdint>
#include <span>
#include <string>

namespace dv {

std::string base64Encode(std::span<const std::uint8_t> bytes);

}  // namespace dv
