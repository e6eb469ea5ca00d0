#include <gtest/gtest.h>

#include <zlib.h>

#include <random>

#include "ArchiveFixtures.hpp"
#include "DVIO/Gzip.hpp"

namespace dv {
namespace {

using testing::Bytes;
using testing::bytesOf;

// A member as zlib's own gzip writer makes it, with the header fields given.
Bytes zlibGzip(const Bytes& data, gz_header* header = nullptr, int level = 6) {
    z_stream s{};
    EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY), Z_OK);
    if (header) {
        EXPECT_EQ(deflateSetHeader(&s, header), Z_OK);
    }
    Bytes out(deflateBound(&s, data.size()) + 256);
    s.next_in = const_cast<Bytef*>(data.data());
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// A member built by hand: header flags and fields as given, content deflated by zlib.
Bytes handMember(std::uint8_t flags, const Bytes& fields, const Bytes& content) {
    Bytes out = fields;
    const std::uint8_t header[] = {0x1F, 0x8B, 0x08, flags, 0, 0, 0, 0, 0, 0x03};
    out.insert(out.begin(), std::begin(header), std::end(header));
    const Bytes deflated = testing::zlibDeflateRaw(content);
    out.insert(out.end(), deflated.begin(), deflated.end());
    const auto crc = static_cast<std::uint32_t>(::crc32(0, content.data(), static_cast<uInt>(content.size())));
    for (std::uint32_t v : {crc, static_cast<std::uint32_t>(content.size())}) {
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
    return out;
}

TEST(Gzip, AnEmptyMemberIsExactlyTwentyBytes) {
    const Bytes expected{0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
                         0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(gzip(Bytes{}), expected);
    EXPECT_EQ(deflateRaw(Bytes{}), (Bytes{0x03, 0x00}));
    const auto empty = gunzip(expected);
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
}

TEST(Gzip, CRC32MatchesTheStandardAndZlib) {
    EXPECT_EQ(dv::crc32(Bytes{}), 0u);
    EXPECT_EQ(dv::crc32(bytesOf("123456789")), 0xCBF43926u);
    EXPECT_EQ(dv::crc32(bytesOf("The quick brown fox jumps over the lazy dog")), 0x414FA339u);
    std::mt19937 random(19);
    for (std::size_t size : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 64u, 79u, 80u, 127u, 128u, 1000u, 65'537u}) {
        for (std::size_t offset : {0u, 1u, 3u}) {
            const Bytes data = testing::noise(size + offset, static_cast<std::uint32_t>(random()));
            const std::span<const std::uint8_t> part(data.data() + offset, size);
            EXPECT_EQ(dv::crc32(part), ::crc32(0, part.data(), static_cast<uInt>(part.size()))) << size << "+" << offset;
        }
    }
}

TEST(Gzip, WritesTheFixedHeaderAndTrailer) {
    const Bytes content = testing::sampleText(100'000, 3);
    const auto member = gzip(content);
    ASSERT_TRUE(member.has_value());
    EXPECT_EQ(Bytes(member->begin(), member->begin() + 10), (Bytes{0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0, 0xFF}));
    const auto at = [&](std::size_t from_end) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | (*member)[member->size() - from_end + static_cast<std::size_t>(i)];
        return v;
    };
    EXPECT_EQ(at(8), ::crc32(0, content.data(), static_cast<uInt>(content.size())));
    EXPECT_EQ(at(4), content.size());
    const Bytes body(member->begin() + 10, member->end() - 8);
    EXPECT_EQ(deflateRaw(content), body);
}

TEST(Gzip, RoundTripsRandomSizes) {
    std::mt19937 random(7);
    for (int i = 0; i < 40; ++i) {
        const std::size_t size = random() % (i < 20 ? 300 : 300'000);
        const Bytes data = i % 2 ? testing::noise(size, random()) : testing::sampleText(size, random());
        const auto member = gzip(data);
        ASSERT_TRUE(member.has_value());
        EXPECT_EQ(gunzip(*member), data) << size;
    }
}

TEST(Gzip, HeaderFieldsAreSkippedAndReservedFlagsRefused) {
    const Bytes content = bytesOf("[{\"id\":\"a\"}]");
    struct Case {
        const char* what;
        std::uint8_t flags;
        Bytes fields;
        bool accepted;
    };
    const Case cases[] = {
        {"text flag", 0x01, {}, true},
        {"header CRC, whatever it holds", 0x02, {0xDE, 0xAD}, true},
        {"extra field", 0x04, {3, 0, 'a', 'b', 'c'}, true},
        {"empty extra field", 0x04, {0, 0}, true},
        {"file name", 0x08, {'a', '.', 'j', 's', 'o', 'n', 0}, true},
        {"comment", 0x10, {'h', 'i', 0}, true},
        {"every field", 0x1F, {2, 0, 'x', 'y', 'n', 0, 'c', 0, 0xFF, 0xFF}, true},
        {"reserved bit 5", 0x20, {}, false},
        {"reserved bit 6", 0x40, {}, false},
        {"reserved bit 7", 0x80, {}, false},
        // The name runs through the DEFLATE data and trailer without a zero byte.
        {"extra field longer than the member", 0x04, {0xFF, 0xFF}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(gunzip(handMember(c.flags, c.fields, content)).has_value(), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(gunzip(handMember(c.flags, c.fields, content)), content);
        }
    }
    // A file name without its terminating zero: the member is all name.
    Bytes unterminated{0x1F, 0x8B, 0x08, 0x08, 0, 0, 0, 0, 0, 0x03};
    unterminated.resize(40, 'n');
    EXPECT_FALSE(gunzip(unterminated).has_value());
}

TEST(Gzip, RefusesAnythingButOneWellFormedMember) {
    const Bytes content = testing::sampleText(5000, 4);
    const Bytes good = *gzip(content);
    ASSERT_EQ(gunzip(good), content);
    std::vector<std::pair<std::string, Bytes>> bad;
    bad.emplace_back("17 bytes", Bytes(good.begin(), good.begin() + 17));
    Bytes method = good;
    method[2] = 0x09;
    bad.emplace_back("method 9", method);
    Bytes magic = good;
    magic[1] = 0x8C;
    bad.emplace_back("magic", magic);
    for (std::size_t i = 1; i <= 8; ++i) {
        Bytes trailer = good;
        trailer[trailer.size() - i] ^= 0x01;
        bad.emplace_back("trailer byte " + std::to_string(i) + " from the end", trailer);
    }
    Bytes two = good;
    two.insert(two.end(), good.begin(), good.end());
    bad.emplace_back("two members", two);
    Bytes appended = good;
    appended.push_back(0);
    bad.emplace_back("one byte after the trailer", appended);
    Bytes truncated = good;
    truncated.erase(truncated.end() - 9);
    bad.emplace_back("DEFLATE data cut short", truncated);
    Bytes headerOnly(good.begin(), good.begin() + 10);
    headerOnly.resize(18, 0);
    bad.emplace_back("header and trailer only", headerOnly);
    for (const auto& [what, bytes] : bad) EXPECT_FALSE(gunzip(bytes).has_value()) << what;
}

TEST(Gzip, ContentIsCappedAtSixtyFourMebibytes) {
    // Stored blocks (level 0) keep both sides of the test fast.
    Bytes content(static_cast<std::size_t>(gunzipMaxBytes), 'a');
    content.back() = 'b';
    EXPECT_EQ(gunzip(zlibGzip(content, nullptr, 0)), content);
    content.push_back('c');
    EXPECT_FALSE(gunzip(zlibGzip(content, nullptr, 0)).has_value());
}

TEST(Gzip, ReadsZlibGzipWriterWithHeaderFields) {
    const Bytes content = testing::sampleText(70'000, 5);
    std::string name = "board.json", comment = "shared";
    Bytes extra{'A', 'B', 2, 0, 'x', 'y'};
    gz_header header{};
    header.name = reinterpret_cast<Bytef*>(name.data());
    header.comment = reinterpret_cast<Bytef*>(comment.data());
    header.extra = extra.data();
    header.extra_len = static_cast<uInt>(extra.size());
    header.hcrc = 1;
    header.time = 1'700'000'000;
    EXPECT_EQ(gunzip(zlibGzip(content, &header)), content);
    EXPECT_EQ(gunzip(zlibGzip(content)), content);
}

}  // namespace
}  // namespace dv
