// The printer application's system: PAPPL's standard one, with its state kept where the
// person running it chooses and replaced atomically, folders watched from our own timer,
// stalled clients timed out, and a watchdog for systemd.
#include "System.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <string>
#include <vector>

#include "Advertising.hpp"
#include "Commands.hpp"
#include "Folders.hpp"
#include "HomePage.hpp"
#include "HotFolderPrinter.hpp"
#include "ImageFilters.hpp"
#include "InterruptedJobs.hpp"
#include "JobRuns.hpp"
#include "HotFolderJob.hpp"
#include "Papers.hpp"
#include "PdfFilter.hpp"
#include "Watchdog.hpp"

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

// A folder of the server's own (state, spool): made with its parents when missing, private.
void MakePrivateFolder(const std::string &folder) {
    std::error_code ignored;
    if (folder.empty() || std::filesystem::exists(folder, ignored)) return;
    std::filesystem::create_directories(folder, ignored);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
}

// The state file, replaced whole: PAPPL writes it in place (truncated, then written), so a
// crash while it writes would leave it empty or cut short and every printer lost. It is
// written beside its place, synced, and renamed over it.
bool SaveState(pappl_system_t *system, void *data) {
    const std::string &file = static_cast<Context *>(data)->stateFile;
    const bool ok = ReplaceFile(
        file, [&](const std::string &temporary) { return papplSystemSaveState(system, temporary.c_str()); });
    if (!ok)
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "Cannot save the state in %s: %s", file.c_str(), std::strerror(errno));
    return ok;
}

// A client that sends nothing for this long in the middle of a request would hold its
// printer for good: PAPPL 1.3 reads documents without a time limit (and libcups retries a
// read that times out). Each check hangs up on every connection that has received nothing
// for that long: PAPPL itself closes connections idle for 30 seconds between requests, so
// only stalled requests are that quiet. The read then fails, and the job is aborted as
// incomplete.
void DropStalledClients(int seconds) {
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0 ||
            (address.ss_family != AF_INET && address.ss_family != AF_INET6))
            continue;
        tcp_info info{};
        size = sizeof info;
        if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 && info.tcpi_state == TCP_ESTABLISHED &&
            info.tcpi_last_data_recv >= static_cast<unsigned>(seconds) * 1000u)
            ::shutdown(fd, SHUT_RDWR);
    }
}

// Every few seconds stalled clients are dropped and each printer's folder is checked, so that a folder removed while
// the printer is idle shows as a state reason, and the printer refuses jobs, before a job fails on it. PAPPL runs
// timers holding the system's read lock, so the setters here take the printers' locks after the system's, as its
// attribute requests and pages do; the one path that takes them the other way round (refusing a raster job as busy)
// is closed by taking one job per printer at a time. The timer also wakes PAPPL's loop, which otherwise notices a
// Shutdown request only at its next connection.
bool CheckFolders(pappl_system_t *system, void *data) {
    DropStalledClients(static_cast<Context *>(data)->clientTimeout);
    ForEachPrinter(system, [](pappl_printer_t *printer) {
        UpdateStatus(printer);
        DropMediaLink(printer);
    });
    return true;
}

}  // namespace

