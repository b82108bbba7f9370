// Preferences store: a per-process cache over one property-list file per domain.
#include "Preferences.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>
#include <mutex>
#include <string>
#include <vector>

#include <kiv/KIVPlatform.h>

namespace kiv {
namespace fs = std::filesystem;
namespace {

struct Domain {
    bool loaded = false;
    Plist values;                                 // the file as last read
    std::map<std::string, Plist> pending;         // a null Plist removes the key
};

std::mutex gMutex;
std::map<std::string, Domain> gDomains;  // keyed by file path

// Closes a descriptor on scope exit.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

bool WriteAll(int fd, const char *p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

enum class ReadResult { Missing, Ok, Unreadable };

// Reads a preferences file; a missing, oversized or corrupt file gives an empty dictionary.
ReadResult ReadFile(const fs::path &path, Plist &out) {
    out = MakeDict();
    Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
    struct stat st{};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uintmax_t>(st.st_size) > kMaxPreferencesFileSize) {
        return ReadResult::Unreadable;
    }
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t r = ::read(f.fd, bytes.data() + got, bytes.size() - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return ReadResult::Unreadable;
        got += static_cast<std::size_t>(r);
    }
    Plist parsed = ParseAny(bytes.data(), bytes.size());
    if (!IsDict(parsed.get())) return ReadResult::Unreadable;
    out = std::move(parsed);
    return ReadResult::Ok;
}

// Writes dict to path through a synced temporary file renamed over it.
bool WriteFileAtomically(const fs::path &path, plist_t dict) {
    const std::optional<std::string> xml = ToXml(dict);
    if (!xml) return false;
    std::string temp = (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
    Fd f{::mkstemp(temp.data())};
    if (f.fd < 0) return false;
    ::fchmod(f.fd, 0600);
    const bool ok = WriteAll(f.fd, xml->data(), xml->size()) && ::fsync(f.fd) == 0 &&
                    ::close(std::exchange(f.fd, -1)) == 0 && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    Fd dir{::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd >= 0) ::fsync(dir.fd);
    return true;
}

Domain *Lookup(std::string_view domain, fs::path &path) {
    auto p = PreferencesPath(domain);
    if (!p) return nullptr;
    path = *p;
    Domain &d = gDomains[path.string()];
    if (!d.loaded) {
        ReadFile(path, d.values);
        d.loaded = true;
    }
    return &d;
}

}  // namespace

std::optional<fs::path> PreferencesPath(std::string_view domain) {
    if (domain.empty() || domain.find('/') != std::string_view::npos || domain.front() == '.' ||
        domain.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    fs::path base;
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char *home = std::getenv("HOME");
        if (!home || !home[0]) return std::nullopt;
        base = fs::path(home) / ".config";
    }
    return base / (std::string(domain) + ".plist");
}

Plist CopyPreferenceValue(std::string_view domain, std::string_view key) {
    std::lock_guard lock(gMutex);
    fs::path path;
    Domain *d = Lookup(domain, path);
    if (!d) return Plist();
    const std::string k(key);
    if (auto it = d->pending.find(k); it != d->pending.end()) return Plist::Copy(it->second.get());
    return Plist::Copy(DictGet(d->values.get(), k.c_str()));
}

void SetPreferenceValue(std::string_view domain, std::string_view key, plist_t value) {
    std::lock_guard lock(gMutex);
    fs::path path;
    Domain *d = Lookup(domain, path);
    if (!d) return;
    d->pending[std::string(key)] = Plist::Copy(value);
}

std::optional<int64_t> GetPreferenceInteger(std::string_view domain, std::string_view key) {
    return IntegerValue(CopyPreferenceValue(domain, key).get());
}

bool SynchronizePreferences(std::string_view domain) {
    std::lock_guard lock(gMutex);
    fs::path path;
    Domain *d = Lookup(domain, path);
    if (!d) return false;

    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    const fs::path lockPath = path.string() + ".lock";
    Fd lockFd{::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
    if (lockFd.fd >= 0) {
        while (::flock(lockFd.fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }

    Plist current;
    const ReadResult read = ReadFile(path, current);
    if (d->pending.empty()) {
        d->values = std::move(current);
        return true;
    }
    if (lockFd.fd < 0) return false;  // cannot write without the lock either

    for (auto &[key, value] : d->pending) DictSet(current.get(), key.c_str(), Plist::Copy(value.get()));
    if (read == ReadResult::Unreadable) {
        // Keep what could not be read beside the new file instead of losing it.
        std::error_code ignored;
        fs::copy_file(path, path.string() + ".bad", fs::copy_options::overwrite_existing, ignored);
    }
    if (!WriteFileAtomically(path, current.get())) return false;
    d->pending.clear();
    d->values = std::move(current);
    return true;
}

void ResetPreferencesCache() {
    std::lock_guard lock(gMutex);
    gDomains.clear();
}

}  // namespace kiv

// ---- C interface -------------------------------------------------------------------------

extern "C" {

plist_t KIVPreferencesCopyAppValue(const char *key, const char *domain) {
    if (!key || !domain) return nullptr;
    return kiv::CopyPreferenceValue(domain, key).release();
}

void KIVPreferencesSetAppValue(const char *key, plist_t value, const char *domain) {
    if (!key || !domain) return;
    kiv::SetPreferenceValue(domain, key, value);
}

uint8_t KIVPreferencesAppSynchronize(const char *domain) {
    if (!domain) return 0;
    return kiv::SynchronizePreferences(domain) ? 1 : 0;
}

long KIVPreferencesGetAppIntegerValue(const char *key, const char *domain, uint8_t *valid) {
    std::optional<int64_t> v;
    if (key && domain) v = kiv::GetPreferenceInteger(domain, key);
    if (valid) *valid = v ? 1 : 0;
    return v ? static_cast<long>(*v) : 0;
}

}  // extern "C"
