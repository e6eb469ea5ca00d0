#include "ThumbwrightTestSupport.hpp"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace dv::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "thumbwright-test-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) std::abort();
    path_ = name.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::write(const std::string& name, const std::string& content) const {
    std::filesystem::path file = path_ / name;
    std::ofstream(file, std::ios::binary) << content;
    return file;
}

std::string exampleBoard(const std::string& name) {
    return std::string(DV_SOURCE_DIR) + "/examples/" + name + ".drevalin";
}

std::string rectangleBoard(double width, double height, const std::string& stroke) {
    std::ostringstream s;
    s << R"({"version":1,"elements":[{"id":"r","type":"rectangle","x":0,"y":0,"width":)" << width
      << R"(,"height":)" << height << R"(,"strokeColor":")" << stroke
      << R"(","fillColor":"transparent","strokeWidth":1,"opacity":1,"roughness":0}]})";
    return s.str();
}

HostRun runHost(const std::vector<std::string>& arguments, const std::filesystem::path& workingDirectory) {
    std::string host = std::string(DV_BINARY_DIR) + "/hosts/thumbwright-host/thumbwright-host";
    std::vector<std::string> all{host};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    if (!workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, host.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    HostRun run;
    if (rc != 0) {
        ::close(pipeFds[0]);
        return run;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) run.errorText.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

std::optional<PNGInfo> readPNG(const std::filesystem::path& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return std::nullopt;
    PNGInfo info;
    info.width = image.width;
    info.height = image.height;
    image.format = PNG_FORMAT_RGBA;
    info.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, info.rgba.data(), 0, nullptr)) return std::nullopt;
    // Bit depth and colour type straight from the header chunk.
    std::vector<std::uint8_t> bytes = fileBytes(file);
    if (bytes.size() < 26) return std::nullopt;
    info.bitDepth = bytes[24];
    info.colorType = bytes[25];
    return info;
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace dv::test
