// UTF-8 validation and cutting.
#include <gtest/gtest.h>

#include "platform/Utf8.hpp"

using namespace kiv;

TEST(Utf8, ValidationRejectsMalformedSequences) {
    EXPECT_TRUE(IsValidUtf8("A3 \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // truncated
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\x80"));
}

TEST(Utf8, CutNeverSplitsACharacter) {
    const std::string euros = "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC";  // three 3-byte characters
    EXPECT_EQ(CutUtf8(euros, 9), euros);
    EXPECT_EQ(CutUtf8(euros, 8), euros.substr(0, 6));
    EXPECT_EQ(CutUtf8(euros, 2), "");
    EXPECT_EQ(CutUtf8("abc", 2), "ab");
}

TEST(Utf8, SanitizeKeepsTabsAndNewlines) {
    EXPECT_EQ(SanitizeForXml("a\tb\nc\rd"), "a\tb\nc\rd");
    EXPECT_EQ(SanitizeForXml(std::string("a\0b", 3)),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(SanitizeForXml("\xEF\xBF\xBF"), "\xEF\xBF\xBD");  // U+FFFF
    EXPECT_TRUE(IsXmlSafe("plain \xC3\xA9"));
    EXPECT_FALSE(IsXmlSafe("bell\x07"));
}
