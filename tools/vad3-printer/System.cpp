// The printer application's system: PAPPL's standard one, with its state kept where the
// person running it chooses.
#include "System.hpp"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "Folders.hpp"
#include "HotFolderPrinter.hpp"
#include "PngFilter.hpp"

namespace vad3printer {
namespace {

constexpr const char *kName = "vad3-printer";
constexpr int kFolderCheckSeconds = 2;

std::string Option(const char *name, int count, cups_option_t *options, const char *fallback = "") {
    const char *v = cupsGetOption(name, count, options);
    return v ? v : fallback;
}

pappl_loglevel_t LogLevel(const std::string &name) {
    if (name == "debug") return PAPPL_LOGLEVEL_DEBUG;
    if (name == "warn") return PAPPL_LOGLEVEL_WARN;
    if (name == "error") return PAPPL_LOGLEVEL_ERROR;
    if (name == "fatal") return PAPPL_LOGLEVEL_FATAL;
    return PAPPL_LOGLEVEL_INFO;
}

// The folder the state file lives in, as PAPPL chooses it unless the option says otherwise.
std::string StateDirectory(const std::string &chosen) {
    if (!chosen.empty()) return chosen;
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return xdg;
    if (::getuid() == 0) return "/var/lib";
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.config";
}

std::string gStateFile;

bool SaveState(pappl_system_t *system, void *) { return papplSystemSaveState(system, gStateFile.c_str()); }

// Every few seconds each printer's folder is checked, so that a folder removed while the
// printer is idle shows as a state reason before a job fails on it. The timer also wakes
// PAPPL's loop, which otherwise notices a Shutdown request only at its next connection.
bool CheckFolders(pappl_system_t *system, void *) {
    papplSystemIteratePrinters(
        system, [](pappl_printer_t *printer, void *) { UpdateStatus(printer); }, nullptr);
    return true;
}

}  // namespace

pappl_system_t *MakeSystem(int count, cups_option_t *options, void *) {
    const std::string port = Option("server-port", count, options, "8000");
    const std::string listen = Option("listen-hostname", count, options);
    const std::string spool = Option("spool-directory", count, options);
    const std::string log = Option("log-file", count, options, "-");
    const std::string auth = Option("auth-service", count, options);
    const std::string stateDirectory = StateDirectory(Option("state-directory", count, options));
    gStateFile = stateDirectory + "/" + kName + ".state";
    UseFolderSettings(stateDirectory + "/" + kName + ".folders");

    // "server-options=no-tls" as PAPPL's own servers take it: plain IPP only.
    const bool noTls = Option("server-options", count, options).find("no-tls") != std::string::npos;
    pappl_system_t *system = papplSystemCreate(
        PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG |
            PAPPL_SOPTIONS_WEB_SECURITY | (noTls ? PAPPL_SOPTIONS_NO_TLS : PAPPL_SOPTIONS_NONE),
        kName, std::atoi(port.c_str()), "_print,_universal", spool.empty() ? nullptr : spool.c_str(), log.c_str(),
        LogLevel(Option("log-level", count, options, "info")), auth.empty() ? nullptr : auth.c_str(), false);
    if (!system) return nullptr;
    // The network listeners: all addresses unless one host is named. (The main loop adds the
    // local socket the sub-commands use.)
    if (!papplSystemAddListeners(system, listen.empty() ? nullptr : listen.c_str())) {
        papplSystemDelete(system);
        return nullptr;
    }

    AddPngFilter(system);
    papplSystemSetPrinterDrivers(system, 1, Drivers(), AutoAdd, AddHotFolderPage, DriverCallback, nullptr);
    papplSystemSetFooterHTML(system, "Varnel printer driver: every job becomes a raster job file in a hot folder.");
    papplSystemLoadState(system, gStateFile.c_str());
    papplSystemSetSaveCallback(system, SaveState, nullptr);
    papplSystemAddTimerCallback(system, 0, kFolderCheckSeconds, CheckFolders, nullptr);
    return system;
}

}  // namespace vad3printer
