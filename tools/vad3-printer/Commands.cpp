// The command line checked and, where PAPPL would get it wrong, answered.
#include "Commands.hpp"

#include <cups/cups.h>
#include <pappl/pappl.h>
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "HotFolder.hpp"
#include "HotFolderPrinter.hpp"
#include "Papers.hpp"
#include "PdfFilter.hpp"

namespace vad3printer {
namespace {

constexpr const char *kName = "vad3-printer";
const char *const kSubcommands[] = {"add",     "autoadd", "cancel",   "default", "delete", "devices",
                                    "drivers", "jobs",    "modify",   "options", "pause",  "printers",
                                    "resume",  "server",  "shutdown", "status",  "submit", "papers"};
const char *const kServerOptions[] = {"server-port",    "listen-hostname", "spool-directory", "log-file",
                                      "log-level",      "auth-service",    "server-options",  "state-directory",
                                      "client-timeout", "hot-folders",     "admin-group"};
const char *const kLogLevels[] = {"debug", "info", "warn", "error", "fatal"};

template <std::size_t N>
bool OneOf(const char *const (&list)[N], const std::string &s) {
    return std::find(std::begin(list), std::end(list), s) != std::end(list);
}

// The command line as papplMainloop reads it: the sub-command, the -o options and the
// letters of the others with their values.
struct CommandLine {
    std::string subcommand = "submit";
    std::vector<std::pair<std::string, std::string>> serverOptions;
    std::string printerURI, printerName, deviceURI;
    // -u taken apart (localhost and no path without it); uriOK false when it does not read.
    std::string scheme = "ipp", host = "localhost", path;
    int port = 0;
    bool uriOK = true;
    bool handledByPAPPL = false;     // --help, --version, or an error PAPPL reports itself
    std::vector<std::string> files;  // the other words: submit's documents
};

CommandLine Parse(int argc, char **argv) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "--version" || arg == "--" ||
            (arg.starts_with('-') && i + 1 >= argc && std::strchr("dhjmnotuv", arg.back()))) {
            line.handledByPAPPL = true;
            return line;
        }
        if (arg.size() == 2 && arg[0] == '-' && std::strchr("dhjmnotuv", arg[1])) {
            const std::string value = argv[++i];
            if (arg[1] == 'u') line.printerURI = value;
            if (arg[1] == 'd') line.printerName = value;
            if (arg[1] == 'v') line.deviceURI = value;
            if (arg[1] == 'o') {
                cups_option_t *options = nullptr;
                const int count = cupsParseOptions(value.c_str(), 0, &options);
                for (int k = 0; k < count; ++k) line.serverOptions.emplace_back(options[k].name, options[k].value);
                cupsFreeOptions(count, options);
            }
        } else if (OneOf(kSubcommands, arg) && line.files.empty() && line.subcommand == "submit") {
            line.subcommand = arg;
        } else if (!arg.starts_with('-')) {
            line.files.push_back(arg);
        }
    }
    if (!line.printerURI.empty()) {
        char scheme[32], user[256], host[256], path[1024];
        line.uriOK =
            httpSeparateURI(HTTP_URI_CODING_ALL, line.printerURI.c_str(), scheme, sizeof scheme, user, sizeof user,
                            host, sizeof host, &line.port, path, sizeof path) >= HTTP_URI_STATUS_OK &&
            (std::strcmp(scheme, "ipp") == 0 || std::strcmp(scheme, "ipps") == 0);
        line.scheme = scheme, line.host = host, line.path = path;
    }
    return line;
}

std::string OptionValue(const CommandLine &line, const std::string &name, const std::string &fallback = "") {
    for (const auto &[n, v] : line.serverOptions)
        if (n == name) return v;
    return fallback;
}

