// Catalogues in the preferences: written and read back, and stored files (in stored/) read as
// their table says.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include <kiv/KIVPrinterDriver.h>

#include "media/Catalogue.hpp"
#include "platform/Preferences.hpp"
#include "support/TempDir.hpp"

using namespace kiv;

namespace {
constexpr const char *kDomain = "com.example.catalogue-test";

// "count default first last", the entries as name:WxH in whole units.
std::string Entry(const std::string &name, double a, double b) {
    return " " + name + ":" + std::to_string(int(a)) + "x" + std::to_string(int(b));
}
std::string Papers() {
    auto p = ReadPageSizeStrings(kDomain, kDefaultPapers);
    if (!p) return "none";
    const int64_t n = CountPaper(*p);
    std::string s = std::to_string(n) + " " + std::to_string(DefaultPaperIndex(*p));
    for (const int64_t i : {int64_t{0}, n - 1})
        if (n) s += Entry(GetPaper(*p, i).name, GetPaper(*p, i).width, GetPaper(*p, i).height);
    return s;
}
std::string Resolutions() {
    auto r = ReadResolutionStrings(kDomain, kDefaultResolutions);
    const int64_t n = CountResolution(*r);
    std::string s = std::to_string(n) + " " + std::to_string(DefaultResolution(*r));
    for (const int64_t i : {int64_t{0}, n - 1})
        if (n) s += Entry(GetResolution(*r, i).name, GetResolution(*r, i).xdpi, GetResolution(*r, i).ydpi);
    return s;
}
}  // namespace

TEST(CatalogueStore, WriteThenReadGivesTheSameCatalogue) {
    kivtest::ScopedConfigHome home;
    ASSERT_TRUE(WriteNewPaperSettings(kDomain, *SetPapersFrom("Super~B 330 483\r*A3 280 390\rTiny 12.7 12.7")));
    ASSERT_TRUE(WriteNewResolutions(kDomain, *SetResolutionsFrom("720x360 720 360\r*300 300")));
    // Exactly the entries there are, nothing after them.
    for (const auto &[key, list, count] : {std::tuple{"Paper Sizes", "Papers", 3u}, {"Resolutions", "Resolutions", 2u}})
        EXPECT_EQ(plist_array_get_size(DictGet(CopyPreferenceValue(kDomain, key).get(), list)), count) << key;
    ResetPreferencesCache();
    EXPECT_EQ(Papers(), "3 1 Super B:330x483 Tiny:12x12");
    EXPECT_EQ(GetPaper(*ReadPageSizeStrings(kDomain, kDefaultPapers), 2).width, 12.7);
    EXPECT_EQ(Resolutions(), "2 1 720x360:720x360 300:300x300");
}

TEST(CatalogueStore, StoredFilesReadAsTheirTableSays) {
    // Sizes and resolutions that cannot be printed (zero, negative, not finite, beyond the
    // job file's field) and malformed elements are skipped, within the first forty; a default
    // that designates no entry is 0; values of the wrong type give the built-in catalogues.
    // The papers p4 … p44 of "malformed" (one more than fit) are made here, as is "default"'s
    // default index.
    std::string papers;
    for (int i = 4; i <= 44; ++i)
        papers += "<dict><key>Height</key><integer>" + std::to_string(i) + "</integer><key>Name</key><string>p" +
                  std::to_string(i) + "</string><key>Width</key><real>" + std::to_string(i) + "</real></dict>";
    const struct {
        const char *file, *marker;
        std::string value;
        const char *papers, *resolutions;
    } cases[] = {
        {"unprintable", "", "", "1 0 p:200x100 p:200x100", "1 0 150.0:150x150 150.0:150x150"},
        {"malformed", "@PAPERS@", papers, "38 5 first:100x200 p39:39x39", "3 1 600:600x600 150:150x150"},
        {"default", "@DEFAULT@", "3", "3 0 a:1x1 c:1x1", "3 1 600:600x600 150:150x150"},  // one too high
        {"default", "@DEFAULT@", "-1", "3 0 a:1x1 c:1x1", "3 1 600:600x600 150:150x150"},
        {"wrong-types", "", "", "2 1 A2:412x553 A3:280x390", "3 1 600:600x600 150:150x150"},
        {"empty-lists", "", "", "0 0", "3 1 600:600x600 150:150x150"},  // no papers is a catalogue
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.value);
        kivtest::ScopedConfigHome home;
        std::string text = kivtest::ReadFile(std::string(KIV_TEST_DATA "/media/stored/") + c.file + ".plist");
        if (*c.marker) text.replace(text.find(c.marker), std::strlen(c.marker), c.value);
        kivtest::WriteFile(home.FileOf(kDomain), text);
        EXPECT_EQ(Papers(), c.papers);
        EXPECT_EQ(Resolutions(), c.resolutions);
    }
}

TEST(CatalogueStore, WithoutMemoryTheBuiltInCatalogueOrNothing) {
    kivtest::ScopedConfigHome home;
    ASSERT_TRUE(WriteNewPaperSettings(kDomain, *SetPapersFrom("Only 100 100")));
    gCatalogueAllocationFailures = 1;
    EXPECT_EQ(Papers(), "2 1 A2:412x553 A3:280x390");
    gCatalogueAllocationFailures = 2;
    EXPECT_EQ(Papers(), "none");
    gCatalogueAllocationFailures = 0;
}
