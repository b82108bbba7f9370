// Editing the server's paper catalogue: the same checks for the web page and the sub-command,
// the change saved as the driver's preference and offered by every printer at once.
#include "Papers.hpp"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "Catalogue.hpp"
#include "HotFolderPrinter.hpp"
#include "PrinterData.hpp"
#include "media/Catalogue.hpp"
#include "platform/Utf8.hpp"

namespace vad3printer {
namespace {

struct Change {
    std::string action, name, size;  // action: list, add, remove or default
};

std::string Millimetres(double mm) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", mm);
    return text;
}

std::string SizeText(const kiv::PaperEntry &p) { return Millimetres(p.width) + "x" + Millimetres(p.height) + "mm"; }

// Reads "WIDTHxHEIGHTmm" (decimals with a point, whatever the locale); false when it does not.
bool ParsePaperSize(const std::string &text, double &width, double &height) {
    const std::size_t x = text.find('x');
    if (x == std::string::npos || !text.ends_with("mm")) return false;
    const char *w = text.data(), *h = text.data() + x + 1, *end = text.data() + text.size() - 2;
    const auto a = std::from_chars(w, h - 1, width), b = std::from_chars(h, end, height);
    return a.ec == std::errc() && a.ptr == h - 1 && b.ec == std::errc() && b.ptr == end && width > 0 && height > 0;
}

int64_t IndexNamed(const kiv::PaperDescription &papers, const std::string &name) {
    for (int64_t i = 0; i < kiv::CountPaper(papers); ++i)
        if (kiv::GetPaper(papers, i).name == name) return i;
    return -1;
}

// Why the change cannot be made; empty when it is made (saved, and offered by every printer).
// The catalogue after it, in papers.
std::string Apply(pappl_system_t *system, Driver &driver, const Change &change, kiv::PaperDescriptionPtr &papers) {
    static std::mutex editing;  // one change at a time, read, written and offered whole
    std::lock_guard lock(editing);
    const char *domain = KIVBundleGetIdentifier(driver.bundle);
    papers = kiv::ReadPageSizeStrings(domain ? domain : "", driver.module.defaultPapers);
    if (!papers) return "out of memory";
    const int64_t index = IndexNamed(*papers, change.name);
    double width = 0, height = 0;
    if (change.action == "list") return {};
    if (change.action == "add") {
        const double min = kMinPageSide / 100.0, maxWidth = kMaxPageWidth / 100.0, maxLength = kMaxPageLength / 100.0;
        if (change.name.empty()) return "a paper needs a name";
        if (!kiv::IsValidUtf8(change.name) || kiv::VisibleText(change.name) != change.name)
            return "a paper's name is text without control characters";
        if (!ParsePaperSize(change.size, width, height)) return "give the size as WIDTHxHEIGHTmm, such as 210x297mm";
        if (width < min || width > maxWidth || height < min || height > maxLength)
            return "a paper is " + Millimetres(min) + " to " + Millimetres(maxWidth) + " mm wide and " +
                   Millimetres(min) + " to " + Millimetres(maxLength) + " mm long";
        if (index >= 0) return "there is already a paper named \"" + change.name + "\"";
        if (kiv::CountPaper(*papers) >= kiv::kCatalogueCapacity)
            return "the catalogue is full: it holds " + std::to_string(kiv::kCatalogueCapacity) + " papers";
        if (!kiv::AddNewPaper(*papers, kiv::PaperEntry{change.name, width, height}))
            return "the catalogue does not take this paper";
    } else if (change.action == "remove" || change.action == "default") {
        if (index < 0) return "there is no paper named \"" + change.name + "\"";
        if (change.action == "default") {
            papers->defaultIndex = index;
        } else if (kiv::CountPaper(*papers) == 1) {
            return "the last paper stays: a printer needs one";
        } else {
            kiv::RemovePaper(*papers, index);
            // The default keeps its paper; the one removed hands it to the first.
            if (papers->defaultIndex > index)
                --papers->defaultIndex;
            else if (papers->defaultIndex == index)
                papers->defaultIndex = 0;
        }
    } else {
        return "the change is list, add, remove or default";
    }
    if (!kiv::WriteNewPaperSettings(domain ? domain : "", *papers)) return "the catalogue cannot be saved";
    const Catalogue catalogue = ReadCatalogue(domain, driver.module.defaultPapers, driver.module.defaultResolutions);
    ForEachPrinter(system, [&](pappl_printer_t *printer) { OfferPapers(printer, catalogue); });
    return {};
}

// The answer to a papers operation: the catalogue, or why the change was not made.
void Respond(pappl_client_t *client, const std::string &why, const kiv::PaperDescriptionPtr &papers) {
    if (!why.empty()) {
        papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_POSSIBLE, "%s", why.c_str());
        return;
    }
    papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
    ipp_t *response = papplClientGetResponse(client);
    std::vector<std::string> lines;
    for (int64_t i = 0; i < kiv::CountPaper(*papers); ++i)
        lines.push_back(SizeText(kiv::GetPaper(*papers, i)) + " " + kiv::GetPaper(*papers, i).name);
    std::vector<const char *> values;
    for (const std::string &l : lines) values.push_back(l.c_str());
    if (!values.empty())
        ippAddStrings(response, IPP_TAG_OPERATION, IPP_TAG_TEXT, kPapersListed, static_cast<int>(values.size()),
                      nullptr, values.data());
    if (kiv::CountPaper(*papers) > 0)
        ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_NAME, kPapersDefault, nullptr,
                     kiv::GetPaper(*papers, kiv::DefaultPaperIndex(*papers)).name.c_str());
}

