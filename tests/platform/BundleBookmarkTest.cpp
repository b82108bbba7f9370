// Bundles and folder bookmarks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <kiv/KIVPlatform.h>

#include "platform/Bookmark.hpp"
#include "support/TempDir.hpp"

using namespace kiv;
using kivtest::TempDir;

TEST(Bundle, NeedsAnInfoPlistWithAnIdentifier) {
    TempDir dir;
    EXPECT_EQ(KIVBundleCreate(dir.path().c_str()), nullptr);
    EXPECT_EQ(KIVBundleCreate((dir / "missing").c_str()), nullptr);
    EXPECT_EQ(KIVBundleCreate(nullptr), nullptr);
    kivtest::WriteFile(dir / "Info.plist", "<plist><dict><key>CFBundleName</key><string>x</string></dict></plist>");
    EXPECT_EQ(KIVBundleCreate(dir.path().c_str()), nullptr);
    kivtest::WriteFile(dir / "Info.plist", "not a property list");
    EXPECT_EQ(KIVBundleCreate(dir.path().c_str()), nullptr);

    kivtest::WriteInfoPlist(dir.path(), {{"CFBundleIdentifier", "com.example.b"}, {"CFBundleName", "Example"}});
    KIVBundleRef b = KIVBundleCreate(dir.path().c_str());
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(KIVBundleGetIdentifier(b), "com.example.b");
    EXPECT_EQ(*StringValue(KIVBundleGetValueForInfoDictionaryKey(b, "CFBundleName")), "Example");
    EXPECT_EQ(KIVBundleGetValueForInfoDictionaryKey(b, "Nope"), nullptr);
    EXPECT_EQ(std::string(KIVBundleGetPath(b)), dir.path().string());
    KIVBundleRelease(b);

    // A relative path of one character names a bundle as well.
    std::filesystem::create_directory(dir / "b");
    kivtest::WriteInfoPlist(dir / "b", {{"CFBundleIdentifier", "com.example.b"}});
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    KIVBundleRef one = KIVBundleCreate("b");
    std::filesystem::current_path(cwd);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(std::string(KIVBundleGetPath(one)), (dir / "b").string());
    KIVBundleRelease(one);
}

TEST(Bookmark, ResolvesToTheFolderWhileItExists) {
    TempDir dir;
    const auto folder = dir / "hot";
    std::filesystem::create_directory(folder);
    Plist bookmark(KIVCreateBookmarkDataForPath(folder.c_str()));
    ASSERT_TRUE(IsData(bookmark.get()));
    char *path = KIVCopyPathByResolvingBookmarkData(bookmark.get());
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path), folder.string());
    std::free(path);

    std::filesystem::remove(folder);
    EXPECT_FALSE(ResolveBookmarkData(bookmark.get()));
    EXPECT_EQ(KIVCreateBookmarkDataForPath(folder.c_str()), nullptr);
}

TEST(Bookmark, OnlyFoldersAndWellFormedRecordsResolve) {
    TempDir dir;
    kivtest::WriteFile(dir / "file", "x");
    Plist fileMark = CreateBookmarkData(dir / "file");
    ASSERT_TRUE(fileMark);
    EXPECT_FALSE(ResolveBookmarkData(fileMark.get()));

    Plist good = CreateBookmarkData(dir.path());
    const std::string bytes(*DataValue(good.get()));
    for (std::size_t cut : {std::size_t{0}, std::size_t{11}, std::size_t{36}, bytes.size() - 1}) {
        EXPECT_FALSE(ResolveBookmarkData(MakeData(bytes.data(), cut).get())) << cut;
    }
    std::string longer = bytes + "x";
    EXPECT_FALSE(ResolveBookmarkData(MakeData(longer.data(), longer.size()).get()));
    std::string version = bytes;
    version[15] = 2;
    EXPECT_FALSE(ResolveBookmarkData(MakeData(version.data(), version.size()).get()));
    EXPECT_FALSE(ResolveBookmarkData(MakeString("/tmp").get()));
    EXPECT_FALSE(CreateBookmarkDataFromAliasRecord("alis\0\0\0"));
}
