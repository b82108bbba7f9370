// Assertions for broken internal invariants: they name the unit and stop the process.
// Untrusted input is never checked this way.
#pragma once

#include <cstdio>
#include <cstdlib>

#define KIV_ASSERT(condition, function, unit)                                                                    \
    do {                                                                                                         \
        if (!(condition)) {                                                                                      \
            std::fprintf(stderr, "Assertion failed: (%s), function %s, file %s.\n", #condition, function, unit); \
            std::abort();                                                                                        \
        }                                                                                                        \
    } while (0)
