// Memory handles.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include <kiv/KIVPlatform.h>

TEST(Handle, NewAndResizedHandlesKeepThePrefixAndZeroFillTheRest) {
    Handle h = NewHandle(64);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetHandleSize(h), 64);
    for (int i = 0; i < 64; ++i) EXPECT_EQ((*h)[i], 0);
    std::memcpy(*h, "abcd", 4);
    SetHandleSize(h, 2);
    SetHandleSize(h, 6);
    ASSERT_EQ(GetHandleSize(h), 6);
    EXPECT_EQ(std::memcmp(*h, "ab\0\0\0\0", 6), 0);
    EXPECT_EQ(KIVHandleError(), 0);
    // A failed resize leaves the size as it was.
    const struct {
        long size;
        int16_t error;
    } refused[] = {{LONG_MAX, -108}, {-3, -50}};
    for (const auto &c : refused) {
        SetHandleSize(h, c.size);
        EXPECT_EQ(GetHandleSize(h), 6);
        EXPECT_EQ(KIVHandleError(), c.error);
    }
    DisposeHandle(h);
    EXPECT_EQ(NewHandle(-1), nullptr);
    EXPECT_EQ(GetHandleSize(nullptr), 0);
    DisposeHandle(nullptr);
}

TEST(Handle, LockedHandlesDoNotMove) {
    Handle h = NewHandle(16);
    const signed char before = HGetState(h);
    HLock(h);
    char *data = *h;
    SetHandleSize(h, 1 << 20);
    EXPECT_EQ(GetHandleSize(h), 16);
    EXPECT_EQ(KIVHandleError(), -117);
    SetHandleSize(h, 8);
    EXPECT_EQ(GetHandleSize(h), 8);
    EXPECT_EQ(*h, data);
    HSetState(h, before);
    SetHandleSize(h, 1 << 20);
    EXPECT_EQ(GetHandleSize(h), 1 << 20);
    DisposeHandle(h);
}
