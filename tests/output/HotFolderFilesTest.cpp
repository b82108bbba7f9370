// Files in the hot folder: nothing visible until published, unique and replacing names, the
// sweep of crash leftovers, names made from job names, and type/creator stamping.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "output/FileIO.hpp"
#include "output/HotFolderFiles.hpp"
#include "support/TempDir.hpp"

using namespace kiv;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const fs::path &folder) {
    std::vector<std::string> names;
    for (const fs::path &e : kivtest::FolderEntries(folder)) names.push_back(e.filename());
    return names;
}

// Both ways of writing without a name: O_TMPFILE, and the hidden temporary file.
class HotFolderFiles : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { gFileIO.unnamedFiles = GetParam(); }
    void TearDown() override { gFileIO = SystemFileIO(); }

    // A pending file holding text.
    void Open(PendingFile &file, const std::string &text) {
        ASSERT_EQ(OpenPendingFile(dir_.path(), 0666, file), 0);
        ASSERT_EQ(::write(file.fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    kivtest::TempDir dir_;
};

}  // namespace

TEST_P(HotFolderFiles, NothingIsVisibleUntilPublishedUnderTheFirstFreeName) {
    for (const char *name : {"Job.vad3", "Job_01.vad3", "Job_02.vad3"}) kivtest::WriteFile(dir_ / name, "x");
    PendingFile file;
    Open(file, "complete");
    // Nothing but a hidden temporary name (where there is no O_TMPFILE) shows up meanwhile.
    EXPECT_EQ(Names(dir_.path()).size(), GetParam() ? 3u : 4u);
    fs::path published;
    ASSERT_EQ(PublishUnique(file, "Job", "vad3", published), 0);
    EXPECT_EQ(published, dir_ / "Job_03.vad3");
    EXPECT_EQ(kivtest::ReadFile(published), "complete");
    EXPECT_EQ(Names(dir_.path()), (std::vector<std::string>{"Job.vad3", "Job_01.vad3", "Job_02.vad3", "Job_03.vad3"}));
    EXPECT_EQ(file.fd, -1);
}

TEST_P(HotFolderFiles, AllHundredNamesTakenIsEExistAndLeavesNothing) {
    for (int i = 0; i <= 99; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, i ? "Job_%02d.vad3" : "Job.vad3", i);
        kivtest::WriteFile(dir_ / name, "x");
    }
    PendingFile file;
    Open(file, "late");
    EXPECT_FALSE(HasFreeUniqueName(file, "Job", "vad3"));
    EXPECT_TRUE(HasFreeUniqueName(file, "Other", "vad3"));
    fs::remove(dir_ / "Job.vad3");  // the plain name is one of the hundred too
    EXPECT_TRUE(HasFreeUniqueName(file, "Job", "vad3"));
    kivtest::WriteFile(dir_ / "Job.vad3", "x");
    fs::path published;
    EXPECT_EQ(PublishUnique(file, "Job", "vad3", published), EEXIST);
    DiscardPendingFile(file);
    EXPECT_EQ(Names(dir_.path()).size(), 100u);
}

TEST_P(HotFolderFiles, AGivenNameIsReplacedOnlyWhenComplete) {
    kivtest::WriteFile(dir_ / "out.vad3", "old contents");
    PendingFile file;
    Open(file, "new");
    EXPECT_EQ(kivtest::ReadFile(dir_ / "out.vad3"), "old contents");
    fs::path published;
    for (const char *bad : {"", ".", "..", "a/b"}) EXPECT_EQ(PublishReplacing(file, bad, published), EINVAL) << bad;
    ASSERT_EQ(PublishReplacing(file, "out.vad3", published), 0);
    EXPECT_EQ(kivtest::ReadFile(dir_ / "out.vad3"), "new");
    EXPECT_EQ(Names(dir_.path()), std::vector<std::string>{"out.vad3"});
}

TEST_P(HotFolderFiles, DiscardedAndDroppedFilesLeaveNothing) {
    {
        PendingFile dropped;
        Open(dropped, "never named");
        PendingFile discarded;
        Open(discarded, "never named");
        DiscardPendingFile(discarded);
    }
    EXPECT_TRUE(Names(dir_.path()).empty());
    PendingFile file;
    EXPECT_EQ(OpenPendingFile(dir_ / "missing", 0666, file), ENOENT);
    EXPECT_EQ(OpenPendingFile(fs::path(), 0666, file), EINVAL);
    if (::geteuid() != 0) {
        ::chmod(dir_.path().c_str(), 0555);
        EXPECT_EQ(OpenPendingFile(dir_.path(), 0666, file), EACCES);
        ::chmod(dir_.path().c_str(), 0755);
    }
}

