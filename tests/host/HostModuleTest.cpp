// The driver as a host sees it: loaded from its bundle with dlopen, driven through the C
// entry points only, with a private preferences home.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "common/PrintRecordView.hpp"
#include "support/LoadedDriver.hpp"

using kivhost::PrintRecordView;

namespace {

constexpr const char *kDomain = "com.varnel.printerdriver";

int gBeeps = 0;
uint8_t gOption = 0;

class HostModule : public kivtest::LoadedDriver {
protected:
    void SetUp() override {
        LoadedDriver::SetUp();
        gBeeps = 0;
        gOption = 0;
        KIVSetBeepProc([] { ++gBeeps; });
        KIVSetOptionKeyProc([] { return gOption; });
    }
    void TearDown() override {
        KIVSetBeepProc(nullptr);
        KIVSetOptionKeyProc(nullptr);
        LoadedDriver::TearDown();
    }
    DriverRecord *Open() {
        DriverRecord *record = nullptr;
        EXPECT_EQ(driver_.KIVPrOpen(bundle_, &record), 0);
        return record;
    }
    static void Store(const char *key, plist_t value) {
        KIVPreferencesSetAppValue(key, value, kDomain);
        plist_free(value);
    }
};

}  // namespace

TEST_F(HostModule, ExportsOnlyTheDriverInterface) {
    const std::string command =
        std::string("nm -D --defined-only '") + KIV_BUNDLE_DIR + "/libVarnelPrinterDriver.so' | awk '{print $3}'";
    std::set<std::string> names;
    FILE *p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[256];
    while (fgets(line, sizeof line, p)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
        if (!s.empty()) names.insert(s);
    }
    pclose(p);
    const std::set<std::string> expected = {"KIVPrOpen",
                                            "KIVPrClose",
                                            "KIVPrSuggestPage",
                                            "KIVPrValidate",
                                            "KIVPrDefaults",
                                            "KIVPrGetInfo",
                                            "KIVPrSetJobName",
                                            "KIVPrCopyJobSettings",
                                            "KIVPrSetJobSettings",
                                            "KIVPrJobMerge",
                                            "KIVPrSetError",
                                            "KIVPrErrorString",
                                            "kDefaultPapers",
                                            "kDefaultResolutions",
                                            "delimiters",
                                            "EncodeHPrint",
                                            "DecodeHPrint",
                                            "kKIVPrinterDriverUUIDKey",
                                            "kKIVPrinterDriverPageNameKey",
                                            "kKIVPrinterDriverJobNameKey",
                                            "kKIVPrinterDriverICCProfileKey",
                                            "Stuff8",
                                            "Stuff32",
                                            "StuffRGB32",
                                            "Stuff64",
                                            "Stuff96",
                                            "Blank8",
                                            "Blank32",
                                            "Blank64",
                                            "Blank96",
                                            "Decompress8",
                                            "Decompress8ToRGB",
                                            "Decompress32",
                                            "Decompress64",
                                            "Decompress96",
                                            "WorstCaseBufferSize8",
                                            "WorstCaseBufferSize32",
                                            "WorstCaseBufferSize64",
                                            "WorstCaseBufferSize96",
                                            "KIVPrOpenDoc",
                                            "KIVPrOpenPage",
                                            "KIVPrPrintBitmap",
                                            "KIVPrClosePage",
                                            "KIVPrCloseDoc",
                                            "KIVPrCopyOutputFileName",
                                            "KIVPrSetProfile",
                                            "KIVPrSetMetadata",
                                            "MakeDestFileName",
                                            "KIVPrStyle",
                                            "KIVPrJob"};
    EXPECT_EQ(names, expected);
}

TEST_F(HostModule, DefaultRecordAndValidation) {
    DriverRecord *record = Open();
    EXPECT_TRUE(driver_.KIVPrValidate(record, print_));
    ASSERT_EQ(GetHandleSize(print_), 306);
    EXPECT_EQ(PrintRecordView(print_).widthPixels(), 3307);
    EXPECT_EQ(PrintRecordView(print_).heightPixels(), 4607);
    EXPECT_EQ(PrintRecordView(print_).widthMillimetres(), 279.99266666666665);
    EXPECT_EQ(PrintRecordView(print_).heightMillimetres(), 390.0593333333333);
    EXPECT_FALSE(driver_.KIVPrValidate(record, print_));

    PageInfo info;
    driver_.KIVPrGetInfo(record, print_, &info);
    EXPECT_EQ(+info.widthPixels, 3307);
    EXPECT_EQ(+info.fromPage, 1);
    EXPECT_EQ(+info.toPage, 999);

    gOption = 1;  // the user holds the option key: reset with a beep
    EXPECT_TRUE(driver_.KIVPrValidate(record, print_));
    EXPECT_EQ(gBeeps, 1);
    EXPECT_EQ(driver_.KIVPrClose(record), 0);
}

