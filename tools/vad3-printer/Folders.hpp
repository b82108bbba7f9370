// Each printer's hot folder: the path of its device URI (hotfolder:///srv/hot), unless one
// was set on the printer's "Hot Folder" web page, which is kept beside PAPPL's state.
#pragma once

#include <pappl/pappl.h>

#include <functional>
#include <optional>
#include <string>

namespace vad3printer {

// Replaces file whole: write fills a temporary file beside it, which is synced and renamed
// over file, and the folder synced, so that a crash or power cut at any moment leaves the old
// file or the new one. False (errno set, the temporary removed) when any step fails.
bool ReplaceFile(const std::string &file, const std::function<bool(const std::string &temporary)> &write);

// Where folders set on the web page are kept (a file beside the state file); read at once,
// and handed to each printer as it is made (RestoreHotFolder).
void UseFolderSettings(const std::string &path);
void RestoreHotFolder(pappl_printer_t *printer);

// The folder the printer writes its job files into; empty when it has none.
std::string HotFolderOf(pappl_printer_t *printer);

// Sets the folder for a printer; false (with why) when it cannot be kept.
bool SetHotFolder(pappl_printer_t *printer, const std::string &folder, std::string &why);

// Adds the printer's "Hot Folder" web page and its link on the printer's page.
void AddHotFolderPage(pappl_printer_t *printer, void *data);

// Keeps the printer's state reasons in step with its folder ("other" while it cannot take
// job files, logged once when that starts) and reports the folder's free space as the one
// supply a hot folder consumes, and makes the printer refuse jobs while its folder cannot
// take them. It calls PAPPL's setters, which take the printer's lock: call it from the
// application's own timer or pages, never from a callback PAPPL makes while it holds a
// printer's lock (the status callback, for one).
void UpdateStatus(pappl_printer_t *printer);

}  // namespace vad3printer
