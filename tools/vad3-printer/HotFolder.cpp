// The hotfolder: device scheme and folder checks.
#include "HotFolder.hpp"

#include <pappl/pappl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace vad3printer {
namespace {

constexpr const char *kDeviceID = "MFG:Varnel;MDL:Hot Folder;CMD:PWGRaster;";

bool OpenDevice(pappl_device_t *, const char *, const char *) { return true; }
void CloseDevice(pappl_device_t *) {}
ssize_t ReadDevice(pappl_device_t *, void *, size_t) { return 0; }
ssize_t WriteDevice(pappl_device_t *, const void *, size_t bytes) { return static_cast<ssize_t>(bytes); }
pappl_preason_t DeviceStatus(pappl_device_t *) { return PAPPL_PREASON_NONE; }
char *DeviceID(pappl_device_t *, char *buffer, size_t size) {
    std::snprintf(buffer, size, "%s", kDeviceID);
    return buffer;
}

std::vector<std::string> gRoots;  // resolved; written once before the server's threads start

// The folder with every link resolved; empty when it cannot be.
std::string Resolved(const std::string &path) {
    char *real = ::realpath(path.c_str(), nullptr);
    std::string resolved = real ? real : "";
    std::free(real);
    return resolved;
}

// The folders a printer may be made for, as devices on the web interface's "Add Printer"
// page: each root and the folders in it.
bool ListFolders(pappl_device_cb_t report, void *data, pappl_deverror_cb_t, void *) {
    for (const std::string &root : FolderRoots()) {
        std::vector<std::string> folders{root};
        std::error_code error;
        for (const auto &entry : std::filesystem::directory_iterator(root, error))
            if (entry.is_directory(error) && entry.path().filename().string()[0] != '.')
                folders.push_back(entry.path());
        std::sort(folders.begin() + 1, folders.end());
        for (const std::string &folder : folders)
            if (report(("Hot folder " + folder).c_str(), (std::string(kScheme) + "://" + folder).c_str(), kDeviceID,
                       data))
                return true;
    }
    return false;
}

}  // namespace

void SetFolderRoots(const std::vector<std::string> &roots) {
    gRoots.clear();
    for (const std::string &root : roots)
        if (const std::string resolved = Resolved(root); !resolved.empty()) gRoots.push_back(resolved);
}

const std::vector<std::string> &FolderRoots() { return gRoots; }

void AddHotFolderScheme() {
    papplDeviceAddScheme(kScheme, PAPPL_DEVTYPE_CUSTOM_LOCAL, ListFolders, OpenDevice, CloseDevice, ReadDevice,
                         WriteDevice, DeviceStatus, DeviceID);
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

std::string RootProblem(const std::string &folder) {
    if (gRoots.empty()) return {};
    const std::string resolved = Resolved(folder);
    const bool inside = !resolved.empty() && std::any_of(gRoots.begin(), gRoots.end(), [&](const std::string &root) {
        return resolved == root || resolved.starts_with(root == "/" ? root : root + "/");
    });
    if (inside) return {};
    std::string list;
    for (const std::string &root : gRoots) list += (list.empty() ? "" : ", ") + root;
    return "The hot folder " + folder + " is outside the folders this server may write into (" + list + ")";
}

std::string FolderProblem(const std::string &folder) {
    if (folder.empty()) return "The printer has no hot folder: its device URI should be hotfolder:///path";
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return "The hot folder " + folder + " cannot be used: " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return "The hot folder " + folder + " is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "The hot folder " + folder + " cannot be written: " + std::strerror(errno);
    if (std::string outside = RootProblem(folder); !outside.empty()) return outside;
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) == 0 && fs.f_bavail == 0) return "The hot folder " + folder + " is full";
    return {};
}

}  // namespace vad3printer
