// Printing one IPP job into a job file through the driver's entry points.
#include "HotFolderJob.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Folders.hpp"
#include "HotFolderPrinter.hpp"
#include "common/PrintRecordView.hpp"

namespace vad3printer {
namespace {

constexpr int kBandRows = 128;
// Abandons a document through KIVPrSetError: the driver then removes its unnamed file.
constexpr int32_t kAbandoned = -128;

// Document names that come with the extension of the file they were printed from.
std::string DocumentName(const char *jobName) {
    std::string name = jobName && jobName[0] ? jobName : "Untitled";
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        std::string ext = name.substr(dot + 1);
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        for (const char *known : {"pdf", "png", "jpg", "jpeg", "pwg", "urf", "ps", "txt", "tif", "tiff"})
            if (ext == known) return name.substr(0, dot);
    }
    return name;
}

class Job {
public:
    Job(pappl_job_t *job, std::string folder) : job_(job), folder_(std::move(folder)) {}
    Job(const Job &) = delete;
    Job &operator=(const Job &) = delete;
    ~Job() { Abandon(); }

    bool StartPage(const pappl_pr_options_t &options, unsigned page) {
        const cups_page_header2_t &h = options.header;
        if (!record_ && !OpenDocument(options)) return false;
        if (h.cupsBitsPerColor != 8)
            return Fail("raster of " + std::to_string(h.cupsBitsPerColor) + " bits per colour");
        width_ = static_cast<int>(h.cupsWidth);
        height_ = static_cast<int>(h.cupsHeight);
        if (BandFormat(h.cupsColorSpace) != bandFormat_ || width_ < 1 || height_ < 1) {
            return Fail("page " + std::to_string(page + 1) + " is " + std::to_string(width_) + " x " +
                        std::to_string(height_) + " pixels in colour space " + std::to_string(h.cupsColorSpace) +
                        ", which the document (colour space " + std::to_string(space_) + ") cannot take");
        }
        bandTop_ = 0;
        rows_ = 0;
        band_.assign(static_cast<std::size_t>(width_) * kBandRows * pixelSize_, 0);
        return Check(Driver().KIVPrOpenPage(record_), "KIVPrOpenPage");
    }

    bool WriteLine(unsigned y, const unsigned char *line) {
        if (static_cast<int>(y) != bandTop_ + rows_) return Fail("raster lines out of order");
        uint8_t *row = band_.data() + static_cast<std::size_t>(rows_) * width_ * pixelSize_;
        Convert(line, row);
        return ++rows_ < kBandRows || Flush();
    }

    bool EndPage() {
        if (!Flush()) return false;
        if (!Check(Driver().KIVPrClosePage(record_), "KIVPrClosePage")) return false;
        papplJobSetImpressionsCompleted(job_, 1);
        return true;
    }

    bool EndJob() {
        const int32_t closed = Driver().KIVPrCloseDoc(record_);
        if (!Check(closed, "KIVPrCloseDoc")) return false;
        if (char *file = Driver().KIVPrCopyOutputFileName(record_)) {
            papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "Job file %s", file);
            papplJobSetMessage(job_, "Saved as %s", file);
            std::free(file);
        }
        documentOpen_ = false;
        Driver().KIVPrClose(std::exchange(record_, nullptr));
        return true;
    }

    // Says why the job failed (job-state-message and the log) and abandons it.
    bool Fail(const std::string &why) {
        papplLogJob(job_, PAPPL_LOGLEVEL_ERROR, "%s", why.c_str());
        papplJobSetMessage(job_, "%s", why.c_str());
        failure_ = why;
        Abandon();
        return false;
    }

    // The failure, if the job has failed: it is reported when the job ends.
    const std::string &failure() const { return failure_; }

    // Nothing half-done may remain when the folder cannot take the file: checked up front.
    bool CheckFolder() {
        if (const std::string problem = FolderProblem(folder_); !problem.empty()) {
            papplPrinterSetReasons(papplJobGetPrinter(job_), PAPPL_PREASON_OTHER, PAPPL_PREASON_NONE);
            return Fail(problem);
        }
        return true;
    }

private:
    static kivhost::DriverModule &Driver() { return TheModule().driver; }

