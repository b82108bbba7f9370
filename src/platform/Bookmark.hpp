// Folder bookmarks: opaque data that designates a file or folder.
//
// The data is a versioned record of the absolute path and the device and inode it had
// when the bookmark was made. It resolves while a directory exists at that path; the device
// and inode are kept so that a later version can tell a folder replaced at the same path,
// and are not read today.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "Plist.hpp"

namespace kiv {

// Bookmark data (a data node) for an existing path; null when the path does not exist.
Plist CreateBookmarkData(const std::filesystem::path &path);

// The folder a bookmark designates; nullopt for data that is not a bookmark or a folder that
// no longer exists.
std::optional<std::filesystem::path> ResolveBookmarkData(plist_t bookmark);

// Classic alias records cannot be read on this platform: always null.
Plist CreateBookmarkDataFromAliasRecord(std::string_view aliasRecord);

}  // namespace kiv
