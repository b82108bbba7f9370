// The print record kivhost keeps between runs, as a host keeps its documents' page setup:
// $XDG_CONFIG_HOME/kivhost/PrintRecord (~/.config by default), the record's 306 bytes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <kiv/KIVPlatform.h>

namespace kivhost {

inline std::filesystem::path SavedRecordPath() {
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    const char *home = std::getenv("HOME");
    const std::filesystem::path base =
        xdg && xdg[0] == '/' ? std::filesystem::path(xdg) : std::filesystem::path(home ? home : ".") / ".config";
    return base / "kivhost" / "PrintRecord";
}

// Fills h with the saved record; false (h untouched) when there is none.
inline bool LoadSavedRecord(Handle h) {
    std::ifstream in(SavedRecordPath(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (!in.eof() || bytes.empty() || bytes.size() > 4096) return false;
    SetHandleSize(h, static_cast<long>(bytes.size()));
    if (GetHandleSize(h) != static_cast<long>(bytes.size())) return false;
    std::copy(bytes.begin(), bytes.end(), *h);
    return true;
}

inline bool SaveRecord(Handle h) {
    std::error_code ec;
    std::filesystem::create_directories(SavedRecordPath().parent_path(), ec);
    std::ofstream out(SavedRecordPath(), std::ios::binary | std::ios::trunc);
    out.write(*h, GetHandleSize(h));
    return static_cast<bool>(out);
}

}  // namespace kivhost
