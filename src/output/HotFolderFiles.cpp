// Hot-folder file operations: unnamed files published atomically, the sweep of leftovers,
// file names from job names, and type/creator stamping.
#include "HotFolderFiles.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "FileIO.hpp"
#include "platform/Assert.hpp"
#include "platform/Utf8.hpp"
#include "platform/Diagnostics.hpp"

namespace kiv {
namespace {

bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.size() <= NAME_MAX &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

void CloseFd(int &fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// A fresh hidden name such as ".vad3-3f9a0c17b2e4".
std::string TemporaryName() {
    unsigned char random[6] = {};
    if (::getrandom(random, sizeof random, 0) != sizeof random) {
        const auto t = static_cast<unsigned long>(std::time(nullptr)) ^ static_cast<unsigned long>(::getpid());
        std::memcpy(random, &t, sizeof random < sizeof t ? sizeof random : sizeof t);
    }
    std::string name(kTemporaryPrefix);
    char hex[3];
    for (unsigned char b : random) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        name += hex;
    }
    return name;
}

// Links an O_TMPFILE descriptor into the folder under name. Through /proc, which needs no
// privilege (AT_EMPTY_PATH needs CAP_DAC_READ_SEARCH).
int LinkUnnamed(const PendingFile &file, const std::string &name) {
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", file.fd);
    return ::linkat(AT_FDCWD, proc, file.dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Moves the hidden temporary file to name without replacing an existing file.
int RenameNoReplace(const PendingFile &file, const std::string &name) {
    if (::renameat2(file.dirFd, file.temporaryName.c_str(), file.dirFd, name.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without RENAME_NOREPLACE: link (which never replaces), then unlink.
    if (::linkat(file.dirFd, file.temporaryName.c_str(), file.dirFd, name.c_str(), 0) != 0) return errno;
    ::unlinkat(file.dirFd, file.temporaryName.c_str(), 0);
    return 0;
}

// Gives the file name, never replacing a file: 0, EEXIST, or the error number.
int NameExclusively(PendingFile &file, const std::string &name) {
    const int e = file.temporaryName.empty() ? LinkUnnamed(file, name) : RenameNoReplace(file, name);
    if (e == 0) file.temporaryName.clear();
    return e;
}

int SyncFile(const PendingFile &file) {
    while (gFileIO.fsync(file.fd) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

// After the name is in place: the folder's entry is made durable and the file closed. Nothing
// here may fail any more (the path was made before the file got its name).
void Finish(PendingFile &file, std::filesystem::path &&target, std::filesystem::path &published) noexcept {
    ::fsync(file.dirFd);  // some file systems refuse to sync folders; the file itself is synced
    CloseFd(file.fd);
    CloseFd(file.dirFd);
    published = std::move(target);
}

std::string UniqueCandidate(std::string_view base, std::string_view ext, int counter) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%02d", counter);
    return std::string(base) + (counter == 0 ? "" : suffix) + "." + std::string(ext);
}

}  // namespace

PendingFile::~PendingFile() { DiscardPendingFile(*this); }

int OpenPendingFile(const std::filesystem::path &folder, mode_t mode, PendingFile &file) {
    DiscardPendingFile(file);
    if (folder.empty() || folder.native().size() >= PATH_MAX) return EINVAL;
    file.folder = folder;
    file.dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (file.dirFd < 0) return errno;
    SweepStaleTemporaries(file.dirFd);

    if (gFileIO.unnamedFiles && ::access("/proc/self/fd", X_OK) == 0) {
        file.fd = ::openat(file.dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (file.fd >= 0) return 0;
        // Anything but a file system without unnamed files is a real failure (EACCES, ENOSPC…).
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            const int e = errno;
            DiscardPendingFile(file);
            return e;
        }
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryName();
        file.fd = ::openat(file.dirFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (file.fd >= 0) {
            file.temporaryName = name;
            ::flock(file.fd, LOCK_EX | LOCK_NB);  // tells the sweep of other processes it is in use
            return 0;
        }
        if (errno != EEXIST) break;
    }
    const int e = errno;
    DiscardPendingFile(file);
    return e;
}

bool HasFreeUniqueName(const PendingFile &file, std::string_view baseName, std::string_view extension) {
    struct stat st {};
    for (int counter = 0; counter <= 99; ++counter) {
        const std::string name = UniqueCandidate(baseName, extension, counter);
        if (::fstatat(file.dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) return true;
    }
    return false;
}

int PublishUnique(PendingFile &file, std::string_view baseName, std::string_view extension,
                  std::filesystem::path &published) {
    if (file.fd < 0) return EBADF;
    if (const int e = SyncFile(file)) return e;
    for (int counter = 0; counter <= 99; ++counter) {
        const std::string name = UniqueCandidate(baseName, extension, counter);
        if (!IsPlainName(name)) return EINVAL;
        std::filesystem::path target = file.folder / name;
        const int e = NameExclusively(file, name);
        if (e == 0) {
            Finish(file, std::move(target), published);
            return 0;
        }
        if (e != EEXIST) return e;
    }
    return EEXIST;
}

int PublishReplacing(PendingFile &file, std::string_view name, std::filesystem::path &published) {
    if (file.fd < 0) return EBADF;
    if (!IsPlainName(name)) return EINVAL;
    if (const int e = SyncFile(file)) return e;
    // An unnamed file first gets a hidden name, since only a rename replaces atomically.
    while (file.temporaryName.empty()) {
        const std::string temporary = TemporaryName();
        const int e = LinkUnnamed(file, temporary);
        if (e == 0)
            file.temporaryName = temporary;
        else if (e != EEXIST)
            return e;
    }
    const std::string target(name);
    std::filesystem::path path = file.folder / target;
    if (::renameat(file.dirFd, file.temporaryName.c_str(), file.dirFd, target.c_str()) != 0) return errno;
    file.temporaryName.clear();
    Finish(file, std::move(path), published);
    return 0;
}

void DiscardPendingFile(PendingFile &file) {
    if (!file.temporaryName.empty() && file.dirFd >= 0) ::unlinkat(file.dirFd, file.temporaryName.c_str(), 0);
    file.temporaryName.clear();
    CloseFd(file.fd);
    CloseFd(file.dirFd);
}

int SweepStaleTemporaries(int dirFd) {
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) return 0;
    DIR *dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return 0;
    }
    const time_t cutoff = std::time(nullptr) - kStaleTemporarySeconds;
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix) continue;
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_mtime > cutoff) {
            continue;
        }
        // A writer holds its temporary file locked: only an unlocked one is a leftover.
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

std::string JobFileBaseName(std::string_view jobName, std::string_view extension) {
    std::string name = VisibleText(jobName);
    std::replace(name.begin(), name.end(), '/', '_');
    if (!name.empty() && name[0] == '.') name[0] = '_';  // hidden files are skipped by watchers
    const std::size_t longestSuffix = std::string_view("_99.").size() + extension.size();
    name = std::string(CutUtf8(name, NAME_MAX - longestSuffix));
    return name.empty() ? "Untitled" : name;
}

int SetFinderInfo(int fd, const char *creator, const char *fileType) {
    KIV_ASSERT(std::strlen(fileType) == 4);
    KIV_ASSERT(std::strlen(creator) == 4);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) return 22;
    unsigned char info[32] = {};
    // An attribute of another size is not Finder information: start from zeros.
    unsigned char existing[32];
    if (::fgetxattr(fd, kFinderInfoAttribute, existing, sizeof existing) == sizeof existing) {
        std::memcpy(info, existing, sizeof info);
    }
    std::memcpy(info, fileType, 4);
    std::memcpy(info + 4, creator, 4);
    return ::fsetxattr(fd, kFinderInfoAttribute, info, sizeof info, 0) == 0 ? 0 : errno;
}

int SetURLFinderInfo(const std::filesystem::path &url, const char *creator, const char *fileType) {
    if (url.empty()) return 1;
    const int fd = ::open(url.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    const int result = SetFinderInfo(fd, creator, fileType);
    ::close(fd);
    if (result == 22) Diagnose("SetURLFinderInfo: %s is not a standard file.", url.c_str());
    return result;
}

int DeleteFileAtURL(const std::filesystem::path &url) {
    if (url.empty()) return 2;
    return ::unlink(url.c_str());
}

}  // namespace kiv