// Why the server options cannot be used, or empty when they can.
std::string ServerOptionProblem(const CommandLine &line) {
    // Without an authentication service whoever reaches the server administers it.
    const std::string listen = OptionValue(line, "listen-hostname", kDefaultListenHost);
    const std::string beyond =
        "listening beyond this machine (listen-hostname=" + (listen.empty() ? "*" : listen) + ")";
    const bool local = IsLoopback(listen);
    if (OptionValue(line, "auth-service").empty() && !local)
        return beyond + " needs logins for administration: add -o auth-service=login (a PAM service)";
    // PAPPL asks other machines for TLS before it lets them log in or print.
    if (OptionValue(line, "server-options").find("no-tls") != std::string::npos && !local)
        return beyond + " needs TLS: with server-options=no-tls other machines could neither print nor log in";
    for (const auto &[name, value] : line.serverOptions) {
        if (!OneOf(kServerOptions, name))
            return "unknown server option '" + name +
                   "' (known: server-port, listen-hostname, spool-directory, log-file, log-level, auth-service, "
                   "server-options, state-directory, client-timeout, hot-folders, admin-group)";
        if (name == "log-level" && !OneOf(kLogLevels, value))
            return "bad log-level value '" + value + "' (debug, info, warn, error or fatal)";
        const long number = std::strtol(value.c_str(), nullptr, 10);
        if ((name == "server-port" && (number < 1 || number > 65535)) || (name == "client-timeout" && number < 1) ||
            ((name == "server-port" || name == "client-timeout") &&
             value.find_first_not_of("0123456789") != std::string::npos))
            return "bad " + name + " value '" + value + "'";
    }
    return {};
}

// The folder of the installed service's local socket (its RuntimeDirectory=).
constexpr const char *kServiceRuntime = "/run/vad3-printer";

// The local sockets the sub-commands look for a server at: this user's and root's, as PAPPL
// names them, then the installed service's.
std::vector<std::string> LocalSockets() {
    std::vector<std::string> sockets;
    if (::getuid() != 0)
        sockets.push_back(std::string(papplGetTempDir()) + "/" + kName + std::to_string(::getuid()) + ".sock");
    const char *snap = std::getenv("SNAP_COMMON");
    sockets.push_back(std::string(snap ? snap : "/run") + "/" + kName + ".sock");
    if (!snap) sockets.push_back(std::string(kServiceRuntime) + "/" + kName + ".sock");
    return sockets;
}

}  // namespace

std::string OwnSocket() { return LocalSockets().front(); }

namespace {

// A connection to the server the command line names; null, with what was tried, when none
// answers.
http_t *Connect(const CommandLine &line, std::string &tried) {
    if (!line.printerURI.empty()) {
        tried = line.printerURI;
        if (!line.uriOK) return nullptr;
        return httpConnect2(line.host.c_str(), line.port, nullptr, AF_UNSPEC,
                            line.scheme == "ipps" ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000,
                            nullptr);
    }
    for (const std::string &socket : LocalSockets()) {
        tried += (tried.empty() ? "" : " or ") + socket;
        if (http_t *http =
                httpConnect2(socket.c_str(), 0, nullptr, AF_LOCAL, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr)) {
            // PAPPL's own sub-commands find the service's socket where they look for root's.
            // (root's own, /run/vad3-printer.sock, shares the folder's name as a prefix).
            if (socket.starts_with(std::string(kServiceRuntime) + "/")) ::setenv("SNAP_COMMON", kServiceRuntime, 1);
            return http;
        }
    }
    return nullptr;
}

// A request to the server's system object.
ipp_t *SystemRequest(ipp_op_t op) {
    ipp_t *request = ippNewRequest(op);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "system-uri", nullptr, "ipp://localhost/ipp/system");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

int Failed(const char *what) {
    std::fprintf(stderr, "%s: %s: %s\n", kName, what, cupsLastErrorString());
    return 1;
}

// The printers of the server, one name a line.
int ShowPrinters(http_t *http) {
    ipp_t *response = cupsDoRequest(http, SystemRequest(IPP_OP_GET_PRINTERS), "/ipp/system");
    if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) return ippDelete(response), Failed("cannot list the printers");
    for (ipp_attribute_t *a = ippFindAttribute(response, "printer-name", IPP_TAG_NAME); a;
         a = ippFindNextAttribute(response, "printer-name", IPP_TAG_NAME))
        std::puts(ippGetString(a, 0, nullptr));
    ippDelete(response);
    return 0;
}

