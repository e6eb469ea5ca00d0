#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ArchiveFixtures.hpp"
#include "DVIO/ZipArchive.hpp"

namespace dv {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::buildZip;
using testing::ZipEntryPlan;

const ZipEntrySelector kAll = [](std::string_view, std::int64_t) { return true; };

// The message of the ZipError `body` throws, or a note that it threw something else or nothing.
std::string zipErrorOf(const std::function<void()>& body) {
    try {
        body();
    } catch (const ZipError& error) {
        return error.what();
    } catch (const InflateError&) {
        return "(InflateError)";
    }
    return "(no error)";
}

std::string readError(const Bytes& zip, const ZipLimits& limits = ZipLimits::defaultLimits()) {
    return zipErrorOf([&] { readZipEntries(zip, kAll, limits); });
}

std::string listError(const Bytes& zip, const ZipLimits& limits = ZipLimits::defaultLimits()) {
    return zipErrorOf([&] { listZipEntries(zip, limits); });
}

TEST(ZipArchive, DefaultLimits) {
    EXPECT_EQ(ZipLimits::defaultLimits(), (ZipLimits{50'000, 1'048'576, 104'857'600}));
}

TEST(ZipArchive, FindsTheEndRecordOnlyInTheLastBytesWhereItCanBe) {
    Bytes withComment = buildZip({{"a.txt", bytesOf("A")}}, std::string(65'535, 'c'));
    EXPECT_EQ(listZipEntries(withComment), std::vector<std::string>{"a.txt"});

    Bytes tooFarBack = buildZip({{"a.txt", bytesOf("A")}});
    tooFarBack.resize(tooFarBack.size() + 65'536, 0);
    Bytes shortest = testing::endRecord(0, 0);
    shortest.pop_back();
    const Bytes cases[] = {{}, shortest, Bytes(22, 0), testing::noise(4096, 7), tooFarBack};
    for (const Bytes& zip : cases) {
        SCOPED_TRACE(zip.size());
        EXPECT_EQ(listError(zip), "Not a ZIP archive");
        EXPECT_EQ(readError(zip), "Not a ZIP archive");
    }
}

TEST(ZipArchive, AnEmptyArchiveListsAndReadsNothing) {
    const Bytes empty = testing::endRecord(0, 0);
    EXPECT_TRUE(listZipEntries(empty).empty());
    EXPECT_TRUE(readZipEntries(empty, kAll).empty());
}

TEST(ZipArchive, Zip64IsRefusedBeforeTheEntryCount) {
    const ZipLimits few{10, 1000, 1000};
    EXPECT_EQ(listError(testing::endRecord(0xFFFF, 0), few), "ZIP64 archives are not supported");
    EXPECT_EQ(readError(testing::endRecord(0xFFFF, 0), few), "ZIP64 archives are not supported");
    EXPECT_EQ(listError(testing::endRecord(1, 0xFFFFFFFF)), "ZIP64 archives are not supported");
    EXPECT_EQ(listError(testing::endRecord(11, 0), few), "Too many entries (11)");
}

TEST(ZipArchive, TheDefaultEntryLimitIsFiftyThousand) {
    std::vector<ZipEntryPlan> entries(50'000);
    for (std::size_t i = 0; i < entries.size(); ++i) entries[i].name = std::to_string(i);
    const Bytes atLimit = buildZip(entries);
    EXPECT_EQ(listZipEntries(atLimit).size(), 50'000u);
    EXPECT_TRUE(readZipEntries(atLimit, [](std::string_view, std::int64_t) { return false; }).empty());

    entries.push_back({"50000"});
    const Bytes overLimit = buildZip(entries);
    EXPECT_EQ(listError(overLimit), "Too many entries (50001)");
    EXPECT_EQ(readError(overLimit), "Too many entries (50001)");
}

TEST(ZipArchive, ReadsStoredAndDeflatedEntriesInDirectoryOrder) {
    const Bytes svg = testing::sampleText(5000, 1);
    const Bytes zip = buildZip({
        {"icons/", {}},
        {"icons/a.svg", svg, 8},
        {"icons/b.txt", bytesOf("plain")},
        {"icons/empty", {}, 8},
        // The local header's extra field is longer than the central one: data starts after it.
        ZipEntryPlan("icons/c.svg", bytesOf("<svg/>"), 8).withLocalExtra("LOCALEXTRA"),
    });
    EXPECT_EQ(listZipEntries(zip), (std::vector<std::string>{"icons/", "icons/a.svg", "icons/b.txt", "icons/empty", "icons/c.svg"}));

    std::vector<std::pair<std::string, std::int64_t>> offered;
    const auto entries = readZipEntries(zip, [&](std::string_view name, std::int64_t size) {
        offered.emplace_back(name, size);
        return name != "icons/b.txt";
    });
    EXPECT_EQ(offered, (std::vector<std::pair<std::string, std::int64_t>>{
                           {"icons/a.svg", 5000}, {"icons/b.txt", 5}, {"icons/empty", 0}, {"icons/c.svg", 6}}));
    EXPECT_EQ(entries, (std::vector<ZipEntry>{{"icons/a.svg", svg}, {"icons/empty", {}}, {"icons/c.svg", bytesOf("<svg/>")}}));
}

TEST(ZipArchive, RefusesOnlyWhatIsSelected) {
    const Bytes zip = buildZip({ZipEntryPlan("secret.svg", bytesOf("x")).withFlags(1), {"icons/a.svg", bytesOf("x"), 12},
                                {"ok.svg", bytesOf("ok")}});
    const auto onlyOk = readZipEntries(zip, [](std::string_view name, std::int64_t) { return name == "ok.svg"; });
    ASSERT_EQ(onlyOk.size(), 1u);
    EXPECT_EQ(onlyOk[0].name, "ok.svg");

    EXPECT_EQ(readError(zip), "Encrypted entry: secret.svg");
    EXPECT_EQ(zipErrorOf([&] { readZipEntries(zip, [](std::string_view name, std::int64_t) { return name != "secret.svg"; }); }),
              "Unsupported compression method 12: icons/a.svg");
}

TEST(ZipArchive, EntrySizesAreAcceptedUpToTheLimitInclusive) {
    constexpr std::size_t limit = 1'048'576;
    const Bytes atLimit = testing::sampleText(limit, 2);
    const Bytes overLimit = testing::sampleText(limit + 1, 3);
    for (std::uint16_t method : {0, 8}) {
        SCOPED_TRACE(method);
        const auto entries = readZipEntries(buildZip({{"big.svg", atLimit, method}}), kAll);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].data, atLimit);
        EXPECT_EQ(readError(buildZip({{"big.svg", overLimit, method}})), "Entry too large: big.svg");
    }
    // Declared small, but holds more: stored entries are judged by their compressed size,
    // deflated ones once they inflate past the limit.
    EXPECT_EQ(readError(buildZip({ZipEntryPlan("a.svg", overLimit, 0).declaring(10)})), "Entry too large: a.svg");
    EXPECT_EQ(readError(buildZip({ZipEntryPlan("b.svg", overLimit, 8).declaring(10)})), "Entry too large once decompressed");
    // A declared size over the limit is refused before anything is read, even a broken entry.
    EXPECT_EQ(readError(buildZip({ZipEntryPlan("c.svg", bytesOf("x"), 8).declaring(0xFFFFFFFF).storing({0xFF})})),
              "Entry too large: c.svg");
}

TEST(ZipArchive, TheTotalIsCountedAcrossEntries) {
    const ZipLimits limits{100, 1000, 1500};
    const Bytes thousand = testing::sampleText(1000, 4), fiveHundred = testing::sampleText(500, 5);
    for (std::uint16_t method : {0, 8}) {
        SCOPED_TRACE(method);
        EXPECT_EQ(readZipEntries(buildZip({{"a", thousand, method}, {"b", fiveHundred, method}}), kAll, limits).size(), 2u);
        EXPECT_EQ(readError(buildZip({{"a", thousand, method}, {"b", testing::sampleText(501, 6), method}}), limits),
                  "Archive too large once decompressed");
        // The declared size is judged before the total.
        EXPECT_EQ(readError(buildZip({{"a", thousand, method}, {"b", testing::sampleText(1001, 6), method}}), limits),
                  "Entry too large: b");
        // An entry that claims little is stopped once the total runs out, before its bytes are all taken.
        const ZipEntryPlan lying = ZipEntryPlan("b", testing::sampleText(400'000, 9), method).declaring(10);
        EXPECT_EQ(readError(buildZip({{"a", thousand, method}, lying}), ZipLimits{100, 1'000'000, 1500}),
                  "Archive too large once decompressed");
    }
    // Skipped entries do not count.
    const Bytes zip = buildZip({{"a", thousand}, {"skip", thousand}, {"b", fiveHundred}});
    EXPECT_EQ(readZipEntries(zip, [](std::string_view name, std::int64_t) { return name != "skip"; }, limits).size(), 2u);
}

TEST(ZipArchive, DamagedDeflateDataIsAnInflateError) {
    const Bytes content = testing::sampleText(3000, 7);
    const Bytes deflated = testing::zlibDeflateRaw(content);
    const ZipEntryPlan plans[] = {
        ZipEntryPlan("a.svg", content, 8).withJunk(bytesOf("JUNK")),
        ZipEntryPlan("a.svg", content, 8).storing({}),
        ZipEntryPlan("a.svg", content, 8).storing(Bytes(deflated.begin(), deflated.end() - 1)),
        ZipEntryPlan("a.svg", content, 8).storing({0xFF, 0xFF, 0xFF, 0xFF}),
    };
    for (const ZipEntryPlan& plan : plans) {
        EXPECT_EQ(readError(buildZip({plan})), "(InflateError)");
    }
}

TEST(ZipArchive, StructuralDamageIsNamed) {
    const Bytes good = buildZip({{"a.svg", bytesOf("<svg/>")}});
    const std::size_t directory = good.size() - 22 - 46 - 5;  // one record with a 5-byte name

    Bytes badDirectory = good;
    badDirectory[directory] = 'X';
    EXPECT_EQ(listError(badDirectory), "Corrupt central directory");

    Bytes offsetPastEnd = testing::endRecord(1, 1000);
    EXPECT_EQ(listError(offsetPastEnd), "Corrupt central directory");

    Bytes badLocal = good;
    badLocal[0] = 'X';
    EXPECT_EQ(listZipEntries(badLocal), std::vector<std::string>{"a.svg"});
    EXPECT_EQ(readError(badLocal), "Corrupt local header: a.svg");

    Bytes truncated = good;
    truncated[18] = 0xFF;             // the local header's compressed size is never read
    truncated[directory + 20] = 0xFF;  // the central one is
    truncated[directory + 21] = 0xFF;
    EXPECT_EQ(readError(truncated), "Truncated entry: a.svg");
}

TEST(ZipArchive, NamesAreRepairedAndCutAtTheEnd) {
    const Bytes zip = buildZip({{"a\xFF" "b.svg", bytesOf("x")}, {"caf\xC3\xA9.svg", bytesOf("y")}});
    EXPECT_EQ(listZipEntries(zip), (std::vector<std::string>{"a\xEF\xBF\xBD" "b.svg", "caf\xC3\xA9.svg"}));
    EXPECT_EQ(readZipEntries(zip, kAll)[0].name, "a\xEF\xBF\xBD" "b.svg");

    // A record whose name runs past the end of the archive: the end record sits inside it.
    Bytes cut = buildZip({{"name", bytesOf("x")}});
    const std::size_t record = cut.size() - 22 - 46 - 4;
    cut[record + 28] = 200;
    EXPECT_EQ(listZipEntries(cut)[0].substr(0, 4), "name");
    EXPECT_EQ(listZipEntries(cut)[0].size(), 4u + 22u);
}

TEST(ZipArchive, InflateRawCapIsInclusive) {
    const Bytes content = testing::sampleText(200'000, 8);
    const Bytes deflated = testing::zlibDeflateRaw(content);
    EXPECT_EQ(inflateRaw(deflated, 200'000), content);
    EXPECT_EQ(zipErrorOf([&] { inflateRaw(deflated, 199'999); }), "Entry too large once decompressed");
    EXPECT_EQ(inflateRaw(Bytes{0x03, 0x00}, 0), Bytes{});
    EXPECT_EQ(zipErrorOf([&] { inflateRaw(Bytes{}, 10); }), "(InflateError)");
    EXPECT_EQ(zipErrorOf([&] { inflateRaw(Bytes{0x03, 0x00, 0xAA, 0xBB}, 10); }), "(InflateError)");
    EXPECT_EQ(zipErrorOf([&] { inflateRaw(Bytes{0x03}, 10); }), "(InflateError)");
}

TEST(ZipArchive, DecodeUTF8DropsOneByteOrderMark) {
    struct Case {
        Bytes input;
        std::string expected;
    };
    const Case cases[] = {
        {{0xEF, 0xBB, 0xBF, 'a'}, "a"},
        {{0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF, 'a'}, "\xEF\xBB\xBF" "a"},
        {{0xFF}, "\xEF\xBF\xBD"},
        {{'a', 0xEF, 0xBB, 0xBF}, "a\xEF\xBB\xBF"},
        {{0xEF, 0xBB}, "\xEF\xBF\xBD"},
        {{}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(decodeUTF8(c.input), c.expected);
}

TEST(ZipArchive, SmallDeflatedEntriesHoldNoSpareChunk) {
    // An archive of thousands of tiny entries must not hold a decoding chunk for each of them.
    std::vector<ZipEntryPlan> plans;
    for (int i = 0; i < 300; ++i) {
        std::string name = std::to_string(i);
        plans.emplace_back(name.append(".svg"), testing::sampleText(40 + i, i), 8);
    }
    const std::vector<ZipEntry> entries = readZipEntries(buildZip(plans), kAll);
    ASSERT_EQ(entries.size(), plans.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].data, plans[i].data);
        EXPECT_LE(entries[i].data.capacity(), entries[i].data.size() + 1) << entries[i].name;
    }
    // A declared size that is too small still gives the whole content.
    const Bytes content = testing::sampleText(150'000, 3);
    const auto liar = readZipEntries(buildZip({ZipEntryPlan("a.svg", content, 8).declaring(10)}), kAll);
    ASSERT_EQ(liar.size(), 1u);
    EXPECT_EQ(liar[0].data, content);
}

}  // namespace
}  // namespace dv