void PapersPageBody(pappl_client_t *client, const kiv::PaperDescription &papers, const std::string &notice) {
    papplClientHTMLPrintf(client, "          <div class=\"row\">\n            <div class=\"col-12\">\n");
    if (!notice.empty()) {
        papplClientHTMLPuts(client, "              <div class=\"banner\">");
        papplClientHTMLEscape(client, notice.c_str(), 0);
        papplClientHTMLPuts(client, "</div>\n");
    }
    papplClientHTMLPuts(client,
                        "              <p>The papers every printer of this server offers by name, besides the "
                        "standard sizes and any custom size from 12.7 mm to 5 m wide.</p>\n"
                        "              <table class=\"list\">\n"
                        "                <thead><tr><th>Paper</th><th>Size</th><th></th></tr></thead>\n"
                        "                <tbody>\n");
    for (int64_t i = 0; i < kiv::CountPaper(papers); ++i) {
        const kiv::PaperEntry &p = kiv::GetPaper(papers, i);
        papplClientHTMLPuts(client, "                <tr><td>");
        papplClientHTMLEscape(client, p.name.c_str(), 0);
        papplClientHTMLPrintf(client, "</td><td>%s x %s mm</td><td>", Millimetres(p.width).c_str(),
                              Millimetres(p.height).c_str());
        for (const char *action : {"default", "remove"}) {
            if (std::string(action) == "default" && i == kiv::DefaultPaperIndex(papers)) {
                papplClientHTMLPuts(client, "default ");
                continue;
            }
            papplClientHTMLStartForm(client, papplClientGetURI(client), false);
            papplClientHTMLPrintf(client, "<input type=\"hidden\" name=\"action\" value=\"%s\">", action);
            papplClientHTMLPuts(client, "<input type=\"hidden\" name=\"name\" value=\"");
            papplClientHTMLEscape(client, p.name.c_str(), 0);
            papplClientHTMLPrintf(client, "\"><input type=\"submit\" value=\"%s\"></form> ",
                                  std::string(action) == "default" ? "Make Default" : "Remove");
        }
        papplClientHTMLPuts(client, "</td></tr>\n");
    }
    papplClientHTMLPuts(client, "                </tbody>\n              </table>\n");
    papplClientHTMLStartForm(client, papplClientGetURI(client), false);
    papplClientHTMLPuts(client,
                        "<input type=\"hidden\" name=\"action\" value=\"add\">\n"
                        "              <table class=\"form\">\n"
                        "                <tr><th><label for=\"name\">Name:</label></th>"
                        "<td><input type=\"text\" name=\"name\" id=\"name\" size=\"30\"></td></tr>\n"
                        "                <tr><th><label for=\"size\">Size:</label></th>"
                        "<td><input type=\"text\" name=\"size\" id=\"size\" size=\"20\" "
                        "placeholder=\"210x297mm\"></td></tr>\n"
                        "                <tr><th></th><td><input type=\"submit\" value=\"Add Paper\"></td></tr>\n"
                        "              </table>\n            </form>\n");
    papplClientHTMLPuts(client, "            </div>\n          </div>\n");
}