// The printer the command line names (by -d on the server -u names, or by -u alone) as its
// resource and URI; the resource is empty when it names none.
struct Target {
    std::string resource, uri;
};
Target PrinterOf(const CommandLine &line) {
    char uri[1024] = "";
    // A name's resource as PAPPL makes it: blanks, controls and URI delimiters become one "_",
    // none at the end.
    std::string named = "/ipp/print/";
    for (const char c : line.printerName) {
        const bool odd = static_cast<unsigned char>(c) <= ' ' || std::strchr("\177/\\'\"?#", c);
        if (!odd)
            named += c;
        else if (named.back() != '_')
            named += '_';
    }
    if (named.back() == '_') named.pop_back();
    const std::string resource = line.printerName.empty() ? line.path : named;
    if (!resource.starts_with("/ipp/print/")) return {};
    httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, line.scheme.c_str(), nullptr, line.host.c_str(), line.port,
                    resource.c_str());
    return {resource, uri};
}

// The printer the command line names; nullopt, said on standard error, when it names none.
std::optional<Target> NamedPrinter(const CommandLine &line) {
    Target printer = PrinterOf(line);
    if (!printer.resource.empty()) return printer;
    std::fprintf(stderr, "%s: %s needs -d PRINTER (or -u with the printer's URI)\n", kName, line.subcommand.c_str());
    return std::nullopt;
}

// A request to that printer, from this user.
ipp_t *PrinterRequest(ipp_op_t op, const Target &printer) {
    ipp_t *request = ippNewRequest(op);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printer.uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

// The printer's jobs, one a line: id, state, user, name and, for a job that ended without
// its file, why (PAPPL's own listing leaves the reason out).
int ShowJobs(http_t *http, const CommandLine &line) {
    const std::optional<Target> printer = NamedPrinter(line);
    if (!printer) return 1;
    ipp_t *request = PrinterRequest(IPP_OP_GET_JOBS, *printer);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    static const char *const wanted[] = {"job-id", "job-state", "job-originating-user-name", "job-name",
                                         "job-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 5, nullptr, wanted);
    ipp_t *response = cupsDoRequest(http, request, printer->resource.c_str());
    if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) return ippDelete(response), Failed("cannot list the jobs");
    int id = 0, state = 0;
    std::string owner, name, message;
    const auto show = [&] {
        if (id == 0) return;
        std::printf("%d %-10s %-12s %s%s%s\n", id, ippEnumString("job-state", state), owner.c_str(), name.c_str(),
                    state == IPP_JSTATE_ABORTED && !message.empty() ? ": " : "",
                    state == IPP_JSTATE_ABORTED ? message.c_str() : "");
        id = state = 0, owner.clear(), name.clear(), message.clear();
    };
    for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const char *attribute = ippGetName(a);
        if (!attribute) {
            show();  // the end of one job's group
            continue;
        }
        const std::string_view n = attribute;
        if (n == "job-id") id = ippGetInteger(a, 0);
        if (n == "job-state") state = ippGetInteger(a, 0);
        if (n == "job-originating-user-name") owner = ippGetString(a, 0, nullptr);
        if (n == "job-name") name = ippGetString(a, 0, nullptr);
        if (n == "job-state-message") message = ippGetString(a, 0, nullptr);
    }
    show();
    ippDelete(response);
    return 0;
}

