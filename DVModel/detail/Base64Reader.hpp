#pragma once
// Base64 read in one pass into an output sized once: long runs of alphabet characters go four
// at a time, everything else (white space, padding, the characters a caller handles itself, such
// as a URL's escapes) one at a time. Shared by plain base64 text and data URL bodies.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace dv::detail {

// 0-63: alphabet values; the rest: classes of the other bytes.
enum : std::uint8_t { kBase64Space = 64, kBase64Pad = 65, kBase64Other = 255 };

inline constexpr std::array<std::uint8_t, 256> kBase64Values = [] {
    std::array<std::uint8_t, 256> table{};
    table.fill(kBase64Other);
    constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::uint8_t v = 0; v < 64; ++v) table[static_cast<std::uint8_t>(alphabet[v])] = v;
    for (char c : {' ', '\t', '\n', '\f', '\r'}) table[static_cast<std::uint8_t>(c)] = kBase64Space;
    table['='] = kBase64Pad;
    return table;
}();

class Base64Reader {
public:
    // `textSize` bounds the characters that will be read.
    explicit Base64Reader(std::size_t textSize) : out_(textSize / 4 * 3 + 3), at_(out_.data()) {}

    // Reads the longest run of whole groups of four alphabet characters from `p` on, while no
    // group is half read; returns where it stopped.
    const std::uint8_t* readRun(const std::uint8_t* p, const std::uint8_t* end) {
        if (group_ != 0 || pads_ != 0) return p;
        std::uint8_t* at = at_;
        while (end - p >= 4) {
            const std::uint32_t a = kBase64Values[p[0]], b = kBase64Values[p[1]], c = kBase64Values[p[2]],
                                d = kBase64Values[p[3]];
            if ((a | b | c | d) >= 64) break;
            const std::uint32_t v = a << 18 | b << 12 | c << 6 | d;
            at[0] = static_cast<std::uint8_t>(v >> 16);
            at[1] = static_cast<std::uint8_t>(v >> 8);
            at[2] = static_cast<std::uint8_t>(v);
            at += 3;
            p += 4;
        }
        at_ = at;
        return p;
    }

    // One character of the text; false when it cannot be base64 there.
    bool put(std::uint8_t c) {
        const std::uint8_t v = kBase64Values[c];
        if (v < 64) {
            // Nothing may follow the padding.
            if (pads_ != 0) return false;
            bits_ = bits_ << 6 | v;
            if (++group_ == 4) {
                at_[0] = static_cast<std::uint8_t>(bits_ >> 16);
                at_[1] = static_cast<std::uint8_t>(bits_ >> 8);
                at_[2] = static_cast<std::uint8_t>(bits_);
                at_ += 3;
                group_ = 0;
                bits_ = 0;
            }
            return true;
        }
        if (v == kBase64Space) return true;
        if (v == kBase64Pad) {
            ++pads_;
            return true;
        }
        return false;
    }

    // The bytes, once the text has ended. Up to two "=" may end text whose length (white space
    // aside) is a multiple of four; `padded` demands that multiple also without them. Unused bits
    // of the last character are ignored.
    std::optional<std::vector<std::uint8_t>> finish(bool padded) {
        const bool whole = (group_ + pads_) % 4 == 0;
        if (padded && !whole) return std::nullopt;
        if (pads_ != 0 && (!whole || pads_ > 2)) return std::nullopt;
        if (group_ == 1) return std::nullopt;
        if (group_ == 2) {
            *at_++ = static_cast<std::uint8_t>(bits_ >> 4);
        } else if (group_ == 3) {
            *at_++ = static_cast<std::uint8_t>(bits_ >> 10);
            *at_++ = static_cast<std::uint8_t>(bits_ >> 2);
        }
        out_.resize(static_cast<std::size_t>(at_ - out_.data()));
        return std::move(out_);
    }

private:
    std::vector<std::uint8_t> out_;
    std::uint8_t* at_;
    std::uint32_t bits_ = 0;
    unsigned group_ = 0;
    std::size_t pads_ = 0;
};

}  // namespace dv::detail
