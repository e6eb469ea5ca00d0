// The importer through its real shared object: the factory and instance lifecycle, the import of
// board files into attributes, the log entries of failed imports, the exported symbols and the
// host program that plays the indexer.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Platform/PlugIn/Logger.hpp"
#include "Platform/PlugIn/PlugIn.h"

namespace {

namespace fs = std::filesystem;

std::string take(char* malloced) {
    std::string out = malloced ? malloced : "";
    std::free(malloced);
    return out;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string element(const std::string& id, const std::string& type, const std::string& rest) {
    return "{\"id\":\"" + id + "\",\"type\":\"" + type +
           "\",\"x\":0,\"y\":0,\"strokeColor\":\"#000000\",\"fillColor\":\"#ffffff\",\"strokeWidth\":1,"
           "\"opacity\":1,\"roughness\":0," + rest + "}";
}

const std::string kMixedBoard =
    "{\"version\":1,\"elements\":[" +
    element("r", "rectangle", "\"width\":10,\"height\":10,\"label\":\" Hello \",\"layerName\":\"Layer A\"") + "," +
    element("t", "text",
            "\"content\":\"100% done\",\"fontSize\":16,\"fontFamily\":\"Virgil\",\"width\":10,\"height\":10,"
            "\"layerName\":\"layer a\"") +
    "," + element("s", "stencil", "\"width\":10,\"height\":10,\"source\":{\"kind\":\"builtin\",\"ref\":\"generic/app-server\"}") +
    "]}";

const std::string kPictureBoard =
    "[" + element("i", "image", "\"src\":\"data:image/png;base64,AAAA\",\"width\":1,\"height\":1,\"naturalWidth\":1,"
                                "\"naturalHeight\":1") +
    "," + element("f", "freehand", "\"points\":[[0,0],[1,1]]") + "]";

const std::string kLayerOnlyBoard = "[" + element("f", "freehand", "\"points\":[[0,0],[1,1]],\"layerName\":\"Sketches\"") + "]";

class Importer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char* error = nullptr;
        bundle_ = DVPlugInBundleOpen(DV_INDEXWRIGHT_BUNDLE, &error);
        ASSERT_NE(bundle_, nullptr) << take(error);
        factory_ = DVPlugInBundleFactoryForType(bundle_, &kDVImporterTypeID, &factoryID_, &error);
        ASSERT_NE(factory_, nullptr) << take(error);
    }
    static void TearDownTestSuite() { DVPlugInBundleClose(bundle_); }

    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("indexwright-tests-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        dv::platform::setLogSinkForTesting([this](const dv::platform::LogEntry& entry) { log_.push_back(entry); });
    }
    void TearDown() override {
        dv::platform::setLogSinkForTesting(nullptr);
        fs::remove_all(dir_);
        EXPECT_EQ(DVPlugInInstanceCountForFactory(&factoryID_), 0u);
    }