// Deletes the printer the command line names, or makes it the default. PAPPL 1.3's own
// commands take the printer's id from its attributes, where a printer made since the server
// started has 0; the server's list of printers has it right.
int DeleteOrMakeDefault(http_t *http, const CommandLine &line) {
    const std::optional<Target> named = NamedPrinter(line);
    if (!named) return 1;
    const Target &printer = *named;
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printer.uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
    ipp_t *response = cupsDoRequest(http, request, printer.resource.c_str());
    const char *found = ippGetString(ippFindAttribute(response, "printer-name", IPP_TAG_NAME), 0, nullptr);
    const std::string name = found ? found : "";
    ippDelete(response);
    if (name.empty()) return Failed(("no printer " + printer.uri).c_str());
    request = SystemRequest(IPP_OP_GET_SYSTEM_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "system-configured-printers");
    response = cupsDoRequest(http, request, "/ipp/system");
    ipp_attribute_t *printers = ippFindAttribute(response, "system-configured-printers", IPP_TAG_BEGIN_COLLECTION);
    int id = 0;
    for (int i = 0; i < ippGetCount(printers); ++i) {
        ipp_t *p = ippGetCollection(printers, i);
        const char *n = ippGetString(ippFindAttribute(p, "printer-name", IPP_TAG_ZERO), 0, nullptr);
        if (n && name == n) id = ippGetInteger(ippFindAttribute(p, "printer-id", IPP_TAG_INTEGER), 0);
    }
    ippDelete(response);
    if (id == 0) return Failed(("cannot find the id of " + name).c_str());
    const bool remove = line.subcommand == "delete";
    request = SystemRequest(remove ? IPP_OP_DELETE_PRINTER : IPP_OP_SET_SYSTEM_ATTRIBUTES);
    if (remove)
        ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "printer-id", id);
    else
        ippAddInteger(request, IPP_TAG_SYSTEM, IPP_TAG_INTEGER, "system-default-printer-id", id);
    ippDelete(cupsDoRequest(http, request, "/ipp/system"));
    if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE)
        return Failed(remove ? "cannot delete the printer" : "cannot make the printer the default");
    return 0;
}

// The state of the server, or of one printer with -d, with its reasons and message.
// What the printer's "Hot Folder" web page says of its folder, or empty where it cannot be read
// (over the network it asks for a login; the local socket does not).
std::string FolderState(http_t *http, const Target &printer) {
    const std::string page = "/" + printer.resource.substr(std::strlen("/ipp/print/")) + "/hotfolder";
    httpClearFields(http);
    if (httpGet(http, page.c_str()) != 0) return {};
    http_status_t status;
    while ((status = httpUpdate(http)) == HTTP_STATUS_CONTINUE) {
    }
    std::string html;
    char buffer[4096];
    for (ssize_t n; (n = httpRead2(http, buffer, sizeof buffer)) > 0;) html.append(buffer, static_cast<std::size_t>(n));
    const std::string start = "<th>State:</th><td>";
    const std::size_t at = html.find(start), end = html.find("</td>", at);
    if (status != HTTP_STATUS_OK || at == std::string::npos || end == std::string::npos) return {};
    std::string state = html.substr(at + start.size(), end - at - start.size());
    for (const auto &[entity, c] :
         {std::pair{"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}, {"&amp;", '&'}})
        for (std::size_t e; (e = state.find(entity)) != std::string::npos;) state.replace(e, std::strlen(entity), 1, c);
    return state;
}

int ShowStatus(http_t *http, const CommandLine &line) {
    // A printer by its -d name on the named server, or by its URI; otherwise the system.
    const Target printer = PrinterOf(line);
    const bool ofPrinter = !printer.resource.empty();
    const std::string prefix = ofPrinter ? "printer" : "system",
                      resource = ofPrinter ? printer.resource : "/ipp/system";
    ipp_t *request =
        ofPrinter ? ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES) : SystemRequest(IPP_OP_GET_SYSTEM_ATTRIBUTES);
    if (ofPrinter) ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printer.uri.c_str());
    ipp_t *response = cupsDoRequest(http, request, resource.c_str());
    if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) return ippDelete(response), Failed("cannot read the state");
    static const char *const states[] = {"idle", "processing jobs", "stopped"};
    const int state =
        std::clamp(ippGetInteger(ippFindAttribute(response, (prefix + "-state").c_str(), IPP_TAG_ENUM), 0), 3, 5);
    char date[256];
    const time_t since = ippDateToTime(
        ippGetDate(ippFindAttribute(response, (prefix + "-state-change-date-time").c_str(), IPP_TAG_DATE), 0));
    std::printf("Running, %s since %s.", states[state - 3], httpGetDateString2(since, date, sizeof date));
    std::string reasons;
    ipp_attribute_t *list = ippFindAttribute(response, (prefix + "-state-reasons").c_str(), IPP_TAG_KEYWORD);
    for (int i = 0; i < ippGetCount(list); ++i)
        if (std::strcmp(ippGetString(list, i, nullptr), "none") != 0)
            reasons += (reasons.empty() ? "" : ", ") + std::string(ippGetString(list, i, nullptr));
    if (!reasons.empty()) std::printf(" Reasons: %s.", reasons.c_str());
    ippDelete(response);
    // A printer of ours reports "other" only for its folder.
    if (prefix == "printer" && reasons.find("other") != std::string::npos) {
        const std::string why = FolderState(http, printer);
        if (why.empty())
            std::printf(" Its hot folder cannot take job files: its \"Hot Folder\" web page says why.");
        else
            std::printf(
                " Its hot folder cannot take job files: %s. Make it usable again, or choose another folder on "
                "the printer's \"Hot Folder\" web page.",
                why.c_str());
    }
    std::putchar('\n');
    return 0;
}

}  // namespace

