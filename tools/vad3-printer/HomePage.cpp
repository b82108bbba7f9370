#include "HomePage.hpp"

#include <string>

#include "Folders.hpp"
#include "HotFolder.hpp"
#include "HotFolderPrinter.hpp"

namespace vad3printer {

namespace {

const char *StateWord(ipp_pstate_t state) {
    return state == IPP_PSTATE_PROCESSING ? "Printing" : state == IPP_PSTATE_STOPPED ? "Stopped" : "Idle";
}

void PrinterBlock(pappl_client_t *client, pappl_printer_t *printer) {
    const char *name = papplPrinterGetName(printer);
    char path[256];
    papplPrinterGetPath(printer, nullptr, path, sizeof path);
    papplClientHTMLPrintf(client, "          <h2 class=\"title\"><a href=\"%s/\">", path);
    papplClientHTMLEscape(client, name, 0);
    papplClientHTMLPrintf(client, "</a> <a class=\"btn\" href=\"%s/delete\">Delete</a></h2>\n", path);
    // Every job the printer still lists, as its Jobs page shows them; the active ones apart.
    const int all = papplPrinterGetNumberOfJobs(printer), active = papplPrinterGetNumberOfActiveJobs(printer);
    const ipp_pstate_t state = papplPrinterGetState(printer);
    papplClientHTMLPrintf(client, "          <p><img class=\"%s\" src=\"%s/icon-md.png\">%s, %d %s",
                          ippEnumString("printer-state", state), path, StateWord(state), all,
                          all == 1 ? "job" : "jobs");
    if (active > 0) papplClientHTMLPrintf(client, " (%d waiting or printing)", active);
    if (papplSystemGetDefaultPrinterID(papplClientGetSystem(client)) == papplPrinterGetID(printer))
        papplClientHTMLPuts(client, ", default printer");
    if (!papplPrinterIsAcceptingJobs(printer)) papplClientHTMLPuts(client, ", not accepting jobs");
    papplClientHTMLPuts(client, ".<br>");
    const std::string folder = HotFolderOf(printer);
    if (const std::string problem = FolderProblem(folder); !problem.empty()) {
        papplClientHTMLEscape(client, problem.c_str(), 0);
    } else {
        papplClientHTMLPuts(client, "Writes job files into ");
        papplClientHTMLEscape(client, folder.c_str(), 0);
    }
    papplClientHTMLPuts(client, ".");
    papplClientHTMLPrintf(client,
                          "</p>\n          <div class=\"btn\"><a class=\"btn\" href=\"%s/hotfolder\">Hot Folder</a> "
                          "<a class=\"btn\" href=\"%s/papers\">Papers</a> <a class=\"btn\" href=\"%s/jobs\">Jobs</a>"
                          "<br clear=\"all\"></div>\n",
                          path, path, path);
}

// The server's home page: PAPPL 1.3's counts only the jobs waiting or printing ("0 jobs" after
// dozens) and ends every state reason with a second full stop; this one says both plainly.
bool HomePage(pappl_client_t *client, void *data) {
    pappl_system_t *system = papplClientGetSystem(client);
    if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0)) return false;
    papplClientHTMLHeader(client, nullptr, 0);
    papplClientHTMLPuts(client,
                        "    <div class=\"content\">\n      <div class=\"row\">\n        <div class=\"col-6\">\n"
                        "          <h1 class=\"title\">Configuration <a class=\"btn\" href=\"/config\">Change</a>"
                        "</h1>\n          <p>");
    char text[256];
    papplClientHTMLEscape(client, papplSystemGetDNSSDName(system, text, sizeof text), 0);
    if (papplSystemGetLocation(system, text, sizeof text)) {
        papplClientHTMLPuts(client, "<br>");
        papplClientHTMLEscape(client, text, 0);
    }
    papplClientHTMLPuts(client, "</p>\n          <div class=\"btn\"><a class=\"btn\" href=\"/security\">Security</a>");
    if (data) papplClientHTMLPuts(client, " <a class=\"btn\" href=\"/logs\">View Logs</a>");
    papplClientHTMLPuts(client,
                        "<br clear=\"all\"></div>\n        </div>\n        <div class=\"col-6\">\n          <h1 "
                        "class=\"title\">Printers "
                        "<a class=\"btn\" href=\"/addprinter\">Add Printer</a></h1>\n");
    int printers = 0;
    ForEachPrinter(system, [&](pappl_printer_t *printer) {
        PrinterBlock(client, printer);
        ++printers;
    });
    if (printers == 0) papplClientHTMLPuts(client, "          <p>No printers yet: add one for a hot folder.</p>\n");
    papplClientHTMLPuts(client, "        </div>\n      </div>\n    </div>\n");
    papplClientHTMLFooter(client);
    return true;
}

}  // namespace

void AddHomePage(pappl_system_t *system, bool logsPage) {
    static int withLogs = 1;  // the page's data: not null when the logs have a page
    papplSystemAddResourceCallback(system, "/", "text/html", HomePage, logsPage ? &withLogs : nullptr);
}

}  // namespace vad3printer