pappl_system_t *MakeSystem(int count, cups_option_t *options, void *data) {
    Context &context = *static_cast<Context *>(data);
    const std::string port = Option("server-port", count, options, "8000");
    std::string listen = Option("listen-hostname", count, options, kDefaultListenHost);
    if (listen == "*") listen.clear();
    const std::string spool = Option("spool-directory", count, options);
    const std::string log = Option("log-file", count, options, "-");
    const std::string auth = Option("auth-service", count, options);
    const int clientTimeout = std::atoi(Option("client-timeout", count, options).c_str());
    const std::string stateDirectory = StateDirectory(Option("state-directory", count, options));
    context.stateFile = stateDirectory + "/" + kName + ".state";
    MakePrivateFolder(stateDirectory);
    // The driver's preferences (its catalogues) are kept with the state, as the service keeps
    // them, unless XDG_CONFIG_HOME says otherwise: a server writes nothing in the user's home.
    if (!std::getenv("XDG_CONFIG_HOME")) ::setenv("XDG_CONFIG_HOME", stateDirectory.c_str(), 1);
    MakePrivateFolder(spool);
    // The folders printers may write into: the option's, else one beside the state.
    std::vector<std::string> roots;
    const std::string rootList = Option("hot-folders", count, options, (stateDirectory + "/hot-folders").c_str());
    for (std::size_t from = 0, to; from <= rootList.size(); from = to + 1) {
        to = std::min(rootList.find(':', from), rootList.size());
        if (to > from) roots.push_back(rootList.substr(from, to - from));
    }
    if (!cupsGetOption("hot-folders", count, options)) {
        std::error_code ignored;
        std::filesystem::create_directories(roots.front(), ignored);
    }
    SetFolderRoots(roots);
    UseFolderSettings(stateDirectory + "/" + kName + ".folders");

    // "server-options=no-tls" as PAPPL's own servers take it: plain IPP only.
    const bool noTls = Option("server-options", count, options).find("no-tls") != std::string::npos;
    pappl_system_t *system =
        papplSystemCreate(PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG |
                              PAPPL_SOPTIONS_WEB_SECURITY | (noTls ? PAPPL_SOPTIONS_NO_TLS : PAPPL_SOPTIONS_NONE),
                          kName, std::atoi(port.c_str()), "_print,_universal", spool.empty() ? nullptr : spool.c_str(),
                          log.c_str(), LogLevel(Option("log-level", count, options, "info")), nullptr, false);
    if (!system) return nullptr;
    AdvertiseServer(listen.empty() || !IsLoopback(listen), !noTls);
    if (!auth.empty()) {
        context.logins = Logins{auth, Option("admin-group", count, options, "lpadmin")};
        UseLogins(system, context.logins);
    }
    // The network listeners: loopback unless another host, or "*" for every address, is named.
    // (The main loop adds the local socket the sub-commands use.)
    context.sockets.push_back(OwnSocket());
    if (!papplSystemAddListeners(system, listen.empty() ? nullptr : listen.c_str())) {
        papplSystemDelete(system);
        return nullptr;
    }
    // Run as a service (systemd's RuntimeDirectory=), it also listens where the sub-commands of
    // root and of the service's group look for it: the main loop's own socket, in the service
    // user's private /tmp, is out of their reach.
    if (const char *runtime = std::getenv("RUNTIME_DIRECTORY"); runtime && *runtime) {
        const std::string folders = runtime;  // the first of them
        const std::string socket = folders.substr(0, folders.find(':')) + "/" + kName + ".sock";
        if (papplSystemAddListeners(system, socket.c_str()))
            context.sockets.push_back(socket);
        else
            papplLog(system, PAPPL_LOGLEVEL_ERROR, "Cannot listen on %s", socket.c_str());
    }
    context.clientTimeout = clientTimeout > 0 ? clientTimeout : kDefaultClientTimeout;

    AddImageFilters(system);
    AddPdfFilter(system);
    AddSecondRunFilters(system);
    ExplainUnprintableFormats(system);
    papplSystemSetOperationCallback(system, AnswerPapersOperation, &context.driver);
    papplSystemSetMaxImageSize(system, kMaxImageBytes, kMaxImageSide, kMaxImageSide);
    papplSystemSetPrinterDrivers(system, 1, Drivers(), AutoAdd, PrinterCreated, DriverCallback, &context.driver);
    // The product's mark and name in every page's header bar and the browser's tab: the first
    // resource at a path is the one served, and PAPPL adds its own as the server starts.
    papplSystemAddResourceData(system, "/navicon.png", "image/png", kIcon_navicon, kIcon_navicon_size);
    papplSystemAddResourceData(system, "/favicon.png", "image/png", kIcon_printer_48, kIcon_printer_48_size);
    AddHomePage(system, log != "-" && log != "syslog");
    papplSystemSetFooterHTML(
        system, "Varnel printer driver " KIV_VERSION ": every job becomes a raster job file in a hot folder.");
    const std::vector<InterruptedJob> interrupted = EndInterruptedJobs(context.stateFile, spool);
    papplSystemLoadState(system, context.stateFile.c_str());
    ExplainInterruptedJobs(system, interrupted);
    LimitJobs(system);  // before the server runs: no other thread holds a lock yet
    context.driver.checkNewFolders = true;
    papplSystemSetSaveCallback(system, SaveState, &context);
    papplSystemAddTimerCallback(system, 0, kFolderCheckSeconds, CheckFolders, &context);
    StartWatchdog(listen.empty() ? "localhost" : listen, std::atoi(port.c_str()));
    return system;
}

}  // namespace vad3printer