    // The driver's pixel format for a raster colour space; 0 for one it does not take.
    static int16_t BandFormat(cups_cspace_t space) {
        switch (space) {
        case CUPS_CSPACE_SW:
        case CUPS_CSPACE_W:
        case CUPS_CSPACE_K: return 8;
        case CUPS_CSPACE_SRGB:
        case CUPS_CSPACE_RGB: return 32;
        case CUPS_CSPACE_CMYK: return 33;
        default: return 0;
        }
    }

    // One raster line into one band row of the driver's pixel format.
    void Convert(const unsigned char *in, uint8_t *out) const {
        switch (space_) {
        case CUPS_CSPACE_SW:
        case CUPS_CSPACE_W:  // luminance: the driver's grey is density
            for (int x = 0; x < width_; ++x) out[x] = static_cast<uint8_t>(255 - in[x]);
            break;
        case CUPS_CSPACE_SRGB:
        case CUPS_CSPACE_RGB:
            for (int x = 0; x < width_; ++x, in += 3, out += 4)
                out[0] = 255, out[1] = in[0], out[2] = in[1], out[3] = in[2];
            break;
        default:  // black density and CMYK are the driver's own layouts
            std::memcpy(out, in, static_cast<std::size_t>(width_) * pixelSize_);
        }
    }

    bool Check(int32_t code, const char *what) {
        if (code == 0) return true;
        unsigned char message[256];
        Driver().KIVPrErrorString(record_, code, message);
        return Fail(std::string(what) + ": " + std::string(reinterpret_cast<char *>(message + 1), message[0]) + " (" +
                    std::to_string(code) + ")");
    }

    bool OpenDocument(const pappl_pr_options_t &options) {
        const cups_page_header2_t &h = options.header;
        space_ = h.cupsColorSpace;
        bandFormat_ = BandFormat(space_);
        if (bandFormat_ == 0) return Fail("raster in colour space " + std::to_string(space_));
        pixelSize_ = bandFormat_ == 8 ? 1 : 4;
        if (!CheckFolder()) return false;
        kivhost::DriverModule &d = Driver();
        if (!Check(d.KIVPrOpen(TheModule().bundle, &record_), "KIVPrOpen")) return false;
        const double dpiX = h.HWResolution[0] > 0 ? h.HWResolution[0] : 300;
        const double dpiY = h.HWResolution[1] > 0 ? h.HWResolution[1] : 300;
        // The job's media size where the raster is that size (its pixels are rounded), so that
        // the driver finds the catalogue's paper by its millimetres.
        double wmm = h.cupsWidth / dpiX * 25.4, hmm = h.cupsHeight / dpiY * 25.4;
        const double mediaW = options.media.size_width / 100.0, mediaH = options.media.size_length / 100.0;
        if (std::fabs(mediaW - wmm) < 25.4 / dpiX && std::fabs(mediaH - hmm) < 25.4 / dpiY) wmm = mediaW, hmm = mediaH;
        const PageGeometry page{static_cast<int32_t>(h.cupsWidth), static_cast<int32_t>(h.cupsHeight), wmm, hmm};
        d.KIVPrSuggestPage(record_, print_.get(), &page, bandFormat_);
        d.KIVPrValidate(record_, print_.get());
        // Collation as the job asks ("multiple-document-handling").
        ipp_attribute_t *handling = papplJobGetAttribute(job_, "multiple-document-handling");
        const char *value = handling ? ippGetString(handling, 0, nullptr) : nullptr;
        kivhost::PrintRecordView(print_.get())
            .setCollated(!(value && std::strcmp(value, "separate-documents-uncollated-copies") == 0));
        d.KIVPrSetJobName(record_, print_.get(), DocumentName(papplJobGetName(job_)).c_str());
        plist_t settings = plist_new_dict();
        plist_dict_set_item(settings, "copies", plist_new_uint(static_cast<uint64_t>(std::max(1, options.copies))));
        if (plist_t bookmark = KIVCreateBookmarkDataForPath(folder_.c_str()))
            plist_dict_set_item(settings, "outputFolder", bookmark);
        const bool taken = d.KIVPrSetJobSettings(record_, print_.get(), settings);
        plist_free(settings);
        if (!taken) return Fail("the driver did not take the hot folder " + folder_);
        d.KIVPrGetInfo(record_, print_.get(), &info_);
        if (!Check(d.KIVPrOpenDoc(record_, print_.get()), "KIVPrOpenDoc")) return false;
        documentOpen_ = true;
        return true;
    }

