// The option-key and beep hooks: silent until a host or a test installs its own.
#include <atomic>

#include <kiv/KIVPlatform.h>

namespace {
std::atomic<KIVOptionKeyProc> gOptionKey{nullptr};
std::atomic<KIVBeepProc> gBeep{nullptr};
}  // namespace

extern "C" {

void KIVSetOptionKeyProc(KIVOptionKeyProc proc) { gOptionKey = proc; }
void KIVSetBeepProc(KIVBeepProc proc) { gBeep = proc; }
KIVOptionKeyProc KIVGetOptionKeyProc(void) { return gOptionKey; }
KIVBeepProc KIVGetBeepProc(void) { return gBeep; }

uint8_t KIVIsOptionKeyPressed(void) {
    KIVOptionKeyProc proc = gOptionKey;
    return proc ? (proc() ? 1 : 0) : 0;
}

void KIVBeep(void) {
    if (KIVBeepProc proc = gBeep) proc();
}

}  // extern "C"
