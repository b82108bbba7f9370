// The page setup dialog under a scripted user.
#include <gtest/gtest.h>

#include <cmath>

#include <kiv/KIVPrinterDriver.h>

#include "dialogs/StyleDialog.hpp"
#include "dialogs/NumericFields.hpp"
#include "platform/Preferences.hpp"
#include "support/DialogFixture.hpp"
#include "support/StyleParamsFor.hpp"

using namespace kiv;
using namespace kiv::forms;
using kivtest::kDialogDomain;

namespace {

class StyleDialogTest : public kivtest::DialogFixture {
protected:
    StyleParams Params(double w, double h, int32_t wpx = 0, int32_t hpx = 0) {
        return kivtest::StyleParamsFor(papers_.get(), resolutions_.get(), w, h, wpx, hpx);
    }
    bool Run(StyleParams &p) { return StyleDialog(bundle_, kDialogDomain, p, 5000.0, 12.7, 500000.0, 12.7); }
    const FormRecord &Form() const { return toolkit_->last(); }
};

double Round4(double v) { return std::round(v * 10000) / 10000; }

}  // namespace

TEST_F(StyleDialogTest, OkSnapsThePageToWholePixels) {
    Script({Press("ok")});
    StyleParams a4 = Params(210, 297, 2481, 3508);
    ASSERT_TRUE(Run(a4));
    EXPECT_EQ(a4.pageWidth_pixels, 2481);
    EXPECT_EQ(a4.pageHeight_pixels, 3508);
    EXPECT_EQ(Round4(a4.pageWidth_mm), 210.058);
    EXPECT_EQ(Round4(a4.pageHeight_mm), 297.0107);
    EXPECT_EQ(a4.pageName, "A4");
    EXPECT_EQ(Form().title, "Test Driver");
    EXPECT_EQ(Form().texts.at("version"), "9.8.7");
    EXPECT_EQ(Form().menuTitles.at("resolutionsMenu"), "300");
    EXPECT_EQ(*GetPreferenceInteger(kDialogDomain, "Units"), 2);

    Script({Press("ok")});
    StyleParams inch = Params(25.4, 25.4);
    ASSERT_TRUE(Run(inch));
    EXPECT_EQ(inch.pageWidth_pixels, 300);
    EXPECT_EQ(inch.pageWidth_mm, 25.4);
    EXPECT_EQ(inch.pageName, "Custom");

    Script({Choose("resolutionsMenu", 0), Press("ok")});
    StyleParams wide = Params(5000, 297);
    ASSERT_TRUE(Run(wide));
    EXPECT_EQ(wide.pageWidth_pixels, 118111);
    EXPECT_EQ(wide.pageWidth_mm, 5000.0);

    Script({Press("ok")});  // the lowest resolution there may be: one dot per inch
    StyleParams coarse = Params(25.4, 50.8);
    auto one = SetResolutionsFrom("1 1");
    coarse.resolutions = one.get();
    ASSERT_TRUE(Run(coarse));
    EXPECT_EQ(coarse.pageHeight_pixels, 2);
}

TEST_F(StyleDialogTest, UnitsShowAndReadTheirOwnRounding) {
    SetPreferenceValue(kDialogDomain, "Units", MakeInteger(3).get());
    Script({Retype("pageWidth", "1"), Choose("unitsMenu", 1), Retype("pageHeight", "36"), Choose("unitsMenu", 2),
            Choose("unitsMenu", 3), Press("ok")});
    StyleParams p = Params(210, 297);
    ASSERT_TRUE(Run(p));
    EXPECT_EQ(Form().texts.at("pageWidth"), "1.00");
    EXPECT_EQ(Form().texts.at("pageHeight"), "0.50");
    EXPECT_EQ(p.pageWidth_pixels, 300);   // 1 inch
    EXPECT_EQ(p.pageHeight_pixels, 150);  // 36 points
    EXPECT_EQ(*GetPreferenceInteger(kDialogDomain, "Units"), 3);
}

TEST_F(StyleDialogTest, ThePaperMenuFollowsTypedSizes) {
    Script({Retype("pageWidth", "210.5")});
    StyleParams p = Params(210, 297);
    EXPECT_FALSE(Run(p));                                // the script ends: counts as a cancel
    EXPECT_EQ(Form().menuSelection.at("pagesMenu"), 2);  // A4 kept within 1 mm

    Script({Retype("pageWidth", "211"), Press("cancel")});
    EXPECT_FALSE(Run(p));
    EXPECT_EQ(Form().menuSelection.at("pagesMenu"), -2);
    EXPECT_EQ(Form().menuTitles.at("pagesMenu"), "Custom");

    Script({Retype("pageWidth", "412"), Retype("pageHeight", "553"), Press("cancel")});
    EXPECT_FALSE(Run(p));
    EXPECT_EQ(Form().menuSelection.at("pagesMenu"), 0);  // A2
    EXPECT_EQ(p.pageWidth_mm, 210);                      // cancel leaves the record alone
}

