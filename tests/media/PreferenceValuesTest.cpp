// Typed dictionary helpers and folder-location preferences.
#include <gtest/gtest.h>

#include <cstring>

#include "media/PreferenceValues.hpp"
#include "platform/Bookmark.hpp"
#include "platform/Preferences.hpp"
#include "support/TempDir.hpp"

using namespace kiv;

TEST(PreferenceValues, ReadingFallsBackOnAnythingUnusable) {
    Plist d = MakeDict();
    DictSet(d.get(), "int", MakeInteger(280));
    DictSet(d.get(), "ten", MakeReal(10.0));
    DictSet(d.get(), "half", MakeReal(12.5));
    DictSet(d.get(), "zero", MakeInteger(0));
    DictSet(d.get(), "big", MakeInteger(int64_t{1} << 33));
    DictSet(d.get(), "str", MakeString("true"));
    DictSet(d.get(), "one", MakeInteger(1));
    DictSet(d.get(), "yes", MakeBool(true));

    EXPECT_EQ(GetDoubleFromDictionaryWithChecking(nullptr, "int", 1.5, 12.7, 5000), 1.5);
    EXPECT_EQ(GetDoubleFromDictionaryWithChecking(d.get(), "int", 1.5, 12.7, 5000), 280.0);
    EXPECT_EQ(GetDoubleFromDictionaryWithChecking(d.get(), "ten", 1.5, 12.7, 5000), 1.5);
    EXPECT_EQ(GetDoubleFromDictionaryWithChecking(d.get(), "str", 1.5, 0, 5000), 1.5);
    EXPECT_EQ(GetSInt32FromDictionaryWithChecking(d.get(), "zero", 9, 1, 2147483647), 9);
    EXPECT_EQ(GetSInt32FromDictionaryWithChecking(d.get(), "half", 9, 1, 100), 9);
    EXPECT_EQ(GetSInt32FromDictionaryWithChecking(d.get(), "big", 9, 1, 2147483647), 9);
    EXPECT_EQ(GetSInt32FromDictionaryWithChecking(d.get(), "int", 9, 1, 2147483647), 280);
    EXPECT_TRUE(GetBooleanFromDictionary(d.get(), "yes", false));
    EXPECT_FALSE(GetBooleanFromDictionary(d.get(), "one", false));
    EXPECT_FALSE(GetBooleanFromDictionary(d.get(), "str", false));
}

TEST(PreferenceValues, Str255) {
    Plist d = MakeDict();
    const unsigned char fallback[] = {3, 'a', 'b', 'c'};
    const unsigned char empty[] = {0};
    Str255 out;
    std::memset(out, 0x55, sizeof out);
    GetStr255FromDictionary(d.get(), "none", empty, out);
    EXPECT_EQ(out[0], 0);
    GetStr255FromDictionary(d.get(), "none", fallback, out);
    EXPECT_EQ(std::memcmp(out, fallback, 4), 0);

    std::string longName;
    for (int i = 0; i < 128; ++i) longName += "\xC3\xA9";  // 256 bytes
    DictSet(d.get(), "long", MakeString(longName));
    GetStr255FromDictionary(d.get(), "long", fallback, out);
    EXPECT_EQ(out[0], 254);  // cut before the character that would be split
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out + 1), out[0]), longName.substr(0, 254));

    PutStr255InDictionary(d.get(), "name", fallback);
    EXPECT_EQ(*StringValue(DictGet(d.get(), "name")), "abc");
    const unsigned char invalid[] = {2, 0xC3, 0x28};
    PutStr255InDictionary(d.get(), "invalid", invalid);
    EXPECT_EQ(DictGet(d.get(), "invalid"), nullptr);
}

TEST(PreferenceValues, WritingKeepsAnExistingValue) {
    Plist d = MakeDict();
    PutSInt32InDictionary(d.get(), "n", 1);
    PutSInt32InDictionary(d.get(), "n", 2);
    PutDoubleInDictionary(d.get(), "n", 3.0);
    PutBooleanInDictionary(d.get(), "b", 7);
    EXPECT_EQ(*IntegerValue(DictGet(d.get(), "n")), 1);
    EXPECT_TRUE(*BoolValue(DictGet(d.get(), "b")));
    PutSInt32InDictionary(d.get(), "neg", -3);
    EXPECT_EQ(GetSInt32FromDictionaryWithChecking(d.get(), "neg", 0, -10, 10), -3);
}

TEST(PreferenceValues, FileLocations) {
    kivtest::ScopedConfigHome home;
    constexpr const char *domain = "com.example.location-test";
    EXPECT_FALSE(CopyFileLocationPreference(domain, "HotFolderBookmark", "HotFolder"));

    // An older path string converts, and is not written back.
    SetPreferenceValue(domain, "HotFolder", MakeString(home.path().string()).get());
    Plist converted = CopyFileLocationPreference(domain, "HotFolderBookmark", "HotFolder");
    ASSERT_TRUE(converted);
    EXPECT_EQ(*ResolveBookmarkData(converted.get()), home.path());
    EXPECT_FALSE(CopyPreferenceValue(domain, "HotFolderBookmark"));

    SetPreferenceValue(domain, "HotFolder", MakeString((home.path() / "gone").string()).get());
    EXPECT_FALSE(CopyFileLocationPreference(domain, "HotFolderBookmark", "HotFolder"));
    SetPreferenceValue(domain, "HotFolder", MakeData("alis", 4).get());
    EXPECT_FALSE(CopyFileLocationPreference(domain, "HotFolderBookmark", "HotFolder"));

    // The bookmark key wins, returned as stored.
    SetFileLocationPreference(domain, "HotFolderBookmark", MakeData("opaque", 6).get());
    SetFileLocationPreference(domain, "HotFolderBookmark", nullptr);
    EXPECT_EQ(*DataValue(CopyFileLocationPreference(domain, "HotFolderBookmark", "HotFolder").get()), "opaque");
}
