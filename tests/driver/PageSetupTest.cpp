// The print record: validity, defaults, fitting to the document, saving, and tagged handles.
#include <gtest/gtest.h>

#include <utility>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "driver/PageSetup.hpp"
#include "media/Catalogue.hpp"
#include "support/DriverFixture.hpp"
#include "support/HostHooks.hpp"

using namespace kiv;
using kivtest::DriverFixture;

namespace {

PrintRecord GoodRecord() {
    PrintRecord r;
    r.pageWidthPixels = 3307;
    r.pageHeightPixels = 4607;
    r.pageWidthMM = 279.99266666666665;
    r.pageHeightMM = 390.0593333333333;
    r.copies = 1;
    r.fromPage = 1;
    r.toPage = 999;
    r.tileWidthMM = r.pageWidthMM;
    r.tileHeightMM = r.pageHeightMM;
    return r;
}

// A tile of the given whole or fractional pixel count at 300 dpi.
double TileMM(double pixels) { return pixels / 300.0 * 25.4; }

class PageSetup : public DriverFixture {
protected:
    bool Bad(const PrintRecord &r) {
        Put(r);
        return HPrintIsBad(*record_, handle_);
    }
    kivtest::ScopedHostHooks hooks_;
};

}  // namespace

TEST_F(PageSetup, WhichRecordsAreBad) {
    Open();
    EXPECT_TRUE(HPrintIsBad(*record_, handle_));  // 0 bytes
    const struct {
        const char *what;
        std::function<void(PrintRecord &)> change;
        bool bad;
    } cases[] = {
        {"as made", [](PrintRecord &) {}, false},
        {"the limits",
         [](PrintRecord &r) {
             r.pageWidthPixels = 150, r.pageWidthMM = 12.7;  // 12.7 mm at 300 dpi
             r.pageHeightPixels = 5905512, r.pageHeightMM = 500000.0;
         },
         false},
        {"narrower than 12.7 mm", [](PrintRecord &r) { r.pageWidthPixels = 150, r.pageWidthMM = 12.6998; }, true},
        {"the limits with their tolerance",
         [](PrintRecord &r) {
             r.pageWidthPixels = 59055, r.pageWidthMM = 5000.0 + 0.0001;
             r.pageHeightPixels = 150, r.pageHeightMM = 12.7 - 0.0001;
         },
         false},
        {"wider than 5 m", [](PrintRecord &r) { r.pageWidthPixels = 59055, r.pageWidthMM = 5000.001; }, true},
        {"no pixels", [](PrintRecord &r) { r.pageWidthPixels = 0; }, true},
        {"NaN", [](PrintRecord &r) { r.pageHeightMM = std::numeric_limits<double>::quiet_NaN(); }, true},
        {"299.46 dpi, not in the catalogue", [](PrintRecord &r) { r.pageWidthMM = 280.5; }, true},
        {"tiled, the whole page", [](PrintRecord &r) { r.isTiled = true; }, false},
        {"a tile wider than the page", [](PrintRecord &r) { r.isTiled = true, r.tileWidthMM = r.pageWidthMM + 0.0002; },
         true},
        {"a tile of 100 pixels", [](PrintRecord &r) { r.isTiled = true, r.tileWidthMM = TileMM(100); }, false},
        {"a tile of 100.5 pixels", [](PrintRecord &r) { r.isTiled = true, r.tileWidthMM = TileMM(100.5); }, true},
        {"a tile of half a pixel", [](PrintRecord &r) { r.isTiled = true, r.tileWidthMM = TileMM(0.5); }, true},
    };
    for (const auto &c : cases) {
        PrintRecord r = GoodRecord();
        c.change(r);
        EXPECT_EQ(Bad(r), c.bad) << c.what;
    }
    SetHandleSize(handle_, 307);
    EXPECT_TRUE(HPrintIsBad(*record_, handle_));
}