TEST_F(StyleDialogTest, PageFromTheDocument) {
    StyleParams big = Params(210, 297);
    big.documentWidth_mm = 6000;
    big.documentHeight_mm = 300;
    Script({Press("pageFromDocument"), Answer(kFirstButton), Press("ok")});
    ASSERT_TRUE(Run(big));
    ASSERT_EQ(Form().alerts.size(), 1u);
    EXPECT_EQ(Form().alerts[0].message, "The width or height of the document is too large for the printer");
    EXPECT_EQ(Form().alerts[0].informative, "Do you want to make the page size as big as possible?");
    EXPECT_EQ(big.pageWidth_mm, 5000.0);
    EXPECT_NEAR(big.tileWidth_mm, 5000, 0.1);
    EXPECT_NEAR(big.pageHeight_mm, 300, 0.1);

    StyleParams declined = Params(210, 297);
    declined.documentWidth_mm = 6000;
    Script({Press("pageFromDocument"), Answer(kFirstButton + 1), Press("ok")});
    ASSERT_TRUE(Run(declined));
    EXPECT_NEAR(declined.pageWidth_mm, 210, 0.1);

    StyleParams small = Params(210, 297);
    small.documentWidth_mm = small.documentHeight_mm = 5;
    Script({Press("pageFromDocument"), Press("cancel")});
    EXPECT_FALSE(Run(small));
    EXPECT_TRUE(Form().alerts.empty());
    EXPECT_EQ(Form().texts.at("pageWidth"), "12.70");
    EXPECT_EQ(Form().texts.at("tileWidth"), "5.00");

    StyleParams none = Params(210, 297);  // no document size suggested
    Script({Press("pageFromDocument"), Press("cancel")});
    EXPECT_FALSE(Run(none));
    EXPECT_EQ(Form().texts.at("pageHeight"), "12.70");
    EXPECT_EQ(Form().texts.at("tileHeight"), "297.00");
}

TEST_F(StyleDialogTest, PapersAddedAndRemovedStayAfterCancel) {
    Script({Choose("pagesMenu", -3), Type("paperName", "Poster"), Press("paperNameOK"), Press("cancel")});
    StyleParams p = Params(500, 700);
    EXPECT_FALSE(Run(p));
    ASSERT_EQ(CountPaper(*papers_), 4);
    EXPECT_EQ(GetPaper(*papers_, 3).name, "Poster");
    EXPECT_EQ(Form().menuSelection.at("pagesMenu"), 3);
    ResetPreferencesCache();
    EXPECT_EQ(CountPaper(*ReadPageSizeStrings(kDialogDomain, kDefaultPapers)), 4);

    // Remove the paper in use: the menu falls back to what matches the size.
    Script({Choose("pagesMenu", 2), Choose("pagesMenu", -4), Press("cancel")});
    EXPECT_FALSE(Run(p));
    EXPECT_EQ(CountPaper(*papers_), 3);
    EXPECT_EQ(GetPaper(*papers_, 2).name, "Poster");
    EXPECT_EQ(Form().menuSelection.at("pagesMenu"), -2);
    EXPECT_EQ(Form().texts.at("pageWidth"), "210.00");  // the page stays as it was

    // The name sheet cancelled: back to the entry shown before.
    Script({Choose("pagesMenu", 0), Choose("pagesMenu", -3), Press("paperNameCancel"), Press("cancel")});
    EXPECT_FALSE(Run(p));
    EXPECT_EQ(Form().menuSelection.at("pagesMenu"), 0);
    EXPECT_EQ(CountPaper(*papers_), 3);
}

TEST_F(StyleDialogTest, AFullCatalogueRefusesAnotherPaper) {
    while (AddNewPaper(*papers_, {"P", 100, 100})) {
    }
    Script({Choose("pagesMenu", 1), Choose("pagesMenu", -3), Press("cancel")});
    StyleParams p = Params(280, 390);
    EXPECT_FALSE(Run(p));
    EXPECT_EQ(toolkit_->beeps(), 1);
    EXPECT_TRUE(Form().sheets.empty());
    EXPECT_EQ(Form().menuSelection.at("pagesMenu"), 1);
    EXPECT_EQ(CountPaper(*papers_), 40);
}

TEST_F(StyleDialogTest, OkRefusesAnImpossibleTile) {
    Script({Toggle("isTiled"), Retype("tileWidth", "0"), Press("ok"), Press("cancel")});
    StyleParams p = Params(210, 297);
    EXPECT_FALSE(Run(p));
    EXPECT_EQ(toolkit_->beeps(), 1);
    EXPECT_EQ(Form().focused, "tileWidth");

    // Tiling off: the tile is snapped and clamped to the page, not checked.
    Script({Retype("tileWidth", "100.01"), Press("ok")});
    StyleParams q = Params(210, 297);
    ASSERT_TRUE(Run(q));
    EXPECT_EQ(q.isTiled, 0);
    EXPECT_NEAR(q.tileWidth_mm, 1182 / (300 / 25.4), 1e-9);
}

TEST_F(StyleDialogTest, OpensOnTheRecordsPaperAndResolution) {
    Script({Press("cancel")});
    StyleParams named = Params(280, 390, 6614, 9213);  // 600 dpi
    named.pageName = "Custom";
    EXPECT_FALSE(Run(named));
    EXPECT_EQ(Form().menuSelection.at("pagesMenu"), -2);
    EXPECT_EQ(Form().menuSelection.at("resolutionsMenu"), 0);
    EXPECT_EQ(named.pageName, "Custom");  // untouched by the cancel

    Script({Press("cancel")});
    StyleParams byName = Params(100, 100);
    byName.pageName = "A2";
    EXPECT_FALSE(Run(byName));
    EXPECT_EQ(Form().menuSelection.at("pagesMenu"), 0);
}
