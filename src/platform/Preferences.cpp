// Preferences store: a per-process cache over one property-list file per domain.
#include "Preferences.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>
#include <mutex>
#include <string>
#include <vector>

#include <kiv/KIVPlatform.h>
#include "Diagnostics.hpp"

namespace kiv {
namespace fs = std::filesystem;
namespace {

struct Domain {
    bool loaded = false;
    Plist values;                          // the file as last read
    std::map<std::string, Plist> pending;  // a null Plist removes the key
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

// Missing and Damaged (read, but not a property-list dictionary) read as empty; Failed is any
// other trouble (no permission, not a regular file, too large, an I/O error): such a file
// may hold good values that this process cannot see, so it must not be overwritten.
enum class ReadResult { Missing, Ok, Damaged, Failed };

struct FileContents {
    ReadResult result = ReadResult::Missing;
    Plist values;
    std::string bytes;  // as read, for the backup of a damaged file
    int error = 0;      // of a failed read
};

FileContents ReadFile(const fs::path &path) {
    FileContents file;
    file.values = MakeDict();
    // O_NONBLOCK: a FIFO or device in the file's place must not hang the program.
    Fd f{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (f.fd < 0) {
        file.result = errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
        file.error = errno;
        return file;
    }
    file.result = ReadResult::Failed;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) {
        file.error = errno;
        return file;
    }
    if (!S_ISREG(st.st_mode)) {
        file.error = EINVAL;
        return file;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > kMaxPreferencesFileSize) {
        file.error = EFBIG;
        return file;
    }
    file.bytes.assign(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < file.bytes.size()) {
        const ssize_t r = ::read(f.fd, file.bytes.data() + got, file.bytes.size() - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            file.error = errno;
            return file;
        }
        if (r == 0) break;  // shrunk meanwhile: parse what is there
        got += static_cast<std::size_t>(r);
    }
    file.bytes.resize(got);
    Plist parsed = ParseAny(file.bytes.data(), file.bytes.size());
    if (!IsDict(parsed.get())) {
        file.result = ReadResult::Damaged;
        return file;
    }
    file.values = std::move(parsed);
    file.result = ReadResult::Ok;
    return file;
}

// The file a preferences path stands for: symbolic links followed (dotfile managers link
// the file into place), so that writing replaces the target and keeps the link.
fs::path WriteTarget(const fs::path &path) {
    fs::path target = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(target, ec)) break;
        const fs::path next = fs::read_symlink(target, ec);
        if (ec) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

// Keeps a damaged file's bytes under a name no earlier backup has: "<file>.bad", then
// "<file>.bad-2", "<file>.bad-3" …
bool BackUpDamaged(const fs::path &path, const std::string &bytes) {
    for (int n = 1; n < 1000; ++n) {
        const fs::path backup = path.string() + (n == 1 ? ".bad" : ".bad-" + std::to_string(n));
        Fd f{::open(backup.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)};
        if (f.fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        if (WriteAll(f.fd, bytes.data(), bytes.size()) && ::fsync(f.fd) == 0) return true;
        ::unlink(backup.c_str());
        return false;
    }
    return false;
}

void Complain(const fs::path &path, const char *what, int error) {
    Diagnose("Preferences: %s %s: %s", what, path.c_str(), std::strerror(error));
}

// Writes dict to path through a synced temporary file renamed over it.
bool WriteFileAtomically(const fs::path &path, plist_t dict) {
    const std::optional<std::string> xml = ToXml(dict);
    if (!xml) return false;
    std::string temp = (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
    Fd f{::mkostemp(temp.data(), O_CLOEXEC)};
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
        d.values = ReadFile(path).values;
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

    const fs::path target = WriteTarget(path);
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    const fs::path lockPath = target.string() + ".lock";
    Fd lockFd{::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
    if (lockFd.fd >= 0) {
        while (::flock(lockFd.fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }

    FileContents current = ReadFile(target);
    if (d->pending.empty()) {
        d->values = std::move(current.values);
        return true;
    }
    if (lockFd.fd < 0) return false;  // cannot write without the lock either
    if (current.result == ReadResult::Failed) {
        Complain(target, "cannot read", current.error);
        return false;  // its values may be good: never replace what could not be read
    }
    // A damaged file is kept beside the new one instead of being lost.
    if (current.result == ReadResult::Damaged && !BackUpDamaged(target, current.bytes)) {
        Complain(target, "cannot keep a copy of the damaged file", errno);
        return false;
    }
    for (auto &[key, value] : d->pending) DictSet(current.values.get(), key.c_str(), Plist::Copy(value.get()));
    if (!WriteFileAtomically(target, current.values.get())) return false;
    d->pending.clear();
    d->values = std::move(current.values);
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