// True when every address the name stands for is a loopback address.
bool IsLoopback(const std::string &host) {
    addrinfo hints{}, *found = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return false;
    bool loopback = true;
    for (const addrinfo *a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET)
            loopback &= (ntohl(reinterpret_cast<sockaddr_in *>(a->ai_addr)->sin_addr.s_addr) >> 24) == 127;
        else
            loopback &= a->ai_family == AF_INET6 &&
                        IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<sockaddr_in6 *>(a->ai_addr)->sin6_addr);
    }
    ::freeaddrinfo(found);
    return loopback;
}

// `papers -d PRINTER [--add NAME WIDTHxHEIGHTmm | --remove NAME | --default NAME]`: the
// server's catalogue, changed first when asked.
int Papers(http_t *http, const CommandLine &line, int argc, char **argv) {
    std::string action = "list", name, size;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const int values = arg == "--add" ? 2 : arg == "--remove" || arg == "--default" ? 1 : 0;
        if (values == 0) continue;
        if (i + values >= argc || action != "list") {
            std::fprintf(stderr, "%s: papers takes one of --add NAME WIDTHxHEIGHTmm, --remove NAME, --default NAME\n",
                         kName);
            return 1;
        }
        action = arg.substr(2), name = argv[i + 1], size = values == 2 ? argv[i + 2] : "";
        i += values;
    }
    const std::optional<Target> printer = NamedPrinter(line);
    if (!printer) return 1;
    ipp_t *request = PrinterRequest(kPapersOperation, *printer);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, kPapersAction, nullptr, action.c_str());
    if (!name.empty()) ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, kPaperName, nullptr, name.c_str());
    if (!size.empty()) ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_TEXT, kPaperSize, nullptr, size.c_str());
    ipp_t *response = cupsDoRequest(http, request, printer->resource.c_str());
    if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        ippDelete(response);
        std::fprintf(stderr, "%s: %s\n", kName, cupsLastErrorString());
        return 1;
    }
    const char *fallback = ippGetString(ippFindAttribute(response, kPapersDefault, IPP_TAG_ZERO), 0, nullptr);
    const std::string chosen = fallback ? fallback : "";
    ipp_attribute_t *listed = ippFindAttribute(response, kPapersListed, IPP_TAG_ZERO);
    for (int i = 0; i < ippGetCount(listed); ++i) {
        const std::string entry = ippGetString(listed, i, nullptr);  // "210x297mm NAME"
        const std::size_t space = entry.find(' ');
        const std::string paper = space == std::string::npos ? entry : entry.substr(space + 1);
        std::printf("%-24s %s%s\n", paper.c_str(), entry.substr(0, space).c_str(),
                    paper == chosen ? "  (default)" : "");
    }
    ippDelete(response);
    return 0;
}

// Why a document would not print, told by its first bytes as the server tells them; empty
// when it would.
std::string Unprintable(const std::string &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return "cannot be read: " + std::string(std::strerror(errno));
    char head[8] = {};
    in.read(head, sizeof head);
    const std::string_view h(head, static_cast<std::size_t>(in.gcount()));
    for (const std::string_view known : {"%PDF", "\x89PNG", "\xFF\xD8\xFF", "RaS2PwgR", "UNIRAST"})
        if (h.starts_with(known)) return {};
    const char *kind = h.empty()                                        ? "is empty"
                       : h.starts_with("%!")                            ? "is PostScript"
                       : h.starts_with("II*") || h.starts_with("MM\0*") ? "is TIFF"
                                                                        : "is in a format this printer does not take";
    return std::string("cannot be printed: it ") + kind + "; send " + FormatsTaken();
}

