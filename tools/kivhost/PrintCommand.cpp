// Printing through the driver's entry points, band by band, as a host does.
#include "PrintCommand.hpp"

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <set>

#include "SavedRecord.hpp"
#include "common/DriverModule.hpp"
#include "common/Progress.hpp"

namespace kivhost {
namespace {

namespace fs = std::filesystem;

std::set<fs::path> JobFilesIn(const fs::path &folder) {
    std::set<fs::path> files;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(folder, ec))
        if (e.path().extension() == ".vad3") files.insert(e.path());
    return files;
}

class Printer {
public:
    // Follows the caller's record variable, which KIVPrOpen fills.
    Printer(DriverModule &driver, DriverRecord *&record) : driver_(driver), record_(record) {}

    // Reports a failed call with the driver's text and the code; true when code is 0.
    bool Check(int32_t code, const char *what) {
        if (code == 0) return true;
        unsigned char message[256];
        driver_.KIVPrErrorString(record_, code, message);
        std::fprintf(stderr, "kivhost: %s failed: %.*s (%d)\n", what, message[0], message + 1, code);
        return false;
    }

    // Sends one picture as one page, scaled to the page, in bands of bandRows source rows.
    bool PrintPage(const Picture &picture, BandFormat format, int bandRows, const PageInfo &page,
                   kivtools::ProgressBar &progress, unsigned long long &bandsDone, int pageNumber, int pages) {
        if (!Check(driver_.KIVPrOpenPage(record_), "KIVPrOpenPage")) return false;
        const int w = picture.width(), h = picture.height(), bpp = BytesPerPixel(format);
        std::vector<uint8_t> argb(static_cast<std::size_t>(w) * bandRows * 4), band(static_cast<std::size_t>(w) * bandRows * bpp);
        for (int y = 0; y < h; y += bandRows) {
            const int rows = std::min(bandRows, h - y);
            picture.Rows(y, rows, argb.data());
            ConvertPixels(argb.data(), static_cast<std::size_t>(w) * rows, format, band.data());
            const HostBitmap bitmap{band.data(), LongRect{y, 0, y + rows, w}, static_cast<uint32_t>(w * bpp),
                                    PixelFormatCode(format)};
            const LongRect src{y, 0, y + rows, w};
            // Rows land where the whole picture scaled to the page puts them.
            const LongRect dst{static_cast<int32_t>(int64_t{y} * page.heightPixels / h), 0,
                               static_cast<int32_t>(int64_t{y + rows} * page.heightPixels / h), page.widthPixels};
            if (!Check(driver_.KIVPrPrintBitmap(record_, &bitmap, &src, &dst), "KIVPrPrintBitmap")) return false;
            char detail[48];
            std::snprintf(detail, sizeof detail, "page %d of %d", pageNumber, pages);
            progress.Update(++bandsDone, detail);
        }
        return Check(driver_.KIVPrClosePage(record_), "KIVPrClosePage");
    }

private:
    DriverModule &driver_;
    DriverRecord *&record_;
};

}  // namespace

