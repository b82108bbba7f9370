// The toolkit in use: one installed by a test or a host, the bundle's Qt toolkit, or none
// (no display: every dialog is cancelled).
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "Forms.hpp"
#include "platform/Diagnostics.hpp"

namespace kiv::forms {
namespace {

// Without a display there is nothing to show: every form fails to load, so every dialog
// is cancelled before it changes anything.
class WindowlessToolkit : public Toolkit {
public:
    std::unique_ptr<Form> LoadForm(KIVBundleRef, const std::string &resource) override {
        throw ToolkitError("no display to show " + resource + " on");
    }
    void Beep() override { KIVBeep(); }  // the host's, where it has one
};

std::mutex gMutex;
std::shared_ptr<Toolkit> gToolkit;

}  // namespace

Toolkit &CurrentToolkit() {
    std::lock_guard lock(gMutex);
    if (!gToolkit) gToolkit = std::make_shared<WindowlessToolkit>();
    return *gToolkit;
}

void SetCurrentToolkit(std::shared_ptr<Toolkit> toolkit) {
    std::lock_guard lock(gMutex);
    gToolkit = std::move(toolkit);
}

bool InteractiveDisplayAvailable() {
    for (const char *var : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
        const char *value = std::getenv(var);
        if (value && value[0]) return true;
    }
    return false;
}

void PrepareToolkit(KIVBundleRef bundle) {
    std::lock_guard lock(gMutex);
    if (gToolkit || !InteractiveDisplayAvailable()) return;
    const char *dir = KIVBundleGetPath(bundle);
    if (!dir) return;
    // Loaded on the first dialog only: a host that never shows one never loads the toolkit.
    const std::string path = std::string(dir) + "/" + kQtToolkitLibrary;
    void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        Diagnose("PrinterDriver: no dialog toolkit: %s", dlerror());
        return;
    }
    using Create = Toolkit *(*)();
    const auto create = reinterpret_cast<Create>(dlsym(library, "KIVCreateQtToolkit"));
    if (Toolkit *toolkit = create ? create() : nullptr) gToolkit.reset(toolkit);
}

}  // namespace kiv::forms