TEST_F(PageSetup, DefaultsWithNothingStored) {
    Open();
    KIVPrDefaults(record_, handle_);
    ASSERT_EQ(GetHandleSize(handle_), 306);
    PrintRecord expected = GoodRecord();  // A3 at 300 dpi, one collated copy of every page
    expected.collated = true;
    Handle want = NewHandle(kPrintRecordSize);
    StorePrintRecord(want, expected);
    EXPECT_EQ(std::memcmp(*want, *handle_, kPrintRecordSize), 0);
    DisposeHandle(want);
}

TEST_F(PageSetup, StoredSetupsAreRefittedToTheCatalogue) {
    // A saved setup keeps its size in millimetres: its pixels follow from the nearest catalogue
    // resolution (150, 300 or 600 dpi) and its name from the paper catalogue. Fields missing
    // or out of range take the built-in A3 at 300 dpi (3968 x 5527 pixels of 280 x 390 mm).
    std::string papers;
    for (int i = 1; i < 40; ++i) papers += "Paper" + std::to_string(i) + " " + std::to_string(100 + i) + " 300\r";
    WriteNewPaperSettings(kivtest::kTestDomain, *SetPapersFrom(papers + "Square 100 100"));
    const double nan = std::nan("");
    const struct {
        int64_t w, h;  // -1: not stored
        double wmm, hmm;
        const char *name;
        int32_t wantW, wantH;
        const char *wantName;
    } cases[] = {
        {-1, -1, 100, 100, "Square", 2363, 2363, "Square"},      // millimetres and name only: 3968 pixels, 600 dpi
        {0, 4607, 6000, 390, "", 3307, 4607, ""},                // out of range: 3968 pixels of 280 mm
        {787, 787, 100, 100, "Square", 591, 591, "Square"},      // 200 dpi, not in the catalogue: 150 is nearer
        {2147483647, 2147483647, 280, 390, "", 6615, 9213, ""},  // 2^31 pixels: the highest resolution
        {1, 1, 280, 390, "", 1654, 2304, ""},                    // 0.09 dpi: the lowest
        {3307, 4607, nan, nan, "", 3307, 4607, ""},              // sizes not finite: the built-in ones
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + " of " + std::to_string(c.wmm) + " mm");
        Plist setup = MakeDict();
        if (c.w >= 0) DictSet(setup.get(), "Width", MakeInteger(c.w));
        if (c.h >= 0) DictSet(setup.get(), "Height", MakeInteger(c.h));
        DictSet(setup.get(), "Width_mm", MakeReal(c.wmm));
        DictSet(setup.get(), "Height_mm", MakeReal(c.hmm));
        DictSet(setup.get(), "PageName", MakeString(c.name));
        Store("DefaultPageSetup", std::move(setup));
        Open();
        KIVPrDefaults(record_, handle_);
        EXPECT_EQ(Record().pageWidthPixels, c.wantW);
        EXPECT_EQ(Record().pageHeightPixels, c.wantH);
        EXPECT_EQ(*PageNameString(Record()), c.wantName);
        EXPECT_FALSE(HPrintIsBad(*record_, handle_));
        KIVPrClose(std::exchange(record_, nullptr));
    }
}

TEST_F(PageSetup, StoredSetupAndCatalogueNameTheRecord) {
    std::string longName;
    for (int i = 0; i < 150; ++i) longName += "\xC3\xA9";  // 300 bytes
    auto papers = SetPapersFrom("A4 210 297\rA4~again 210 297");
    AddNewPaper(*papers, {longName, 100, 100});
    WriteNewPaperSettings(kivtest::kTestDomain, *papers);

    Plist setup = MakeDict();
    DictSet(setup.get(), "Width", MakeInteger(2480));
    DictSet(setup.get(), "Height", MakeInteger(3508));
    DictSet(setup.get(), "Width_mm", MakeReal(210));
    DictSet(setup.get(), "Height_mm", MakeReal(297));
    DictSet(setup.get(), "B&W", MakeBool(true));
    DictSet(setup.get(), "PageName", MakeString("A4 again"));
    Store("DefaultPageSetup", std::move(setup));
    Open();
    KIVPrDefaults(record_, handle_);
    PrintRecord r = Record();
    EXPECT_EQ(r.pageWidthPixels, 2481);  // refitted: ceil(210 / 25.4 × 300 − 0.1)
    EXPECT_EQ(r.pageHeightPixels, 3508);
    EXPECT_TRUE(r.isBW);
    EXPECT_EQ(*PageNameString(r), "A4 again");

    // A catalogue name of another size gives the first paper of the record's size.
    SetPageName(r, longName);
    EXPECT_EQ(r.pageName[0], 254);
    SyncPageName(*record_, r);
    EXPECT_EQ(*PageNameString(r), "A4");
    // No paper of the record's size: empty.
    r.pageWidthMM = 250;
    SetPageName(r, "A4");
    SyncPageName(*record_, r);
    EXPECT_EQ(r.pageName[0], 0);
    r.pageWidthMM = 100;
    r.pageHeightMM = 100;
    SetPageName(r, longName);  // the same cut as the catalogue's
    SyncPageName(*record_, r);
    EXPECT_EQ(*PageNameString(r), longName.substr(0, 254));
}

