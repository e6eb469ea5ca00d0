#include "Platform/Graphics/MemoryHeadroom.hpp"

#include <atomic>
#include <mutex>
#include <sys/mman.h>
#include <sys/resource.h>

namespace dv::gfx {

namespace {

// Room left beside every promise for what other threads allocate meanwhile (text, the rows of
// a heavy fill) and what is allocated around the calls (spans, masks, the painters' own
// blocks): the promise is checked with a quarter more, and this much more.
constexpr std::size_t MARGIN_BYTES = std::size_t{16} << 20;

std::mutex ledgerLock;
std::size_t promised = 0;  // by the promises held, guarded by ledgerLock

std::atomic<bool> testing{false};
std::atomic<std::size_t> testingHeadroom{0};

// Whether `bytes` of address space can be mapped now: mapped writable (which counts towards a
// data limit as well as the address-space one) and at once given back, never touched.
bool canMap(std::size_t bytes) {
    void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED) return false;
    ::munmap(block, bytes);
    return true;
}

}  // namespace

std::optional<std::size_t> processMemoryLimit() {
    static const std::optional<std::size_t> limit = [] () -> std::optional<std::size_t> {
        rlim_t least = RLIM_INFINITY;
        for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
            rlimit value{};
            if (::getrlimit(resource, &value) == 0 && value.rlim_cur < least) least = value.rlim_cur;
        }
        if (least == RLIM_INFINITY) return std::nullopt;
        return static_cast<std::size_t>(least);
    }();
    return limit;
}

bool checksMemory() { return testing.load() || processMemoryLimit(); }

MemoryPromise::MemoryPromise(std::size_t bytes) : bytes_(bytes) {
    const bool tested = testing.load();
    if (!tested && !processMemoryLimit()) return;
    std::lock_guard lock(ledgerLock);
    const std::size_t others = promised;
    if (tested) kept_ = bytes <= testingHeadroom.load() && others <= testingHeadroom.load() - bytes;
    else kept_ = bytes < (SIZE_MAX >> 2) && canMap(bytes + bytes / 4 + others + MARGIN_BYTES);
    if (!kept_) return;
    promised += bytes;
    held_ = true;
}

MemoryPromise::~MemoryPromise() {
    if (!held_) return;
    std::lock_guard lock(ledgerLock);
    promised -= bytes_;
}

namespace detail {

void setMemoryHeadroomForTesting(std::optional<std::size_t> bytes) {
    testingHeadroom.store(bytes.value_or(0));
    testing.store(bytes.has_value());
}

}  // namespace detail

}  // namespace dv::gfx
