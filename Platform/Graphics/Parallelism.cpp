#include "Platform/Graphics/Parallelism.hpp"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace dv::gfx {

std::size_t freeProcessorCount(const char* loadLine, std::size_t processors) {
    if (processors == 0) processors = 1;
    // "0.52 0.58 0.59 3/512 12345": skip three averages to the running count.
    const char* p = loadLine;
    for (int field = 0; field < 3 && p; ++field) {
        p = std::strchr(p, ' ');
        if (p) ++p;
    }
    std::size_t running = 0;
    if (!p) return processors;
    const char* end = p + std::strlen(p);
    auto [next, ec] = std::from_chars(p, end, running);
    if (ec != std::errc() || next == end || *next != '/') return processors;
    const std::size_t others = running > 0 ? running - 1 : 0;
    return others >= processors ? 1 : processors - others;
}

namespace {
thread_local bool callerThreadOnly = false;
}

CallerThreadOnly::CallerThreadOnly() : before_(callerThreadOnly) { callerThreadOnly = true; }
CallerThreadOnly::~CallerThreadOnly() { callerThreadOnly = before_; }
bool CallerThreadOnly::active() { return callerThreadOnly; }

std::size_t freeProcessorCount() {
    if (callerThreadOnly) return 1;
    if (const std::optional<int> set = freeProcessorsByEnvironment()) return static_cast<std::size_t>(*set);
    const std::size_t processors = std::thread::hardware_concurrency();
    char line[128] = {};
    if (std::FILE* f = std::fopen("/proc/loadavg", "re")) {
        const std::size_t n = std::fread(line, 1, sizeof line - 1, f);
        std::fclose(f);
        line[n] = '\0';
        return freeProcessorCount(line, processors);
    }
    return processors == 0 ? 1 : processors;
}

std::optional<int> freeProcessorsByEnvironment(const char* value) {
    if (!value) return std::nullopt;
    const char* end = value + std::strlen(value);
    int bands = 0;
    auto [next, ec] = std::from_chars(value, end, bands);
    if (ec != std::errc() || next != end || bands < 1 || bands > 64) return std::nullopt;
    return bands;
}

std::optional<int> freeProcessorsByEnvironment() {
    static const std::optional<int> bands = freeProcessorsByEnvironment(std::getenv("DREVALIN_BANDS"));
    return bands;
}

}  // namespace dv::gfx
