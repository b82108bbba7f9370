// Catalogue texts, lookups and edits.
#include <gtest/gtest.h>

#include <kiv/KIVPrinterDriver.h>

#include "media/Catalogue.hpp"

using namespace kiv;

TEST(CatalogueText, LineFormat) {
    auto papers = SetPapersFrom("\r\rSuper~B 330 483\r\rOnlyName\r*X 1.5\r*Last 10 20 30\r   \r*\rA4 abc 297");
    ASSERT_EQ(CountPaper(*papers), 5);
    EXPECT_EQ(GetPaper(*papers, 0).name, "Super B");
    EXPECT_EQ(GetPaper(*papers, 0).height, 483);
    EXPECT_EQ(GetPaper(*papers, 1).width, 0);
    EXPECT_EQ(GetPaper(*papers, 1).height, 0);
    EXPECT_EQ(GetPaper(*papers, 2).width, 1.5);
    EXPECT_EQ(GetPaper(*papers, 2).height, 0);
    EXPECT_EQ(DefaultPaperIndex(*papers), 3);  // the last marked line wins
    EXPECT_EQ(GetPaper(*papers, 4).width, 0);  // a number that does not read ends the numbers

    auto res = SetResolutionsFrom("720x360 720 360\r360 360\r1~2 5");
    ASSERT_EQ(CountResolution(*res), 3);
    EXPECT_EQ(GetResolution(*res, 0).name, "720x360");
    EXPECT_EQ(GetResolution(*res, 0).ydpi, 360);
    EXPECT_EQ(GetResolution(*res, 1).name, "360");
    EXPECT_EQ(GetResolution(*res, 1).xdpi, 360);
    EXPECT_EQ(GetResolution(*res, 1).ydpi, 360);
    EXPECT_EQ(GetResolution(*res, 2).name, "1~2");
    EXPECT_EQ(DefaultResolution(*res), 0);
}

TEST(CatalogueText, CapacityAndNameLimits) {
    std::string text;
    for (int i = 0; i < 41; ++i) text += (i == 40 ? "*P" : "P") + std::to_string(i) + " 100 100\r";
    auto papers = SetPapersFrom(text);
    EXPECT_EQ(CountPaper(*papers), 40);
    EXPECT_EQ(DefaultPaperIndex(*papers), 0);  // the marked 41st line was ignored

    std::string longName;
    for (int i = 0; i < 100; ++i) longName += "\xE2\x82\xAC";  // 300 bytes
    auto cut = SetPapersFrom(longName + " 1 2");
    EXPECT_EQ(GetPaper(*cut, 0).name.size(), 255u);
    EXPECT_EQ(GetPaper(*cut, 0).name, longName.substr(0, 255));

    EXPECT_EQ(GetResolution(*SetResolutionsFrom("\xFF\xFE 300"), 0).name, "BAD NAME");
    EXPECT_EQ(GetPaper(*SetPapersFrom("\xC3 10 10"), 0).name, "BAD NAME");
}

TEST(Catalogue, Lookups) {
    auto papers = SetPapersFrom(kDefaultPapers);
    EXPECT_EQ(GetPaperBySize(*papers, 412.9, 552.1), &GetPaper(*papers, 0));
    EXPECT_EQ(GetPaperBySize(*papers, 413.0, 553), nullptr);
    EXPECT_EQ(GetPaperByName(*papers, "A3"), &GetPaper(*papers, 1));
    EXPECT_EQ(GetPaperByName(*papers, "a3"), nullptr);
}

TEST(Catalogue, AddAndRemovePapers) {
    auto papers = SetPapersFrom(kDefaultPapers);
    for (int i = 2; i < 40; ++i) ASSERT_TRUE(AddNewPaper(*papers, {"P" + std::to_string(i), 1, 2}));
    EXPECT_FALSE(AddNewPaper(*papers, {"one too many", 1, 2}));
    EXPECT_EQ(CountPaper(*papers), 40);
    EXPECT_EQ(DefaultPaperIndex(*papers), 1);

    RemovePaper(*papers, -1);
    RemovePaper(*papers, 40);
    EXPECT_EQ(CountPaper(*papers), 40);
    RemovePaper(*papers, 0);
    EXPECT_EQ(CountPaper(*papers), 39);
    EXPECT_EQ(GetPaper(*papers, 0).name, "A3");
    EXPECT_EQ(GetPaper(*papers, 38).name, "P39");
    EXPECT_FALSE(AddNewPaper(*papers, {"\xFF", 1, 2}));
}

TEST(Catalogue, RemovingResolutionsKeepsTheDefaultOnItsEntry) {
    auto res = SetResolutionsFrom("a 1\rb 2\r*c 3\rd 4");
    RemoveResolution(*res, 0);  // before the default: it moves down with its entry
    EXPECT_EQ(GetResolution(*res, DefaultResolution(*res)).name, "c");
    RemoveResolution(*res, 2);  // after it
    EXPECT_EQ(GetResolution(*res, DefaultResolution(*res)).name, "c");
    RemoveResolution(*res, 1);  // the default itself
    EXPECT_EQ(DefaultResolution(*res), 0);
    RemoveResolution(*res, 5);
    EXPECT_EQ(CountResolution(*res), 1);
    ResEntry full{"x", 1, 1};
    while (AddNewResolution(*res, full)) {
    }
    EXPECT_EQ(CountResolution(*res), 40);
}
