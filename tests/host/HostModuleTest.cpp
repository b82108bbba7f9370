// The driver as a host sees it: loaded from its bundle with dlopen, driven through the C
// entry points only, with a private preferences home.
#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <regex>
#include <sstream>
#include <string>

#include "common/PrintRecordView.hpp"
#include "support/Commands.hpp"
#include "support/HostHooks.hpp"
#include "support/LoadedDriver.hpp"

using kivhost::PrintRecordView;

namespace {

constexpr const char *kDomain = "com.varnel.printerdriver";

class HostModule : public kivtest::LoadedDriver {
protected:
    DriverRecord *Open() {
        DriverRecord *record = nullptr;
        EXPECT_EQ(driver_.KIVPrOpen(bundle_, &record), 0);
        return record;
    }
    kivtest::ScopedHostHooks hooks_;
};

}  // namespace

TEST_F(HostModule, ExportsOnlyTheDriverInterface) {
    // The names the version script lists, with the header's KIVPr entry points for its pattern.
    std::set<std::string> expected, exported;
    const std::regex name(R"(^\s+(\w+);)"), entryPoint(R"(KIV_EXPORT [^(]*\b(KIVPr\w+)\()");
    std::istringstream map(kivtest::ReadFile(KIV_SOURCE_DIR "/src/driver/exports.map"));
    for (std::string line; std::getline(map, line);)
        if (std::smatch m; std::regex_search(line, m, name)) expected.insert(m[1]);
    const std::string header = kivtest::ReadFile(KIV_SOURCE_DIR "/include/kiv/KIVPrinterDriver.h");
    for (std::sregex_iterator i(header.begin(), header.end(), entryPoint), end; i != end; ++i) expected.insert((*i)[1]);
    const kivtest::CommandOutput nm = kivtest::RunCommand(std::string("nm -D --defined-only '") + KIV_BUNDLE_DIR +
                                                          "/libVarnelPrinterDriver.so' | awk '{print $3}'");
    ASSERT_EQ(nm.status, 0) << nm.text;
    std::istringstream in(nm.text);
    exported.insert(std::istream_iterator<std::string>(in), {});
    EXPECT_EQ(exported, expected);
}

TEST_F(HostModule, CatalogueSetupAndHooksAreSharedWithTheHost) {
    // A Letter paper and page setup saved by another program.
    std::filesystem::copy_file(KIV_SOURCE_DIR "/tests/host/letter.plist", home_.FileOf(kDomain));
    DriverRecord *record = Open();
    driver_.KIVPrDefaults(record, print_);
    EXPECT_EQ(PrintRecordView(print_).widthPixels(), 5100);  // 600 dpi, the nearest catalogue resolution
    EXPECT_EQ(PrintRecordView(print_).heightPixels(), 6600);
    EXPECT_EQ(PrintRecordView(print_).paperName(), "Letter");
    // The host's option-key and beep hooks reach the driver: the record is reset with a beep.
    hooks_.option = 1;
    EXPECT_TRUE(driver_.KIVPrValidate(record, print_));
    EXPECT_EQ(hooks_.beeps, 1);
    EXPECT_EQ(driver_.KIVPrClose(record), 0);
}
