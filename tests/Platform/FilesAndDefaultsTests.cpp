#include "Platform/Defaults/UserDefaults.hpp"
#include "Platform/Files/FileData.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Thumbnail/Thumbnailing.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using dv::platform::FileReadError;
using dv::platform::readRegularFile;

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/dvfilesXXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string& name, const std::string& content) const {
        std::string p = path_ + "/" + name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string messageOf(const std::string& path, std::size_t limit = dv::platform::unlimitedFileSize) {
    try {
        readRegularFile(path, limit);
    } catch (const FileReadError& e) {
        return e.what();
    }
    return "no error";
}

TEST(ReadRegularFile, ReadsWholeContentIncludingNulBytes) {
    TempDir dir;
    std::string content("a\0b{}\xff", 6);
    auto data = readRegularFile(dir.file("board.drevalin", content));
    EXPECT_EQ(std::string(data.begin(), data.end()), content);
    EXPECT_TRUE(readRegularFile(dir.file("empty", "")).empty());
}

TEST(ReadRegularFile, RefusesWhatIsNotARegularFileWithoutBlocking) {
    TempDir dir;
    std::string fifo = dir.path() + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO with no writer would block a blocking open or read forever.
    EXPECT_EQ(messageOf(fifo), "The file \xE2\x80\x9C" + fifo + "\xE2\x80\x9D is not a regular file.");
    EXPECT_EQ(messageOf(dir.path()), "The file \xE2\x80\x9C" + dir.path() + "\xE2\x80\x9D is not a regular file.");
    EXPECT_EQ(messageOf("/dev/zero"), "The file \xE2\x80\x9C/dev/zero\xE2\x80\x9D is not a regular file.");
}

TEST(ReadRegularFile, ReportsWhyAFileCouldNotBeRead) {
    TempDir dir;
    std::string missing = dir.path() + "/missing";
    EXPECT_EQ(messageOf(missing),
              "The file \xE2\x80\x9C" + missing + "\xE2\x80\x9D couldn\xE2\x80\x99t be read: No such file or directory.");
    std::string withNul("/tmp/a\0b", 8);
    // Must not quietly read "/tmp/a" instead.
    EXPECT_THROW(readRegularFile(withNul), FileReadError);
}

TEST(ReadRegularFile, EnforcesTheSizeLimit) {
    TempDir dir;
    std::string p = dir.file("big", std::string(1000, 'x'));
    EXPECT_EQ(readRegularFile(p, 1000).size(), 1000u);
    EXPECT_EQ(messageOf(p, 999), "The file \xE2\x80\x9C" + p + "\xE2\x80\x9D is too large.");
}

TEST(LocalPathFromFileURL, DecodesLocalFileURLsOnly) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"file:///tmp/a%20b.drevalin", "/tmp/a b.drevalin"},
        {"file://localhost/srv/x", "/srv/x"},
        {"file:///caf%C3%A9", "/caf\xC3\xA9"},
        {"file:///bad%zz%2", "/bad%zz%2"},
        {"file:///q?x=1#frag", "/q"},
        {"file://server/share/x", "file://server/share/x"},
        {"/plain/path%20kept", "/plain/path%20kept"},
        {"relative/board", "relative/board"},
        {"http://host/x", "http://host/x"},
    };
    for (const auto& c : cases) EXPECT_EQ(dv::platform::localPathFromFileURL(c.in), c.out) << c.in;
}

TEST(UserDefaults, StoresStringsByKey) {
    dv::platform::InMemoryUserDefaults store;
    EXPECT_EQ(store.stringForKey("AppleInterfaceStyle"), std::nullopt);
    store.setString("AppleInterfaceStyle", "Dark");
    EXPECT_EQ(store.stringForKey("AppleInterfaceStyle"), "Dark");
    store.setString("AppleInterfaceStyle", "Light");
    EXPECT_EQ(store.stringForKey("AppleInterfaceStyle"), "Light");
    store.removeObject("AppleInterfaceStyle");
    EXPECT_EQ(store.stringForKey("AppleInterfaceStyle"), std::nullopt);
    EXPECT_EQ(&dv::platform::InMemoryUserDefaults::standard(), &dv::platform::InMemoryUserDefaults::standard());
}

TEST(ThumbnailReply, KeepsItsSizeAndDrawsThroughItsBlock) {
    int drawn = 0;
    auto reply = dv::ql::ThumbnailReply::replyWithContextSize({256, 192}, [&](dv::gfx::GraphicsContext& c) {
        ++drawn;
        return c.width() == 4;
    });
    EXPECT_EQ(reply->contextSize(), (dv::ql::Size{256, 192}));
    auto bitmap = dv::gfx::Bitmap::create(4, 3);
    ASSERT_TRUE(bitmap);
    dv::gfx::GraphicsContext context(*bitmap);
    EXPECT_TRUE(reply->draw(context));
    EXPECT_EQ(drawn, 1);
    EXPECT_FALSE(dv::ql::ThumbnailReply::replyWithContextSize({1, 1}, nullptr)->draw(context));
}

}  // namespace
