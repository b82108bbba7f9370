// Preferences store: pending values, merging synchronisation, damaged files.
#include <gtest/gtest.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/Preferences.hpp"
#include "support/TempDir.hpp"

using namespace kiv;
using kivtest::ScopedConfigHome;
using namespace std::string_literals;

namespace {
constexpr const char *kDomain = "com.example.prefs-test";

// Runs body in a child process (another "application" of the same user).
void InChild(const std::function<void()> &body) {
    const pid_t pid = fork();
    if (pid == 0) {
        ResetPreferencesCache();
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
}  // namespace

TEST(Preferences, ValuesArePendingUntilSynchronised) {
    ScopedConfigHome home;
    SetPreferenceValue(kDomain, "k", MakeInteger(7).get());
    EXPECT_EQ(*GetPreferenceInteger(kDomain, "k"), 7);
    EXPECT_FALSE(std::filesystem::exists(home.FileOf(kDomain)));
    ASSERT_TRUE(SynchronizePreferences(kDomain));
    EXPECT_TRUE(std::filesystem::exists(home.FileOf(kDomain)));

    ResetPreferencesCache();
    EXPECT_EQ(*GetPreferenceInteger(kDomain, "k"), 7);
    SetPreferenceValue(kDomain, "k", nullptr);
    ASSERT_TRUE(SynchronizePreferences(kDomain));
    ResetPreferencesCache();
    EXPECT_FALSE(CopyPreferenceValue(kDomain, "k"));
}

TEST(Preferences, TwoProcessesKeepEachOthersKeys) {
    ScopedConfigHome home;
    SetPreferenceValue(kDomain, "mine", MakeString("parent").get());
    // The child writes its own key after this process read the (empty) file.
    InChild([] {
        SetPreferenceValue(kDomain, "theirs", MakeString("child").get());
        if (!SynchronizePreferences(kDomain)) _exit(1);
    });
    ASSERT_TRUE(SynchronizePreferences(kDomain));
    EXPECT_EQ(*StringValue(CopyPreferenceValue(kDomain, "theirs").get()), "child");
    EXPECT_EQ(*StringValue(CopyPreferenceValue(kDomain, "mine").get()), "parent");
    // No temporary files are left behind.
    int files = 0;
    for (const auto &e : std::filesystem::directory_iterator(home.path())) {
        files += e.path().extension() == ".plist" ? 1 : 0;
        EXPECT_FALSE(e.path().filename().string().starts_with(".")) << e.path();
    }
    EXPECT_EQ(files, 1);
}

TEST(Preferences, AProcessWithoutStandardInputKeepsItsPreferences) {
    ScopedConfigHome home;
    SetPreferenceValue(kDomain, "k", MakeInteger(5).get());
    ASSERT_TRUE(SynchronizePreferences(kDomain));
    // With descriptor 0 free, the file read and the lock taken there get it.
    InChild([] {
        ::close(STDIN_FILENO);
        if (GetPreferenceInteger(kDomain, "k") != 5) _exit(1);
        SetPreferenceValue(kDomain, "k", MakeInteger(6).get());
        if (!SynchronizePreferences(kDomain)) _exit(2);
    });
    ResetPreferencesCache();
    EXPECT_EQ(*GetPreferenceInteger(kDomain, "k"), 6);
}

TEST(Preferences, DamagedFilesReadAsEmptyAndAreNotLost) {
    ScopedConfigHome home;
    const auto file = home.FileOf(kDomain);
    const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>a</key>";
    kivtest::WriteFile(file, garbage);
    EXPECT_FALSE(CopyPreferenceValue(kDomain, "a"));
    ASSERT_TRUE(SynchronizePreferences(kDomain));
    EXPECT_EQ(kivtest::ReadFile(file), garbage);  // nothing set: left alone

    SetPreferenceValue(kDomain, "b", MakeBool(true).get());
    ASSERT_TRUE(SynchronizePreferences(kDomain));
    EXPECT_EQ(kivtest::ReadFile(file.string() + ".bad"), garbage);
    ResetPreferencesCache();
    EXPECT_TRUE(*BoolValue(CopyPreferenceValue(kDomain, "b").get()));

    // A second damage never overwrites the first backup.
    kivtest::WriteFile(file, "second garbage");
    SetPreferenceValue(kDomain, "c", MakeBool(true).get());
    ASSERT_TRUE(SynchronizePreferences(kDomain));
    EXPECT_EQ(kivtest::ReadFile(file.string() + ".bad"), garbage);
    EXPECT_EQ(kivtest::ReadFile(file.string() + ".bad-2"), "second garbage");
}

TEST(Preferences, FilesThatCannotBeReadAreNeverReplaced) {
    // As a user without root's privileges, where permissions hold.
    ScopedConfigHome home;
    const auto file = home.FileOf(kDomain);
    const std::string good = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><true/></dict></plist>";
    if (::geteuid() == 0 && ::chown(home.path().c_str(), 65534, 65534) != 0)
        GTEST_SKIP() << "cannot hand over the folder";
    const auto asUser = [&](const std::function<void()> &body) {
        InChild([&] {
            if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                                     ::setresuid(65534, 65534, 65534) != 0)) {
                _exit(2);
            }
            ::alarm(10);  // a FIFO must not hang us
            body();
            if (::testing::Test::HasFailure()) _exit(1);
        });
    };
    const auto chownToUser = [&](const std::filesystem::path &p) {
        if (::geteuid() == 0) {
            ASSERT_EQ(::lchown(p.c_str(), 65534, 65534), 0);
        }
    };

