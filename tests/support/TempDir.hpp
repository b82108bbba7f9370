// Temporary folders and a private preferences home for tests.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/Commands.hpp"

namespace kivtest {

// A fresh folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kivtest.XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Sets an environment variable for the scope; a null value unsets it.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name) {
        if (const char *old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *name_;
    std::optional<std::string> old_;
};

// Points XDG_CONFIG_HOME at a fresh folder for the scope. Each new folder is a new file path,
// so the process's preferences cache starts empty for it too.
class ScopedConfigHome {
public:
    const std::filesystem::path &path() const { return dir_.path(); }
    std::filesystem::path FileOf(const std::string &domain) const { return dir_.path() / (domain + ".plist"); }

private:
    TempDir dir_;
    ScopedEnv env_{"XDG_CONFIG_HOME", dir_.path().c_str()};
};

// The paths in a folder, sorted; none when it does not exist.
inline std::vector<std::filesystem::path> FolderEntries(const std::filesystem::path &folder) {
    std::vector<std::filesystem::path> entries;
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(folder, ec)) entries.push_back(e.path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

inline void WriteFile(const std::filesystem::path &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A bundle's Info.plist holding the given string keys.
inline void WriteInfoPlist(const std::filesystem::path &bundle,
                           const std::vector<std::pair<std::string, std::string>> &keys) {
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>";
    for (const auto &[key, value] : keys) xml += "<key>" + key + "</key><string>" + value + "</string>";
    WriteFile(bundle / "Info.plist", xml + "</dict></plist>");
}

inline std::string ReadFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a Python snippet with the file path as argv[1]; returns what it printed.
inline std::string RunPython(const std::string &script, const std::filesystem::path &arg) {
    return RunCommand("python3 - '" + arg.string() + "' 2>&1 <<'EOF'\n" + script + "EOF\n").text;
}

}  // namespace kivtest
