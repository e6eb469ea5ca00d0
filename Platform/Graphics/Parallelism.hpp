#pragma once
// How many threads a piece of drawing or encoding work may spread over.

#include <cstddef>
#include <optional>

namespace dv::gfx {

/// The processors that are not busy right now, counting the calling thread's own: at least 1,
/// at most the processors there are. Where the system does not tell how busy it is, every
/// processor counts as free. The answer only decides how work is spread, never its result.
std::size_t freeProcessorCount();

/// While one lives, the work of its thread stays on that thread: freeProcessorCount answers 1
/// there and runOnBandThreads runs every part there, one after another, so that a caller who
/// promises to work on its own thread alone (an editor's offscreen frame) starts none.
class CallerThreadOnly {
public:
    CallerThreadOnly();
    ~CallerThreadOnly();
    CallerThreadOnly(const CallerThreadOnly&) = delete;
    CallerThreadOnly& operator=(const CallerThreadOnly&) = delete;

    /// Whether one lives on the calling thread.
    static bool active();

private:
    bool before_;
};

/// The same for the load line of the system (the fourth field of /proc/loadavg,
/// "running/total", counting the caller), given the number of processors.
std::size_t freeProcessorCount(const char* loadLine, std::size_t processors);

/// The processors counted free whatever the load, set by the environment variable
/// DREVALIN_BANDS (1 to 64), read once: tests, stress runs and the hostile run draw in bands as on
/// an idle machine, where a loaded one would draw everything at once and hide every fault that
/// only bands show. Nothing when unset or not such a number. A CallerThreadOnly scope still wins.
std::optional<int> freeProcessorsByEnvironment();

/// The same for the variable's text (nullptr when unset).
std::optional<int> freeProcessorsByEnvironment(const char* value);

}  // namespace dv::gfx
