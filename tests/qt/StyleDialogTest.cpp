// The page setup dialog in its real window.
#include <cmath>

#include <kiv/KIVPrinterDriver.h>

#include "platform/Preferences.hpp"
#include "qt/QtUser.hpp"

using namespace kiv;
using namespace kivtest;

namespace {

class StyleDialogTest : public QtFixture {
protected:
    bool Run(StyleParams &p, std::vector<Step> steps) {
        User user("StyleDialog", std::move(steps));
        return StyleDialog(bundle_, Domain(), p, 5000.0, 12.7, 500000.0, 12.7);
    }
};

double Round4(double v) { return std::round(v * 10000) / 10000; }

}  // namespace

TEST_F(StyleDialogTest, OkSnapsThePageToWholePixels) {
    StyleParams a4 = Params(210, 297, 2481, 3508);
    ASSERT_TRUE(Run(a4, {Check([](QWidget *w) {
                             EXPECT_EQ(w->windowTitle(), "Varnel Printer Driver");
                             EXPECT_EQ(Text(w, "version"), KIV_VERSION);
                             EXPECT_EQ(Child<QComboBox>(w, "resolutionsMenu")->currentText(), "300");
                             EXPECT_EQ(Child<QComboBox>(w, "pagesMenu")->currentText(), "A4");
                             w->grab().save("StyleDialog.png");
                         }),
                         Press("ok")}));
    EXPECT_EQ(a4.pageWidth_pixels, 2481);
    EXPECT_EQ(a4.pageHeight_pixels, 3508);
    EXPECT_EQ(Round4(a4.pageWidth_mm), 210.058);
    EXPECT_EQ(Round4(a4.pageHeight_mm), 297.0107);
    EXPECT_EQ(a4.pageName, "A4");
    EXPECT_EQ(*GetPreferenceInteger(Domain(), "Units"), 2);

    StyleParams inch = Params(25.4, 25.4);
    ASSERT_TRUE(Run(inch, {Press("ok")}));
    EXPECT_EQ(inch.pageWidth_pixels, 300);
    EXPECT_EQ(inch.pageWidth_mm, 25.4);
    EXPECT_EQ(inch.pageName, "Custom");

    StyleParams wide = Params(5000, 297);
    ASSERT_TRUE(Run(wide, {Choose("resolutionsMenu", 0), Press("ok")}));
    EXPECT_EQ(wide.pageWidth_pixels, 118111);
    EXPECT_EQ(wide.pageWidth_mm, 5000.0);

    StyleParams coarse = Params(25.4, 50.8);  // the lowest resolution there may be: one dot per inch
    auto one = SetResolutionsFrom("1 1");
    coarse.resolutions = one.get();
    ASSERT_TRUE(Run(coarse, {Press("ok")}));
    EXPECT_EQ(coarse.pageHeight_pixels, 2);
}

TEST_F(StyleDialogTest, TypedSizesKeyByKeyInTheirUnitsAndThePaperMenuFollows) {
    SetPreferenceValue(Domain(), "Units", MakeInteger(3).get());
    StyleParams p = Params(210, 297);
    ASSERT_TRUE(Run(p, {Retype("pageWidth", "1"), Choose("unitsMenu", 1), Retype("pageHeight", "36"),
                        Choose("unitsMenu", 2), Choose("unitsMenu", 3), Check([](QWidget *w) {
                            EXPECT_EQ(Text(w, "pageWidth"), "1.00");
                            EXPECT_EQ(Text(w, "pageHeight"), "0.50");
                        }),
                        Press("ok")}));
    EXPECT_EQ(p.pageWidth_pixels, 300);   // 1 inch
    EXPECT_EQ(p.pageHeight_pixels, 150);  // 36 points
    EXPECT_EQ(*GetPreferenceInteger(Domain(), "Units"), 3);

    SetPreferenceValue(Domain(), "Units", MakeInteger(2).get());
    StyleParams q = Params(210, 297);
    EXPECT_FALSE(Run(q, {Retype("pageWidth", "210.5"), Check([](QWidget *w) { EXPECT_EQ(Tag(w, "pagesMenu"), 2); }),
                         Retype("pageWidth", "211"), Check([](QWidget *w) {
                             EXPECT_EQ(Tag(w, "pagesMenu"), -2);  // A4 kept within 1 mm, no further
                             EXPECT_EQ(Child<QComboBox>(w, "pagesMenu")->currentText(), "Custom");
                         }),
                         Retype("pageWidth", "412"), Retype("pageHeight", "553"),
                         Check([](QWidget *w) { EXPECT_EQ(Tag(w, "pagesMenu"), 0); }),  // A2
                         Press("cancel")}));
    EXPECT_EQ(q.pageWidth_mm, 210);  // cancel leaves the record alone

    StyleParams typed = Params(210, 297);  // 6 refused, 60 and 600 taken, 6000 refused
    ASSERT_TRUE(Run(typed, {Retype("pageWidth", "6000"), Press("ok")}));
    EXPECT_EQ(typed.pageWidth_pixels, 7087);
}

