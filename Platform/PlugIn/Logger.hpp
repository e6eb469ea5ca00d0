#pragma once
// The error log of plug-ins: entries carry the subsystem (a bundle identifier), a category, a
// level and the message. Entries go to syslog unless a test installs its own sink. The log is
// neither opened nor configured here: that is the host process's business.

#include <functional>
#include <string>
#include <string_view>

namespace dv::platform {

enum class LogLevel { error };

struct LogEntry {
    std::string subsystem;
    std::string category;
    LogLevel level = LogLevel::error;
    std::string message;
};

using LogSink = std::function<void(const LogEntry&)>;

class Logger {
public:
    Logger(std::string subsystem, std::string category)
        : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

    // The message is passed as data, never as a format: it may hold '%'.
    void error(std::string_view message) const;

private:
    std::string subsystem_;
    std::string category_;
};

// Replaces the syslog sink for the whole process; an empty sink restores syslog.
void setLogSinkForTesting(LogSink sink);

}  // namespace dv::platform
