// Hot-folder file operations and type/creator stamping.
#include "SetURLFinderInfo.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstring>
#include <string>

#include "platform/Assert.hpp"

namespace kiv {
namespace {

bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

}  // namespace

int OpenFileAtURL(const std::filesystem::path &url, int flags, mode_t mode, int &fd) {
    fd = -1;
    if (url.empty() || url.native().size() >= PATH_MAX) return -1;
    fd = ::open(url.c_str(), flags | O_CLOEXEC, mode);
    return fd < 0 ? errno : 0;
}

int CreateFileInFolder(const std::filesystem::path &folder, std::string_view name, mode_t mode,
                       std::optional<std::filesystem::path> &fileURL) {
    fileURL.reset();
    if (folder.empty() || !IsPlainName(name)) return -1;
    const std::filesystem::path url = folder / std::string(name);
    int fd = -1;
    if (OpenFileAtURL(url, O_RDWR | O_CREAT | O_TRUNC, mode, fd) != 0) return -1;
    fileURL = url;
    return fd;
}

int CreateAndOpenUniqueFileInFolder(const std::filesystem::path &folder, std::string_view baseName,
                                    std::string_view extension, mode_t mode,
                                    std::optional<std::filesystem::path> &fileURL) {
    fileURL.reset();
    if (folder.empty()) return -1;
    const std::string base(baseName), ext(extension);
    for (int counter = 0; counter <= 99; ++counter) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "_%02d", counter);
        const std::string name = base + (counter == 0 ? "" : suffix) + "." + ext;
        if (!IsPlainName(name)) return -1;
        const std::filesystem::path url = folder / name;
        int fd = -1;
        // Any failure, whatever its cause, moves on to the next name.
        if (OpenFileAtURL(url, O_RDWR | O_CREAT | O_EXCL, mode, fd) == 0) {
            fileURL = url;
            return fd;
        }
    }
    return -1;
}

int DeleteFileAtURL(const std::filesystem::path &url) {
    if (url.empty()) return 2;
    return ::unlink(url.c_str());
}

int SetURLFinderInfo(const std::filesystem::path &url, const char *creator, const char *fileType) {
    if (url.empty()) return 1;
    KIV_ASSERT(std::strlen(fileType) == 4, "SetURLFinderInfo", "Common/SetURLFinderInfo");
    KIV_ASSERT(std::strlen(creator) == 4, "SetURLFinderInfo", "Common/SetURLFinderInfo");

    struct stat st{};
    unsigned char info[32] = {};
    if (::stat(url.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            std::fprintf(stderr, "SetURLFinderInfo: %s is not a standard file.\n", url.c_str());
            return 22;
        }
        // An attribute of another size is not Finder information: start from zeros.
        unsigned char existing[32];
        if (::getxattr(url.c_str(), kFinderInfoAttribute, existing, sizeof existing) == sizeof existing) {
            std::memcpy(info, existing, sizeof info);
        }
    }
    std::memcpy(info, fileType, 4);
    std::memcpy(info + 4, creator, 4);
    return ::setxattr(url.c_str(), kFinderInfoAttribute, info, sizeof info, 0) == 0 ? 0 : errno;
}

}  // namespace kiv
