// The hot-folder printers: driver data from the driver's catalogues, the hotfolder: scheme
// and the folder's state.
#include "Folders.hpp"
#include "HotFolderPrinter.hpp"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "Catalogue.hpp"
#include "HotFolderJob.hpp"

namespace vad3printer {
namespace {

// Media names must outlive every printer's driver data.
std::mutex gNamesMutex;
std::deque<std::string> gNames;

const char *Keep(const std::string &name) {
    std::lock_guard lock(gNamesMutex);
    for (const std::string &n : gNames)
        if (n == name) return n.c_str();
    return gNames.emplace_back(name).c_str();
}

bool OpenDevice(pappl_device_t *, const char *, const char *) { return true; }
void CloseDevice(pappl_device_t *) {}
ssize_t ReadDevice(pappl_device_t *, void *, size_t) { return 0; }
ssize_t WriteDevice(pappl_device_t *, const void *, size_t bytes) { return static_cast<ssize_t>(bytes); }
pappl_preason_t DeviceStatus(pappl_device_t *) { return PAPPL_PREASON_NONE; }
char *DeviceID(pappl_device_t *, char *buffer, size_t size) {
    std::snprintf(buffer, size, "MFG:Varnel;MDL:Hot Folder;CMD:PWGRaster;");
    return buffer;
}

}  // namespace

bool UpdateStatus(pappl_printer_t *printer) {
    const std::string folder = HotFolderOf(printer);
    const std::string problem = FolderProblem(folder);
    {
        // Said when it changes, not at every check. (papplPrinterGetReasons would call us again.)
        static std::mutex mutex;
        static std::map<int, std::string> said;
        std::lock_guard lock(mutex);
        std::string &last = said[papplPrinterGetID(printer)];
        if (last != problem && !problem.empty()) papplLogPrinter(printer, PAPPL_LOGLEVEL_WARN, "%s", problem.c_str());
        last = problem;
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
    papplPrinterSetSupplies(printer, 1, &space);
    if (problem.empty()) {
        papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_OTHER);
    } else {
        papplPrinterSetReasons(printer, PAPPL_PREASON_OTHER, PAPPL_PREASON_NONE);
    }
    return true;
}

namespace {

// A hot folder has no light or sound: identification is logged.
void Identify(pappl_printer_t *printer, pappl_identify_actions_t, const char *message) {
    const std::string folder = HotFolderOf(printer);
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify: job files go to %s%s%s", folder.c_str(),
                    message ? ": " : "", message ? message : "");
}

void SetMedia(pappl_media_col_t &col, const Paper &paper) {
    std::memset(&col, 0, sizeof col);
    std::snprintf(col.size_name, sizeof col.size_name, "%s", paper.media.c_str());
    col.size_width = static_cast<int>(paper.width * 100 + 0.5);
    col.size_length = static_cast<int>(paper.height * 100 + 0.5);
    std::snprintf(col.source, sizeof col.source, "main");
    std::snprintf(col.type, sizeof col.type, "stationery");
}

}  // namespace

pappl_pr_driver_t *Drivers() {
    static pappl_pr_driver_t drivers[] = {{kDriverName, "hot folder job files", nullptr, nullptr}};
    return drivers;
}

const char *AutoAdd(const char *, const char *uri, const char *, void *) {
    return uri && std::strncmp(uri, "hotfolder:", 10) == 0 ? kDriverName : nullptr;
}

Module &TheModule() {
    static Module module;
    return module;
}

void AddHotFolderScheme() {
    papplDeviceAddScheme(kScheme, PAPPL_DEVTYPE_CUSTOM_LOCAL, nullptr, OpenDevice, CloseDevice, ReadDevice, WriteDevice,
                         DeviceStatus, DeviceID);
}

std::optional<std::string> FolderOfDeviceURI(const char *uri) {
    if (!uri) return std::nullopt;
    char scheme[32], user[256], host[256], resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, user, sizeof user, host, sizeof host, &port,
                        resource, sizeof resource) < HTTP_URI_STATUS_OK ||
        std::strcmp(scheme, kScheme) != 0 || resource[0] != '/') {
        return std::nullopt;
    }
    return std::string(resource);
}

std::string FolderProblem(const std::string &folder) {
    if (folder.empty()) return "The printer has no hot folder: its device URI should be hotfolder:///path";
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return "The hot folder " + folder + " cannot be used: " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return "The hot folder " + folder + " is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "The hot folder " + folder + " cannot be written: " + std::strerror(errno);
    return {};
}

bool DriverCallback(pappl_system_t *, const char *driverName, const char *, const char *, pappl_pr_driver_data_t *data,
                    ipp_t **attrs, void *) {
    if (std::strcmp(driverName, kDriverName) != 0) return false;
    Module &module = TheModule();
    const Catalogue catalogue = ReadCatalogue(KIVBundleGetIdentifier(module.bundle), module.driver.defaultPapers,
                                              module.driver.defaultResolutions);
    if (catalogue.papers.empty() || catalogue.resolutions.empty()) return false;

    data->printfile_cb = RefuseDocument;
    data->rstartjob_cb = StartJob;
    data->rstartpage_cb = StartPage;
    data->rwriteline_cb = WriteLine;
    data->rendpage_cb = EndPage;
    data->rendjob_cb = EndJob;
    data->status_cb = UpdateStatus;
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
    data->borderless = true;  // a job file is the whole page
    data->left_right = 0;
    data->bottom_top = 0;

    const std::vector<Resolution> offered = OfferedResolutions(catalogue, PAPPL_MAX_RESOLUTION);
    data->num_resolution = static_cast<int>(offered.size());
    for (std::size_t i = 0; i < offered.size(); ++i) {
        data->x_resolution[i] = offered[i].x;
        data->y_resolution[i] = offered[i].y;
    }
    data->x_default = catalogue.resolutions[catalogue.defaultResolution].x;
    data->y_default = catalogue.resolutions[catalogue.defaultResolution].y;

    data->num_media = 0;
    for (const Paper &p : catalogue.papers) {
        if (data->num_media == PAPPL_MAX_MEDIA) break;
        bool seen = false;
        for (int i = 0; i < data->num_media; ++i) seen = seen || p.media == data->media[i];
        if (!seen) data->media[data->num_media++] = Keep(p.media);
    }
    // IPP Everywhere attributes PAPPL leaves to the driver.
    *attrs = ippNew();
    ippAddBoolean(*attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
    data->has_supplies = true;

    data->num_source = 1;
    data->source[0] = "main";
    data->num_type = 1;
    data->type[0] = "stationery";
    SetMedia(data->media_ready[0], catalogue.papers[catalogue.defaultPaper]);
    data->media_default = data->media_ready[0];
    return true;
}

}  // namespace vad3printer
