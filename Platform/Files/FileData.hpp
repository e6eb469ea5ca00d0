#pragma once
// Whole-file reading for the hosts' entry points. A file browser or an indexer hands us whatever
// path it meets, so a FIFO, a device or a directory must fail at once instead of blocking or
// reading forever: the file is opened without blocking and only regular files are read.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace dv::platform {

class FileReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// No limit on the size of a regular file.
inline constexpr std::size_t unlimitedFileSize = static_cast<std::size_t>(-1);

/// The whole content of the regular file at `path`. Throws `FileReadError` with the message
/// "The file “<path>” is not a regular file." for anything else, "The file “<path>” is too large."
/// when it holds more than `maxBytes`, and "The file “<path>” couldn’t be read: <reason>." when
/// opening or reading fails.
std::vector<std::uint8_t> readRegularFile(const std::string& path, std::size_t maxBytes = unlimitedFileSize);

/// The local path of a "file://" URL (percent-decoded; only an empty or "localhost" host), or the
/// text unchanged when it is not such a URL. Nothing else is rewritten.
std::string localPathFromFileURL(const std::string& urlOrPath);

/// The folder holding the running executable, so that a host finds what it loads beside itself
/// wherever its tree was installed or moved; "." when the system cannot tell.
std::string executableDirectory();

}  // namespace dv::platform
