// Printing through the driver's entry points, band by band, as a host does.
#include "PrintCommand.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <utility>

#include <pwd.h>
#include <unistd.h>

#include "SavedRecord.hpp"
#include "common/JobTicket.hpp"
#include "common/DriverModule.hpp"
#include "common/PrintRecordView.hpp"
#include "common/Progress.hpp"

namespace kivhost {
namespace {

namespace fs = std::filesystem;

// Host-side failures abandon the document through KIVPrSetError with these codes.
constexpr int32_t kHostFailed = -1, kHostOutOfMemory = -108;
// The driver refuses pages under half an inch.
constexpr double kSmallestPageMillimetres = 12.7;

// Text safe to print on a terminal: control characters become "?".
std::string Shown(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

// Where a picture lands on the page, as IPP Everywhere's print-scaling "auto" puts it: at its
// physical size where the page allows, else as large as fits; a picture without a resolution
// as large as fits. Its proportions kept, centred; the whole page when they agree to a pixel.
LongRect Placement(const Picture &picture, const PageInfo &page) {
    const double pageDpiX = page.widthPixels / page.widthMillimetres * 25.4;
    const double pageDpiY = page.heightPixels / page.heightMillimetres * 25.4;
    double w = picture.width() / picture.dpiX() * pageDpiX, h = picture.height() / picture.dpiY() * pageDpiY;
    if (std::fabs(w - page.widthPixels) <= 1 && std::fabs(h - page.heightPixels) <= 1)
        return LongRect{0, 0, page.heightPixels, page.widthPixels};
    const double largest = std::min(page.widthPixels / w, page.heightPixels / h);
    const double scale = picture.hasResolution() ? std::min(1.0, largest) : largest;
    const int32_t pw = std::clamp(static_cast<int32_t>(std::lround(w * scale)), 1, page.widthPixels);
    const int32_t ph = std::clamp(static_cast<int32_t>(std::lround(h * scale)), 1, page.heightPixels);
    const int32_t left = (page.widthPixels - pw) / 2, top = (page.heightPixels - ph) / 2;
    return LongRect{top, left, top + ph, left + pw};
}

class Printer {
public:
    Printer(const PrintOptions &options, DriverModule &driver, KIVBundleRef bundle)
        : options_(options), driver_(driver), bundle_(bundle) {}
    ~Printer() {
        if (record_) driver_.KIVPrClose(record_);
    }

    // Reports a failed step with the driver's text (which names the cause); true when code is 0.
    bool Check(int32_t code, const char *what) {
        if (code == 0) return true;
        unsigned char message[256];
        driver_.KIVPrErrorString(record_, code, message);
        std::fprintf(stderr, "kivhost: %s: %s\n", what,
                     Shown(std::string_view(reinterpret_cast<char *>(message + 1), message[0])).c_str());
        return false;
    }

    // Opens the driver and makes the print record for the first picture's page.
    bool Setup(const Picture &first, BandFormat format, const std::string &jobName) {
        if (!Check(driver_.KIVPrOpen(bundle_, &record_), "cannot open the driver")) return false;
        // A picture smaller than the driver's smallest page gets that page, not a stretch.
        const double wmm = std::max(first.width() / first.dpiX() * 25.4, kSmallestPageMillimetres);
        const double hmm = std::max(first.height() / first.dpiY() * 25.4, kSmallestPageMillimetres);
        const PageGeometry suggested{static_cast<int32_t>(std::ceil(wmm * first.dpiX() / 25.4)),
                                     static_cast<int32_t>(std::ceil(hmm * first.dpiY() / 25.4)), wmm, hmm};
        driver_.KIVPrSuggestPage(record_, print_.get(), &suggested, PixelFormatCode(format));
        // A page setup saved with `kivhost page-setup` is kept while it is valid.
        const bool saved = LoadSavedRecord(print_.get());
        driver_.KIVPrValidate(record_, print_.get());
        PrintRecordView record(print_.get());
        if (!saved || options_.blackAndWhite) record.setBlackAndWhite(options_.blackAndWhite);
        if (!saved || options_.flip) record.setMirrored(options_.flip);
        driver_.KIVPrSetJobName(record_, print_.get(), jobName.c_str());
        driver_.KIVPrGetInfo(record_, print_.get(), &page_);
        const double imageW = first.width() / first.dpiX() * 25.4, imageH = first.height() / first.dpiY() * 25.4;
        // A lone picture without a resolution fills its page (the picture at 300 dpi, or the
        // saved page setup): nothing to warn of.
        const bool fills = !first.hasResolution() && options_.images.size() == 1;
        if (!fills &&
            (std::fabs(page_.widthMillimetres - imageW) > 0.5 || std::fabs(page_.heightMillimetres - imageH) > 0.5)) {
            std::fprintf(stderr,
                         "kivhost: warning: the image is %.1f x %.1f mm and the page %.1f x %.1f mm: the image keeps "
                         "its proportions, at its own size where it fits, else scaled down (one without a resolution "
                         "as large as fits)\n",
                         imageW, imageH, page_.widthMillimetres, page_.heightMillimetres);
        }
        return true;
    }

    // The hot folder and copies, from the job dialog or as job settings.
    bool Configure() {
        if (options_.dialog) {
            if (driver_.KIVPrJob(record_, print_.get())) return true;
            std::fprintf(stderr, "kivhost: printing cancelled in the job dialog\n");
            return false;
        }
        plist_t settings = plist_new_dict();
        plist_dict_set_item(settings, "copies", plist_new_uint(static_cast<uint64_t>(options_.copies)));
        if (plist_t bookmark = KIVCreateBookmarkDataForPath(options_.hotFolder.c_str()))
            plist_dict_set_item(settings, "outputFolder", bookmark);
        const bool taken = driver_.KIVPrSetJobSettings(record_, print_.get(), settings);
        plist_free(settings);
        if (!taken) std::fprintf(stderr, "kivhost: the driver did not take the job settings\n");
        return taken;
    }

    // The job file's colour profile and ticket, settled before the document starts: a profile
    // the user names must describe the samples the file will hold.
    bool Describe(const Picture &first, BandFormat format, const std::string &firstName) {
        const PrintRecordView record(print_.get());
        blackAndWhite_ = record.blackAndWhite();
        using kivtools::Samples;
        const Samples file = format == BandFormat::Cmyk                     ? Samples::Cmyk
                             : format == BandFormat::Grey || blackAndWhite_ ? Samples::GreyDensity
                                                                            : Samples::Rgb;
        if (options_.profile.empty()) {
            profile_ = SourceProfile(first, format, firstName);
        } else {
            std::ifstream in(options_.profile, std::ios::binary);
            profile_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            const std::string why =
                !in.good() && !in.eof() ? std::string("it cannot be read") : kivtools::ProfileProblem(profile_, file);
            if (!why.empty()) {
                std::fprintf(stderr, "kivhost: cannot use %s as the job's colour profile: %s\n",
                             Shown(options_.profile).c_str(), why.c_str());
                return false;
            }
        }
        const passwd *user = ::getpwuid(::getuid());
        ticket_.Text("Application", "kivhost " KIV_VERSION);
        ticket_.Text("Owner", user ? user->pw_name : "");
        std::vector<std::string> names;
        for (const std::string &image : options_.images) names.push_back(fs::path(image).filename().string());
        if (!names.empty()) ticket_.Texts("Images", names);
        ticket_.Integer("Copies", record.copies());
        ticket_.Text("HostFormat", format == BandFormat::Argb ? "argb" : format == BandFormat::Grey ? "grey" : "cmyk");
        ticket_.Boolean("BlackAndWhite", blackAndWhite_);
        ticket_.Boolean("Mirrored", record.mirrored());
        if (!options_.profile.empty()) ticket_.Text("ProfileFile", fs::path(options_.profile).filename().string());
        return true;
    }

    // Prints every picture as one page. On any failure the document is abandoned: the host's
    // error reaches the driver before the document is closed, so no shorter job is left.
    bool PrintDocument(std::unique_ptr<Picture> first, BandFormat format, const std::vector<std::string> &images) {
        if (!Check(driver_.KIVPrOpenDoc(record_, print_.get()), "cannot start the document")) return Abandon(0);
        const int32_t described = kivtools::AttachToDocument(driver_, record_, profile_, ticket_);
        if (!Check(described, "cannot describe the job")) return Abandon(described);
        const std::size_t pages = images.empty() ? 1 : images.size();
        const int bandRows = BandRows(*first, format);
        kivtools::ProgressBar progress("Printing", (first->height() + bandRows - 1) / bandRows * pages);
        std::unique_ptr<Picture> picture = std::move(first);
        try {
            for (std::size_t i = 0; i < pages; ++i) {
                if (i > 0) picture = LoadPicture(images, i);
                if (!picture) return Abandon(kHostFailed);
                const std::string name = images.empty() ? "the test page" : Shown(images[i]);
                if (i > 0 && options_.profile.empty() && SourceProfile(*picture, format, name) != profile_)
                    std::fprintf(stderr,
                                 "kivhost: warning: %s has other colours than the first page; the job file "
                                 "carries the first page's profile\n",
                                 name.c_str());
                const int32_t status =
                    PrintPage(*picture, format, name, progress, static_cast<int>(i + 1), static_cast<int>(pages));
                if (status != 0) return Abandon(status);
            }
        } catch (const std::bad_alloc &) {
            progress.Finish();
            std::fprintf(stderr, "kivhost: out of memory while printing; the job was abandoned\n");
            return Abandon(kHostOutOfMemory);
        }
        progress.Finish();
        return Check(driver_.KIVPrCloseDoc(record_), "cannot finish the document");
    }

    // The file the document became, and the closing status.
    bool Finish(std::string &file) {
        char *name = driver_.KIVPrCopyOutputFileName(record_);
        if (name) file = name;
        std::free(name);
        const int32_t closed = driver_.KIVPrClose(std::exchange(record_, nullptr));
        return Check(closed, "cannot close the driver") && !file.empty();
    }

    static std::unique_ptr<Picture> LoadPicture(const std::vector<std::string> &images, std::size_t i) {
        if (images.empty()) return TestPage();
        std::string error;
        auto picture = LoadPng(images[i], error);
        if (!picture)
            std::fprintf(stderr, "kivhost: cannot read %s: %s\n", Shown(images[i]).c_str(), Shown(error).c_str());
        return picture;
    }

private:
    // The profile the picture's own colours call for, as the file will hold them.
    kivtools::Bytes SourceProfile(const Picture &picture, BandFormat format, const std::string &name) const {
        using kivtools::Samples;
        const Samples source = format == BandFormat::Argb && !blackAndWhite_    ? Samples::Rgb
                               : format == BandFormat::Grey && picture.isGrey() ? Samples::GreyDensity
                                                                                : Samples::Device;
        kivtools::ProfileChoice choice = kivtools::ChooseProfile(source, picture.sourceProfile());
        if (!choice.note.empty()) std::fprintf(stderr, "kivhost: %s: %s\n", name.c_str(), choice.note.c_str());
        return std::move(choice.profile);
    }

    // Rows per band: as asked, else up to 256 rows and 4 MiB, so that memory does not grow with
    // the picture's width.
    int BandRows(const Picture &picture, BandFormat format) const {
        const std::size_t rowBytes = static_cast<std::size_t>(picture.width()) * BytesPerPixel(format);
        const int automatic =
            static_cast<int>(std::clamp<std::size_t>((4u << 20) / std::max<std::size_t>(rowBytes, 1), 1, 256));
        return std::clamp(options_.bandRows > 0 ? options_.bandRows : automatic, 1, std::max(1, picture.height()));
    }

    // Sends one picture as one page in bands; 0, the driver's status, or a host failure. ARGB
    // rows are decoded straight into the band; other formats a row at a time, then converted.
    int32_t PrintPage(Picture &picture, BandFormat format, const std::string &name, kivtools::ProgressBar &progress,
                      int pageNumber, int pages) {
        if (const int32_t e = driver_.KIVPrOpenPage(record_); !Check(e, "cannot start a page")) return e;
        const int w = picture.width(), h = picture.height(), bpp = BytesPerPixel(format);
        const int bandRows = BandRows(picture, format);
        const LongRect place = Placement(picture, page_);
        const bool direct = format == BandFormat::Argb;
        std::vector<uint8_t> argb(direct ? 0 : static_cast<std::size_t>(w) * 4);
        std::vector<uint8_t> band(static_cast<std::size_t>(w) * bandRows * bpp);
        for (int y = 0; y < h; y += bandRows) {
            const int rows = std::min(bandRows, h - y);
            std::string error;
            bool read = direct && picture.ReadRows(rows, band.data(), error);
            for (int r = 0; !direct && r < rows; ++r) {
                read = picture.ReadRows(1, argb.data(), error);
                if (!read) break;
                ConvertPixels(argb.data(), static_cast<std::size_t>(w), format,
                              band.data() + static_cast<std::size_t>(r) * w * bpp);
            }
            if (!read) {
                progress.Finish();
                std::fprintf(stderr, "kivhost: cannot read %s: %s\n", name.c_str(), Shown(error).c_str());
                return kHostFailed;
            }
            const HostBitmap bitmap{band.data(), LongRect{y, 0, y + rows, w}, static_cast<uint32_t>(w * bpp),
                                    PixelFormatCode(format)};
            const LongRect src{y, 0, y + rows, w};
            // Rows land where the whole picture, placed on the page, puts them.
            const int32_t ph = place.bottom - place.top;
            const LongRect dst{place.top + static_cast<int32_t>(int64_t{y} * ph / h), place.left,
                               place.top + static_cast<int32_t>(int64_t{y + rows} * ph / h), place.right};
            const int32_t e = driver_.KIVPrPrintBitmap(record_, &bitmap, &src, &dst);
            if (!Check(e, "cannot print a band")) return e;
            char detail[48];
            std::snprintf(detail, sizeof detail, "page %d of %d", pageNumber, pages);
            progress.Update(++bandsDone_, detail);
        }
        const int32_t e = driver_.KIVPrClosePage(record_);
        return Check(e, "cannot finish a page") ? 0 : e;
    }

    // Stops the job so that closing deletes its partial file.
    bool Abandon(int32_t code) {
        if (code != 0) driver_.KIVPrSetError(record_, code);
        driver_.KIVPrCloseDoc(record_);
        return false;
    }

    const PrintOptions &options_;
    DriverModule &driver_;
    KIVBundleRef bundle_;
    DriverRecord *record_ = nullptr;
    PrintHandle print_;
    PageInfo page_{};
    unsigned long long bandsDone_ = 0;
    bool blackAndWhite_ = false;
    kivtools::Bytes profile_;
    kivtools::JobTicket ticket_;
};

int Print(const PrintOptions &options) {
    const auto started = std::chrono::steady_clock::now();
    std::unique_ptr<Picture> first = Printer::LoadPicture(options.images, 0);
    if (!first) return 1;
    const BandFormat format = options.format.value_or(first->isGrey() ? BandFormat::Grey : BandFormat::Argb);
    std::string jobName = options.jobName;
    if (jobName.empty()) jobName = options.images.empty() ? "Test page" : fs::path(options.images[0]).stem().string();

    if (!options.dialog) {
        std::error_code ec;
        fs::create_directories(options.hotFolder, ec);
        if (ec || !fs::is_directory(options.hotFolder, ec)) {
            std::fprintf(stderr, "kivhost: cannot use %s as the hot folder: %s\n", Shown(options.hotFolder).c_str(),
                         ec ? ec.message().c_str() : "it is not a folder");
            return 1;
        }
    }
    Bundle bundle(options.bundle.c_str());
    if (!bundle) {
        std::fprintf(stderr, "kivhost: %s is not a driver bundle\n", Shown(options.bundle).c_str());
        return 1;
    }
    DriverModule driver;
    if (!driver.Load(bundle.get())) {
        std::fprintf(stderr, "kivhost: cannot load the driver: %s\n", driver.error().c_str());
        return 1;
    }
    std::string file;
    {
        Printer printer(options, driver, bundle.get());
        const std::string firstName = options.images.empty() ? "the test page" : Shown(options.images[0]);
        if (!printer.Setup(*first, format, jobName) || !printer.Configure() ||
            !printer.Describe(*first, format, firstName) ||
            !printer.PrintDocument(std::move(first), format, options.images) || !printer.Finish(file)) {
            return 1;
        }
    }
    const std::size_t pages = options.images.empty() ? 1 : options.images.size();
    std::error_code ec;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s: %zu page%s, %ju bytes, %.2f s\n", Shown(file).c_str(), pages, pages == 1 ? "" : "s",
                static_cast<uintmax_t>(fs::file_size(file, ec)), seconds);
    return 0;
}

}  // namespace

int RunPrint(const PrintOptions &options) {
    try {
        return Print(options);
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "kivhost: out of memory; nothing was printed\n");
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kivhost: %s; nothing was printed\n", e.what());
    }
    return 1;
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
    std::fputs(
        "kivhost: the dialogs need a display: run this in a desktop session (DISPLAY or\n"
        "WAYLAND_DISPLAY set), or set QT_QPA_PLATFORM (for instance to offscreen or vnc)\n",
        stderr);
    return 1;
}

int RunPageSetup(const std::string &bundlePath) {
    Bundle bundle(bundlePath.c_str());
    if (!bundle) {
        std::fprintf(stderr, "kivhost: %s is not a driver bundle\n", Shown(bundlePath).c_str());
        return 1;
    }
    DriverModule driver;
    DriverRecord *record = nullptr;
    if (!driver.Load(bundle.get())) {
        std::fprintf(stderr, "kivhost: cannot load the driver: %s\n", driver.error().c_str());
        return 1;
    }
    if (driver.KIVPrOpen(bundle.get(), &record) != 0) return 1;
    int status = 0;
    PrintHandle print;
    LoadSavedRecord(print.get());
    driver.KIVPrValidate(record, print.get());
    if (driver.KIVPrStyle(record, print.get())) {
        PageInfo info;
        driver.KIVPrGetInfo(record, print.get(), &info);
        status = SaveRecord(print.get()) ? 0 : 1;
        std::printf("Page setup saved: %d x %d pixels, %.2f x %.2f mm\n", info.widthPixels, info.heightPixels,
                    info.widthMillimetres, info.heightMillimetres);
    } else {
        std::printf("Page setup cancelled\n");
    }
    driver.KIVPrClose(record);
    return status;
}

}  // namespace kivhost
