// File operations in the hot folder. A job file is written without a name (or under a hidden
// temporary one) and gets its final name only once it is complete and synced, so a program
// watching the folder never sees a half-written job.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace kiv {

// The extended attribute holding the 32-byte Finder information (type, creator, 24 more bytes).
inline constexpr const char *kFinderInfoAttribute = "user.com.apple.FinderInfo";

// Hidden temporary job files start with this; the sweep removes stale ones.
inline constexpr std::string_view kTemporaryPrefix = ".vad3-";
// Temporary files older than this, and not open for writing, are leftovers of a crash.
inline constexpr int kStaleTemporarySeconds = 24 * 60 * 60;

// A job file being written in a folder, not yet under its name.
struct PendingFile {
    PendingFile() = default;
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;
    ~PendingFile();  // discards a file that was never published

    std::filesystem::path folder;
    int dirFd = -1;
    int fd = -1;
    std::string temporaryName;  // empty while the file has no name at all (O_TMPFILE)
};

// Opens an unnamed file in folder (O_TMPFILE; a hidden, locked temporary file where the file
// system has none). 0, or the error number. Stale temporary files are swept first.
int OpenPendingFile(const std::filesystem::path &folder, mode_t mode, PendingFile &file);

// True while one of "base.ext", "base_01.ext" … "base_99.ext" is free in the folder.
bool HasFreeUniqueName(const PendingFile &file, std::string_view baseName, std::string_view extension);

// Syncs the file and gives it the first free name of "base.ext", "base_01.ext" …
// "base_99.ext" (never replacing a file), then syncs the folder. 0 with published set, EEXIST
// when all hundred names are taken, or the error number.
int PublishUnique(PendingFile &file, std::string_view baseName, std::string_view extension,
                  std::filesystem::path &published);
// The same under one given name, replacing a file of that name atomically. EINVAL for a name
// that is empty, ".", "..", or holds "/".
int PublishReplacing(PendingFile &file, std::string_view name, std::filesystem::path &published);

// Closes and removes a file that will not be published.
void DiscardPendingFile(PendingFile &file);

// Removes hidden temporary files older than kStaleTemporarySeconds that no writer holds.
// The number removed.
int SweepStaleTemporaries(int dirFd);

// The file name a job name gives: "/" and control characters become "_", a leading "." too,
// invalid UTF-8 becomes U+FFFD, cut on a character boundary so that the longest suffix
// ("_99." and the extension) still fits the file system's 255 bytes. "Untitled" when empty.
std::string JobFileBaseName(std::string_view jobName, std::string_view extension);

// Stamps bytes 0–3 (type) and 4–7 (creator) of the Finder information, keeping the other 24.
// 0; 22 when the object is not a regular file; or the error number of the attribute write
// (ENOTSUP where the file system has no user extended attributes). Both codes must be four
// characters long.
int SetFinderInfo(int fd, const char *creator, const char *fileType);
// The same by path: 1 for an empty path.
int SetURLFinderInfo(const std::filesystem::path &url, const char *creator, const char *fileType);

// unlink: 0 or -1 (errno set), 2 for an empty path.
int DeleteFileAtURL(const std::filesystem::path &url);

}  // namespace kiv