TEST_F(PageSetup, SuggestionsNeverLowerTheResolution) {
    Open();
    KIVPrDefaults(record_, handle_);
    const auto dpiAfter = [&](int32_t w, int32_t h, double wmm, double hmm) {
        SetSuggestions(*record_, handle_, PageGeometry{w, h, wmm, hmm});
        const PrintRecord r = Record();
        EXPECT_FALSE(HPrintIsBad(*record_, handle_));
        return r.pageWidthPixels / r.pageWidthMM * 25.4;
    };
    EXPECT_NEAR(dpiAfter(4960, 7015, 210, 297), 600, 1e-9);
    EXPECT_NEAR(dpiAfter(5787, 8185, 210, 297), 300, 1e-9);  // 700 dpi: the default
    EXPECT_NEAR(dpiAfter(2067, 2923, 210, 297), 300, 1e-9);  // 250 dpi: the nearest above
    EXPECT_EQ(Record().pageWidthPixels, 2481);               // ceil(210 / 25.4 × 300 − 0.1)
    // Exactly 300 dpi through millimetres and back lands a hair above 300: still 300.
    EXPECT_NEAR(dpiAfter(3508, 4961, 3508 / 300.0 * 25.4, 4961 / 300.0 * 25.4), 300, 1e-9);
    EXPECT_EQ(Record().copies, 1);

    const PrintRecord before = Record();
    SetSuggestions(*record_, handle_, PageGeometry{0, 100, 10, 10});
    EXPECT_EQ(Record().pageWidthPixels, before.pageWidthPixels);
}

TEST_F(PageSetup, ValidateResetsOnlyWhatNeedsIt) {
    Open();
    EXPECT_TRUE(KIVPrValidate(record_, handle_));
    EXPECT_EQ(GetHandleSize(handle_), 306);

    PrintRecord r = GoodRecord();
    Put(r);
    (*handle_)[31] = 2;  // a true that is not 1 must survive untouched
    const std::vector<char> before(*handle_, *handle_ + 306);
    EXPECT_FALSE(KIVPrValidate(record_, handle_));
    EXPECT_EQ(std::vector<char>(*handle_, *handle_ + 306), before);
    EXPECT_EQ(hooks_.beeps, 0);

    hooks_.option = 1;
    EXPECT_TRUE(KIVPrValidate(record_, handle_));
    EXPECT_EQ(hooks_.beeps, 1);
    EXPECT_EQ((*handle_)[31], 0);
}

TEST_F(PageSetup, ValidateFallsBackWhenTheSuggestionCannotBeFitted) {
    Open();
    for (const PageGeometry page : {PageGeometry{50, 50, 5.0, 5.0}, PageGeometry{100, 100, 0.0, 0.0}}) {
        KIVPrSuggestPage(record_, handle_, &page, 0);
        SetHandleSize(handle_, 0);
        EXPECT_TRUE(KIVPrValidate(record_, handle_));
        EXPECT_EQ(Record().pageWidthPixels, 3307);
    }
    const PageGeometry a4{2480, 3507, 210, 297};
    KIVPrSuggestPage(record_, handle_, &a4, 0);
    SetHandleSize(handle_, 0);
    EXPECT_TRUE(KIVPrValidate(record_, handle_));
    EXPECT_EQ(Record().pageWidthPixels, 2481);
}

