#include "Platform/Graphics/Shortcuts.hpp"

#include <atomic>

namespace dv::gfx {

namespace {
std::atomic<bool> taken{true};
}

bool shortcutsTaken() { return taken.load(std::memory_order_relaxed); }

void takeShortcuts(bool on) { taken.store(on, std::memory_order_relaxed); }

} // namespace dv::gfx
