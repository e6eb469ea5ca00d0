#pragma once
// Helpers of the deliverable's tests: temporary board files, the module, the host and PNG headers.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace dv::test {

/// A fresh directory removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path write(const std::string& name, const std::string& content) const;

private:
    std::filesystem::path path_;
};

std::string exampleBoard(const std::string& name);

/// A board of one rectangle at (0, 0) of the given size.
std::string rectangleBoard(double width, double height, const std::string& stroke = "#1e1e1e");

struct HostRun {
    int exitCode = -1;
    std::string errorText;
};
/// Runs the thumbnail host with the arguments (in `workingDirectory` when one is given) and waits for it.
HostRun runHost(const std::vector<std::string>& arguments, const std::filesystem::path& workingDirectory = {});

struct PNGInfo {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bitDepth = 0;
    int colorType = 0;
    /// Straight RGBA, row after row.
    std::vector<std::uint8_t> rgba;
};
std::optional<PNGInfo> readPNG(const std::filesystem::path& file);

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& file);

}  // namespace dv::test