std::optional<int> RunCommandLine(int argc, char **argv) {
    const CommandLine line = Parse(argc, argv);
    if (line.handledByPAPPL) return std::nullopt;
    // PAPPL answers this one by starting a server of its own for a moment: the table is here.
    if (line.subcommand == "drivers") {
        const pappl_pr_driver_t &d = *Drivers();
        std::printf("%s \"%s\" \"%s\"\n", d.name, d.description, d.device_id ? d.device_id : "");
        return 0;
    }
    std::string tried;
    http_t *http = Connect(line, tried);
    if (line.subcommand == "server") {
        if (http) {
            httpClose(http);
            std::fprintf(stderr, "%s: a server is already running here (it answers at %s)\n", kName, tried.c_str());
            return 1;
        }
        if (const std::string problem = ServerOptionProblem(line); !problem.empty()) {
            std::fprintf(stderr, "%s: %s\n", kName, problem.c_str());
            return 1;
        }
        return std::nullopt;
    }
    if (!http) {
        std::fprintf(stderr, "%s: no server answers at %s; start one with \"%s server\" (see %s --help)\n", kName,
                     tried.c_str(), kName, kName);
        return 1;
    }
    if (line.subcommand == "submit") {  // checked before anything is sent, as the server would
        for (const std::string &file : line.files) {
            if (const std::string why = Unprintable(file); !why.empty()) {
                std::fprintf(stderr, "%s: %s %s\n", kName, file.c_str(), why.c_str());
                httpClose(http);
                return 1;
            }
        }
    }
    // A sub-command never starts a server: if this one vanished since, PAPPL cannot run this.
    static char nowhere[] = "/nonexistent/vad3-printer";
    argv[0] = nowhere;
    std::optional<int> status;
    if (line.subcommand == "add" || (line.subcommand == "modify" && !line.deviceURI.empty())) {
        const auto folder = FolderOfDeviceURI(line.deviceURI.c_str());
        // The folder is looked at here only when the server runs on this machine.
        const std::string problem =
            !folder ? "the device URI must be hotfolder:///absolute/path, not \"" + line.deviceURI + "\""
            : line.subcommand == "modify"
                ? "a printer's folder is changed on its \"Hot Folder\" web page, not by modify"
            : IsLoopback(line.host) ? FolderProblem(*folder)
                                    : "";
        if (!line.deviceURI.empty() && !problem.empty()) {
            std::fprintf(stderr, "%s: %s\n", kName, problem.c_str());
            status = 1;
        }
    } else if (line.subcommand == "modify" &&
               std::any_of(line.serverOptions.begin(), line.serverOptions.end(), [](const auto &o) {
                   return o.first == "printer-location" || o.first == "printer-organization" ||
                          o.first == "printer-organizational-unit";
               })) {
        // PAPPL 1.3 takes these over IPP, answers that it set them, and drops them.
        std::fprintf(stderr, "%s: a printer's location and organization are set on its \"Configuration\" web page\n",
                     kName);
        status = 1;
    } else if (line.subcommand == "printers") {
        status = ShowPrinters(http);
    } else if (line.subcommand == "status") {
        status = ShowStatus(http, line);
    } else if (line.subcommand == "delete" || (line.subcommand == "default" && !line.printerName.empty())) {
        status = DeleteOrMakeDefault(http, line);
    } else if (line.subcommand == "jobs") {
        status = ShowJobs(http, line);
    } else if (line.subcommand == "papers") {
        status = Papers(http, line, argc, argv);
    } else if (line.subcommand == "shutdown" && !line.printerURI.empty()) {
        ippDelete(cupsDoRequest(http, SystemRequest(IPP_OP_SHUTDOWN_ALL_PRINTERS), "/ipp/system"));
        status = cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE ? Failed("cannot shut the server down") : 0;
    } else if (line.subcommand == "autoadd" && !line.printerURI.empty()) {
        std::fprintf(stderr, "%s: autoadd works on the server on this machine only; leave out -u\n", kName);
        status = 1;
    }
    httpClose(http);
    return status;
}

}  // namespace vad3printer
