// The driver session: open and close, the sticky status, job name and error text.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "support/DriverFixture.hpp"

using namespace kiv;
using kivtest::DriverFixture;

using DriverSession = DriverFixture;

TEST_F(DriverSession, OpenLoadsTheBuiltInCataloguesAndRefusesBadArguments) {
    DriverRecord &r = Open();
    EXPECT_EQ(r.mPixelFormat, 32);
    EXPECT_EQ(r.mJobName, "Untitled");
    ASSERT_EQ(CountPaper(*r.mPapers), 2);
    EXPECT_EQ(GetPaper(*r.mPapers, DefaultPaperIndex(*r.mPapers)).name, "A3");
    ASSERT_EQ(CountResolution(*r.mResolutions), 3);
    EXPECT_EQ(GetResolution(*r.mResolutions, DefaultResolution(*r.mResolutions)).name, "300");

    DriverRecord *none = reinterpret_cast<DriverRecord *>(1);
    EXPECT_EQ(KIVPrOpen(nullptr, &none), -50);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(KIVPrOpen(bundle_, nullptr), -50);
    EXPECT_EQ(KIVPrClose(nullptr), -50);
    gCatalogueAllocationFailures = 2;  // the catalogue and its built-in fallback
    EXPECT_EQ(KIVPrOpen(bundle_, &none), -108);
    EXPECT_EQ(none, nullptr);
    gCatalogueAllocationFailures = 0;
}

TEST_F(DriverSession, TheFirstStopIsStickyAndDecidesTheClose) {
    // Each step is a result folded in (a host error when host is set); the first that is not
    // 0 stops the session, and gated calls then do nothing.
    const struct {
        std::vector<std::pair<int16_t, bool>> steps;
        uint32_t state;
        int16_t error;
        int32_t close;
    } cases[] = {
        {{{0, false}}, kStateRunning, 0, 0},
        {{{-128, false}, {-50, false}}, kStateCancelled, -128, 0},  // a cancel is no error at close
        {{{ENOSPC, false}, {-50, false}}, kStateFailed, ENOSPC, ENOSPC},
        {{{-39, true}, {-1, true}}, kStateHostError, -39, -39},
        {{{0, true}}, kStateHostError, 0, 0},  // the host stops without an error
    };
    for (const auto &c : cases) {
        DriverRecord &r = Open();
        for (const auto &[status, host] : c.steps) {
            if (host) {
                KIVPrSetError(record_, status);
            } else {
                EXPECT_EQ(FoldResult(r, status), c.error);
            }
        }
        EXPECT_EQ(r.mState, c.state) << c.steps[0].first;
        EXPECT_EQ(KIVPrSetJobName(record_, handle_, "x"), c.error);  // not gated: the stored error
        if (c.state != kStateRunning) {
            EXPECT_FALSE(KIVPrValidate(record_, handle_));
            EXPECT_EQ(GetHandleSize(handle_), 0);  // the gated call did nothing
        }
        EXPECT_EQ(KIVPrClose(std::exchange(record_, nullptr)), c.close) << c.steps[0].first;
    }
}

TEST_F(DriverSession, ErrorStrings) {
    unsigned char message[256];
    const auto text = [&] { return std::string(reinterpret_cast<char *>(message + 1), message[0]); };
    KIVPrErrorString(nullptr, -128, message);
    EXPECT_EQ(text(), "Printing cancelled by user");
    for (int32_t code : {-50, 0}) {
        KIVPrErrorString(nullptr, code, message);
        EXPECT_EQ(text(), "An error ocurred while printing");
    }
    // The session's stored failure comes with its cause.
    const struct {
        int16_t status;
        const char *text;
    } causes[] = {{-108, "An error ocurred while printing: out of memory"},
                  {ENOSPC, "An error ocurred while printing: No space left on device"},
                  {-157, "An error ocurred while printing: a band in the wrong pixel format"}};
    for (const auto &c : causes) {
        FoldResult(Open(), c.status);
        KIVPrErrorString(record_, c.status, message);
        EXPECT_EQ(text(), c.text);
        KIVPrClose(std::exchange(record_, nullptr));
    }
}

TEST_F(DriverSession, SuggestedPageAndJobName) {
    DriverRecord &r = Open();
    const PageGeometry page{100, 200, 10.0, 20.0};
    KIVPrSuggestPage(record_, handle_, &page, 8);
    KIVPrSuggestPage(record_, handle_, nullptr, 0);  // keeps what is not given
    EXPECT_EQ(r.mPixelFormat, 8);
    EXPECT_EQ(std::memcmp(&r.mSuggestedPage, &page, sizeof page), 0);

    EXPECT_EQ(KIVPrSetJobName(record_, handle_, "Poster \xC3\xA9t\xC3\xA9"), 0);
    KIVPrSetJobName(record_, handle_, r.mJobName.c_str());  // the name it already holds
    EXPECT_EQ(r.mJobName, "Poster \xC3\xA9t\xC3\xA9");
    for (const char *none : {static_cast<const char *>(nullptr), ""}) {
        KIVPrSetJobName(record_, handle_, none);
        EXPECT_EQ(r.mJobName, "Untitled");
    }
}
