#pragma once
// How a fuzz target reports a broken invariant: a message, then an abort the fuzzer records.

#include <cstdio>
#include <cstdlib>

namespace dv::fuzz {

[[noreturn]] inline void broken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

}  // namespace dv::fuzz