struct PageData {
    Driver *driver;
    int printerId;  // outlives a deleted printer
};

// The page at /PRINTER/papers (and at PAPPL's /PRINTER/media), for administrators.
bool PapersPage(pappl_client_t *client, void *data) {
    const auto &page = *static_cast<PageData *>(data);
    pappl_system_t *system = papplClientGetSystem(client);
    pappl_printer_t *printer = papplSystemFindPrinter(system, nullptr, page.printerId, nullptr);
    if (!printer) return papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0);
    if (!papplClientHTMLAuthorize(client)) return true;
    Change change{"list", "", ""};
    std::string notice;
    if (papplClientGetMethod(client) == HTTP_STATE_POST) {
        cups_option_t *form = nullptr;
        const int count = papplClientGetForm(client, &form);
        if (!papplClientIsValidForm(client, count, form)) {
            notice = "Invalid form submission.";
        } else {
            const auto field = [&](const char *name) {
                const char *value = cupsGetOption(name, count, form);
                return std::string(value ? value : "");
            };
            change = Change{field("action"), field("name"), field("size")};
        }
        cupsFreeOptions(count, form);
    }
    kiv::PaperDescriptionPtr papers;
    const std::string why = Apply(system, *page.driver, change, papers);
    if (notice.empty())
        notice = !why.empty() ? "Not changed: " + why + "." : change.action != "list" ? "Changes saved." : "";
    papplClientHTMLPrinterHeader(client, printer, "Papers", 0, nullptr, nullptr);
    if (papers) PapersPageBody(client, *papers, notice);
    papplClientHTMLPrinterFooter(client);
    return true;
}

}  // namespace

bool AnswerPapersOperation(pappl_client_t *client, void *driver) {
    if (papplClientGetOperation(client) != kPapersOperation) return false;
    ipp_t *request = papplClientGetRequest(client);
    const auto text = [&](const char *name) {
        const char *value = ippGetString(ippFindAttribute(request, name, IPP_TAG_ZERO), 0, nullptr);
        return std::string(value ? value : "");
    };
    Change change{text(kPapersAction), text(kPaperName), text(kPaperSize)};
    if (change.action.empty()) change.action = "list";
    if (change.action != "list" && papplClientIsAuthorized(client) != HTTP_STATUS_CONTINUE) {
        papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_AUTHORIZED, "Changing the papers needs an administrator");
        return true;
    }
    kiv::PaperDescriptionPtr papers;
    const std::string why = Apply(papplClientGetSystem(client), *static_cast<Driver *>(driver), change, papers);
    Respond(client, why, papers);
    return true;
}

void AddPapersPage(pappl_printer_t *printer, Driver &driver) {
    static std::mutex pagesMutex;
    static std::deque<PageData> pages;  // the pages' data, for the life of the process
    PageData *data;
    {
        std::lock_guard lock(pagesMutex);
        data = &pages.emplace_back(PageData{&driver, papplPrinterGetID(printer)});
    }
    pappl_system_t *system = papplPrinterGetSystem(printer);
    char media[256], papers[256];
    papplPrinterGetPath(printer, "media", media, sizeof media);
    papplPrinterGetPath(printer, "papers", papers, sizeof papers);
    // The first page registered at a path is the one served: PAPPL's own comes later.
    papplSystemAddResourceCallback(system, media, "text/html", PapersPage, data);
    papplSystemAddResourceCallback(system, papers, "text/html", PapersPage, data);
    papplPrinterAddLink(printer, "Papers", papers, PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS);
}

void DropMediaLink(pappl_printer_t *printer) {
    PrinterData *own = DataOf(printer);
    if (!own) return;
    {
        std::lock_guard lock(own->mutex);
        if (own->papersPage) return;
        own->papersPage = true;
    }
    papplPrinterRemoveLink(printer, "Media");
}

}  // namespace vad3printer
