// Bundles: a directory with Info.plist and Resources/.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <kiv/KIVPlatform.h>

#include "Plist.hpp"

struct KIVBundle {
    std::string path;
    kiv::Plist info;
    std::string identifier;
};

namespace {

constexpr std::uintmax_t kMaxInfoPlistSize = 1u << 20;

kiv::Plist ReadInfoPlist(const std::filesystem::path &file) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || size > kMaxInfoPlistSize) return kiv::Plist();
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in) return kiv::Plist();
    const std::string text = bytes.str();
    return kiv::ParseAny(text.data(), text.size());
}

}  // namespace

extern "C" {

KIVBundleRef KIVBundleCreate(const char *bundleDirectory) {
    if (!bundleDirectory || !bundleDirectory[0]) return nullptr;
    try {
        std::error_code ec;
        const auto dir = std::filesystem::absolute(bundleDirectory, ec).lexically_normal();
        if (ec || !std::filesystem::is_directory(dir, ec)) return nullptr;
        kiv::Plist info = ReadInfoPlist(dir / "Info.plist");
        const auto identifier = kiv::StringValue(kiv::DictGet(info.get(), "CFBundleIdentifier"));
        if (!identifier || identifier->empty()) return nullptr;
        auto bundle = std::make_unique<KIVBundle>();
        bundle->path = dir.string();
        if (bundle->path.size() > 1 && bundle->path.back() == '/') bundle->path.pop_back();
        bundle->identifier = *identifier;
        bundle->info = std::move(info);
        return bundle.release();
    } catch (...) {
        return nullptr;
    }
}

void KIVBundleRelease(KIVBundleRef bundle) { std::unique_ptr<KIVBundle> owned(bundle); }

const char *KIVBundleGetIdentifier(KIVBundleRef bundle) { return bundle ? bundle->identifier.c_str() : nullptr; }

const char *KIVBundleGetPath(KIVBundleRef bundle) { return bundle ? bundle->path.c_str() : nullptr; }

plist_t KIVBundleGetValueForInfoDictionaryKey(KIVBundleRef bundle, const char *key) {
    return bundle ? kiv::DictGet(bundle->info.get(), key) : nullptr;
}

}  // extern "C"
