// The hot-folder printers: driver data from the driver's catalogues, and each printer's own
// data beside it.
#include "HotFolderPrinter.hpp"

#include <cstdio>
#include <cstring>
#include <memory>

#include "Advertising.hpp"
#include "Catalogue.hpp"
#include "Folders.hpp"
#include "HotFolderJob.hpp"
#include "Papers.hpp"
#include "PrinterData.hpp"

namespace vad3printer {
namespace {

// A hot folder has no light or sound: identification is logged.
void Identify(pappl_printer_t *printer, pappl_identify_actions_t, const char *message) {
    const std::string folder = HotFolderOf(printer);
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify: job files go to %s%s%s", folder.c_str(),
                    message ? ": " : "", message ? message : "");
}

void DeleteData(pappl_printer_t *, pappl_pr_driver_data_t *data) {
    std::unique_ptr<PrinterData> owned(static_cast<PrinterData *>(data->extension));  // made by DriverCallback
    data->extension = nullptr;
}

void SetMedia(pappl_media_col_t &col, const Paper &paper) {
    std::memset(&col, 0, sizeof col);
    std::snprintf(col.size_name, sizeof col.size_name, "%s", paper.media.c_str());
    col.size_width = static_cast<int>(paper.width * 100 + 0.5);
    col.size_length = static_cast<int>(paper.height * 100 + 0.5);
    std::snprintf(col.source, sizeof col.source, "main");
    std::snprintf(col.type, sizeof col.type, "stationery");
}

// IPP Everywhere attributes PAPPL leaves to the driver.
ipp_t *ExtraAttributes() {
    ipp_t *attrs = ippNew();
    ippAddBoolean(attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
    return attrs;
}

// The sizes a printer offers, its default paper loaded. The names stay in the printer's data
// for as long as the printer lives: PAPPL keeps pointers to them.
void SetPapers(pappl_pr_driver_data_t &data, PrinterData &own, const Catalogue &catalogue) {
    const std::vector<std::string> media = OfferedMedia(catalogue, PAPPL_MAX_MEDIA);
    std::vector<Paper> sizes;  // every size offered, the range's largest too
    for (const std::string &name : media)
        if (const pwg_media_t *pwg = pwgMediaForPWG(name.c_str()))
            sizes.push_back(Paper{name, pwg->width / 100.0, pwg->length / 100.0, name});
    AdvertisePapers(sizes);
    std::lock_guard lock(own.mutex);
    data.num_media = 0;
    for (const std::string &name : media) data.media[data.num_media++] = own.media.emplace_back(name).c_str();
    SetMedia(data.media_ready[0], catalogue.papers[catalogue.defaultPaper]);
    data.media_default = data.media_ready[0];
}

}  // namespace

void ForEachPrinter(pappl_system_t *system, const std::function<void(pappl_printer_t *)> &visit) {
    std::vector<int> ids;
    papplSystemIteratePrinters(
        system,
        [](pappl_printer_t *printer, void *list) {
            static_cast<std::vector<int> *>(list)->push_back(papplPrinterGetID(printer));
        },
        &ids);
    for (int id : ids)
        if (pappl_printer_t *printer = papplSystemFindPrinter(system, nullptr, id, nullptr)) visit(printer);
}

void OfferPapers(pappl_printer_t *printer, const Catalogue &catalogue) {
    PrinterData *own = DataOf(printer);
    pappl_pr_driver_data_t data;
    if (!own || catalogue.papers.empty() || !papplPrinterGetDriverData(printer, &data)) return;
    SetPapers(data, *own, catalogue);
    ipp_t *attrs = ExtraAttributes();
    papplPrinterSetDriverData(printer, &data, attrs);
    ippDelete(attrs);
}

pappl_pr_driver_t *Drivers() {
    static pappl_pr_driver_t drivers[] = {{kDriverName, "hot folder job files", nullptr, nullptr}};
    return drivers;
}

const char *AutoAdd(const char *, const char *uri, const char *, void *) {
    return uri && std::strncmp(uri, "hotfolder:", 10) == 0 ? kDriverName : nullptr;
}

void PrinterCreated(pappl_printer_t *printer, void *data) {
    papplPrinterSetMaxActiveJobs(printer, 1);
    RestoreHotFolder(printer);
    AddHotFolderPage(printer, data);
    if (data) AddPapersPage(printer, *static_cast<Driver *>(data));
    AdvertisePrinter(printer);
}

void LimitJobs(pappl_system_t *system) {
    papplSystemIteratePrinters(
        system, [](pappl_printer_t *printer, void *) { papplPrinterSetMaxActiveJobs(printer, 1); }, nullptr);
}

bool DriverCallback(pappl_system_t *system, const char *driverName, const char *deviceURI, const char *,
                    pappl_pr_driver_data_t *data, ipp_t **attrs, void *context) {
    if (std::strcmp(driverName, kDriverName) != 0 || !context) return false;
    Driver &driver = *static_cast<Driver *>(context);
    // A new printer writes into a hot folder inside the roots: PAPPL's "Add Printer" page also
    // offers network devices (socket://…), which a hot-folder printer could never print to.
    if (driver.checkNewFolders) {
        const auto folder = FolderOfDeviceURI(deviceURI);
        const std::string problem = !folder ? std::string("the device URI ") + (deviceURI ? deviceURI : "(none)") +
                                                  " is not hotfolder:///absolute/path"
                                            : RootProblem(*folder);
        if (!problem.empty()) {
            papplLog(system, PAPPL_LOGLEVEL_ERROR, "No printer made: %s", problem.c_str());
            return false;
        }
    }
    const Catalogue catalogue = ReadCatalogue(KIVBundleGetIdentifier(driver.bundle), driver.module.defaultPapers,
                                              driver.module.defaultResolutions);
    if (catalogue.papers.empty() || catalogue.resolutions.empty()) return false;
    auto own = std::make_unique<PrinterData>();
    own->driver = &driver;

    data->printfile_cb = RefuseDocument;
    data->rstartjob_cb = StartJob;
    data->rstartpage_cb = StartPage;
    data->rwriteline_cb = WriteLine;
    data->rendpage_cb = EndPage;
    data->rendjob_cb = EndJob;
    // No status callback: PAPPL calls it while it holds the system's lock (listing printers
    // on the web pages), and the updates take the printer's lock. The application's timer
    // updates the status instead (UpdateStatus).
    data->status_cb = nullptr;
    // The product's own icon in place of PAPPL's placeholder, at the sizes PAPPL asks for.
    data->icons[0] = pappl_icon_t{"", kIcon_printer_48, kIcon_printer_48_size};
    data->icons[1] = pappl_icon_t{"", kIcon_printer_128, kIcon_printer_128_size};
    data->icons[2] = pappl_icon_t{"", kIcon_printer_512, kIcon_printer_512_size};
    data->identify_cb = Identify;
    data->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    data->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    // Raster only: PWG, Apple raster, PNG and JPEG reach us as lines. PAPPL 1.3 compares every
    // job's format with this one and crashes on none; octet-stream it lists anyway.
    data->format = "application/octet-stream";
    std::snprintf(data->make_and_model, sizeof data->make_and_model, "Varnel Hot Folder Job Files");
    data->ppm = 60;
    data->ppm_color = 60;
    data->kind = PAPPL_KIND_DOCUMENT | PAPPL_KIND_PHOTO | PAPPL_KIND_LARGE_FORMAT;
    data->orient_default = IPP_ORIENT_PORTRAIT;  // pages as they come, never turned
    data->quality_default = IPP_QUALITY_NORMAL;
    data->color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME;
    data->color_default = PAPPL_COLOR_MODE_AUTO;
    data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8 | PAPPL_PWG_RASTER_TYPE_SRGB_8 | PAPPL_PWG_RASTER_TYPE_RGB_8 |
                         PAPPL_PWG_RASTER_TYPE_BLACK_8 | PAPPL_PWG_RASTER_TYPE_CMYK_8;
    data->sides_supported = PAPPL_SIDES_ONE_SIDED;
    data->sides_default = PAPPL_SIDES_ONE_SIDED;
    data->duplex = PAPPL_DUPLEX_NONE;
    // A job file is the whole page. The papers are offered borderless and with a nominal
    // margin of 0.01 mm: CUPS names a paper offered borderless only "280x390mm.Borderless",
    // which the default ("280x390mm") then matches nowhere, and its queue has no default.
    data->borderless = true;
    data->left_right = 1;
    data->bottom_top = 1;

    own->resolutions = OfferedResolutions(catalogue, PAPPL_MAX_RESOLUTION);
    const std::vector<Resolution> &offered = own->resolutions;
    data->num_resolution = static_cast<int>(offered.size());
    for (std::size_t i = 0; i < offered.size(); ++i) {
        data->x_resolution[i] = offered[i].x;
        data->y_resolution[i] = offered[i].y;
    }
    data->x_default = catalogue.resolutions[catalogue.defaultResolution].x;
    data->y_default = catalogue.resolutions[catalogue.defaultResolution].y;

    *attrs = ExtraAttributes();
    data->has_supplies = true;
    data->num_source = 1;
    data->source[0] = "main";
    data->num_type = 1;
    data->type[0] = "stationery";
    SetPapers(*data, *own, catalogue);
    data->extension = own.release();
    data->delete_cb = DeleteData;
    return true;
}

}  // namespace vad3printer
