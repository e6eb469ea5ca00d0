#include <gtest/gtest.h>

#include <string>

#include "DVIO/IconPackModel.hpp"
#include "DVIO/JSONParser.hpp"
#include "DVIO/JSONWriter.hpp"

namespace dv {
namespace {

const ImportedPack kPack{"pack-1", "My Icons", 1765300000.25,
                         {{"0", "Arrow", "", "data:image/svg+xml;base64,PHN2Zy8+"},
                          {"1", "Bucket", "Storage", "data:image/svg+xml;base64,YQ=="}}};

std::string stored(const ImportedPack& pack) { return JSONWriter::stringify(importedPackToJSON(pack), std::nullopt, false); }

ImportedPack readBack(const std::string& text) { return importedPackFromJSON(JSONParser::parse(text)); }

TEST(IconPackStore, WritesEveryKeyInOrderAndReadsBackEqual) {
    EXPECT_EQ(stored(kPack),
              "{\"id\":\"pack-1\",\"name\":\"My Icons\",\"importedAt\":1765300000.25,\"icons\":["
              "{\"id\":\"0\",\"name\":\"Arrow\",\"category\":\"\",\"src\":\"data:image/svg+xml;base64,PHN2Zy8+\"},"
              "{\"id\":\"1\",\"name\":\"Bucket\",\"category\":\"Storage\",\"src\":\"data:image/svg+xml;base64,YQ==\"}]}");
    EXPECT_EQ(readBack(stored(kPack)), kPack);
    const ImportedPack empty{"", "", 0, {}};
    EXPECT_EQ(stored(empty), "{\"id\":\"\",\"name\":\"\",\"importedAt\":0,\"icons\":[]}");
    EXPECT_EQ(readBack(stored(empty)), empty);
}

TEST(IconPackStore, AMissingKeyOrAWrongTypeFailsTheWholeRead) {
    const char* bad[] = {
        R"({"id":"p","name":"n","icons":[]})",
        R"({"id":"p","name":"n","importedAt":"1","icons":[]})",
        R"({"id":"p","name":"n","importedAt":null,"icons":[]})",
        R"({"name":"n","importedAt":1,"icons":[]})",
        R"({"id":1,"name":"n","importedAt":1,"icons":[]})",
        R"({"id":"p","importedAt":1,"icons":[]})",
        R"({"id":"p","name":"n","importedAt":1})",
        R"({"id":"p","name":"n","importedAt":1,"icons":{}})",
        R"({"id":"p","name":"n","importedAt":1,"icons":[{"id":"0","name":"a","category":""}]})",
        R"({"id":"p","name":"n","importedAt":1,"icons":[{"id":"0","name":"a","src":"s"}]})",
        R"({"id":"p","name":"n","importedAt":1,"icons":[{"id":0,"name":"a","category":"","src":"s"}]})",
        R"({"id":"p","name":"n","importedAt":1,"icons":[{"id":"0","category":"","src":"s"}]})",
        R"({"id":"p","name":"n","importedAt":1,"icons":[{"id":"0","name":"a","category":"","src":"s"},"x"]})",
        R"([])",
        R"("pack")",
    };
    for (const char* text : bad) EXPECT_THROW(readBack(text), IconPackDecodingError) << text;
    try {
        readBack(R"({"id":"p","name":"n","icons":[]})");
    } catch (const IconPackDecodingError& error) {
        EXPECT_NE(std::string(error.what()).find("importedAt"), std::string::npos) << error.what();
    }
}

TEST(IconPackStore, OtherKeysAreIgnored) {
    const ImportedPack pack = readBack(
        R"({"version":3,"id":"p","name":"n","importedAt":-2.5,"icons":[{"id":"0","name":"a","category":"c","src":"s","size":48}]})");
    EXPECT_EQ(pack, (ImportedPack{"p", "n", -2.5, {{"0", "a", "c", "s"}}}));
}

TEST(IconPackStore, EqualityAndHashCoverEveryFieldAndTheIconOrder) {
    ImportedPack swapped = kPack;
    std::swap(swapped.icons[0], swapped.icons[1]);
    EXPECT_NE(swapped, kPack);
    EXPECT_NE(std::hash<ImportedPack>()(swapped), std::hash<ImportedPack>()(kPack));
    ImportedPack copy = kPack;
    EXPECT_EQ(std::hash<ImportedPack>()(copy), std::hash<ImportedPack>()(kPack));
    copy.importedAt += 1;
    EXPECT_NE(copy, kPack);
    // Field boundaries count: moving a character from one text to the next is a change.
    const ImportedIcon a{"0", "ab", "c", "s"}, b{"0", "a", "bc", "s"};
    EXPECT_NE(a, b);
    EXPECT_NE(std::hash<ImportedIcon>()(a), std::hash<ImportedIcon>()(b));
    EXPECT_NE((IconPackResult{{a}, 0}), (IconPackResult{{a}, 1}));
    EXPECT_EQ(std::hash<IconPackFile>()({"p", "s"}), std::hash<IconPackFile>()({"p", "s"}));
}

}  // namespace
}  // namespace dv
