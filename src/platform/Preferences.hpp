// Per-user preferences of one domain: one XML property list per domain in
// $XDG_CONFIG_HOME/<domain>.plist (default ~/.config), cached per process.
//
// Values set stay pending until SynchronizePreferences, which merges them key by key into
// the file under an advisory lock and replaces the file atomically, so a crash never leaves
// a torn file and two processes never lose each other's keys.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "Plist.hpp"

namespace kiv {

// Files larger than this are not read.
inline constexpr std::uintmax_t kMaxPreferencesFileSize = 16u << 20;

// The file of a domain; nullopt for a domain that cannot name a file (empty, "/", leading ".").
std::optional<std::filesystem::path> PreferencesPath(std::string_view domain);

// A copy of the value (pending changes included), or null.
Plist CopyPreferenceValue(std::string_view domain, std::string_view key);
// Sets (a copy of) value, or removes the key for null; pending until synchronised.
void SetPreferenceValue(std::string_view domain, std::string_view key, plist_t value);
// The integer stored under key, if it holds one.
std::optional<int64_t> GetPreferenceInteger(std::string_view domain, std::string_view key);
// Writes pending changes (if any) and re-reads the file. False when the changes could not be
// written; they stay pending then.
bool SynchronizePreferences(std::string_view domain);

// Forgets every cached domain and pending change; for tests that switch XDG_CONFIG_HOME.
void ResetPreferencesCache();

}  // namespace kiv
