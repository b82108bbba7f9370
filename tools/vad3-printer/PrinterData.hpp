// What each hot-folder printer keeps beside PAPPL's driver data: made by the driver
// callback, kept as the driver data's extension and freed when PAPPL deletes the printer.
#pragma once

#include <pappl/pappl.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "Catalogue.hpp"
#include "HotFolder.hpp"

namespace vad3printer {

// A folder set on the printer's web page, for the device URI the printer had then: changing
// the device URI later (vad3-printer modify -v) makes the device URI's folder count again.
struct FolderSetting {
    std::string deviceURI;
    std::string folder;  // empty when none was set
};

struct PrinterData {
    Driver *driver = nullptr;
    std::vector<Resolution> resolutions;  // the resolutions the printer offers
    std::deque<std::string> media;        // the names the driver data's media list points into

    std::mutex mutex;  // guards what follows
    FolderSetting folder;
    std::string lastProblem;         // the folder problem last logged, so each is logged once
    bool refusingForFolder = false;  // refusing jobs until the folder is back
    bool papersPage = false;         // the "Papers" page has replaced PAPPL's "Media" page
};

// The printer's data; nullptr for a printer of another driver.
inline PrinterData *DataOf(pappl_printer_t *printer) {
    pappl_pr_driver_data_t data;
    if (!printer || !papplPrinterGetDriverData(printer, &data)) return nullptr;
    return static_cast<PrinterData *>(data.extension);
}

}  // namespace vad3printer
