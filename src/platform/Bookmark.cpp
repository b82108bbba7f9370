// Bookmark data: magic, version, device, inode and path, all big-endian.
#include "Bookmark.hpp"

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <kiv/KIVPlatform.h>

#include "BigEndian.hpp"

namespace kiv {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kMagic{"KIVBookmark\0", 12};
constexpr uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 12 + 4 + 8 + 8 + 4;
constexpr std::size_t kMaxPath = 4096;

void PutBE(std::string &out, uint64_t v, int bytes) {
    uint8_t b[8];
    StoreBigEndian(b, v, bytes);
    out.append(reinterpret_cast<const char *>(b), static_cast<std::size_t>(bytes));
}

uint64_t GetBE(std::string_view in, std::size_t at, int bytes) {
    return LoadBigEndian(reinterpret_cast<const uint8_t *>(in.data()) + at, bytes);
}

}  // namespace

Plist CreateBookmarkData(const fs::path &path) {
    if (path.empty()) return Plist();
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec).lexically_normal();
    struct stat st {};
    if (ec || ::stat(absolute.c_str(), &st) != 0) return Plist();
    std::string text = absolute.string();
    if (text.size() > 1 && text.back() == '/') text.pop_back();
    if (text.size() > kMaxPath) return Plist();
    std::string record(kMagic);
    PutBE(record, kVersion, 4);
    PutBE(record, static_cast<uint64_t>(st.st_dev), 8);
    PutBE(record, static_cast<uint64_t>(st.st_ino), 8);
    PutBE(record, text.size(), 4);
    record += text;
    return MakeData(record.data(), record.size());
}

std::optional<fs::path> ResolveBookmarkData(plist_t bookmark) {
    const auto data = DataValue(bookmark);
    if (!data || data->size() < kHeaderSize || !data->starts_with(kMagic)) return std::nullopt;
    if (GetBE(*data, 12, 4) != kVersion) return std::nullopt;
    const uint64_t length = GetBE(*data, 32, 4);
    if (length == 0 || length > kMaxPath || data->size() != kHeaderSize + length) return std::nullopt;
    const std::string path(data->substr(kHeaderSize));
    if (path.front() != '/' || path.find('\0') != std::string::npos) return std::nullopt;
    std::error_code ec;
    if (!fs::is_directory(path, ec)) return std::nullopt;
    return fs::path(path);
}

Plist CreateBookmarkDataFromAliasRecord(std::string_view) { return Plist(); }

}  // namespace kiv

extern "C" {

plist_t KIVCreateBookmarkDataForPath(const char *path) {
    if (!path) return nullptr;
    try {
        return kiv::CreateBookmarkData(path).release();
    } catch (...) {
        return nullptr;
    }
}

char *KIVCopyPathByResolvingBookmarkData(plist_t bookmark) {
    try {
        const auto path = kiv::ResolveBookmarkData(bookmark);
        return path ? strdup(path->c_str()) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

}  // extern "C"
