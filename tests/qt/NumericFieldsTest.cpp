// Menu tags and numeric fields with units, in the user's locale.
#include <kiv/KIVPrinterDriver.h>

#include "dialogs/NumericFields.hpp"
#include "forms/qt/QtWidgets.hpp"
#include "media/MenuTags.hpp"
#include "qt/QtUser.hpp"

using namespace kiv;
using kivtest::ScopedEnv;

namespace {

// A real line edit behind the form layer's field.
struct Field : forms::QtTextField {
    explicit Field(const char *text = "") : forms::QtTextField(&edit) { edit.setText(text); }
    bool selected() const { return edit.hasSelectedText(); }
    bool focused() const { return edit.focusWidget() == &edit; }
    QLineEdit edit;
};

class NumericFields : public ::testing::Test {
protected:
    void SetUp() override { gHostBeeps = 0; }
    int Beeps() const { return gHostBeeps; }
    ScopedEnv locale_{"LC_ALL", "C.UTF-8"};
};

}  // namespace

TEST(MenuTags, PapersAndResolutions) {
    auto papers = SetPapersFrom(kDefaultPapers);
    EXPECT_EQ(PageTagBySize(*papers, 412.5, 553.4), 0);
    EXPECT_EQ(PageTagBySize(*papers, 210, 297), -2);
    EXPECT_EQ(PageTagByName(*papers, "A3"), 1);
    EXPECT_EQ(PageTagByName(*papers, "a3"), -2);
    EXPECT_EQ(GetPaperName(*papers, -2), "Custom");
    EXPECT_EQ(GetPaperName(*papers, 1), "A3");
    EXPECT_EQ(GetPaperName(*papers, 2), "Custom");  // outside the catalogue
    EXPECT_EQ(GetPaperName(*papers, -7), "Custom");

    auto res = SetResolutionsFrom(kDefaultResolutions);
    EXPECT_EQ(ResolutionTag(*res, 360, 360), 1);
    EXPECT_EQ(ResolutionTag(*res, 450, 450), 0);  // equally far: the first
    auto empty = SetResolutionsFrom("");
    EXPECT_EQ(ResolutionTag(*empty, 300, 300), 0);
    double x = -1, y = -1;
    EXPECT_EQ(GetResolutionFromTag(2, *res, x, y)->name, "150");
    EXPECT_EQ(x, 150);
    EXPECT_EQ(GetResolutionFromTag(3, *res, x, y), nullptr);
}

TEST_F(NumericFields, ShownWithTwoDecimalsAndReadAsOneNumber) {
    const struct {
        int32_t unit;
        double mm;
        const char *text;
    } shown[] = {{3, 25.4, "1.00"}, {1, 10, "28.35"}, {2, 0.125, "0.12"} /* halves to even */, {7, 0.375, "0.38"}};
    for (const auto &c : shown) {
        Field f;
        StuffUnitNumber(f, c.unit, c.mm);
        EXPECT_EQ(f.Text(), c.text) << c.unit << " " << c.mm;
    }
    EXPECT_EQ(FormatDecimalString(0, 2.5), "2");
    EXPECT_EQ(FormatDecimalString(30, 1).size(), 22u);  // at most 20 decimals

    const struct {
        const char *text;
        FetchStatus status;
        double value;
    } read[] = {{"", kFetchNotANumber, 0},    {"12abc", kFetchNotANumber, 0}, {"abc", kFetchNotANumber, 0},
                {"inf", kFetchNotANumber, 0}, {"nan", kFetchNotANumber, 0},   {"0x10", kFetchNotANumber, 0},
                {"1 2", kFetchNotANumber, 0}, {"  12.5 ", kFetchOK, 12.5},    {"150", kFetchOutOfRange, 0},
                {"100", kFetchOK, 100},       {"-0.001", kFetchOutOfRange, 0}};
    for (const auto &c : read) {
        double v = 9;
        EXPECT_EQ(FetchDouble(Field(c.text), v, 0, 100), c.status) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    Field wrong("abc");
    double mm = 5;
    EXPECT_EQ(FetchUnitNumber(wrong, 2, mm, true, 100, 0), kFetchNotANumber);
    EXPECT_TRUE(wrong.selected());
    EXPECT_EQ(Beeps(), 1);
}

TEST_F(NumericFields, ACommaLocaleReadsAndWritesCommas) {
    ScopedEnv german("LC_ALL", "de_DE.UTF-8");
    if (UserDecimalSeparator() != ",") GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    Field f;
    StuffUnitNumber(f, 3, 12.7);
    EXPECT_EQ(f.Text(), "0,50");
    double v = 0;
    EXPECT_EQ(FetchDouble(Field("279,99"), v, 0, 1000), kFetchOK);
    EXPECT_EQ(v, 279.99);
    EXPECT_EQ(FetchDouble(Field("279.99"), v, 0, 1000), kFetchNotANumber);
}

TEST_F(NumericFields, FetchValueTakesOnlyNewValidText) {
    Field f("100");
    double mm = 1;
    std::optional<std::string> last;
    EXPECT_TRUE(FetchValue(f, 2, mm, last, false, 12.7, 5000));
    EXPECT_EQ(mm, 100);
    EXPECT_EQ(*last, "100");
    mm = 3;
    EXPECT_FALSE(FetchValue(f, 2, mm, last, true, 12.7, 5000));  // unchanged: no check, no beep
    EXPECT_EQ(mm, 3);
    f.SetText("6000");
    EXPECT_FALSE(FetchValue(f, 2, mm, last, false, 12.7, 5000));
    EXPECT_EQ(Beeps(), 0);
}

TEST_F(NumericFields, ValidateFieldAcceptsTheShownRoundingAndClamps) {
    std::optional<std::string> last = "previous";
    Field half("0.50");
    double mm = 0;
    EXPECT_TRUE(ValidateField(half, 3, mm, last, 12.7, 5000));
    EXPECT_DOUBLE_EQ(mm, 12.7);
    Field small("0.49");
    last = "previous";
    EXPECT_FALSE(ValidateField(small, 3, mm, last, 12.7, 5000));
    EXPECT_TRUE(small.selected());
    EXPECT_TRUE(small.focused());
    EXPECT_EQ(Beeps(), 1);

    // No previous text: the stored value is checked and the text is not read.
    std::optional<std::string> none;
    Field anything("rubbish");
    mm = 12.69;
    EXPECT_FALSE(ValidateField(anything, 2, mm, none, 12.7, 5000));
    EXPECT_TRUE(anything.focused());
    EXPECT_EQ(Beeps(), 2);
    mm = 5000.0;
    EXPECT_TRUE(ValidateField(anything, 2, mm, none, 12.7, 5000));
    // In points 5000 mm shows as 14173.23 pt = 5000.0006 mm: a value that high is taken and
    // clamped to the limit.
    mm = 5000.0005;
    EXPECT_TRUE(ValidateField(anything, 1, mm, none, 12.7, 5000));
    EXPECT_EQ(mm, 5000.0);
    mm = 5000.001;
    EXPECT_FALSE(ValidateField(anything, 1, mm, none, 12.7, 5000));
}
