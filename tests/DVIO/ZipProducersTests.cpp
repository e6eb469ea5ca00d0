// Archives made by the programs people make them with, read back byte for byte.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "ArchiveFixtures.hpp"
#include "DVIO/ZipArchive.hpp"

namespace dv {
namespace {

using testing::Bytes;

// A small tree: text that deflates, noise that producers store or barely deflate, an empty
// file, nested folders and a non-ASCII name.
class ProducedZip : public ::testing::Test {
protected:
    void SetUp() override {
        files_ = {
            {"pack/README.txt", testing::bytesOf("An icon pack.\n")},
            {"pack/icons/arrow.svg", testing::sampleText(20'000, 11)},
            {"pack/icons/large/photo.bin", testing::noise(70'000, 12)},
            {"pack/icons/empty.svg", {}},
            {"pack/icons/caf\xC3\xA9.svg", testing::sampleText(300, 13)},
        };
        for (const auto& [name, data] : files_) {
            const std::string path = dir_ / ("src/" + name);
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            testing::writeFile(path, data);
        }
    }

    void expectReadsBack(const std::string& archive, bool listsFolders) {
        const Bytes zip = testing::readFile(archive);
        ASSERT_FALSE(zip.empty()) << archive << " was not written";
        const auto names = listZipEntries(zip);
        std::map<std::string, Bytes> read;
        for (ZipEntry& entry : readZipEntries(zip, [](std::string_view, std::int64_t) { return true; })) {
            EXPECT_TRUE(read.emplace(entry.name, std::move(entry.data)).second) << entry.name;
        }
        EXPECT_EQ(read, files_);
        std::size_t folders = 0;
        for (const std::string& name : names) folders += !name.empty() && name.back() == '/';
        EXPECT_EQ(names.size(), files_.size() + folders);
        if (listsFolders) {
            EXPECT_GE(folders, 3u);
        }
    }

    std::string src() const { return dir_ / "src"; }

    testing::ScratchDir dir_;
    std::map<std::string, Bytes> files_;
};

TEST_F(ProducedZip, InfoZip) {
    if (!testing::hasProgram("zip")) GTEST_SKIP() << "zip (Debian package zip) is not installed";
    for (const char* level : {"-6", "-0", "-9"}) {
        SCOPED_TRACE(level);
        const std::string out = dir_ / (std::string("info") + level + ".zip");
        ASSERT_TRUE(testing::run("cd '" + src() + "' && zip -q -r -X " + level + " '" + out + "' pack"));
        expectReadsBack(out, true);
    }
}

TEST_F(ProducedZip, PythonZipfile) {
    if (!testing::hasProgram(testing::kPython)) GTEST_SKIP() << testing::kPython << " (Debian package python3) is not installed";
    const std::string script =
        "import os, sys, zipfile\n"
        "src, out = sys.argv[1], sys.argv[2]\n"
        "for method in ('ZIP_STORED', 'ZIP_DEFLATED'):\n"
        "    with zipfile.ZipFile(os.path.join(out, method + '.zip'), 'w', getattr(zipfile, method)) as z:\n"
        "        for root, dirs, files in sorted(os.walk(src)):\n"
        "            for f in sorted(files):\n"
        "                p = os.path.join(root, f)\n"
        "                z.write(p, os.path.relpath(p, src))\n";
    testing::writeFile(dir_ / "make.py", testing::bytesOf(script));
    ASSERT_TRUE(testing::run(std::string(testing::kPython) + " '" + (dir_ / "make.py") + "' '" + src() + "' '" + dir_.path() + "'"));
    for (const char* method : {"ZIP_STORED", "ZIP_DEFLATED"}) {
        SCOPED_TRACE(method);
        expectReadsBack(dir_ / (std::string(method) + ".zip"), false);
    }
}

TEST_F(ProducedZip, Bsdtar) {
    if (!testing::hasProgram("bsdtar")) GTEST_SKIP() << "bsdtar (Debian package libarchive-tools) is not installed";
    for (const char* options : {"", "--options zip:compression=store"}) {
        SCOPED_TRACE(options);
        const std::string out = dir_ / (std::string("bsdtar") + (options[0] ? "-store" : "") + ".zip");
        ASSERT_TRUE(testing::run("cd '" + src() + "' && bsdtar --format zip " + options + " -cf '" + out + "' pack"));
        expectReadsBack(out, true);
    }
}

}  // namespace
}  // namespace dv
