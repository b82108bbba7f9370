// The driver as a host sees it: loaded from its bundle with dlopen, driven through the C
// entry points only, with a private preferences home.
#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "common/PrintRecordView.hpp"
#include "support/Commands.hpp"
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
    const auto words = [](const std::string &text) {
        std::istringstream in(text);
        return std::set<std::string>(std::istream_iterator<std::string>(in), {});
    };
    const kivtest::CommandOutput nm = kivtest::RunCommand(std::string("nm -D --defined-only '") + KIV_BUNDLE_DIR +
                                                          "/libVarnelPrinterDriver.so' | awk '{print $3}'");
    ASSERT_EQ(nm.status, 0) << nm.text;
    EXPECT_EQ(words(nm.text),
              words("KIVPrOpen KIVPrClose KIVPrSuggestPage KIVPrValidate KIVPrDefaults KIVPrGetInfo KIVPrSetJobName "
                    "KIVPrCopyJobSettings KIVPrSetJobSettings KIVPrJobMerge KIVPrSetError KIVPrErrorString "
                    "KIVPrOpenDoc KIVPrOpenPage KIVPrPrintBitmap KIVPrClosePage KIVPrCloseDoc KIVPrCopyOutputFileName "
                    "KIVPrSetProfile KIVPrSetMetadata KIVPrStyle KIVPrJob MakeDestFileName EncodeHPrint DecodeHPrint "
                    "kDefaultPapers kDefaultResolutions delimiters kKIVPrinterDriverUUIDKey "
                    "kKIVPrinterDriverPageNameKey kKIVPrinterDriverJobNameKey kKIVPrinterDriverICCProfileKey "
                    "Stuff8 Stuff32 StuffRGB32 Stuff64 Stuff96 Blank8 Blank32 Blank64 Blank96 Decompress8 "
                    "Decompress8ToRGB Decompress32 Decompress64 Decompress96 WorstCaseBufferSize8 "
                    "WorstCaseBufferSize32 WorstCaseBufferSize64 WorstCaseBufferSize96"));
}

TEST_F(HostModule, CatalogueSetupAndHooksAreSharedWithTheHost) {
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
    // The host's option-key and beep hooks reach the driver: the record is reset with a beep.
    gOption = 1;
    EXPECT_TRUE(driver_.KIVPrValidate(record, print_));
    EXPECT_EQ(gBeeps, 1);
    EXPECT_EQ(driver_.KIVPrClose(record), 0);
}