    // Hands the rows gathered so far to the driver, placed where the page scales them.
    bool Flush() {
        if (rows_ == 0) return true;
        const HostBitmap bitmap{band_.data(), LongRect{bandTop_, 0, bandTop_ + rows_, width_},
                                static_cast<uint32_t>(width_ * pixelSize_), bandFormat_};
        const LongRect src{bandTop_, 0, bandTop_ + rows_, width_};
        const int64_t pageH = info_.heightPixels;
        const LongRect dst{static_cast<int32_t>(bandTop_ * pageH / height_), 0,
                           static_cast<int32_t>((bandTop_ + rows_) * pageH / height_), info_.widthPixels};
        bandTop_ += rows_;
        rows_ = 0;
        return Check(Driver().KIVPrPrintBitmap(record_, &bitmap, &src, &dst), "KIVPrPrintBitmap");
    }

    void Abandon() {
        if (!record_) return;
        if (documentOpen_) {
            Driver().KIVPrSetError(record_, kAbandoned);
            Driver().KIVPrCloseDoc(record_);
            documentOpen_ = false;
        }
        Driver().KIVPrClose(std::exchange(record_, nullptr));
    }

    pappl_job_t *job_;
    std::string folder_;
    DriverRecord *record_ = nullptr;
    kivhost::PrintHandle print_;
    PageInfo info_{};
    bool documentOpen_ = false;
    cups_cspace_t space_ = CUPS_CSPACE_SRGB;
    int16_t bandFormat_ = 0;
    int pixelSize_ = 4;
    int width_ = 0, height_ = 0, bandTop_ = 0, rows_ = 0;
    std::vector<uint8_t> band_;
    std::string failure_;
};

// The job in progress on each printer. A printer prints one job at a time; a job that PAPPL
// gave up on without ending it is abandoned when the printer's next job starts.
std::mutex gMutex;
std::map<pappl_printer_t *, std::unique_ptr<Job>> gJobs;

Job *Current(pappl_job_t *job) {
    std::lock_guard lock(gMutex);
    auto it = gJobs.find(papplJobGetPrinter(job));
    return it == gJobs.end() ? nullptr : it->second.get();
}

void Finish(pappl_job_t *job) {
    std::unique_ptr<Job> done;
    std::lock_guard lock(gMutex);
    if (auto it = gJobs.find(papplJobGetPrinter(job)); it != gJobs.end()) done = std::move(it->second), gJobs.erase(it);
}

// Runs step on the job. After a failure the job's remaining pages are let through unread and
// the failure is reported when the job ends: PAPPL 1.3 keeps the job-state-message only of a
// job that fails when it starts or ends.
template <class Step>
bool Run(pappl_job_t *job, Step step) {
    Job *current = Current(job);
    if (!current) return true;
    if (!current->failure().empty()) return true;
    try {
        if (papplJobIsCanceled(job))
            current->Fail("cancelled");
        else
            step(*current);
    } catch (const std::exception &e) {
        current->Fail(std::string("out of resources: ") + e.what());
    }
    return true;
}

}  // namespace

bool StartJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *) {
    pappl_printer_t *printer = papplJobGetPrinter(job);
    const std::string folder = HotFolderOf(printer);
    Job *started;
    {
        std::lock_guard lock(gMutex);
        started = (gJobs[printer] = std::make_unique<Job>(job, folder)).get();
    }
    if (!started->CheckFolder()) {
        Finish(job);
        return false;
    }
    return true;
}

bool RefuseDocument(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *) {
    const char *format = papplJobGetFormat(job);
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Documents in %s cannot be printed here", format ? format : "this format");
    papplJobSetMessage(job, "Documents in %s cannot be printed here: send PWG raster, Apple raster, PNG or JPEG",
                       format ? format : "this format");
    return false;
}

bool StartPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned page) {
    return Run(job, [&](Job &j) { return j.StartPage(*options, page); });
}

bool WriteLine(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned y, const unsigned char *line) {
    return Run(job, [&](Job &j) { return j.WriteLine(y, line); });
}

bool EndPage(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned) {
    return Run(job, [&](Job &j) { return j.EndPage(); });
}

bool EndJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *) {
    Run(job, [&](Job &j) { return j.EndJob(); });
    bool ok = false;
    if (Job *current = Current(job)) {
        ok = current->failure().empty();
        if (!ok) papplJobSetMessage(job, "%s", current->failure().c_str());
    }
    Finish(job);
    return ok;
}

}  // namespace vad3printer
