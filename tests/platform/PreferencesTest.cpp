// Preferences store: pending values, merging synchronisation, damaged files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/Preferences.hpp"
#include "support/TempDir.hpp"

using namespace kiv;
using kivtest::ScopedConfigHome;

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
}

TEST(Preferences, OversizedFilesAreNotRead) {
    ScopedConfigHome home;
    std::string big = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><string>";
    big += std::string(kMaxPreferencesFileSize, 'x') + "</string></dict></plist>";
    kivtest::WriteFile(home.FileOf(kDomain), big);
    EXPECT_FALSE(CopyPreferenceValue(kDomain, "a"));
}

TEST(Preferences, FailedWritesKeepTheChangesPending) {
    ScopedConfigHome home;
    kivtest::WriteFile(home.path() / "file", "not a folder");
    setenv("XDG_CONFIG_HOME", (home.path() / "file").c_str(), 1);
    SetPreferenceValue(kDomain, "k", MakeInteger(1).get());
    EXPECT_FALSE(SynchronizePreferences(kDomain));
    EXPECT_EQ(*GetPreferenceInteger(kDomain, "k"), 1);
}

TEST(Preferences, DomainsThatCannotNameAFileAreRefused) {
    ScopedConfigHome home;
    for (const char *domain : {"", "../escape", ".hidden", "a/b"}) {
        EXPECT_FALSE(PreferencesPath(domain)) << domain;
        SetPreferenceValue(domain, "k", MakeInteger(1).get());
        EXPECT_FALSE(CopyPreferenceValue(domain, "k"));
        EXPECT_FALSE(SynchronizePreferences(domain));
    }
}

TEST(Preferences, FileIsReadableByAnotherXmlReader) {
    ScopedConfigHome home;
    SetPreferenceValue(kDomain, "neg", MakeInteger(-42).get());
    SetPreferenceValue(kDomain, "real", MakeReal(279.99266666666665).get());
    Plist dict = MakeDict();
    plist_dict_set_item(dict.get(), "name", plist_new_string("tab\there\x01\xFE"));
    SetPreferenceValue(kDomain, "dict", dict.get());
    ASSERT_TRUE(SynchronizePreferences(kDomain));
    const std::string out = kivtest::RunPython(
        "import plistlib, sys\n"
        "d = plistlib.load(open(sys.argv[1], 'rb'))\n"
        "print(d['neg'], repr(d['real']), ascii(d['dict']['name']))\n",
        home.FileOf(kDomain));
    EXPECT_EQ(out, "-42 279.99266666666665 'tab\\there\\ufffd\\ufffd'\n");
}
