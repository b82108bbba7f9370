// File operations in the hot folder: create under a given or an unused name, delete, and
// stamp a finished file with its type and creator codes.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string_view>

namespace kiv {

// The extended attribute holding the 32-byte Finder information (type, creator, 24 more bytes).
inline constexpr const char *kFinderInfoAttribute = "user.com.apple.FinderInfo";

// open(path, flags, mode) into fd (-1 on failure). 0, -1 for an unusable path, or the error number.
int OpenFileAtURL(const std::filesystem::path &url, int flags, mode_t mode, int &fd);

// Opens folder/name for reading and writing, creating it or emptying an existing file.
// fileURL receives the file's path, or nullopt. Result: the descriptor, or -1. A name that
// is empty, ".", "..", or holds "/" is refused: it would not name a file in the folder.
int CreateFileInFolder(const std::filesystem::path &folder, std::string_view name, mode_t mode,
                       std::optional<std::filesystem::path> &fileURL);

// Creates, exclusively, the first free name among "base.ext" and "base_01.ext" … "base_99.ext".
int CreateAndOpenUniqueFileInFolder(const std::filesystem::path &folder, std::string_view baseName,
                                    std::string_view extension, mode_t mode,
                                    std::optional<std::filesystem::path> &fileURL);

// unlink: 0 or -1 (errno set), 2 for an empty path.
int DeleteFileAtURL(const std::filesystem::path &url);

// Stamps bytes 0–3 (type) and 4–7 (creator) of the Finder information, keeping the other 24.
// 0; 1 for an empty path; 22 when the object is not a regular file; or the error number of
// the attribute write (ENOTSUP where the file system has no user extended attributes).
// Both codes must be four characters long.
int SetURLFinderInfo(const std::filesystem::path &url, const char *creator, const char *fileType);

}  // namespace kiv