TEST_F(StyleDialogTest, PageFromTheDocument) {
    StyleParams big = Params(210, 297);
    big.documentWidth_mm = 6000;
    big.documentHeight_mm = 300;
    QStringList alert;
    ASSERT_TRUE(Run(big, {Press("pageFromDocument"), Answer("OK", &alert), Press("ok")}));
    EXPECT_EQ(alert, QStringList({"The width or height of the document is too large for the printer",
                                  "Do you want to make the page size as big as possible?"}));
    EXPECT_EQ(big.pageWidth_mm, 5000.0);
    EXPECT_NEAR(big.tileWidth_mm, 5000, 0.1);
    EXPECT_NEAR(big.pageHeight_mm, 300, 0.1);

    StyleParams declined = Params(210, 297);
    declined.documentWidth_mm = 6000;
    ASSERT_TRUE(Run(declined, {Press("pageFromDocument"), Answer("Cancel"), Press("ok")}));
    EXPECT_NEAR(declined.pageWidth_mm, 210, 0.1);

    StyleParams small = Params(210, 297), none = Params(210, 297);  // none: no document size suggested
    small.documentWidth_mm = small.documentHeight_mm = 5;
    EXPECT_FALSE(Run(small, {Press("pageFromDocument"), Check([](QWidget *w) {
                                 EXPECT_TRUE(w->findChildren<QMessageBox *>().isEmpty());
                                 EXPECT_EQ(Text(w, "pageWidth"), "12.70");
                                 EXPECT_EQ(Text(w, "tileWidth"), "5.00");
                             })}));
    EXPECT_FALSE(Run(none, {Press("pageFromDocument"), Check([](QWidget *w) {
                                EXPECT_EQ(Text(w, "pageHeight"), "12.70");
                                EXPECT_EQ(Text(w, "tileHeight"), "297.00");
                            })}));
}

TEST_F(StyleDialogTest, PapersAddedAndRemovedStayAfterCancel) {
    StyleParams p = Params(500, 700);
    EXPECT_FALSE(
        Run(p, {Choose("pagesMenu", -3), Type("paperName", "Poster"), Press("paperNameOK"), Check([](QWidget *w) {
                    EXPECT_FALSE(Child<QDialog>(w, "paperNameWindow")->isVisible());
                    EXPECT_EQ(Tag(w, "pagesMenu"), 3);
                }),
                // Escape in the name sheet is its Cancel: back to the entry shown before.
                Choose("pagesMenu", 0), Choose("pagesMenu", -3),
                [](QWidget *w) { QTest::keyClick(Child<QDialog>(w, "paperNameWindow"), Qt::Key_Escape); },
                Check([](QWidget *w) { EXPECT_EQ(Tag(w, "pagesMenu"), 0); })}));
    ASSERT_EQ(CountPaper(*papers_), 4);
    EXPECT_EQ(GetPaper(*papers_, 3).name, "Poster");
    ResetPreferencesCache();
    EXPECT_EQ(CountPaper(*ReadPageSizeStrings(Domain(), kDefaultPapers)), 4);

    // Remove the paper in use: the menu falls back to what matches the size, the page stays.
    EXPECT_FALSE(Run(p, {Choose("pagesMenu", 2), Choose("pagesMenu", -4), Check([](QWidget *w) {
                             EXPECT_EQ(Tag(w, "pagesMenu"), -2);
                             EXPECT_EQ(Text(w, "pageWidth"), "210.00");
                         })}));
    EXPECT_EQ(CountPaper(*papers_), 3);
    EXPECT_EQ(GetPaper(*papers_, 2).name, "Poster");

    while (AddNewPaper(*papers_, {"P", 100, 100})) {
    }
    StyleParams full = Params(280, 390);  // a full catalogue refuses another paper with a beep
    EXPECT_FALSE(Run(full, {Choose("pagesMenu", 1), Choose("pagesMenu", -3), Check([](QWidget *w) {
                                EXPECT_FALSE(Child<QDialog>(w, "paperNameWindow")->isVisible());
                                EXPECT_EQ(Tag(w, "pagesMenu"), 1);
                            })}));
    EXPECT_EQ(gHostBeeps, 1);
    EXPECT_EQ(CountPaper(*papers_), 40);
}

TEST_F(StyleDialogTest, OkRefusesAnImpossibleTileAndTheCheckBoxesCount) {
    StyleParams p = Params(210, 297);
    EXPECT_FALSE(Run(p, {Press("isTiled"), Retype("tileWidth", "0"), Press("ok"),
                         Check([](QWidget *w) { EXPECT_EQ(w->focusWidget()->objectName(), "tileWidth"); })}));
    EXPECT_EQ(gHostBeeps, 1);

    // Tiling off: the tile is snapped and clamped to the page, not checked.
    StyleParams q = Params(210, 297);
    ASSERT_TRUE(Run(q, {Retype("tileWidth", "100.01"), Press("isBW"), Press("ok")}));
    EXPECT_EQ(q.isTiled, 0);
    EXPECT_EQ(q.isBW, 1);
    EXPECT_NEAR(q.tileWidth_mm, 1182 / (300 / 25.4), 1e-9);
}

TEST_F(StyleDialogTest, OpensOnTheRecordsPaperAndResolution) {
    StyleParams named = Params(280, 390, 6614, 9213);  // 600 dpi
    named.pageName = "Custom";
    EXPECT_FALSE(Run(named, {Check([](QWidget *w) {
                         EXPECT_EQ(Tag(w, "pagesMenu"), -2);
                         EXPECT_EQ(Tag(w, "resolutionsMenu"), 0);
                     })}));
    EXPECT_EQ(named.pageName, "Custom");  // untouched by the cancel
    StyleParams byName = Params(100, 100);
    byName.pageName = "A2";
    EXPECT_FALSE(Run(byName, {Check([](QWidget *w) { EXPECT_EQ(Tag(w, "pagesMenu"), 0); })}));
}