    // Unreadable, or a FIFO in its place: refused without blocking; nothing is written, not
    // even a backup.
    const auto refused = [] {
        EXPECT_FALSE(CopyPreferenceValue(kDomain, "a"));
        SetPreferenceValue(kDomain, "b", MakeBool(true).get());
        EXPECT_FALSE(SynchronizePreferences(kDomain));
    };
    kivtest::WriteFile(file, good);
    chownToUser(file);
    ::chmod(file.c_str(), 0);
    asUser(refused);
    ::chmod(file.c_str(), 0600);
    EXPECT_EQ(kivtest::ReadFile(file), good);
    EXPECT_FALSE(std::filesystem::exists(file.string() + ".bad"));
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    chownToUser(file);
    asUser(refused);
    EXPECT_TRUE(std::filesystem::is_fifo(file));

    // A symbolic link: the target is updated, the link stays.
    std::filesystem::remove(file);
    std::filesystem::create_directory(home.path() / "dotfiles");
    chownToUser(home.path() / "dotfiles");
    kivtest::WriteFile(home.path() / "dotfiles" / "prefs.plist", good);
    chownToUser(home.path() / "dotfiles" / "prefs.plist");
    std::filesystem::create_symlink("dotfiles/prefs.plist", file);
    chownToUser(file);
    asUser([] {
        SetPreferenceValue(kDomain, "b", MakeBool(true).get());
        EXPECT_TRUE(SynchronizePreferences(kDomain));
    });
    EXPECT_TRUE(std::filesystem::is_symlink(file));
    ResetPreferencesCache();
    EXPECT_TRUE(*BoolValue(CopyPreferenceValue(kDomain, "a").get()));
    EXPECT_TRUE(*BoolValue(CopyPreferenceValue(kDomain, "b").get()));
}

TEST(Preferences, OversizedFilesAreNotRead) {
    ScopedConfigHome home;
    std::string big = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><string>";
    big += std::string(kMaxPreferencesFileSize, 'x') + "</string></dict></plist>";
    kivtest::WriteFile(home.FileOf(kDomain), big);
    EXPECT_FALSE(CopyPreferenceValue(kDomain, "a"));
}

TEST(Preferences, FailedWritesKeepTheChangesPendingAndTheFileWhole) {
    ScopedConfigHome home;
    SetPreferenceValue(kDomain, "k", MakeInteger(1).get());
    ASSERT_TRUE(SynchronizePreferences(kDomain));
    const std::string before = kivtest::ReadFile(home.FileOf(kDomain));
    // A disk that fills up (files may not grow past 1 KiB): refused, not retried for ever.
    InChild([] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::alarm(10);
        SetPreferenceValue(kDomain, "big", MakeString(std::string(4096, 'x')).get());
        if (SynchronizePreferences(kDomain) || *GetPreferenceInteger(kDomain, "k") != 1) _exit(1);
    });
    EXPECT_EQ(kivtest::ReadFile(home.FileOf(kDomain)), before);

    kivtest::WriteFile(home.path() / "file", "not a folder");
    setenv("XDG_CONFIG_HOME", (home.path() / "file").c_str(), 1);
    SetPreferenceValue(kDomain, "k", MakeInteger(2).get());
    EXPECT_FALSE(SynchronizePreferences(kDomain));
    EXPECT_EQ(*GetPreferenceInteger(kDomain, "k"), 2);
}

TEST(Preferences, TheFileIsInTheUsersConfigurationFolder) {
    const struct {
        const char *xdg, *home, *file;
    } cases[] = {{"/xdg", "/home/u", "/xdg/d.plist"},
                 {"relative", "/home/u", "/home/u/.config/d.plist"},  // only an absolute XDG_CONFIG_HOME counts
                 {nullptr, "/home/u", "/home/u/.config/d.plist"},
                 {"", "/home/u", "/home/u/.config/d.plist"},
                 {nullptr, nullptr, nullptr},
                 {nullptr, "", nullptr}};
    for (const auto &c : cases) {
        kivtest::ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg), home("HOME", c.home);
        const auto path = PreferencesPath("d");
        EXPECT_EQ(path ? path->string() : "none", c.file ? c.file : "none") << (c.xdg ? c.xdg : "(unset)");
    }
}

TEST(Preferences, DomainsThatCannotNameAFileAreRefused) {
    ScopedConfigHome home;
    for (const std::string &domain : {""s, "../escape"s, ".hidden"s, "a/b"s, "a\0b"s}) {
        EXPECT_FALSE(PreferencesPath(domain)) << domain;
        SetPreferenceValue(domain, "k", MakeInteger(1).get());
        EXPECT_FALSE(CopyPreferenceValue(domain, "k"));
        EXPECT_FALSE(SynchronizePreferences(domain));
    }
}
