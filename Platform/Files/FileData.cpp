#include "Platform/Files/FileData.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dv::platform {

namespace {

std::string quoted(const std::string& path) { return "The file \xE2\x80\x9C" + path + "\xE2\x80\x9D"; }

[[noreturn]] void failRead(const std::string& path, int err) {
    std::string reason = std::strerror(err);
    throw FileReadError(quoted(path) + " couldn\xE2\x80\x99t be read: " + reason + ".");
}

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::vector<std::uint8_t> readRegularFile(const std::string& path, std::size_t maxBytes) {
    // A path with a NUL byte cannot name a file; the system call would see a shorter path.
    if (path.find('\0') != std::string::npos) failRead(path, EINVAL);
    Descriptor file;
    // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
    file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file.fd < 0) failRead(path, errno);
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) failRead(path, errno);
    if (!S_ISREG(info.st_mode)) throw FileReadError(quoted(path) + " is not a regular file.");
    if (info.st_size < 0 || static_cast<std::uintmax_t>(info.st_size) > maxBytes)
        throw FileReadError(quoted(path) + " is too large.");

    std::vector<std::uint8_t> data;
    data.reserve(static_cast<std::size_t>(info.st_size));
    // Read what the file holds, even if it grows or shrinks meanwhile, but never past the limit.
    std::uint8_t chunk[1 << 16];
    for (;;) {
        ssize_t got = ::read(file.fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            failRead(path, errno);
        }
        if (got == 0) break;
        if (data.size() + static_cast<std::size_t>(got) > maxBytes) throw FileReadError(quoted(path) + " is too large.");
        data.insert(data.end(), chunk, chunk + got);
    }
    return data;
}

std::string localPathFromFileURL(const std::string& urlOrPath) {
    static const std::string scheme = "file://";
    if (urlOrPath.compare(0, scheme.size(), scheme) != 0) return urlOrPath;
    std::string rest = urlOrPath.substr(scheme.size());
    std::size_t slash = rest.find('/');
    if (slash == std::string::npos) return urlOrPath;
    std::string host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost") return urlOrPath;
    std::string encoded = rest.substr(slash);
    std::string path;
    path.reserve(encoded.size());
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        char c = encoded[i];
        if (c == '?' || c == '#') break;
        if (c == '%' && i + 2 < encoded.size()) {
            int hi = hex(encoded[i + 1]), lo = hex(encoded[i + 2]);
            if (hi >= 0 && lo >= 0) {
                path.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        path.push_back(c);
    }
    return path;
}

std::string executableDirectory() {
    std::vector<char> buffer(4096);
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return ".";
    std::string path(buffer.data(), static_cast<std::size_t>(n));
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace dv::platform
