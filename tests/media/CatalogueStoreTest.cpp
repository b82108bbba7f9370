// Catalogues and the measurement unit in the preferences.
#include <gtest/gtest.h>

#include <limits>

#include <kiv/KIVPrinterDriver.h>

#include "media/Catalogue.hpp"
#include "platform/Preferences.hpp"
#include "support/TempDir.hpp"

using namespace kiv;

namespace {
constexpr const char *kDomain = "com.example.catalogue-test";

Plist Paper(const char *name, double w, double h, bool withHeight = true) {
    Plist d = MakeDict();
    DictSet(d.get(), "Name", MakeString(name));
    DictSet(d.get(), "Width", MakeReal(w));
    if (withHeight) DictSet(d.get(), "Height", MakeInteger(static_cast<int64_t>(h)));
    return d;
}

void StorePapers(Plist list, Plist defaultIndex) {
    Plist outer = MakeDict();
    DictSet(outer.get(), "Papers", std::move(list));
    DictSet(outer.get(), "Default", std::move(defaultIndex));
    SetPreferenceValue(kDomain, "Paper Sizes", outer.get());
}
}  // namespace

TEST(CatalogueStore, WriteThenReadGivesTheSameCatalogue) {
    kivtest::ScopedConfigHome home;
    auto papers = SetPapersFrom("Super~B 330 483\r*A3 280 390\rTiny 12.7 12.7");
    ASSERT_TRUE(WriteNewPaperSettings(kDomain, *papers));
    auto res = SetResolutionsFrom("720x360 720 360\r*300 300");
    ASSERT_TRUE(WriteNewResolutions(kDomain, *res));
    ResetPreferencesCache();

    auto back = ReadPageSizeStrings(kDomain, kDefaultPapers);
    ASSERT_EQ(CountPaper(*back), 3);
    EXPECT_EQ(DefaultPaperIndex(*back), 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(GetPaper(*back, i).name, GetPaper(*papers, i).name);
        EXPECT_EQ(GetPaper(*back, i).width, GetPaper(*papers, i).width);
        EXPECT_EQ(GetPaper(*back, i).height, GetPaper(*papers, i).height);
    }
    auto resBack = ReadResolutionStrings(kDomain, kDefaultResolutions);
    ASSERT_EQ(CountResolution(*resBack), 2);
    EXPECT_EQ(GetResolution(*resBack, 0).ydpi, 360);
    EXPECT_EQ(DefaultResolution(*resBack), 1);
}

TEST(CatalogueStore, ValuesThatCannotBePrintedAreSkipped) {
    kivtest::ScopedConfigHome home;
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    Plist list = MakeArray();
    for (double dpi : {0.0, -300.0, nan, inf, 1000000.0, 32768.0, 150.0}) {
        Plist r = MakeDict();
        DictSet(r.get(), "Name", MakeString(std::to_string(dpi)));
        DictSet(r.get(), "Xdpi", MakeReal(dpi));
        DictSet(r.get(), "Ydpi", MakeReal(dpi == 150.0 ? 150.0 : 300.0));
        ArrayAppend(list.get(), std::move(r));
    }
    Plist outer = MakeDict();
    DictSet(outer.get(), "Resolutions", std::move(list));
    SetPreferenceValue(kDomain, "Resolutions", outer.get());
    auto res = ReadResolutionStrings(kDomain, kDefaultResolutions);
    ASSERT_EQ(CountResolution(*res), 1);
    EXPECT_EQ(GetResolution(*res, 0).xdpi, 150.0);

    Plist papers = MakeArray();
    for (double mm : {0.0, -1.0, nan, inf, 200.0}) ArrayAppend(papers.get(), Paper("p", mm, 100));
    StorePapers(std::move(papers), MakeInteger(0));
    auto read = ReadPageSizeStrings(kDomain, kDefaultPapers);
    ASSERT_EQ(CountPaper(*read), 1);
    EXPECT_EQ(GetPaper(*read, 0).width, 200.0);
}

TEST(CatalogueStore, MalformedElementsAreSkippedWithinTheFirstForty) {
    kivtest::ScopedConfigHome home;
    Plist list = MakeArray();
    ArrayAppend(list.get(), Paper("first", 100, 200));
    ArrayAppend(list.get(), Paper("no height", 100, 0, false));
    ArrayAppend(list.get(), MakeString("not a dictionary"));
    ArrayAppend(list.get(), Paper("third", 300, 400));
    for (int i = 4; i < 45; ++i) ArrayAppend(list.get(), Paper(("p" + std::to_string(i)).c_str(), i, i));
    StorePapers(std::move(list), MakeInteger(5));
    auto papers = ReadPageSizeStrings(kDomain, kDefaultPapers);
    ASSERT_EQ(CountPaper(*papers), 38);  // forty examined, two skipped
    EXPECT_EQ(GetPaper(*papers, 1).name, "third");
    EXPECT_EQ(GetPaper(*papers, 1).height, 400);
    EXPECT_EQ(GetPaper(*papers, 37).name, "p39");
    EXPECT_EQ(DefaultPaperIndex(*papers), 5);
}

TEST(CatalogueStore, OutOfRangeDefaultsBecomeZero) {
    kivtest::ScopedConfigHome home;
    for (int64_t stored : {int64_t{3}, int64_t{-1}}) {
        Plist list = MakeArray();
        for (const char *n : {"a", "b", "c"}) ArrayAppend(list.get(), Paper(n, 1, 1));
        StorePapers(std::move(list), MakeInteger(stored));
        EXPECT_EQ(DefaultPaperIndex(*ReadPageSizeStrings(kDomain, kDefaultPapers)), 0) << stored;
    }
}

TEST(CatalogueStore, UnusableStoredValuesFallBackToTheBuiltInCatalogue) {
    kivtest::ScopedConfigHome home;
    SetPreferenceValue(kDomain, "Paper Sizes", MakeString("A4").get());
    SetPreferenceValue(kDomain, "Resolutions", MakeArray().get());
    EXPECT_EQ(CountPaper(*ReadPageSizeStrings(kDomain, kDefaultPapers)), 2);
    EXPECT_EQ(CountResolution(*ReadResolutionStrings(kDomain, kDefaultResolutions)), 3);

    // A stored resolution list with nothing usable in it.
    Plist outer = MakeDict();
    DictSet(outer.get(), "Resolutions", MakeArray());
    SetPreferenceValue(kDomain, "Resolutions", outer.get());
    EXPECT_EQ(CountResolution(*ReadResolutionStrings(kDomain, kDefaultResolutions)), 3);
    // An empty paper list is a valid (if unusual) catalogue.
    Plist papersOuter = MakeDict();
    DictSet(papersOuter.get(), "Papers", MakeArray());
    SetPreferenceValue(kDomain, "Paper Sizes", papersOuter.get());
    EXPECT_EQ(CountPaper(*ReadPageSizeStrings(kDomain, kDefaultPapers)), 0);

    gCatalogueAllocationFailures = 1;
    auto papers = ReadPageSizeStrings(kDomain, kDefaultPapers);
    ASSERT_TRUE(papers);
    EXPECT_EQ(CountPaper(*papers), 2);
    gCatalogueAllocationFailures = 2;
    EXPECT_FALSE(ReadPageSizeStrings(kDomain, kDefaultPapers));
    gCatalogueAllocationFailures = 0;
}
