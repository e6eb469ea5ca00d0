#include "Platform/Graphics/FontFaceLock.hpp"

namespace dv::gfx {

std::mutex& fontFaceMutex() {
    // Never destroyed: threads may still release text while the process exits.
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

}  // namespace dv::gfx