TEST_F(HostModule, StickyStatusAndMessages) {
    DriverRecord *record = Open();
    driver_.KIVPrSetError(record, -39);
    EXPECT_FALSE(driver_.KIVPrValidate(record, print_));
    EXPECT_EQ(GetHandleSize(print_), 0);
    driver_.KIVPrSetError(record, -1);
    unsigned char message[256];
    driver_.KIVPrErrorString(record, -39, message);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(message + 1), message[0]), "An error ocurred while printing");
    driver_.KIVPrErrorString(record, -128, message);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(message + 1), message[0]), "Printing cancelled by user");
    EXPECT_EQ(driver_.KIVPrClose(record), -39);
}

TEST_F(HostModule, CatalogueAndPageSetupComeFromThePreferencesFile) {
    plist_t letter = plist_new_dict();
    plist_dict_set_item(letter, "Name", plist_new_string("Letter"));
    plist_dict_set_item(letter, "Width", plist_new_real(215.9));
    plist_dict_set_item(letter, "Height", plist_new_real(279.4));
    plist_t papers = plist_new_array();
    plist_array_append_item(papers, letter);
    plist_t paperSizes = plist_new_dict();
    plist_dict_set_item(paperSizes, "Default", plist_new_uint(0));
    plist_dict_set_item(paperSizes, "Papers", papers);
    Store("Paper Sizes", paperSizes);

    plist_t setup = plist_new_dict();
    plist_dict_set_item(setup, "Width", plist_new_uint(5100));
    plist_dict_set_item(setup, "Height", plist_new_uint(6600));
    plist_dict_set_item(setup, "Width_mm", plist_new_real(215.9));
    plist_dict_set_item(setup, "Height_mm", plist_new_real(279.4));
    plist_dict_set_item(setup, "PageName", plist_new_string("Letter"));
    Store("DefaultPageSetup", setup);
    ASSERT_TRUE(KIVPreferencesAppSynchronize(kDomain));

    // Another reader sees exactly what was stored.
    const std::string out = kivtest::RunPython(
        "import plistlib, sys\n"
        "d = plistlib.load(open(sys.argv[1], 'rb'))\n"
        "p = d['Paper Sizes']['Papers'][0]\n"
        "print(p['Name'], p['Width'], d['DefaultPageSetup']['Width'])\n",
        home_.FileOf(kDomain));
    EXPECT_EQ(out, "Letter 215.9 5100\n");

    DriverRecord *record = Open();
    driver_.KIVPrDefaults(record, print_);
    EXPECT_EQ(PrintRecordView(print_).widthPixels(), 5100);  // 600 dpi, the nearest catalogue resolution
    EXPECT_EQ(PrintRecordView(print_).heightPixels(), 6600);
    EXPECT_EQ(std::string(*print_ + 51, static_cast<unsigned char>((*print_)[50])), "Letter");
    EXPECT_EQ(driver_.KIVPrClose(record), 0);
}

TEST_F(HostModule, JobSettingsCarryARealFolder) {
    kivtest::TempDir hot;
    DriverRecord *record = Open();
    driver_.KIVPrDefaults(record, print_);
    plist_t settings = plist_new_dict();
    plist_dict_set_item(settings, "copies", plist_new_uint(2));
    plist_dict_set_item(settings, "outputFolder", KIVCreateBookmarkDataForPath(hot.path().c_str()));
    EXPECT_TRUE(driver_.KIVPrSetJobSettings(record, print_, settings));
    plist_free(settings);

    plist_t copied = driver_.KIVPrCopyJobSettings(record, print_);
    char *folder = KIVCopyPathByResolvingBookmarkData(plist_dict_get_item(copied, "outputFolder"));
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(std::string(folder), hot.path().string());
    free(folder);
    uint64_t copies = 0;
    plist_get_uint_val(plist_dict_get_item(copied, "copies"), &copies);
    EXPECT_EQ(copies, 2u);

    // The same dictionary on a second session gives the same job.
    DriverRecord *second = Open();
    Handle secondPrint = NewHandle(0);
    driver_.KIVPrDefaults(second, secondPrint);
    EXPECT_TRUE(driver_.KIVPrSetJobSettings(second, secondPrint, copied));
    EXPECT_EQ(PrintRecordView(secondPrint).copies(), 2);
    plist_free(copied);
    DisposeHandle(secondPrint);
    EXPECT_EQ(driver_.KIVPrClose(second), 0);
    EXPECT_EQ(driver_.KIVPrClose(record), 0);
}
