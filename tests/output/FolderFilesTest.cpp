// Files in the hot folder: names, truncation, deletion and type/creator stamping.
#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>

#include "output/SetURLFinderInfo.hpp"
#include "support/TempDir.hpp"

using namespace kiv;
namespace fs = std::filesystem;

TEST(FolderFiles, UniqueNamesTakeTheFirstFreeCounter) {
    kivtest::TempDir dir;
    for (const char *name : {"Job.vad3", "Job_01.vad3", "Job_02.vad3", "Job_03.vad3", "Job_04.vad3"})
        kivtest::WriteFile(dir / name, "x");
    std::optional<fs::path> url;
    const int fd = CreateAndOpenUniqueFileInFolder(dir.path(), "Job", "vad3", 0666, url);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(*url, dir / "Job_05.vad3");
    ::close(fd);

    for (int i = 5; i <= 99; ++i) kivtest::WriteFile(dir / ("Job_" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".vad3"), "x");
    EXPECT_EQ(CreateAndOpenUniqueFileInFolder(dir.path(), "Job", "vad3", 0666, url), -1);
    EXPECT_FALSE(url);
    EXPECT_EQ(CreateAndOpenUniqueFileInFolder(dir / "missing", "Job", "vad3", 0666, url), -1);
    EXPECT_EQ(CreateAndOpenUniqueFileInFolder(dir.path(), "../escape", "vad3", 0666, url), -1);
    EXPECT_FALSE(fs::exists(dir.path().parent_path() / "escape.vad3"));
}

TEST(FolderFiles, AGivenNameReplacesTheFile) {
    kivtest::TempDir dir;
    kivtest::WriteFile(dir / "out.vad3", "old contents");
    std::optional<fs::path> url;
    const int fd = CreateFileInFolder(dir.path(), "out.vad3", 0666, url);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(fs::file_size(dir / "out.vad3"), 0u);
    EXPECT_EQ(*url, dir / "out.vad3");
    for (const char *bad : {"", ".", "..", "a/b"}) {
        EXPECT_EQ(CreateFileInFolder(dir.path(), bad, 0666, url), -1) << bad;
        EXPECT_FALSE(url);
    }
    EXPECT_EQ(DeleteFileAtURL(dir / "out.vad3"), 0);
    EXPECT_FALSE(fs::exists(dir / "out.vad3"));
    EXPECT_EQ(DeleteFileAtURL(dir / "out.vad3"), -1);
    EXPECT_EQ(DeleteFileAtURL(fs::path()), 2);
}

TEST(FolderFiles, StampingKeepsTheRestOfTheFinderInformation) {
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

    testing::internal::CaptureStderr();
    EXPECT_EQ(SetURLFinderInfo(dir.path(), "RIR2", "VAD3"), 22);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("is not a standard file."), std::string::npos);
    EXPECT_EQ(SetURLFinderInfo(fs::path(), "RIR2", "VAD3"), 1);
}

TEST(FolderFilesDeathTest, CodesMustBeFourCharacters) {
    kivtest::TempDir dir;
    kivtest::WriteFile(dir / "f", "x");
    EXPECT_DEATH(SetURLFinderInfo(dir / "f", "RIR2", "VAD"), "strlen\\(fileType\\) == 4");
}
