// The "hot folder job files" printers: their driver, and the driver data PAPPL builds each
// printer from.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>
#include <functional>

#include "Catalogue.hpp"

namespace vad3printer {

// The product's icons (Icons.cpp, made from the PNGs in icons/ by the build).
extern const unsigned char kIcon_printer_48[], kIcon_printer_128[], kIcon_printer_512[], kIcon_navicon[];
extern const std::size_t kIcon_printer_48_size, kIcon_printer_128_size, kIcon_printer_512_size, kIcon_navicon_size;

// The one driver, "hot folder job files", and the auto-add rule: every hotfolder: device.
pappl_pr_driver_t *Drivers();
const char *AutoAdd(const char *info, const char *uri, const char *id, void *data);

// The driver callback (context: the Driver): media and resolutions from the driver's
// catalogues, formats, colour modes, the raster callbacks and the printer's own data.
bool DriverCallback(pappl_system_t *system, const char *driverName, const char *deviceURI, const char *deviceID,
                    pappl_pr_driver_data_t *data, ipp_t **attrs, void *context);

// Every printer takes one job at a time: a job sent while it prints is answered busy before
// PAPPL records anything. PAPPL 1.3 refuses a raster job that arrives while another prints
// by taking the printer's lock and then the system's, the reverse of the order in which it
// saves its state and answers Get-Printer-Attributes, and the server then hangs for good.
// With one active job a printer never reaches that refusal. Called for every new printer.
void PrinterCreated(pappl_printer_t *printer, void *data);

// Calls visit for each printer with no PAPPL lock held (PAPPL takes a printer's lock before
// the system's in places, so a printer is never visited while the list is).
void ForEachPrinter(pappl_system_t *system, const std::function<void(pappl_printer_t *)> &visit);

// Offers the catalogue's papers (and the standard sizes and range) on the printer at once.
void OfferPapers(pappl_printer_t *printer, const Catalogue &catalogue);

// The same for every printer loaded from the state file (which may hold another limit).
void LimitJobs(pappl_system_t *system);

}  // namespace vad3printer