TEST_P(HotFolderFiles, AFailedSyncKeepsTheFileUnnamed) {
    gFileIO.fsync = [](int) {
        errno = EIO;
        return -1;
    };
    PendingFile file;
    Open(file, "x");
    fs::path published;
    EXPECT_EQ(PublishUnique(file, "Job", "vad3", published), EIO);
    DiscardPendingFile(file);
    EXPECT_TRUE(Names(dir_.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Unnamed, HotFolderFiles, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "TmpFile" : "HiddenName"; });

TEST(HotFolderSweep, RemovesOnlyOldTemporariesNoWriterHolds) {
    kivtest::TempDir dir;
    const auto age = [&](const char *name, int seconds) {
        kivtest::WriteFile(dir / name, "left over");
        const timespec old[2] = {{time(nullptr) - seconds, 0}, {time(nullptr) - seconds, 0}};
        ::utimensat(AT_FDCWD, (dir / name).c_str(), old, 0);
    };
    age(".vad3-aaaaaaaaaaaa", kStaleTemporarySeconds + 60);  // a crash's leftover
    age(".vad3-bbbbbbbbbbbb", kStaleTemporarySeconds - 60);  // may still be written
    age(".vad3-cccccccccccc", kStaleTemporarySeconds + 60);  // old but held by a writer
    age(".other", kStaleTemporarySeconds + 60);
    age("Job.vad3", kStaleTemporarySeconds + 60);
    const int held = ::open((dir / ".vad3-cccccccccccc").c_str(), O_RDWR);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    PendingFile file;  // any new job in the folder sweeps it
    ASSERT_EQ(OpenPendingFile(dir.path(), 0666, file), 0);
    DiscardPendingFile(file);
    ::close(held);
    EXPECT_EQ(Names(dir.path()),
              (std::vector<std::string>{".other", ".vad3-bbbbbbbbbbbb", ".vad3-cccccccccccc", "Job.vad3"}));
}

TEST(HotFolderNames, JobNamesBecomeVisibleSafeFileNames) {
    const struct {
        std::string job, file;
    } cases[] = {
        {"Q1/Q2", "Q1_Q2"},
        {"a\nb\x1b[31m\a", "a_b_[31m_"},
        {".", "_"},
        {".x", "_x"},
        {"..", "_."},
        {"", "Untitled"},
        {"bad \xFF byte", "bad \xEF\xBF\xBD byte"},
        {"c1 \xC2\x85 control", "c1 _ control"},
        {"\xC2\x80\xC2\x9F\xC2\xA0", "__\xC2\xA0"},  // U+0080 and U+009F, not the no-break space
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        {"invoice\xE2\x80\xAE"
         "fdp.exe",
         "invoice_fdp.exe"},  // U+202E
        {"\xE2\x80\xAA"
         "a\xE2\x81\xA6"
         "b\xE2\x81\xA9",
         "_a_b_"},                                                                         // U+202A, U+2066, U+2069
        {"\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xAA", "\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xAA"},  // neighbours kept
    };
    for (const auto &c : cases) EXPECT_EQ(JobFileBaseName(c.job, "vad3"), c.file) << c.job;

    // The longest suffix, "_99.vad3", always fits NAME_MAX; a cut never splits a character.
    for (std::size_t n = 240; n <= 260; ++n) {
        for (const std::string unit : {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x96\xA8"}) {
            std::string job;
            while (job.size() + unit.size() <= n) job += unit;
            const std::string name = JobFileBaseName(job, "vad3");
            EXPECT_LE(name.size() + 8, static_cast<std::size_t>(NAME_MAX)) << n;
            EXPECT_EQ(name.size() % unit.size(), 0u) << n;
            EXPECT_EQ(job.compare(0, name.size(), name), 0) << n;
        }
    }
}

TEST(HotFolderStamp, StampingKeepsTheRestOfTheFinderInformation) {
    kivtest::TempDir dir;
    const fs::path file = dir / "f.vad3";
    kivtest::WriteFile(file, "x");
    unsigned char before[32];
    for (int i = 0; i < 32; ++i) before[i] = static_cast<unsigned char>(100 + i);
    if (::setxattr(file.c_str(), kFinderInfoAttribute, before, 32, 0) != 0) {
        EXPECT_EQ(SetURLFinderInfo(file, "RIR2", "VAD3"), errno);
        GTEST_SKIP() << "no user extended attributes here";
    }
    ASSERT_EQ(SetURLFinderInfo(file, "RIR2", "VAD3"), 0);
    unsigned char after[32];
    ASSERT_EQ(::getxattr(file.c_str(), kFinderInfoAttribute, after, 32), 32);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(after), 8), "VAD3RIR2");
    EXPECT_EQ(std::memcmp(after + 8, before + 8, 24), 0);

    EXPECT_EQ(SetURLFinderInfo(dir.path(), "RIR2", "VAD3"), 22);
    EXPECT_EQ(SetURLFinderInfo(fs::path(), "RIR2", "VAD3"), 1);
    EXPECT_EQ(DeleteFileAtURL(file), 0);
    EXPECT_EQ(DeleteFileAtURL(file), -1);
    EXPECT_EQ(DeleteFileAtURL(fs::path()), 2);
}

TEST(HotFolderStampDeathTest, CodesMustBeFourCharacters) {
    kivtest::TempDir dir;
    kivtest::WriteFile(dir / "f", "x");
    EXPECT_DEATH(SetURLFinderInfo(dir / "f", "RIR2", "VAD"), "strlen\\(fileType\\) == 4");
}
