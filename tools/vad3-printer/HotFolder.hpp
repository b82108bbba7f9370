// The bottom of the printer application: the driver module every printer prints through,
// the hotfolder: device scheme and the checks of a folder. Includes nothing of the rest.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/DriverModule.hpp"

namespace vad3printer {

inline constexpr const char *kDriverName = "hotfolder";
inline constexpr const char *kScheme = "hotfolder";
// Where the server listens unless told otherwise ("*" for every address).
inline constexpr const char *kDefaultListenHost = "localhost";

// The driver module loaded from its bundle; made once before the main loop and handed to
// PAPPL as the application's context.
struct Driver {
    kivhost::DriverModule module;
    KIVBundleRef bundle = nullptr;
    // New printers must have their folders inside the roots; those loaded from the state
    // are kept whatever their folders (and refuse jobs while outside).
    bool checkNewFolders = false;
};

// Registers the hotfolder: device scheme. The "device" does no I/O: the driver writes the
// job files itself.
void AddHotFolderScheme();

// The folder of a device URI such as hotfolder:///srv/hot; nullopt when it names none.
std::optional<std::string> FolderOfDeviceURI(const char *uri);

// The folders hot folders must lie in (after resolving links), resolved once when the server
// starts so that a root later replaced by a link leads nowhere else. Set before the server
// runs and not changed after; none set: any folder.
void SetFolderRoots(const std::vector<std::string> &roots);
const std::vector<std::string> &FolderRoots();

// Why the folder lies outside the roots (it or a link on its way leads out), or empty.
std::string RootProblem(const std::string &folder);

// Why the folder cannot take job files, or empty when it can.
std::string FolderProblem(const std::string &folder);

}  // namespace vad3printer
