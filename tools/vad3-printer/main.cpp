// vad3-printer: an IPP Everywhere printer application (PAPPL) whose printers write every job
// through the driver module into a hot folder, so that any application or device can print
// there through CUPS or IPP.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "HotFolderPrinter.hpp"
#include "System.hpp"

namespace {

void Usage(void *) {
    std::puts(
        "Usage: vad3-printer SUB-COMMAND [OPTIONS]\n"
        "A printer application whose printers write each job as a raster job file (.vad3)\n"
        "into a hot folder, through the Varnel printer driver.\n\n"
        "  vad3-printer server -o server-port=8631 -o listen-hostname=localhost\n"
        "  vad3-printer add -d HotFolder -m hotfolder -v hotfolder:///srv/hot\n"
        "  vad3-printer submit -d HotFolder picture.png\n"
        "  vad3-printer modify -d HotFolder -v hotfolder:///srv/other\n"
        "  vad3-printer status | printers | jobs | shutdown\n\n"
        "Server options (-o): server-port, listen-hostname, spool-directory, log-file,\n"
        "log-level, auth-service, server-options=no-tls, and state-directory (where\n"
        "vad3-printer.state is kept: $XDG_CONFIG_HOME, ~/.config or, for root, /var/lib by\n"
        "default). The driver bundle is " KIV_DEFAULT_BUNDLE " unless KIV_DRIVER_BUNDLE names another.");
}

}  // namespace

int main(int argc, char **argv) {
    const char *bundlePath = std::getenv("KIV_DRIVER_BUNDLE");
    vad3printer::Module &module = vad3printer::TheModule();
    module.bundle = KIVBundleCreate(bundlePath && bundlePath[0] ? bundlePath : KIV_DEFAULT_BUNDLE);
    if (!module.bundle || !module.driver.Load(module.bundle)) {
        std::fprintf(stderr, "vad3-printer: cannot load the driver from %s: %s\n",
                     bundlePath && bundlePath[0] ? bundlePath : KIV_DEFAULT_BUNDLE,
                     module.bundle ? module.driver.error().c_str() : "not a driver bundle");
        return 1;
    }
    vad3printer::AddHotFolderScheme();
    const int status =
        papplMainloop(argc, argv, "1.0.0", nullptr, 1, vad3printer::Drivers(), vad3printer::AutoAdd,
                      vad3printer::DriverCallback, nullptr, nullptr, vad3printer::MakeSystem, Usage, nullptr);
    KIVBundleRelease(module.bundle);
    return status;
}

#if defined(__SANITIZE_ADDRESS__)
// Under LeakSanitizer: what PAPPL, libcups and Avahi keep for the life of the process is
// theirs, not a leak of ours.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libpappl.so\nleak:libcups.so\nleak:libavahi\nleak:libgnutls.so\n";
}
#endif
