// The driver session: open and close, the sticky status, job name and error text.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "support/DriverFixture.hpp"

using namespace kiv;
using kivtest::DriverFixture;

using DriverSession = DriverFixture;

TEST_F(DriverSession, OpenLoadsTheBuiltInCatalogues) {
    DriverRecord &r = Open();
    EXPECT_EQ(r.mState, 0u);
    EXPECT_EQ(r.mPixelFormat, 32);
    EXPECT_EQ(r.mJobName, "Untitled");
    EXPECT_EQ(r.mPrefsDomain, kivtest::kTestDomain);
    ASSERT_EQ(CountPaper(*r.mPapers), 2);
    EXPECT_EQ(GetPaper(*r.mPapers, DefaultPaperIndex(*r.mPapers)).name, "A3");
    ASSERT_EQ(CountResolution(*r.mResolutions), 3);
    EXPECT_EQ(GetResolution(*r.mResolutions, DefaultResolution(*r.mResolutions)).name, "300");
    EXPECT_EQ(KIVPrClose(record_), 0);
    record_ = nullptr;
}

TEST_F(DriverSession, OpenRefusesBadArguments) {
    DriverRecord *r = reinterpret_cast<DriverRecord *>(1);
    EXPECT_EQ(KIVPrOpen(nullptr, &r), -50);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(KIVPrOpen(bundle_, nullptr), -50);
    EXPECT_EQ(KIVPrClose(nullptr), -50);

    gCatalogueAllocationFailures = 2;  // the catalogue and its built-in fallback
    EXPECT_EQ(KIVPrOpen(bundle_, &r), -108);
    EXPECT_EQ(r, nullptr);
    gCatalogueAllocationFailures = 0;
}

TEST_F(DriverSession, HostErrorIsStickyAndReportedAtClose) {
    DriverRecord &r = Open();
    KIVPrSetError(record_, -39);
    EXPECT_EQ(r.mState, 3u);
    EXPECT_FALSE(KIVPrValidate(record_, handle_));
    EXPECT_EQ(GetHandleSize(handle_), 0);  // the gated call did nothing
    KIVPrSetError(record_, -1);
    EXPECT_EQ(r.mError, -39);
    EXPECT_EQ(KIVPrSetJobName(record_, handle_, "x"), -39);  // ungated, returns the stored error
    EXPECT_EQ(KIVPrClose(record_), -39);
    record_ = nullptr;
}

TEST_F(DriverSession, HostErrorZeroStopsSilently) {
    Open();
    KIVPrSetError(record_, 0);
    EXPECT_EQ(record_->mState, 3u);
    EXPECT_FALSE(KIVPrValidate(record_, handle_));
    EXPECT_EQ(KIVPrClose(record_), 0);
    record_ = nullptr;
}

TEST_F(DriverSession, FoldingKeepsTheFirstFailureAndCancelIsNoErrorAtClose) {
    DriverRecord &r = Open();
    EXPECT_EQ(FoldResult(r, 0), 0);
    EXPECT_EQ(r.mState, 0u);
    EXPECT_EQ(FoldResult(r, -128), -128);
    EXPECT_EQ(r.mState, 1u);
    EXPECT_EQ(FoldResult(r, -50), -128);
    EXPECT_EQ(KIVPrClose(record_), 0);
    record_ = nullptr;

    DriverRecord &failed = Open();
    FoldResult(failed, 28);  // ENOSPC from the writer
    EXPECT_EQ(failed.mState, 2u);
    EXPECT_EQ(KIVPrClose(record_), 28);
    record_ = nullptr;
}

TEST_F(DriverSession, ErrorStrings) {
    unsigned char message[256];
    KIVPrErrorString(nullptr, -128, message);
    EXPECT_EQ(message[0], 26);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(message + 1), 26), "Printing cancelled by user");
    for (int32_t code : {-50, 0}) {
        KIVPrErrorString(nullptr, code, message);
        EXPECT_EQ(message[0], 31);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(message + 1), 31), "An error ocurred while printing");
    }
    // The session's stored failure comes with its cause.
    const struct {
        int16_t status;
        const char *text;
    } causes[] = {{-108, "An error ocurred while printing: out of memory"},
                  {ENOSPC, "An error ocurred while printing: No space left on device"},
                  {-157, "An error ocurred while printing: a band in the wrong pixel format"}};
    for (const auto &c : causes) {
        DriverRecord &r = Open();
        FoldResult(r, c.status);
        KIVPrErrorString(record_, c.status, message);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(message + 1), message[0]), c.text);
        KIVPrClose(std::exchange(record_, nullptr));
    }
}

TEST_F(DriverSession, SuggestPageKeepsWhatIsNotGiven) {
    DriverRecord &r = Open();
    const PageGeometry page{100, 200, 10.0, 20.0};
    KIVPrSuggestPage(record_, handle_, &page, 8);
    EXPECT_EQ(r.mPixelFormat, 8);
    EXPECT_EQ(std::memcmp(&r.mSuggestedPage, &page, sizeof page), 0);
    KIVPrSuggestPage(record_, handle_, nullptr, 0);
    EXPECT_EQ(r.mPixelFormat, 8);
    EXPECT_EQ(r.mSuggestedPage.heightPixels, 200);
}

TEST_F(DriverSession, JobName) {
    DriverRecord &r = Open();
    EXPECT_EQ(KIVPrSetJobName(record_, handle_, "Poster \xC3\xA9t\xC3\xA9"), 0);
    EXPECT_EQ(r.mJobName, "Poster \xC3\xA9t\xC3\xA9");
    KIVPrSetJobName(record_, handle_, r.mJobName.c_str());  // the name it already holds
    EXPECT_EQ(r.mJobName, "Poster \xC3\xA9t\xC3\xA9");
    KIVPrSetJobName(record_, handle_, nullptr);
    EXPECT_EQ(r.mJobName, "Untitled");
    KIVPrSetJobName(record_, handle_, "");
    EXPECT_EQ(r.mJobName, "Untitled");
}
