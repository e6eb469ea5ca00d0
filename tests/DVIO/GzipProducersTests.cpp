// gzip members made by the gzip program and by Python's gzip and zlib modules, read back byte for
// byte; and ours, checked and unpacked by the gzip program.

#include <gtest/gtest.h>

#include <string>

#include "ArchiveFixtures.hpp"
#include "DVIO/Gzip.hpp"

namespace dv {
namespace {

using testing::Bytes;

class ProducedGzip : public ::testing::Test {
protected:
    const Bytes text_ = testing::sampleText(150'000, 21);
    const Bytes noise_ = testing::noise(40'000, 22);
    testing::ScratchDir dir_;
};

TEST_F(ProducedGzip, TheGzipProgram) {
    if (!testing::hasProgram("gzip")) GTEST_SKIP() << "gzip (Debian package gzip) is not installed";
    testing::writeFile(dir_ / "board.json", text_);
    testing::writeFile(dir_ / "empty", {});
    // -n leaves the name and time out; without it the member carries the file name (FNAME).
    for (const char* options : {"-n -1", "-n -9", "-6", "--no-name --fast"}) {
        SCOPED_TRACE(options);
        ASSERT_TRUE(testing::run(std::string("gzip -c ") + options + " '" + (dir_ / "board.json") + "' > '" + (dir_ / "out.gz") + "'"));
        EXPECT_EQ(gunzip(testing::readFile(dir_ / "out.gz")), text_);
    }
    ASSERT_TRUE(testing::run("gzip -c '" + (dir_ / "empty") + "' > '" + (dir_ / "empty.gz") + "'"));
    EXPECT_EQ(gunzip(testing::readFile(dir_ / "empty.gz")), Bytes{});
    // gzip writes a member per input file: two files make two members, refused as a whole.
    ASSERT_TRUE(testing::run("gzip -c -n '" + (dir_ / "board.json") + "' '" + (dir_ / "board.json") + "' > '" + (dir_ / "two.gz") + "'"));
    EXPECT_EQ(gunzip(testing::readFile(dir_ / "two.gz")), std::nullopt);
}

TEST_F(ProducedGzip, PythonGzipAndZlibModules) {
    if (!testing::hasProgram(testing::kPython)) GTEST_SKIP() << testing::kPython << " (Debian package python3) is not installed";
    testing::writeFile(dir_ / "text", text_);
    testing::writeFile(dir_ / "noise", noise_);
    const std::string script =
        "import gzip, io, sys, zlib\n"
        "d = sys.argv[1]\n"
        "for name in ('text', 'noise'):\n"
        "    data = open(d + '/' + name, 'rb').read()\n"
        "    open(d + '/' + name + '.gzip', 'wb').write(gzip.compress(data, 9, mtime=0))\n"
        "    buf = io.BytesIO()\n"
        "    with gzip.GzipFile('board.json', 'wb', 5, buf, 1700000000) as g:\n"
        "        g.write(data)\n"
        "    open(d + '/' + name + '.named', 'wb').write(buf.getvalue())\n"
        "    c = zlib.compressobj(6, zlib.DEFLATED, 31)\n"
        "    open(d + '/' + name + '.zlib', 'wb').write(c.compress(data) + c.flush())\n"
        "    c = zlib.compressobj(1, zlib.DEFLATED, 31, 9, zlib.Z_HUFFMAN_ONLY)\n"
        "    open(d + '/' + name + '.huffman', 'wb').write(c.compress(data) + c.flush())\n";
    testing::writeFile(dir_ / "make.py", testing::bytesOf(script));
    ASSERT_TRUE(testing::run(std::string(testing::kPython) + " '" + (dir_ / "make.py") + "' '" + dir_.path() + "'"));
    for (const char* name : {"text", "noise"}) {
        const Bytes& expected = std::string(name) == "text" ? text_ : noise_;
        for (const char* kind : {"gzip", "named", "zlib", "huffman"}) {
            SCOPED_TRACE(std::string(name) + "." + kind);
            EXPECT_EQ(gunzip(testing::readFile(dir_ / (std::string(name) + "." + kind))), expected);
        }
    }
}

TEST_F(ProducedGzip, OursPassesTheGzipProgram) {
    if (!testing::hasProgram("gzip")) GTEST_SKIP() << "gzip (Debian package gzip) is not installed";
    for (const Bytes* content : {&text_, &noise_}) {
        const Bytes empty;
        for (const Bytes* data : {content, &empty}) {
            const auto member = gzip(*data);
            ASSERT_TRUE(member.has_value());
            testing::writeFile(dir_ / "ours.gz", *member);
            EXPECT_TRUE(testing::run("gzip -t '" + (dir_ / "ours.gz") + "'"));
            ASSERT_TRUE(testing::run("gzip -d -c '" + (dir_ / "ours.gz") + "' > '" + (dir_ / "ours") + "'"));
            EXPECT_EQ(testing::readFile(dir_ / "ours"), *data);
        }
    }
}

}  // namespace
}  // namespace dv
