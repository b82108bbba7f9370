// vad3-printer: an IPP Everywhere printer application (PAPPL) whose printers write every job
// through the driver module into a hot folder, so that any application or device can print
// there through CUPS or IPP.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "Commands.hpp"
#include "HotFolder.hpp"
#include "HotFolderPrinter.hpp"
#include "System.hpp"

namespace {

void Usage(void *) {
    std::puts(
        "Usage: vad3-printer SUB-COMMAND [OPTIONS]\n"
        "A printer application whose printers write each job as a raster job file (.vad3)\n"
        "into a hot folder, through the Varnel printer driver.\n\n"
        "  vad3-printer server -o server-port=8631\n"
        "  vad3-printer server -o server-port=8631 -o listen-hostname='*' -o auth-service=login\n"
        "  vad3-printer add -d HotFolder -m hotfolder -v hotfolder:///srv/hot\n"
        "  vad3-printer submit -d HotFolder picture.png\n"
        "  vad3-printer status [-d HotFolder] | printers | jobs | shutdown   [-u ipp://HOST:PORT]\n"
        "  vad3-printer papers -d HotFolder [--add NAME WIDTHxHEIGHTmm | --remove NAME | --default NAME]\n"
        "A printer's folder is changed on its \"Hot Folder\" web page, the papers every printer\n"
        "offers by name on its \"Papers\" page or with papers.\n\n"
        "Server options (-o): server-port, listen-hostname (localhost by default; another host,\n"
        "or * for every address, needs auth-service), spool-directory, log-file, log-level,\n"
        "auth-service (a PAM service such as login: administration then asks for a login),\n"
        "server-options=no-tls, state-directory (where vad3-printer.state is kept:\n"
        "$XDG_CONFIG_HOME, ~/.config or, for root, /var/lib by default) and client-timeout\n"
        "(seconds a client may send nothing in the middle of a request, 60 by default),\n"
        "hot-folders (the folders, separated by colons, that hot folders must lie in; by\n"
        "default hot-folders beside the state).\n"
        "Without a server, the other sub-commands say so and exit 1. The driver bundle is\n" KIV_DEFAULT_BUNDLE
        " unless KIV_DRIVER_BUNDLE names another.");
}

}  // namespace

int main(int argc, char **argv) {
    if (const auto answered = vad3printer::RunCommandLine(argc, argv)) return *answered;
    const char *bundlePath = std::getenv("KIV_DRIVER_BUNDLE");
    if (!bundlePath || !bundlePath[0]) bundlePath = KIV_DEFAULT_BUNDLE;
    vad3printer::Context context;
    vad3printer::Driver &driver = context.driver;
    driver.bundle = KIVBundleCreate(bundlePath);
    if (!driver.bundle || !driver.module.Load(driver.bundle)) {
        std::fprintf(stderr, "vad3-printer: cannot load the driver from %s: %s\n", bundlePath,
                     driver.bundle ? driver.module.error().c_str() : "not a driver bundle");
        if (driver.bundle) KIVBundleRelease(driver.bundle);
        return 1;
    }
    vad3printer::AddHotFolderScheme();
    const int status =
        papplMainloop(argc, argv, KIV_VERSION, nullptr, 1, vad3printer::Drivers(), vad3printer::AutoAdd,
                      vad3printer::DriverCallback, nullptr, nullptr, vad3printer::MakeSystem, Usage, &context);
    KIVBundleRelease(driver.bundle);
    // A server that stopped takes its local sockets with it (PAPPL leaves them).
    for (const std::string &socket : context.sockets) ::unlink(socket.c_str());
    return status;
}

#if defined(__SANITIZE_ADDRESS__)
// Under LeakSanitizer: what PAPPL, libcups and Avahi keep for the life of the process is
// theirs, not a leak of ours.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libpappl.so\nleak:libcups.so\nleak:libavahi\nleak:libgnutls.so\n";
}
#endif
