// The least a plain C++ check needs: CHECK(condition) prints what failed and counts it;
// the check's main returns plain_check_result().
#pragma once

#include <cstdio>

inline int &plain_check_failures() {
    static int failures = 0;
    return failures;
}

#define CHECK(condition)                                                                   \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::printf("%s:%d: FAILED: %s\n", __FILE__, __LINE__, #condition);            \
            ++plain_check_failures();                                                      \
        }                                                                                  \
    } while (false)

inline int plain_check_result() { return plain_check_failures() == 0 ? 0 : 1; }
