#include "Platform/Compression/Deflate.hpp"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace dv::platform {

namespace {

// zlib counts input and output in 32-bit units, so spans are handed over in pieces of at most
// this many bytes.
constexpr std::size_t kMaxPiece = UINT_MAX;

// Owns one z_stream, raw DEFLATE either way, from a successful init to its end call, whatever
// leaves the scope.
class ZStream {
public:
    enum class Direction { compress, decompress };

    explicit ZStream(Direction direction) : direction_(direction) {
        const int status = direction == Direction::compress
                               ? deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY)
                               : inflateInit2(&stream, -MAX_WBITS);
        ready_ = status == Z_OK;
    }
    ~ZStream() {
        if (!ready_) return;
        if (direction_ == Direction::compress) deflateEnd(&stream);
        else inflateEnd(&stream);
    }
    ZStream(const ZStream&) = delete;
    ZStream& operator=(const ZStream&) = delete;
    bool ready() const { return ready_; }
    z_stream stream{};

private:
    Direction direction_;
    bool ready_ = false;
};

// Hands the next piece of `input` to the stream once it has used up the previous one.
void feed(z_stream& s, std::span<const std::uint8_t> input, std::size_t& fed) {
    if (s.avail_in != 0 || fed == input.size()) return;
    const std::size_t piece = std::min(input.size() - fed, kMaxPiece);
    s.next_in = const_cast<Bytef*>(input.data() + fed);
    s.avail_in = static_cast<uInt>(piece);
    fed += piece;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> deflateRawData(std::span<const std::uint8_t> input) {
    ZStream guard(ZStream::Direction::compress);
    if (!guard.ready()) return std::nullopt;
    z_stream& s = guard.stream;
    std::vector<std::uint8_t> out(deflateBound(&s, static_cast<uLong>(input.size())));
    std::size_t fed = 0, given = 0;
    for (;;) {
        feed(s, input, fed);
        if (s.avail_out == 0) {
            if (given == out.size()) return std::nullopt;
            const std::size_t piece = std::min(out.size() - given, kMaxPiece);
            s.next_out = out.data() + given;
            s.avail_out = static_cast<uInt>(piece);
            given += piece;
        }
        const int status = deflate(&s, fed == input.size() ? Z_FINISH : Z_NO_FLUSH);
        if (status == Z_STREAM_END) break;
        if (status != Z_OK) return std::nullopt;
    }
    out.resize(given - s.avail_out);
    return out;
}

InflateOutcome inflateRawData(std::span<const std::uint8_t> input, std::uint64_t maxOutput,
                              std::vector<std::uint8_t>& out, std::uint64_t sizeHint, const InflateObserver& observer) {
    ZStream guard(ZStream::Direction::decompress);
    if (!guard.ready()) return InflateOutcome::invalid;
    z_stream& s = guard.stream;
    // Never more than this many bytes in total, which leaves the "+ 1" below free of overflow.
    const std::uint64_t limit = std::min<std::uint64_t>(maxOutput, SIZE_MAX / 4);
    const std::uint64_t most = limit + 1;
    // DEFLATE expands by at most 1032 to 1, so a size claimed by a hostile header cannot make
    // a short input take much memory up front.
    const std::uint64_t plausible = std::min<std::uint64_t>(input.size(), SIZE_MAX / 2048) * 1032 + 64;
    // One byte past the expected size lets the end of the stream show without growing the output.
    // Without a hint, guess generously: text such as JSON inflates to five to twenty times its
    // compressed size, and a large reservation costs address space, not memory, until it is used.
    const std::uint64_t first =
        sizeHint > 0 ? sizeHint + 1 : std::max<std::uint64_t>(inflateChunkBytes, std::uint64_t{input.size()} * 8);
    const std::size_t base = out.size();
    out.reserve(base + static_cast<std::size_t>(std::min({first, most, plausible})));

    std::size_t fed = 0;
    std::uint64_t produced = 0;
    for (;;) {
        feed(s, input, fed);
        const std::size_t old = out.size();
        if (out.capacity() == old) {
            const std::uint64_t grown = std::max<std::uint64_t>(produced * 2, produced + inflateChunkBytes);
            out.reserve(base + static_cast<std::size_t>(std::min(grown, most)));
        }
        const std::size_t step = static_cast<std::size_t>(
            std::min<std::uint64_t>({out.capacity() - old, inflateChunkBytes, limit - produced + 1}));
        out.resize(old + step);
        s.next_out = out.data() + old;
        s.avail_out = static_cast<uInt>(step);
        const uInt inBefore = s.avail_in;
        const int status = inflate(&s, Z_NO_FLUSH);
        const std::size_t got = step - s.avail_out;
        out.resize(old + got);
        produced += got;
        if (produced > limit) return InflateOutcome::tooLarge;
        if (observer && got > 0) observer(std::span<const std::uint8_t>(out.data() + old, got));
        const bool inputUsedUp = s.avail_in == 0 && fed == input.size();
        switch (status) {
        case Z_STREAM_END:
            return inputUsedUp ? InflateOutcome::complete : InflateOutcome::trailingInput;
        case Z_OK:
            // zlib promises progress on Z_OK; a call without any is treated like Z_BUF_ERROR
            // so that the loop cannot spin.
            if (got != 0 || s.avail_in != inBefore) continue;
            [[fallthrough]];
        case Z_BUF_ERROR:
            return inputUsedUp ? InflateOutcome::truncated : InflateOutcome::invalid;
        default:
            return InflateOutcome::invalid;
        }
    }
}

}  // namespace dv::platform
