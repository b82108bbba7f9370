// The job-settings dictionary and merging job fields.
#include <gtest/gtest.h>

#include <vector>

#include "platform/Bookmark.hpp"
#include "support/DriverFixture.hpp"

using namespace kiv;
using kivtest::DriverFixture;

using JobSettings = DriverFixture;

TEST_F(JobSettings, ValuesAreAppliedKeyByKey) {
    Open();
    KIVPrDefaults(record_, handle_);
    Plist s = MakeDict();
    DictSet(s.get(), "copies", MakeInteger(3));
    DictSet(s.get(), "fromPage", MakeReal(2.5));
    DictSet(s.get(), "toPage", MakeString("7"));
    EXPECT_TRUE(KIVPrSetJobSettings(record_, handle_, s.get()));
    EXPECT_EQ(Record().copies, 3);
    EXPECT_EQ(Record().fromPage, 1);
    EXPECT_EQ(Record().toPage, 999);

    // Beyond what the record's 16-bit fields hold: ignored, never cut to their low bits.
    DictSet(s.get(), "copies", MakeInteger(70000));
    DictSet(s.get(), "fromPage", MakeReal(4.0));
    DictSet(s.get(), "toPage", MakeInteger(-32769));
    EXPECT_TRUE(KIVPrSetJobSettings(record_, handle_, s.get()));
    EXPECT_EQ(std::vector<int>({Record().copies, Record().fromPage, Record().toPage}), std::vector<int>({3, 4, 999}));
    DictSet(s.get(), "copies", MakeInteger(32767));
    EXPECT_TRUE(KIVPrSetJobSettings(record_, handle_, s.get()));
    EXPECT_EQ(Record().copies, 32767);

    EXPECT_FALSE(KIVPrSetJobSettings(record_, handle_, MakeArray().get()));
    EXPECT_FALSE(KIVPrSetJobSettings(record_, handle_, nullptr));
    EXPECT_EQ(Record().copies, 32767);
}

TEST_F(JobSettings, AnUnresolvableFolderIsRefusedAfterThePageFields) {
    Open();
    KIVPrDefaults(record_, handle_);
    kivtest::TempDir hot;
    record_->mHotFolder = hot.path();
    Plist s = MakeDict();
    DictSet(s.get(), "copies", MakeInteger(2));
    DictSet(s.get(), "outputFolder", MakeData("not a bookmark", 14));
    EXPECT_FALSE(KIVPrSetJobSettings(record_, handle_, s.get()));
    EXPECT_EQ(Record().copies, 2);
    EXPECT_EQ(*record_->mHotFolder, hot.path());
}

TEST_F(JobSettings, RoundTripToAnotherRecord) {
    Open();
    KIVPrDefaults(record_, handle_);
    Plist fresh(KIVPrCopyJobSettings(record_, handle_));  // pages and copies, but no folder yet
    EXPECT_EQ(*IntegerValue(DictGet(fresh.get(), "toPage")), 999);
    EXPECT_EQ(DictGet(fresh.get(), "outputFolder"), nullptr);
    kivtest::TempDir hot;
    Plist s = MakeDict();
    DictSet(s.get(), "fromPage", MakeInteger(2));
    DictSet(s.get(), "toPage", MakeInteger(5));
    DictSet(s.get(), "copies", MakeInteger(3));
    DictSet(s.get(), "outputFolder", CreateBookmarkData(hot.path()));
    ASSERT_TRUE(KIVPrSetJobSettings(record_, handle_, s.get()));
    Plist copied(KIVPrCopyJobSettings(record_, handle_));

    DriverRecord *other = nullptr;
    ASSERT_EQ(KIVPrOpen(bundle_, &other), 0);
    Handle otherHandle = NewHandle(0);
    KIVPrDefaults(other, otherHandle);
    ASSERT_TRUE(KIVPrSetJobSettings(other, otherHandle, copied.get()));
    const PrintRecord r = *LoadPrintRecord(otherHandle);
    EXPECT_EQ(std::vector<int>({r.fromPage, r.toPage, r.copies}), std::vector<int>({2, 5, 3}));
    EXPECT_EQ(*other->mHotFolder, hot.path());
    EXPECT_FALSE(other->mOutputFileName);
    DisposeHandle(otherHandle);
    KIVPrClose(other);
}

TEST_F(JobSettings, MergeCopiesOnlyTheJobFields) {
    Open();
    Handle source = NewHandle(0);
    KIVPrDefaults(record_, source);
    KIVPrDefaults(record_, handle_);
    PrintRecord s = *LoadPrintRecord(source);
    s.copies = 9;
    s.fromPage = 3;
    s.toPage = 4;
    s.collated = false;
    s.isBW = true;
    StorePrintRecord(source, s);
    KIVPrJobMerge(record_, source, handle_);
    const PrintRecord d = Record();
    EXPECT_EQ(std::vector<int>({d.copies, d.fromPage, d.toPage, d.collated, d.isBW}),
              std::vector<int>({9, 3, 4, 1, 0}));

    Handle small = NewHandle(10);
    KIVPrJobMerge(record_, small, handle_);  // too small to read: nothing happens
    EXPECT_EQ(Record().copies, 9);
    KIVPrJobMerge(record_, source, small);
    EXPECT_EQ(GetHandleSize(small), 10);
    DisposeHandle(small);
    DisposeHandle(source);
}
