// What the plain C++ checks of the emulator share: a check that prints what failed and counts it.
#pragma once

#include <cstdio>

namespace native_check {

inline int failures = 0;

inline void check(bool condition, const char *what) {
    if (!condition) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

} // namespace native_check
