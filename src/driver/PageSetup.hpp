// Judging, defaulting, fitting and saving the page setup held in the print record.
#pragma once

#include <kiv/KIVPrinterDriver.h>

#include "DriverRecord.hpp"
#include "PrintRecord.hpp"

namespace kiv {

// The pages the driver prints, in millimetres; a print record may exceed them by the
// tolerance (its millimetres are recomputed from whole pixels).
inline constexpr double kMinPageMillimetres = 12.7;
inline constexpr double kMaxPageWidthMillimetres = 5000.0;
inline constexpr double kMaxPageHeightMillimetres = 500000.0;
inline constexpr double kPageLimitTolerance = 0.0001;

// The catalogue resolution nearest to (x, y); rx and ry keep their values when no entry is
// nearer than 1e9 (squared dpi).
void FindNearestResolution(const ResDescription &resolutions, double x, double y, double &rx, double &ry);

// True when the print record in h cannot be used as it stands.
bool HPrintIsBad(const DriverRecord &record, Handle h);
// Makes h 306 bytes and fills it from the saved page setup. False when h cannot be resized.
bool SetDefaults(DriverRecord &record, Handle h);
// Refits the page to the document page; nothing when that page has no positive pixel size.
void SetSuggestions(DriverRecord &record, Handle h, const PageGeometry &page);
// Stores the page setup as "DefaultPageSetup" and synchronises the preferences.
void SaveDefaults(DriverRecord &record, Handle h);
// The printable page: the tile when tiled.
PageGeometry GetPageGeometry(const PrintRecord &printRecord);
void GetInfo(Handle h, PageInfo *info);
// Makes the page name agree with the paper catalogue.
void SyncPageName(const DriverRecord &record, PrintRecord &printRecord);
// The validation behind KIVPrValidate, without the gate: true when the record was reset.
bool ValidatePrintRecord(DriverRecord &record, Handle h);

}  // namespace kiv
