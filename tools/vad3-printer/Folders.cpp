// Hot folders per printer, and the web page that shows and changes them.
#include "Folders.hpp"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "HotFolder.hpp"
#include "PrinterData.hpp"

namespace vad3printer {
namespace {

// The settings file, and what it held at start until each printer has taken its own.
std::mutex gMutex;
std::string gPath;
std::map<int, FolderSetting> gSaved;  // by printer id

}  // namespace

bool ReplaceFile(const std::string &file, const std::function<bool(const std::string &temporary)> &write) {
    const std::string temporary = file + ".new";
    const auto synced = [](const std::string &path, int flags) {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        const bool ok = fd >= 0 && ::fsync(fd) == 0;
        if (fd >= 0) ::close(fd);
        return ok;
    };
    const std::size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
    if (write(temporary) && synced(temporary, O_RDONLY) && ::rename(temporary.c_str(), file.c_str()) == 0)
        return synced(folder, O_RDONLY | O_DIRECTORY);
    const int error = errno;
    ::unlink(temporary.c_str());
    errno = error;
    return false;
}

namespace {

// Lines of "id<TAB>device URI<TAB>folder", one for each printer whose folder was set on its
// page, replaced through a synced temporary file. (Listing the printers takes no printer's
// lock.)
bool Save(pappl_system_t *system, std::string &why) {
    std::string text;
    papplSystemIteratePrinters(
        system,
        [](pappl_printer_t *printer, void *lines) {
            if (PrinterData *data = DataOf(printer)) {
                std::lock_guard lock(data->mutex);
                if (!data->folder.folder.empty())
                    *static_cast<std::string *>(lines) += std::to_string(papplPrinterGetID(printer)) + "\t" +
                                                          data->folder.deviceURI + "\t" + data->folder.folder + "\n";
            }
        },
        &text);
    const bool ok = ReplaceFile(gPath, [&](const std::string &temporary) {
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        if (fd >= 0) written = ::close(fd) == 0 && written;
        return written;
    });
    if (!ok) why = "cannot save " + gPath + ": " + std::strerror(errno);
    return ok;
}

bool Respond(pappl_client_t *client, pappl_printer_t *printer, const std::string &notice, const std::string &error) {
    // The printer header sends the HTTP response header too.
    papplClientHTMLPrinterHeader(client, printer, "Hot Folder", 0, nullptr, nullptr);
    const std::string folder = HotFolderOf(printer);
    const std::string problem = FolderProblem(folder);
    papplClientHTMLPrintf(client, "          <div class=\"row\">\n            <div class=\"col-12\">\n");
    if (!notice.empty())
        papplClientHTMLPrintf(client, "              <div class=\"banner\">%s</div>\n", notice.c_str());
    if (!error.empty()) papplClientHTMLPrintf(client, "              <div class=\"banner\">%s</div>\n", error.c_str());
    papplClientHTMLPrintf(client,
                          "              <p>Every job printed here becomes a raster job file (.vad3) in this folder, "
                          "written by the Varnel printer driver and named after the document.</p>\n");
    papplClientHTMLStartForm(client, papplClientGetURI(client), false);
    papplClientHTMLPrintf(client,
                          "              <table class=\"form\">\n"
                          "                <tr><th><label for=\"folder\">Folder:</label></th>"
                          "<td><input type=\"text\" name=\"folder\" id=\"folder\" size=\"60\" value=\"%s\"></td></tr>\n"
                          "                <tr><th>State:</th><td>%s</td></tr>\n"
                          "                <tr><th>Device URI:</th><td>%s</td></tr>\n"
                          "                <tr><th></th><td><input type=\"submit\" value=\"Save Changes\"></td></tr>\n"
                          "              </table>\n            </form>\n",
                          folder.c_str(), problem.empty() ? "ready" : problem.c_str(),
                          papplPrinterGetDeviceURI(printer));
    papplClientHTMLPrintf(client, "            </div>\n          </div>\n");
    papplClientHTMLPrinterFooter(client);
    return true;
}

// The page at /PRINTER/hotfolder; data holds the printer's id, which outlives a deleted printer.
bool HotFolderPage(pappl_client_t *client, void *data) {
    pappl_printer_t *printer =
        papplSystemFindPrinter(papplClientGetSystem(client), nullptr, *static_cast<int *>(data), nullptr);
    if (!printer) return papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0);
    if (!papplClientHTMLAuthorize(client)) return true;
    if (papplClientGetMethod(client) != HTTP_STATE_POST) return Respond(client, printer, "", "");
    cups_option_t *form = nullptr;
    const int count = papplClientGetForm(client, &form);
    std::string notice, error;
    if (!papplClientIsValidForm(client, count, form)) {
        error = "Invalid form submission.";
    } else {
        const char *folder = cupsGetOption("folder", count, form);
        if (SetHotFolder(printer, folder ? folder : "", error)) notice = "Changes saved.";
    }
    cupsFreeOptions(count, form);
    return Respond(client, printer, notice, error);
}

}  // namespace

void UseFolderSettings(const std::string &path) {
    std::lock_guard lock(gMutex);
    gPath = path;
    gSaved.clear();
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t tab = line.find('\t'), tab2 = line.find('\t', tab + 1);
        if (tab == std::string::npos || tab2 == std::string::npos || tab2 + 1 >= line.size() || line[tab2 + 1] != '/')
            continue;
        gSaved[std::atoi(line.substr(0, tab).c_str())] =
            FolderSetting{line.substr(tab + 1, tab2 - tab - 1), line.substr(tab2 + 1)};
    }
}