TEST_F(PageSetup, AHandleThatCannotBeResizedFailsTheSession) {
    Open();
    HLock(handle_);
    EXPECT_TRUE(KIVPrValidate(record_, handle_));
    EXPECT_EQ(record_->mState, kStateFailed);
    EXPECT_EQ(record_->mError, -108);
    HUnlock(handle_);
}

TEST_F(PageSetup, SavedSetupIsTheNextDefault) {
    Open();
    KIVPrDefaults(record_, handle_);
    PrintRecord r = Record();
    r.pageWidthPixels = 2481;
    r.pageWidthMM = 2481 * 25.4 / 300;
    r.isFlipH = true;
    r.copies = 5;
    SetPageName(r, "\xC3\xA9t\xC3\xA9");
    Put(r);
    SaveDefaults(*record_, handle_);

    Plist saved = CopyPreferenceValue(kivtest::kTestDomain, "DefaultPageSetup");
    EXPECT_EQ(*IntegerValue(DictGet(saved.get(), "Width")), 2481);
    EXPECT_EQ(*StringValue(DictGet(saved.get(), "PageName")), "\xC3\xA9t\xC3\xA9");
    EXPECT_TRUE(*BoolValue(DictGet(saved.get(), "FlipH")));

    ResetPreferencesCache();
    Handle fresh = NewHandle(0);
    KIVPrDefaults(record_, fresh);
    const PrintRecord back = *LoadPrintRecord(fresh);
    EXPECT_EQ(back.pageWidthPixels, 2481);
    EXPECT_EQ(back.pageWidthMM, r.pageWidthMM);
    EXPECT_TRUE(back.isFlipH);
    EXPECT_EQ(back.copies, 1);
    DisposeHandle(fresh);
}

TEST(TaggedHandle, RoundTripAndRefusals) {
    const char tag[] = "KIVPrint";
    Plist list = MakeDict();
    DictSet(list.get(), "n", MakeInteger(-3));
    Handle h = NewHandle(0);
    EncodeHPrint(h, tag, 8, list.get());
    ASSERT_GT(GetHandleSize(h), 8);
    EXPECT_EQ(std::memcmp(*h, tag, 8), 0);
    Plist back(DecodeHPrint(tag, 8, h));
    EXPECT_EQ(*IntegerValue(DictGet(back.get(), "n")), -3);

    EXPECT_EQ(DecodeHPrint("KIVPrinX", 8, h), nullptr);
    SetHandleSize(h, 8);
    EXPECT_EQ(DecodeHPrint(tag, 8, h), nullptr);  // exactly the tag
    SetHandleSize(h, 20);
    EXPECT_EQ(DecodeHPrint(tag, 8, h), nullptr);  // zeros after it
    EXPECT_EQ(DecodeHPrint(tag, 8, nullptr), nullptr);

    HLock(h);
    const long size = GetHandleSize(h);
    EncodeHPrint(h, tag, 8, list.get());  // cannot grow: left as it was
    EXPECT_EQ(GetHandleSize(h), size);
    DisposeHandle(h);
}

TEST(PrintRecordBytes, EveryFieldKeepsItsOwnBytes) {
    // Two records whose fields all differ, with the four flags in patterns that tell any two
    // apart: decoding and encoding again must give back every byte.
    for (const auto &flags : {std::array{false, true, false, true}, std::array{false, false, true, true}}) {
        PrintRecord r{1, -2, 3.5, 4.25, 5, 6, 7, flags[0], flags[1], flags[2], flags[3], 8.125, 9.0625, {}};
        SetPageName(r, "\xC3\xA9tiquette");
        unsigned char bytes[kPrintRecordSize], again[kPrintRecordSize];
        EncodePrintRecord(r, bytes);
        EncodePrintRecord(DecodePrintRecord(bytes), again);
        EXPECT_EQ(std::memcmp(bytes, again, sizeof bytes), 0);
        EXPECT_EQ(DecodePrintRecord(bytes).tileHeightMM, 9.0625);
    }
}
