// The host's beep and option key for a scope: beeps counted, the option key as the test sets it.
#pragma once

#include <kiv/KIVPlatform.h>

namespace kivtest {

struct ScopedHostHooks {
    static inline int beeps = 0;
    static inline uint8_t option = 0;
    ScopedHostHooks() {
        beeps = option = 0;
        KIVSetBeepProc([] { ++beeps; });
        KIVSetOptionKeyProc([] { return option; });
    }
    ~ScopedHostHooks() {
        KIVSetBeepProc(nullptr);
        KIVSetOptionKeyProc(nullptr);
    }
};

}  // namespace kivtest