    fs::path write(const std::string& name, const std::string& content) {
        fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    // Imports one file through a fresh importer; the attributes come back as JSON.
    bool import(const fs::path& path, std::string& attributes) {
        void* unknown = factory_(nullptr, &kDVImporterTypeID);
        EXPECT_NE(unknown, nullptr);
        auto* table = *static_cast<DVImporterInterface**>(unknown);
        DVAttributeDictionaryRef dictionary = DVAttributeDictionaryCreate();
        bool imported = table->ImportData(unknown, dictionary, "example.drevalin.board", path.c_str());
        attributes = take(DVAttributeDictionaryCopyJSON(dictionary));
        DVAttributeDictionaryRelease(dictionary);
        EXPECT_EQ(table->Release(unknown), 0u);
        return imported;
    }

    static DVPlugInBundle* bundle_;
    static DVPlugInFactoryFunction factory_;
    static DVUUIDBytes factoryID_;
    fs::path dir_;
    std::vector<dv::platform::LogEntry> log_;
};

DVPlugInBundle* Importer::bundle_ = nullptr;
DVPlugInFactoryFunction Importer::factory_ = nullptr;
DVUUIDBytes Importer::factoryID_{};

TEST_F(Importer, FactoryMakesInstancesOnlyForTheImporterType) {
    DVUUIDBytes other;
    ASSERT_TRUE(DVUUIDFromString("12345678-9abc-DEF0-1234-56789ABCDEF0", &other));
    EXPECT_EQ(factory_(nullptr, &other), nullptr);
    EXPECT_EQ(factory_(nullptr, &kDVImporterInterfaceID), nullptr);
    EXPECT_EQ(factory_(nullptr, nullptr), nullptr);
    EXPECT_EQ(DVPlugInInstanceCountForFactory(&factoryID_), 0u);
    EXPECT_STREQ(DVPlugInBundleIdentifier(bundle_), "example.drevalin.Indexwright");
}

TEST_F(Importer, ReferenceCountingAndInterfaceQueries) {
    void* unknown = factory_(nullptr, &kDVImporterTypeID);
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(DVPlugInInstanceCountForFactory(&factoryID_), 1u);
    auto* table = *static_cast<DVImporterInterface**>(unknown);
    EXPECT_EQ(table->reserved, nullptr);

    void* out = nullptr;
    EXPECT_EQ(table->QueryInterface(unknown, kDVImporterInterfaceID, &out), DV_S_OK);
    EXPECT_EQ(out, unknown);
    EXPECT_EQ(table->AddRef(unknown), 3u);
    EXPECT_EQ(table->Release(unknown), 2u);

    // An unknown interface: no interface, null out pointer, count unchanged.
    DVUUIDBytes other;
    ASSERT_TRUE(DVUUIDFromString("00000000-0000-0000-0000-000000000001", &other));
    out = unknown;
    EXPECT_EQ(table->QueryInterface(unknown, other, &out), static_cast<DVResult>(0x80000004));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(table->AddRef(unknown), 3u);
    EXPECT_EQ(table->Release(unknown), 2u);

    // The COM unknown interface raises the count by one.
    EXPECT_EQ(table->QueryInterface(unknown, kDVUnknownInterfaceID, &out), DV_S_OK);
    EXPECT_EQ(table->Release(unknown), 2u);
    EXPECT_EQ(table->Release(unknown), 1u);
    EXPECT_EQ(DVPlugInInstanceCountForFactory(&factoryID_), 1u);
    EXPECT_EQ(table->Release(unknown), 0u);
    EXPECT_EQ(DVPlugInInstanceCountForFactory(&factoryID_), 0u);
}

TEST_F(Importer, SetsTextContentAndKeywordsOnlyWhenThereAreSome) {
    struct Case {
        std::string board;
        const char* attributes;
    };
    const Case cases[] = {
        {kMixedBoard,
         "{\"kMDItemTextContent\":\"Hello\\n100% done\",\"kMDItemKeywords\":[\"Layer A\",\"app server\"]}"},
        {kPictureBoard, "{}"},
        {kLayerOnlyBoard, "{\"kMDItemKeywords\":[\"Sketches\"]}"},
        {"[]", "{}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board.substr(0, 60));
        std::string attributes;
        EXPECT_TRUE(import(write("board.drevalin", c.board), attributes));
        EXPECT_EQ(attributes, c.attributes);
    }
    EXPECT_TRUE(log_.empty());
}

TEST_F(Importer, FailedImportsLogOneEntryWithTheReasonAndSetNothing) {
    fs::create_directories(dir_ / "folder");
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    struct Case {
        fs::path path;
        std::string message;
    };
    const Case cases[] = {
        {dir_ / "missing", "Board not imported: The file \xE2\x80\x9C" + (dir_ / "missing").string() +
                               "\xE2\x80\x9D couldn\xE2\x80\x99t be read: No such file or directory."},
        {write("text", "not json"),
         "Board not imported: The file is not valid JSON: Unexpected character 'o' in JSON at byte 1"},
        {write("object", "{\"a\":1}"), "Board not imported: The file has no elements."},
        {dir_ / "folder", "Board not imported: The file \xE2\x80\x9C" + (dir_ / "folder").string() +
                              "\xE2\x80\x9D is not a regular file."},
        {dir_ / "fifo", "Board not imported: The file \xE2\x80\x9C" + (dir_ / "fifo").string() +
                            "\xE2\x80\x9D is not a regular file."},
        {write("%s%n%x", "%s%n"),
         "Board not imported: The file is not valid JSON: Unexpected character '%' in JSON at byte 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string());
        log_.clear();
        std::string attributes;
        EXPECT_FALSE(import(c.path, attributes));
        EXPECT_EQ(attributes, "{}");
        ASSERT_EQ(log_.size(), 1u);
        EXPECT_EQ(log_[0].message, c.message);
        EXPECT_EQ(log_[0].subsystem, "example.drevalin.Indexwright");
        EXPECT_EQ(log_[0].category, "Import");
        EXPECT_EQ(log_[0].level, dv::platform::LogLevel::error);
    }
}

TEST_F(Importer, ExportsOnlyTheFactoryFunction) {
#if defined(DV_SANITIZED)
    GTEST_SKIP() << "sanitizer builds add runtime symbols";
#else
    FILE* pipe = popen("nm -D --defined-only '" DV_INDEXWRIGHT_MODULE "'", "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> functions;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (type == "T" || type == "W" || type == "i") functions.push_back(name);
    }
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(functions, std::vector<std::string>{"DrevalinImporterFactory"});
#endif
}

// Runs the host; returns its exit status with its standard output and error.
int runHost(const std::string& arguments, const fs::path& dir, std::string& out, std::string& err) {
    const fs::path outPath = dir / "host.out";
    const fs::path errPath = dir / "host.err";
    std::string command = std::string("'") + DV_INDEXWRIGHT_HOST + "' " + arguments + " > '" + outPath.string() +
                          "' 2> '" + errPath.string() + "'";
    int status = std::system(command.c_str());
    out = readAll(outPath);
    err = readAll(errPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Importer, HostPrintsAttributesAndReportsFailures) {
    const fs::path board = write("mixed.drevalin", kMixedBoard);
    const fs::path pictures = write("pictures.drevalin", kPictureBoard);
    std::string out, err;
    EXPECT_EQ(runHost("'" + board.string() + "' '" + pictures.string() + "'", dir_, out, err), 0);
    EXPECT_EQ(out, "{\"file\":\"" + board.string() +
                       "\",\"imported\":true,\"attributes\":{\"kMDItemTextContent\":\"Hello\\n100% done\","
                       "\"kMDItemKeywords\":[\"Layer A\",\"app server\"]}}\n"
                       "{\"file\":\"" + pictures.string() + "\",\"imported\":true,\"attributes\":{}}\n");
    EXPECT_EQ(err, "");

    const fs::path bad = write("bad.drevalin", "{\"version\":1}");
    EXPECT_EQ(runHost("'" + bad.string() + "' '" + board.string() + "'", dir_, out, err), 1);
    EXPECT_NE(out.find("\"imported\":false"), std::string::npos);
    EXPECT_NE(err.find("Board not imported: The file has no elements.\n"), std::string::npos);

    // A manifest naming a function the module does not export.
    const fs::path broken = dir_ / "Broken.plugin";
    fs::create_directories(broken);
    fs::create_symlink(DV_INDEXWRIGHT_MODULE, broken / "Indexwright.so");
    std::string manifest = readAll(fs::path(DV_INDEXWRIGHT_BUNDLE) / "manifest.xml");
    manifest.replace(manifest.find("DrevalinImporterFactory"), 23, "NoSuchFactoryFunction");
    std::ofstream(broken / "manifest.xml") << manifest;
    EXPECT_EQ(runHost("--bundle '" + broken.string() + "' '" + board.string() + "'", dir_, out, err), 2);
    EXPECT_NE(err.find("NoSuchFactoryFunction"), std::string::npos);
    EXPECT_EQ(out, "");

    EXPECT_EQ(runHost("", dir_, out, err), 2);
}

}  // namespace

// Hosts print file paths as JSON text; a Linux path can hold any bytes but the output must stay
// valid UTF-8 JSON.
TEST(PlugInJSONText, EscapesControlsAndRepairsIllFormedUTF8) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain/path.drevalin", "\"plain/path.drevalin\""},
        {"q\"b\\\n\t\x01", "\"q\\\"b\\\\\\n\\t\\u0001\""},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xF0\x9F\x98\x80\""},
        {"a\xFF" "b", "\"a\xEF\xBF\xBD" "b\""},
        {"x\xE2\x82", "\"x\xEF\xBF\xBD\""},                                   // cut short: one
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},        // surrogate: three
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                        // overlong
        {"\xEF\xBF\xBD", "\"\xEF\xBF\xBD\""},                                // a real U+FFFD stays
        {std::string("n\0ul", 4), "\"n\\u0000ul\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(take(DVCopyJSONString(c.in.data(), c.in.size())), c.out) << c.in;
    }
}
