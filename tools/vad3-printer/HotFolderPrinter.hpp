// The "hot folder job files" printers: their driver data, their folder, and the raster
// callbacks through which PAPPL hands each page to the driver module, band by band.
#pragma once

#include <pappl/pappl.h>

#include <optional>
#include <string>

#include "common/DriverModule.hpp"

namespace vad3printer {

inline constexpr const char *kDriverName = "hotfolder";
inline constexpr const char *kScheme = "hotfolder";

// The loaded module every printer prints through; set once before the main loop runs.
struct Module {
    kivhost::DriverModule driver;
    KIVBundleRef bundle = nullptr;
};
Module &TheModule();

// Registers the hotfolder: device scheme. The "device" does no I/O: the driver writes the
// job files itself.
void AddHotFolderScheme();

// The folder of a device URI such as hotfolder:///srv/hot; nullopt when it names none.
std::optional<std::string> FolderOfDeviceURI(const char *uri);

// Why the folder cannot take job files, or empty when it can.
std::string FolderProblem(const std::string &folder);

// Keeps the printer's state reasons in step with its folder ("other" while it cannot take
// job files) and reports the folder's free space as the one supply a hot folder consumes.
bool UpdateStatus(pappl_printer_t *printer);

// The one driver, "hot folder job files", and the auto-add rule: every hotfolder: device.
pappl_pr_driver_t *Drivers();
const char *AutoAdd(const char *info, const char *uri, const char *id, void *data);

// The driver callback: media and resolutions from the driver's catalogues, formats, colour
// modes and the raster callbacks.
bool DriverCallback(pappl_system_t *system, const char *driverName, const char *deviceURI, const char *deviceID,
                    pappl_pr_driver_data_t *data, ipp_t **attrs, void *context);

}  // namespace vad3printer
