// Assertions for broken internal invariants: they name the function and file and stop the
// process.
// Untrusted input is never checked this way.
#pragma once

#include <cstdio>
#include <cstdlib>

#define KIV_ASSERT(condition)                                                                                        \
    do {                                                                                                             \
        if (!(condition)) {                                                                                          \
            std::fprintf(stderr, "Assertion failed: (%s), function %s, file %s.\n", #condition, __func__, __FILE__); \
            std::abort();                                                                                            \
        }                                                                                                            \
    } while (0)
