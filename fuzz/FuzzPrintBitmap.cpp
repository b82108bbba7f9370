// Whatever bands and rectangles a host hands over, on a small page of any pixel format: the
// entry points never read outside the band's bitmap, and a document they finish is a sound job
// file of the page's size.
//
// Input: byte 0 the band format (and black and white), then groups of 13 bytes per band: the
// bitmap's bounds (4 signed bytes), the source and destination rectangles (4 each, relative),
// and the row padding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <kiv/KIVPrinterDriver.h>

#include "format/VAD3Format.hpp"
#include "format/VAD3Reader.hpp"

namespace {

namespace fs = std::filesystem;

constexpr int kPageWidth = 160, kPageHeight = 150;  // 12.7 mm, the smallest page, at 300 dpi
constexpr int16_t kBandFormats[] = {8, 32, 33, 34, 35, 36, 64};

// A private bundle, preferences home and hot folder for the whole run.
struct Setup {
    fs::path root, hot;
    KIVBundleRef bundle = nullptr;

    Setup() {
        std::string pattern = (fs::temp_directory_path() / "kivfuzz.XXXXXX").string();
        root = mkdtemp(pattern.data());
        hot = root / "hot";
        fs::create_directories(hot);
        fs::create_directories(root / "bundle");
        std::ofstream(root / "bundle" / "Info.plist")
            << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
               "<string>com.example.fuzz</string></dict></plist>";
        setenv("XDG_CONFIG_HOME", root.c_str(), 1);
        bundle = KIVBundleCreate((root / "bundle").c_str());
    }
    ~Setup() {
        KIVBundleRelease(bundle);
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

int32_t Signed(uint8_t b) { return static_cast<int8_t>(b); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Setup setup;
    if (size < 1 || !setup.bundle) return 0;
    const int16_t format = kBandFormats[data[0] % 7];
    const std::size_t pixelSize = kiv::PixelSizeFromFormat(format);

    DriverRecord *record = nullptr;
    if (KIVPrOpen(setup.bundle, &record) != 0) return 0;
    Handle print = NewHandle(0);
    const PageGeometry page{kPageWidth, kPageHeight, kPageWidth / 300.0 * 25.4, kPageHeight / 300.0 * 25.4};
    KIVPrSuggestPage(record, print, &page, format);
    KIVPrValidate(record, print);
    (*print)[30] = (data[0] & 0x80) != 0;  // black and white
    plist_t settings = plist_new_dict();
    plist_dict_set_item(settings, "outputFolder", KIVCreateBookmarkDataForPath(setup.hot.c_str()));
    KIVPrSetJobSettings(record, print, settings);
    plist_free(settings);

    int32_t status = KIVPrOpenDoc(record, print);
    if (status == 0) status = KIVPrOpenPage(record);
    for (std::size_t at = 1; status == 0 && at + 13 <= size; at += 13) {
        const uint8_t *b = data + at;
        const LongRect bounds{Signed(b[0]), Signed(b[1]), Signed(b[0]) + b[2] % 64, Signed(b[1]) + b[3] % 64};
        const LongRect src{bounds.top + Signed(b[4]), bounds.left + Signed(b[5]), bounds.top + Signed(b[6]),
                           bounds.left + Signed(b[7])};
        const LongRect dst{Signed(b[8]) * 2, Signed(b[9]) * 2, Signed(b[8]) * 2 + b[10], Signed(b[9]) * 2 + b[11]};
        const int64_t rows = int64_t{bounds.bottom} - bounds.top, columns = int64_t{bounds.right} - bounds.left;
        const uint32_t rowBytes = static_cast<uint32_t>(std::max<int64_t>(columns, 0) * pixelSize + b[12] % 8);
        // Exactly the bitmap the bounds describe, so that ASan sees any read outside it.
        std::vector<uint8_t> bitmap(static_cast<std::size_t>(std::max<int64_t>(rows, 0)) * rowBytes + 1);
        for (std::size_t i = 0; i < bitmap.size(); ++i) bitmap[i] = static_cast<uint8_t>(i * 31 + at);
        const HostBitmap band{bitmap.data(), bounds, rowBytes, format};
        const int32_t e = KIVPrPrintBitmap(record, &band, &src, &dst);
        if (e != 0 && e != -50) status = e;  // a rectangle outside the bitmap is refused, and stops the job
        if (e == -50) break;
    }
    if (status == 0) status = KIVPrClosePage(record);
    const int32_t closed = KIVPrCloseDoc(record);
    char *file = KIVPrCopyOutputFileName(record);
    if (status == 0 && closed == 0) {
        // A finished document is a sound file of the page's size, with the one page.
        kiv::VAD3Reader reader;
        if (!file || !kiv::VerifyVAD3(file).empty() || !reader.Open(file).empty() ||
            reader.header().width != kPageWidth || reader.header().height != kPageHeight ||
            reader.header().pageCount != 1) {
            __builtin_trap();
        }
    } else if (file) {
        __builtin_trap();  // a failed document named a file
    }
    if (file) fs::remove(file);
    std::free(file);
    KIVPrClose(record);
    DisposeHandle(print);
    return 0;
}