void RestoreHotFolder(pappl_printer_t *printer) {
    PrinterData *data = DataOf(printer);
    if (!data) return;
    std::lock_guard lock(gMutex);
    if (auto it = gSaved.find(papplPrinterGetID(printer)); it != gSaved.end()) {
        std::lock_guard own(data->mutex);
        data->folder = it->second;
        gSaved.erase(it);
    }
}

std::string HotFolderOf(pappl_printer_t *printer) {
    const char *uri = papplPrinterGetDeviceURI(printer);
    if (PrinterData *data = DataOf(printer)) {
        std::lock_guard lock(data->mutex);
        if (!data->folder.folder.empty() && data->folder.deviceURI == (uri ? uri : "")) return data->folder.folder;
    }
    return FolderOfDeviceURI(uri).value_or("");
}

bool SetHotFolder(pappl_printer_t *printer, const std::string &folder, std::string &why) {
    if (folder.empty() || folder[0] != '/' || folder.find('\n') != std::string::npos ||
        folder.find('\t') != std::string::npos) {
        why = "The hot folder must be an absolute path, such as /srv/hot.";
        return false;
    }
    if (const std::string problem = FolderProblem(folder); !problem.empty()) {
        why = problem;
        return false;
    }
    PrinterData *data = DataOf(printer);
    if (!data) {
        why = "The printer is not a hot-folder printer.";
        return false;
    }
    {
        const char *uri = papplPrinterGetDeviceURI(printer);
        std::lock_guard own(data->mutex);
        data->folder = FolderSetting{uri ? uri : "", folder};
    }
    {
        std::lock_guard lock(gMutex);
        if (!Save(papplPrinterGetSystem(printer), why)) return false;
    }
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Hot folder set to %s", folder.c_str());
    UpdateStatus(printer);
    return true;
}

constexpr const char *kFolderProblemLink = "Hot folder cannot take job files";

void UpdateStatus(pappl_printer_t *printer) {
    const std::string folder = HotFolderOf(printer);
    const std::string problem = FolderProblem(folder);
    // A printer whose folder cannot take files accepts no jobs until it is back: a client is
    // told so before it sends a document, and a CUPS queue keeps its jobs and tries again.
    // (PAPPL 1.3 prints a raster job on a stopped printer at once, so stopping it would not do.)
    bool refuse = false, accept = false;
    if (PrinterData *data = DataOf(printer)) {
        std::lock_guard lock(data->mutex);
        if (data->lastProblem != problem && !problem.empty())
            papplLogPrinter(printer, PAPPL_LOGLEVEL_WARN, "%s", problem.c_str());
        data->lastProblem = problem;
        refuse = !problem.empty() && !data->refusingForFolder;
        accept = problem.empty() && data->refusingForFolder;
        data->refusingForFolder = !problem.empty();
    }
    // The home and printer pages show the printer's state from PAPPL's words ("other" reads as
    // little there), so a button on them says what is wrong and leads to the folder's page.
    if (refuse) {
        char path[256];
        papplPrinterGetPath(printer, "hotfolder", path, sizeof path);
        papplPrinterDisable(printer);
        papplPrinterAddLink(printer, kFolderProblemLink, path, PAPPL_LOPTIONS_STATUS);
    }
    if (accept) {
        papplPrinterEnable(printer);
        papplPrinterRemoveLink(printer, kFolderProblemLink);
    }
    pappl_supply_t space{};
    space.color = PAPPL_SUPPLY_COLOR_NO_COLOR;
    std::snprintf(space.description, sizeof space.description, "Free space in the hot folder");
    space.is_consumed = true;
    space.type = PAPPL_SUPPLY_TYPE_OTHER;
    struct statvfs fs {};
    space.level = !folder.empty() && ::statvfs(folder.c_str(), &fs) == 0 && fs.f_blocks > 0
                      ? static_cast<int>(100.0 * static_cast<double>(fs.f_bavail) / static_cast<double>(fs.f_blocks))
                      : -1;
    pappl_supply_t current{};
    if (papplPrinterGetSupplies(printer, 1, &current) != 1 || current.level != space.level)
        papplPrinterSetSupplies(printer, 1, &space);
    const bool flagged = (papplPrinterGetReasons(printer) & PAPPL_PREASON_OTHER) != 0;
    if (problem.empty() && flagged) papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_OTHER);
    if (!problem.empty() && !flagged) papplPrinterSetReasons(printer, PAPPL_PREASON_OTHER, PAPPL_PREASON_NONE);
}

void AddHotFolderPage(pappl_printer_t *printer, void *) {
    static std::mutex idsMutex;
    static std::deque<int> ids;  // the pages' data: one per printer, for the life of the process
    int *id;
    {
        std::lock_guard lock(idsMutex);
        id = &ids.emplace_back(papplPrinterGetID(printer));
    }
    char path[256];
    papplPrinterGetPath(printer, "hotfolder", path, sizeof path);
    papplSystemAddResourceCallback(papplPrinterGetSystem(printer), path, "text/html", HotFolderPage, id);
    papplPrinterAddLink(printer, "Hot Folder", path, PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS);
}

}  // namespace vad3printer
