// Assertions for broken internal invariants: they name the function and file and stop the
// process.
// Untrusted input is never checked this way.
#pragma once

#include <cstdlib>

#include "Diagnostics.hpp"

#define KIV_ASSERT(condition)                                                                               \
    do {                                                                                                    \
        if (!(condition)) {                                                                                 \
            kiv::Diagnose("Assertion failed: (%s), function %s, file %s.", #condition, __func__, __FILE__); \
            std::abort();                                                                                   \
        }                                                                                                   \
    } while (0)
