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
#include "tests/support/PointBudgetBoards.hpp"

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

TEST_F(Importer, BoardsHoldingTooManyPointsAreTooLargeToRead) {
    for (const dv::test::PointBudgetCase& c : dv::test::kPointBudgetCases) {
        SCOPED_TRACE(c.numbers);
        log_.clear();
        std::string attributes;
        EXPECT_EQ(import(write("points.drevalin", dv::test::boardOf(dv::test::strokesHolding(c.numbers))), attributes),
                  c.read);
        EXPECT_EQ(attributes, "{}");
        if (c.read) {
            EXPECT_TRUE(log_.empty());
            continue;
        }
        ASSERT_EQ(log_.size(), 1u);
        EXPECT_EQ(log_[0].message, "Board not imported: The file is too large to read.");
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

// Runs the host (by default the one of the build tree, from the current folder); returns its exit
// status with its standard output and error.
int runHost(const std::string& arguments, const fs::path& dir, std::string& out, std::string& err,
            const fs::path& host = DV_INDEXWRIGHT_HOST, const fs::path& workingDirectory = {}) {
    const fs::path outPath = dir / "host.out";
    const fs::path errPath = dir / "host.err";
    std::string command = (workingDirectory.empty() ? "" : "cd '" + workingDirectory.string() + "' && ") + "'" +
                          host.string() + "' " + arguments + " > '" + outPath.string() + "' 2> '" +
                          errPath.string() + "'";
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

std::string htmlDocument(const std::string& head, const std::string& body) {
    return "<!DOCTYPE html>\n<html>\n<head>\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">\n" +
           head + "</head>\n<body>\n" + body + "</body>\n</html>\n";
}

// A desktop search engine's external filter: one board as HTML, texts one to a line so that a
// line break inside a text stays a word break, keywords in their meta element, nothing but the
// board's words.
TEST_F(Importer, HostWritesOneBoardAsHTMLForSearchEngines) {
    const std::string marked =
        "[" + element("r", "rectangle", "\"width\":10,\"height\":10,\"label\":\"Fish & <chips>\",\"layerName\":\"Team's \\\"A\\\"\"") +
        "," + element("t", "text", "\"content\":\" first line\\nsecond\\tline \",\"fontSize\":16,\"fontFamily\":\"Virgil\",\"width\":10,\"height\":10") +
        "]";
    struct Case {
        std::string board;
        std::string html;
    };
    const Case cases[] = {
        {kMixedBoard, htmlDocument("<meta name=\"keywords\" content=\"Layer A, app server\">\n", "Hello<br>\n100% done<br>\n")},
        {marked, htmlDocument("<meta name=\"keywords\" content=\"Team&#39;s &quot;A&quot;\">\n",
                              "Fish &amp; &lt;chips&gt;<br>\nfirst line<br>\nsecond\tline<br>\n")},
        {kLayerOnlyBoard, htmlDocument("<meta name=\"keywords\" content=\"Sketches\">\n", "")},
        {kPictureBoard, htmlDocument("", "")},
    };
    for (const Case& c : cases) {
        const fs::path board = write("board.drevalin", c.board);
        std::string out, err;
        EXPECT_EQ(runHost("--html '" + board.string() + "'", dir_, out, err), 0) << err;
        EXPECT_EQ(out, c.html);
        EXPECT_EQ(err, "");
    }

    // Not imported: nothing on standard output, so that nothing is indexed, and a failing status.
    const fs::path bad = write("bad.drevalin", "{\"version\":1}");
    std::string out, err;
    EXPECT_EQ(runHost("--html '" + bad.string() + "'", dir_, out, err), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("Board not imported: The file has no elements.\n"), std::string::npos);

    // One document per run.
    const fs::path board = write("board.drevalin", kMixedBoard);
    EXPECT_EQ(runHost("--html '" + board.string() + "' '" + board.string() + "'", dir_, out, err), 2);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("usage"), std::string::npos);
}

TEST_F(Importer, HostTakesDoubleDashAsTheEndOfOptions) {
    write("-odd.drevalin", kMixedBoard);
    write("--html", kPictureBoard);
    struct Case {
        std::string arguments;
        int status;
        std::string outputPart;
    };
    const Case cases[] = {
        {"-- -odd.drevalin", 0, "{\"file\":\"-odd.drevalin\",\"imported\":true"},
        {"--html -- -odd.drevalin", 0, "Hello<br>"},
        {"-- --html", 0, "{\"file\":\"--html\",\"imported\":true,\"attributes\":{}}"},
        {"-- -odd.drevalin --html", 0, "{\"file\":\"--html\""},
        {"--odd.drevalin", 2, ""},
        {"--", 2, ""},
    };
    for (const Case& c : cases) {
        std::string out, err;
        EXPECT_EQ(runHost(c.arguments, dir_, out, err, DV_INDEXWRIGHT_HOST, dir_), c.status) << c.arguments << ": " << err;
        if (c.status == 0) {
            EXPECT_NE(out.find(c.outputPart), std::string::npos) << c.arguments << ": " << out;
        } else {
            EXPECT_NE(err.find("usage"), std::string::npos) << c.arguments;
        }
    }
}

// Installed, the host and its bundle sit in bin/ and lib/drevalin/ of one prefix, which the user
// may move; --bundle still names another bundle.
TEST_F(Importer, HostFindsTheBundleBesideItself) {
    const fs::path prefix = dir_ / "moved-prefix";
    const fs::path bundle = prefix / "lib" / "drevalin" / "Indexwright.plugin";
    fs::create_directories(prefix / "bin");
    fs::create_directories(bundle);
    const fs::path host = prefix / "bin" / "indexwright-host";
    fs::copy_file(DV_INDEXWRIGHT_HOST, host);
    fs::copy_file(fs::path(DV_INDEXWRIGHT_BUNDLE) / "manifest.xml", bundle / "manifest.xml");
    fs::copy_file(DV_INDEXWRIGHT_MODULE, bundle / "Indexwright.so");
    const fs::path board = write("board.drevalin", kMixedBoard);

    std::string out, err;
    EXPECT_EQ(runHost("'" + board.string() + "'", dir_, out, err, host), 0) << err;
    EXPECT_NE(out.find("\"kMDItemTextContent\":\"Hello\\n100% done\""), std::string::npos) << out;

    fs::remove_all(bundle);
    EXPECT_EQ(runHost("'" + board.string() + "'", dir_, out, err, host), 2);
    EXPECT_NE(err.find("lib/drevalin/Indexwright.plugin/manifest.xml"), std::string::npos) << err;
    EXPECT_EQ(runHost("--bundle '" DV_INDEXWRIGHT_BUNDLE "' '" + board.string() + "'", dir_, out, err, host), 0) << err;
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

// The search engine's filter output is HTML: markup characters become references, controls other
// than white space become spaces, and ill-formed UTF-8 is repaired as for JSON.
TEST(PlugInHTMLText, EscapesMarkupAndControlsAndRepairsIllFormedUTF8) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain text", "plain text"},
        {"a<b>&c\"d'e", "a&lt;b&gt;&amp;c&quot;d&#39;e"},
        {"&amp;", "&amp;amp;"},
        {"tab\tline\nreturn\r", "tab\tline\nreturn\r"},
        {std::string("n\0ul\x01\x1F\x7F", 7), "n ul   "},
        {"caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"},
        {"a\xFF" "b", "a\xEF\xBF\xBD" "b"},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(take(DVCopyHTMLText(c.in.data(), c.in.size())), c.out) << c.in;
    }
}

TEST(PlugInAttributeDictionary, GivesBackWhatWasSetByKeyAndKind) {
    DVAttributeDictionaryRef dictionary = DVAttributeDictionaryCreate();
    const std::string text("one\0two", 7);
    DVAttributeDictionarySetString(dictionary, kMDItemTextContent, text.data(), text.size());
    const char* items[] = {"alpha", "b\0c"};
    const size_t lengths[] = {5, 3};
    DVAttributeDictionarySetStringArray(dictionary, kMDItemKeywords, items, lengths, 2);

    const char* got = nullptr;
    size_t length = 0;
    ASSERT_TRUE(DVAttributeDictionaryGetString(dictionary, kMDItemTextContent, &got, &length));
    EXPECT_EQ(std::string(got, length), text);
    EXPECT_EQ(DVAttributeDictionaryGetArrayCount(dictionary, kMDItemKeywords), 2u);
    ASSERT_TRUE(DVAttributeDictionaryGetArrayItem(dictionary, kMDItemKeywords, 1, &got, &length));
    EXPECT_EQ(std::string(got, length), std::string("b\0c", 3));

    struct Miss {
        const char* key;
        size_t index;
    };
    for (const Miss& miss : {Miss{kMDItemKeywords, 2}, Miss{kMDItemTextContent, 0}, Miss{"kMDItemTitle", 0}}) {
        EXPECT_FALSE(DVAttributeDictionaryGetArrayItem(dictionary, miss.key, miss.index, &got, &length)) << miss.key;
    }
    EXPECT_FALSE(DVAttributeDictionaryGetString(dictionary, kMDItemKeywords, &got, &length));
    EXPECT_FALSE(DVAttributeDictionaryGetString(dictionary, "kMDItemTitle", &got, &length));
    EXPECT_EQ(DVAttributeDictionaryGetArrayCount(dictionary, kMDItemTextContent), 0u);

    // A key set again holds its new value.
    DVAttributeDictionarySetString(dictionary, kMDItemKeywords, "k", 1);
    EXPECT_EQ(DVAttributeDictionaryGetArrayCount(dictionary, kMDItemKeywords), 0u);
    ASSERT_TRUE(DVAttributeDictionaryGetString(dictionary, kMDItemKeywords, &got, &length));
    EXPECT_EQ(std::string(got, length), "k");
    DVAttributeDictionaryRelease(dictionary);
}