int RunPrint(const PrintOptions &options) {
    const auto started = std::chrono::steady_clock::now();
    // One picture in memory at a time: the next is read when its page comes.
    const std::size_t pages = options.images.empty() ? 1 : options.images.size();
    const auto load = [&](std::size_t i) -> std::unique_ptr<Picture> {
        if (options.images.empty()) return TestPage();
        std::string error;
        auto picture = LoadPng(options.images[i], error);
        if (!picture) std::fprintf(stderr, "kivhost: cannot read %s: %s\n", options.images[i].c_str(), error.c_str());
        return picture;
    };
    std::unique_ptr<Picture> current = load(0);
    if (!current) return 1;
    // The first picture's size and resolution are the document's page.
    const int firstWidth = current->width(), firstHeight = current->height();
    const double firstDpiX = current->dpiX(), firstDpiY = current->dpiY();
    const BandFormat format = options.format.value_or(current->isGrey() ? BandFormat::Grey : BandFormat::Argb);
    std::string jobName = options.jobName;
    if (jobName.empty()) jobName = options.images.empty() ? "Test page" : fs::path(options.images[0]).stem().string();

    std::error_code ec;
    fs::create_directories(options.hotFolder, ec);
    if (!fs::is_directory(options.hotFolder)) {
        std::fprintf(stderr, "kivhost: cannot use %s as the hot folder\n", options.hotFolder.c_str());
        return 1;
    }
    const std::set<fs::path> before = JobFilesIn(options.hotFolder);

    KIVBundleRef bundle = KIVBundleCreate(options.bundle.c_str());
    if (!bundle) {
        std::fprintf(stderr, "kivhost: %s is not a driver bundle\n", options.bundle.c_str());
        return 1;
    }
    DriverModule driver;
    if (!driver.Load(bundle)) {
        std::fprintf(stderr, "kivhost: cannot load the driver: %s\n", driver.error().c_str());
        KIVBundleRelease(bundle);
        return 1;
    }
    DriverRecord *record = nullptr;
    Printer session(driver, record);
    bool ok = session.Check(driver.KIVPrOpen(bundle, &record), "KIVPrOpen");
    Handle print = NewHandle(0);
    unsigned long long bandsDone = 0;
    if (ok) {
        const PageGeometry suggested{firstWidth, firstHeight, firstWidth / firstDpiX * 25.4,
                                     firstHeight / firstDpiY * 25.4};
        driver.KIVPrSuggestPage(record, print, &suggested, PixelFormatCode(format));
        // A page setup saved with `kivhost page-setup` is kept while it is valid.
        const bool saved = LoadSavedRecord(print);
        driver.KIVPrValidate(record, print);
        if (!saved || options.blackAndWhite) (*print)[30] = options.blackAndWhite ? 1 : 0;
        if (!saved || options.flip) (*print)[31] = options.flip ? 1 : 0;
        driver.KIVPrSetJobName(record, print, jobName.c_str());
    }
    if (ok && options.dialog) {
        if (!driver.KIVPrJob(record, print)) {
            std::fprintf(stderr, "kivhost: printing cancelled in the job dialog\n");
            ok = false;
        }
    } else if (ok) {
        plist_t settings = plist_new_dict();
        plist_dict_set_item(settings, "copies", plist_new_uint(static_cast<uint64_t>(options.copies)));
        if (plist_t bookmark = KIVCreateBookmarkDataForPath(options.hotFolder.c_str()))
            plist_dict_set_item(settings, "outputFolder", bookmark);
        if (!driver.KIVPrSetJobSettings(record, print, settings)) {
            std::fprintf(stderr, "kivhost: the driver did not take the job settings\n");
            ok = false;
        }
        plist_free(settings);
    }
    PageInfo page{};
    if (ok) {
        driver.KIVPrGetInfo(record, print, &page);
        ok = session.Check(driver.KIVPrOpenDoc(record, print), "KIVPrOpenDoc");
    }
    if (ok) {
        // Every page is about as tall as the first; the bar counts bands.
        const unsigned long long bandsPerPage = (firstHeight + options.bandRows - 1) / options.bandRows;
        kivtools::ProgressBar progress("Printing", bandsPerPage * pages);
        for (std::size_t i = 0; i < pages && ok; ++i) {
            if (i > 0) current = load(i);
            ok = current && session.PrintPage(*current, format, options.bandRows, page, progress, bandsDone,
                                              static_cast<int>(i + 1), static_cast<int>(pages));
        }
        progress.Finish();
    }
    // CloseDoc also after a failure: it deletes the partial file.
    if (record) {
        const int32_t closed = driver.KIVPrCloseDoc(record);
        if (ok) ok = session.Check(closed, "KIVPrCloseDoc");
        const int32_t result = driver.KIVPrClose(record);
        if (ok) ok = session.Check(result, "KIVPrClose");
    }
    DisposeHandle(print);
    KIVBundleRelease(bundle);
    if (!ok) return 1;

    const std::set<fs::path> after = JobFilesIn(options.hotFolder);
    fs::path written;
    for (const fs::path &f : after)
        if (!before.count(f)) written = f;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s: %zu page%s, %ju bytes, %.2f s\n", written.empty() ? "(no file)" : written.c_str(), pages,
                pages == 1 ? "" : "s",
                static_cast<uintmax_t>(written.empty() ? 0 : fs::file_size(written, ec)), seconds);
    return 0;
}

}  // namespace kivhost

namespace kivhost {

bool DisplayAvailable() {
    for (const char *var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char *value = std::getenv(var);
        if (value && value[0]) return true;
    }
    return false;
}

int NoDisplay() {
    std::fputs("kivhost: the dialogs need a display: run this in a desktop session (DISPLAY or\n"
               "WAYLAND_DISPLAY set), or set QT_QPA_PLATFORM (for instance to offscreen or vnc)\n",
               stderr);
    return 1;
}

int RunPageSetup(const std::string &bundlePath) {
    KIVBundleRef bundle = KIVBundleCreate(bundlePath.c_str());
    if (!bundle) {
        std::fprintf(stderr, "kivhost: %s is not a driver bundle\n", bundlePath.c_str());
        return 1;
    }
    int status = 1;
    {
        DriverModule driver;
        DriverRecord *record = nullptr;
        if (!driver.Load(bundle)) {
            std::fprintf(stderr, "kivhost: cannot load the driver: %s\n", driver.error().c_str());
        } else if (driver.KIVPrOpen(bundle, &record) == 0) {
            Handle print = NewHandle(0);
            LoadSavedRecord(print);
            driver.KIVPrValidate(record, print);
            if (driver.KIVPrStyle(record, print)) {
                PageInfo info;
                driver.KIVPrGetInfo(record, print, &info);
                status = SaveRecord(print) ? 0 : 1;
                std::printf("Page setup saved: %d x %d pixels, %.2f x %.2f mm\n", info.widthPixels, info.heightPixels,
                            info.widthMillimetres, info.heightMillimetres);
            } else {
                std::printf("Page setup cancelled\n");
                status = 0;
            }
            driver.KIVPrClose(record);
            DisposeHandle(print);
        }
    }
    KIVBundleRelease(bundle);
    return status;
}

}  // namespace kivhost
