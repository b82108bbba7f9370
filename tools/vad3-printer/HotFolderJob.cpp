// Printing one IPP job into a job file through the driver's entry points. A job file is
// published only when every page arrived whole: anything less abandons the document, and the
// driver then removes its unnamed file.
#include "HotFolderJob.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Folders.hpp"
#include "ImageFilters.hpp"
#include "InterruptedJobs.hpp"
#include "JobRuns.hpp"
#include "PdfFilter.hpp"
#include "PrinterData.hpp"
#include "common/JobTicket.hpp"
#include "common/PrintRecordView.hpp"

namespace vad3printer {
namespace {

// Bands of up to this many rows and bytes: memory stays small whatever a page's width.
constexpr int kBandRows = 128;
constexpr std::size_t kBandBytes = 4u << 20;
constexpr const char *kTaken = "(it takes sgray_8, srgb_8, rgb_8, black_8 and cmyk_8)";
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

std::string Pixels(long long width, long long height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// The driver's pixel format for a raster colour space the printer advertises; 0 for others.
int16_t BandFormat(cups_cspace_t space) {
    switch (space) {
    case CUPS_CSPACE_SW: return 8;     // sgray_8
    case CUPS_CSPACE_K: return 8;      // black_8
    case CUPS_CSPACE_SRGB:             // srgb_8
    case CUPS_CSPACE_RGB: return 32;   // rgb_8
    case CUPS_CSPACE_CMYK: return 33;  // cmyk_8
    default: return 0;
    }
}

// PWG or Apple raster, which PAPPL streams to the raster callbacks page by page (other
// documents reach them through a filter).
bool IsRaster(pappl_job_t *job) {
    const char *format = papplJobGetFormat(job);
    return format && (std::strcmp(format, "image/pwg-raster") == 0 || std::strcmp(format, "image/urf") == 0);
}

// PAPPL 1.3 hands on a client's raster header only when its samples have 8 bits; for others
// (black_1) it passes a header of its own making and then the client's bits as if they were
// 8-bit samples. Such a page is told by its header being exactly the one PAPPL makes.
bool HeaderIsPapplsOwn(pappl_job_t *job, const cups_page_header2_t &header) {
    if (!IsRaster(job)) return false;
    pappl_pr_options_t *own =
        papplJobCreatePrintOptions(job, static_cast<unsigned>(std::max(0, papplJobGetImpressions(job))), false);
    const bool same = own && std::memcmp(&own->header, &header, sizeof header) == 0;
    if (own) papplJobDeletePrintOptions(own);
    return same;
}

class Job {
public:
    Job(pappl_job_t *job, PrinterData &printer, std::string folder)
        : job_(job), printer_(printer), driver_(printer.driver->module), folder_(std::move(folder)) {}
    Job(const Job &) = delete;
    Job &operator=(const Job &) = delete;
    ~Job() { Abandon(); }

    bool StartPage(const pappl_pr_options_t &options, unsigned page) {
        const cups_page_header2_t &h = options.header;
        const std::string which = "page " + std::to_string(page);
        const bool bitmap = HeaderIsPapplsOwn(job_, h);
        if (bitmap || h.cupsBitsPerColor != 8 || BandFormat(h.cupsColorSpace) == 0)
            return Fail(which + " is raster of " + (bitmap ? "1 bit" : std::to_string(h.cupsBitsPerColor) + " bits") +
                        " per colour in colour space " + std::to_string(bitmap ? 3 : h.cupsColorSpace) +
                        ", which this printer does not take " + kTaken);
        if (!record_) {
            if (!OpenDocument(options, which)) return false;
        } else if (h.cupsWidth != static_cast<unsigned>(width_) || h.cupsHeight != static_cast<unsigned>(height_) ||
                   h.cupsColorSpace != space_ || h.HWResolution[0] != first_.HWResolution[0] ||
                   h.HWResolution[1] != first_.HWResolution[1]) {
            return Fail(which + " is " + Pixels(h.cupsWidth, h.cupsHeight) + " at " + Dpi(h) + " in colour space " +
                        std::to_string(h.cupsColorSpace) + ", but a job file's pages are all alike and page 1 is " +
                        Pixels(width_, height_) + " at " + Dpi(first_) + " in colour space " + std::to_string(space_));
        }
        lines_ = 0;
        rows_ = 0;
        return Check(driver_.KIVPrOpenPage(record_));
    }

    bool WriteLine(unsigned y, const unsigned char *line) {
        if (static_cast<long long>(y) != lines_ || lines_ >= height_) return Fail("raster lines out of order");
        Convert(line, band_.data() + static_cast<std::size_t>(rows_) * width_ * pixelSize_);
        ++lines_;
        return ++rows_ < bandRows_ || Flush();
    }

    bool EndPage(unsigned page) {
        if (lines_ < height_)
            return Fail("page " + std::to_string(page) + " ended after " + std::to_string(lines_) + " of " +
                        std::to_string(height_) + " lines");
        if (!Flush() || !Check(driver_.KIVPrClosePage(record_))) return false;
        ++pages_;
        return true;
    }

    // Why the job has stopped, or empty while it goes on: PAPPL aborts a document whose raster
    // it cannot read (before the page reaches us), or the job was cancelled.
    std::string Stopped() const {
        if (papplJobGetState(job_) == IPP_JSTATE_ABORTED)
            return "page " + std::to_string(pages_ + 1) + " is not raster this printer takes " + kTaken;
        if (ServerStopping()) return kInterruptedMessage;
        return papplJobIsCanceled(job_) ? "cancelled" : "";
    }

    // Publishes the job file, unless the document ended early.
    bool EndJob() {
        if (pages_ == 0) return Fail("the document has no pages");
        if (expectedPages_ > pages_)
            return Fail("the document ended after " + std::to_string(pages_) + " of its " +
                        std::to_string(expectedPages_) + " pages");
        if (!Check(driver_.KIVPrCloseDoc(record_))) return false;
        documentOpen_ = false;
        if (char *file = driver_.KIVPrCopyOutputFileName(record_)) {
            papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "Job file %s", file);
            // Whoever printed learns the file's name; where the server keeps it is for the log.
            papplJobSetMessage(job_, "Saved as %s", std::filesystem::path(file).filename().c_str());
            std::free(file);
        }
        driver_.KIVPrClose(std::exchange(record_, nullptr));
        return true;
    }

    // Says why the job failed (job-state-message and the log) and abandons it. The message
    // speaks of "the printer's hot folder"; the log names the folder.
    bool Fail(const std::string &why) {
        if (failure_.empty()) {
            papplLogJob(job_, PAPPL_LOGLEVEL_ERROR, "%s", why.c_str());
            failure_ = why;
            for (const std::string &named : {"The hot folder " + folder_, "the hot folder " + folder_, folder_})
                for (std::size_t at; !folder_.empty() && (at = failure_.find(named)) != std::string::npos;)
                    failure_.replace(at, named.size(), "the printer's hot folder");
        }
        papplJobSetMessage(job_, "%s", failure_.c_str());
        Abandon();
        return false;
    }

    const std::string &failure() const { return failure_; }

    // Nothing half-done may remain when the folder cannot take the file: checked up front.
    bool CheckFolder() {
        const std::string problem = FolderProblem(folder_);
        return problem.empty() || Fail(problem);
    }

private:
    static std::string Dpi(const cups_page_header2_t &h) {
        return h.HWResolution[0] == h.HWResolution[1]
                   ? std::to_string(h.HWResolution[0]) + " dpi"
                   : std::to_string(h.HWResolution[0]) + " x " + std::to_string(h.HWResolution[1]) + " dpi";
    }

    // One raster line into one band row of the driver's pixel format.
    void Convert(const unsigned char *in, uint8_t *out) const {
        switch (space_) {
        case CUPS_CSPACE_SW:  // luminance: the driver's grey is density
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

    bool Check(int32_t code) {
        if (code == 0) return true;
        unsigned char message[256];
        driver_.KIVPrErrorString(record_, code, message);
        return Fail(std::string(reinterpret_cast<char *>(message + 1), message[0]));
    }

    bool Offered(const cups_page_header2_t &h) const {
        return std::any_of(printer_.resolutions.begin(), printer_.resolutions.end(), [&](const Resolution &r) {
            return static_cast<unsigned>(r.x) == h.HWResolution[0] && static_cast<unsigned>(r.y) == h.HWResolution[1];
        });
    }

    bool OpenDocument(const pappl_pr_options_t &options, const std::string &which) {
        const cups_page_header2_t &h = options.header;
        if (!Offered(h)) {
            std::string offered;
            for (const Resolution &r : printer_.resolutions)
                offered += (offered.empty() ? "" : ", ") + std::to_string(r.x) +
                           (r.x == r.y ? "" : " x " + std::to_string(r.y));
            return Fail(which + " is at " + Dpi(h) + ", which this printer does not offer (it offers " + offered +
                        " dpi)");
        }
        first_ = h;
        space_ = h.cupsColorSpace;
        bandFormat_ = BandFormat(space_);
        pixelSize_ = bandFormat_ == 8 ? 1 : 4;
        width_ = static_cast<int>(std::min(h.cupsWidth, 0x7fffffffu));
        height_ = static_cast<int>(std::min(h.cupsHeight, 0x7fffffffu));
        expectedPages_ = h.cupsInteger[CUPS_RASTER_PWG_TotalPageCount];
        if (!CheckFolder()) return false;
        if (!Check(driver_.KIVPrOpen(printer_.driver->bundle, &record_))) return false;
        // The page is the raster's pixels at its resolution: its size in millimetres follows
        // from them, so the driver fits exactly those pixels.
        const double wmm = h.cupsWidth * 25.4 / h.HWResolution[0], hmm = h.cupsHeight * 25.4 / h.HWResolution[1];
        const PageGeometry page{width_, height_, wmm, hmm};
        driver_.KIVPrSuggestPage(record_, print_.get(), &page, bandFormat_);
        driver_.KIVPrValidate(record_, print_.get());
        driver_.KIVPrGetInfo(record_, print_.get(), &info_);
        if (h.cupsWidth == 0 || h.cupsHeight == 0 || info_.widthPixels != width_ || info_.heightPixels != height_)
            return Fail(which + " is " + Pixels(h.cupsWidth, h.cupsHeight) + " at " + Dpi(h) + " (" +
                        std::to_string(static_cast<long long>(wmm)) + " x " +
                        std::to_string(static_cast<long long>(hmm)) +
                        " mm), a page the driver cannot hold (pages are 12.7 mm to 5 m wide and at most 500 m long)");
        // Collation as the job asks ("multiple-document-handling").
        ipp_attribute_t *handling = papplJobGetAttribute(job_, "multiple-document-handling");
        const char *value = handling ? ippGetString(handling, 0, nullptr) : nullptr;
        const bool collated = !(value && std::strcmp(value, "separate-documents-uncollated-copies") == 0);
        kivhost::PrintRecordView(print_.get()).setCollated(collated);
        driver_.KIVPrSetJobName(record_, print_.get(), DocumentName(papplJobGetName(job_)).c_str());
        // Copies go into the job file's header, except for images, whose page PAPPL already
        // repeats once for each copy.
        plist_t settings = plist_new_dict();
        plist_dict_set_item(settings, "copies",
                            plist_new_uint(static_cast<uint64_t>(IsRaster(job_) ? std::max(1, options.copies) : 1)));
        if (plist_t bookmark = KIVCreateBookmarkDataForPath(folder_.c_str()))
            plist_dict_set_item(settings, "outputFolder", bookmark);
        const bool taken = driver_.KIVPrSetJobSettings(record_, print_.get(), settings);
        plist_free(settings);
        if (!taken) return Fail("the driver did not take the hot folder " + folder_);
        if (!Check(driver_.KIVPrOpenDoc(record_, print_.get()))) return false;
        documentOpen_ = true;
        if (!Check(kivtools::AttachToDocument(driver_, record_, Profile(), Ticket(options, collated)))) return false;
        const std::size_t rowBytes = static_cast<std::size_t>(width_) * pixelSize_;
        bandRows_ = static_cast<int>(std::clamp<std::size_t>(kBandBytes / rowBytes, 1, kBandRows));
        band_.assign(rowBytes * bandRows_, 0);
        return true;
    }

    // The colour profile of the samples the job file holds: sRGB and sGray rasters say what
    // their numbers mean, and an image its own profile; device spaces have none.
    kivtools::Bytes Profile() const {
        using kivtools::Samples;
        const Samples samples = space_ == CUPS_CSPACE_SRGB ? Samples::Rgb
                                : space_ == CUPS_CSPACE_SW ? Samples::GreyDensity
                                                           : Samples::Device;
        kivtools::ProfileChoice choice = kivtools::ChooseProfile(samples, ProfileOfFiltered(job_));
        if (!choice.note.empty()) papplLogJob(job_, PAPPL_LOGLEVEL_WARN, "%s", choice.note.c_str());
        return std::move(choice.profile);
    }

    // Who sent the job, from where, and as what.
    kivtools::JobTicket Ticket(const pappl_pr_options_t &options, bool collated) const {
        static const std::pair<int, const char *> kColourModes[] = {
            {PAPPL_COLOR_MODE_AUTO, "auto"},
            {PAPPL_COLOR_MODE_AUTO_MONOCHROME, "auto-monochrome"},
            {PAPPL_COLOR_MODE_BI_LEVEL, "bi-level"},
            {PAPPL_COLOR_MODE_COLOR, "color"},
            {PAPPL_COLOR_MODE_MONOCHROME, "monochrome"},
            {PAPPL_COLOR_MODE_PROCESS_MONOCHROME, "process-monochrome"}};
        static const std::pair<int, const char *> kScalings[] = {{PAPPL_SCALING_AUTO, "auto"},
                                                                 {PAPPL_SCALING_AUTO_FIT, "auto-fit"},
                                                                 {PAPPL_SCALING_FILL, "fill"},
                                                                 {PAPPL_SCALING_FIT, "fit"},
                                                                 {PAPPL_SCALING_NONE, "none"}};
        const auto named = [](const auto &table, int value) -> const char * {
            for (const auto &[v, name] : table)
                if (v == value) return name;
            return "";
        };
        const auto text = [](const char *s) { return s ? s : ""; };
        kivtools::JobTicket ticket;
        ticket.Text("Application", "vad3-printer " KIV_VERSION);
        ticket.Text("Owner", text(papplJobGetUsername(job_)));
        ticket.Text("JobName", text(papplJobGetName(job_)));
        ticket.Text("DocumentName", DocumentName(papplJobGetName(job_)));
        ticket.Text("PrinterName", text(papplPrinterGetName(papplJobGetPrinter(job_))));
        ticket.Integer("JobID", papplJobGetID(job_));
        if (ipp_attribute_t *uri = papplJobGetAttribute(job_, "job-printer-uri"))
            ticket.Text("PrinterURI", text(ippGetString(uri, 0, nullptr)));
        ticket.Date("Received", papplJobGetTimeCreated(job_));
        ticket.Integer("Copies", std::max(1, options.copies));
        ticket.Boolean("Collate", collated);
        ticket.Text("MediaName", options.media.size_name);
        ticket.Real("MediaWidth", options.media.size_width / 100.0);  // millimetres
        ticket.Real("MediaHeight", options.media.size_length / 100.0);
        ticket.Text("PrintQuality", text(ippEnumString("print-quality", static_cast<int>(options.print_quality))));
        ticket.Text("PrintColorMode", named(kColourModes, options.print_color_mode));
        // As asked: the image filter settles auto into what it did.
        ipp_attribute_t *scaling = papplJobGetAttribute(job_, "print-scaling");
        pappl_pr_driver_data_t data;
        const bool defaults = papplPrinterGetDriverData(papplJobGetPrinter(job_), &data) != nullptr;
        ticket.Text("PrintScaling", scaling    ? text(ippGetString(scaling, 0, nullptr))
                                    : defaults ? named(kScalings, static_cast<int>(data.scaling_default))
                                               : "");
        ticket.Text("DocumentFormat", text(papplJobGetFormat(job_)));
        return ticket;
    }

    // Hands the rows gathered so far to the driver: the page is the raster, so the band lands
    // where it came from, unscaled.
    bool Flush() {
        if (rows_ == 0) return true;
        const int top = static_cast<int>(lines_) - rows_;
        const LongRect rect{top, 0, top + rows_, width_};
        const HostBitmap bitmap{band_.data(), rect, static_cast<uint32_t>(width_ * pixelSize_), bandFormat_};
        rows_ = 0;
        return Check(driver_.KIVPrPrintBitmap(record_, &bitmap, &rect, &rect));
    }

    void Abandon() {
        if (!record_) return;
        if (documentOpen_) {
            driver_.KIVPrSetError(record_, kAbandoned);
            driver_.KIVPrCloseDoc(record_);
            documentOpen_ = false;
        }
        driver_.KIVPrClose(std::exchange(record_, nullptr));
    }

    pappl_job_t *job_;
    PrinterData &printer_;
    kivhost::DriverModule &driver_;
    std::string folder_;
    DriverRecord *record_ = nullptr;
    kivhost::PrintHandle print_;
    PageInfo info_{};
    bool documentOpen_ = false;
    cups_page_header2_t first_{};
    cups_cspace_t space_ = CUPS_CSPACE_SRGB;
    int16_t bandFormat_ = 0;
    int pixelSize_ = 4;
    int width_ = 0, height_ = 0, bandRows_ = 1, rows_ = 0;
    long long lines_ = 0;
    unsigned pages_ = 0, expectedPages_ = 0;
    std::vector<uint8_t> band_;
    std::string failure_;
};

Job *JobOf(pappl_job_t *job) { return static_cast<Job *>(RunState(job)); }

// Runs step on the job. After a failure the document is abandoned and each later step says
// so again; the failure is reported once more when the job ends, since PAPPL 1.3 keeps the
// job-state-message only of a job that fails when it starts or ends.
template <class Step>
bool Run(Job *current, Step step) {
    if (!current || !current->failure().empty()) return false;
    try {
        if (const std::string why = current->Stopped(); !why.empty()) return current->Fail(why);
        return step(*current);
    } catch (const std::exception &e) {
        return current->Fail(std::string("out of resources: ") + e.what());
    }
}

}  // namespace

bool StartJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *) {
    WatchForStop();  // PAPPL's handler is in place once a job runs
    pappl_printer_t *printer = papplJobGetPrinter(job);
    PrinterData *data = DataOf(printer);
    if (!data) return false;
    auto started = std::make_unique<Job>(job, *data, HotFolderOf(printer));
    if (!started->CheckFolder()) return false;
    SetRunState(job, started.release());  // freed by EndJob, which PAPPL calls for every started job
    return true;
}

bool RefuseDocument(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *) {
    const char *format = papplJobGetFormat(job);
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Documents in %s cannot be printed here", format ? format : "this format");
    papplJobSetMessage(job, "Documents in %s cannot be printed here: send %s", format ? format : "this format",
                       FormatsTaken().c_str());
    return false;
}

void ExplainUnprintableFormats(pappl_system_t *system) {
    papplSystemSetEventCallback(
        system,
        [](pappl_system_t *, pappl_printer_t *printer, pappl_job_t *job, pappl_event_t event, void *) {
            // Said as soon as the job is made (the job is aborted when its turn comes), and
            // again at its end for one whose format came later (Create-Job, Send-Document).
            const bool made = event == PAPPL_EVENT_JOB_CREATED;
            if (!job || (!made && event != PAPPL_EVENT_JOB_COMPLETED) || papplJobGetMessage(job) ||
                (!made && papplJobGetState(job) != IPP_JSTATE_ABORTED))
                return;
            const char *format = papplJobGetFormat(job);
            if (!format) return;
            for (const char *handled : {"application/octet-stream", "image/pwg-raster", "image/urf", "image/png",
                                        "image/jpeg", "application/pdf"})
                if (std::strcmp(format, handled) == 0 &&
                    (std::strcmp(handled, "application/pdf") != 0 || !GhostscriptPath().empty()))
                    return;
            // PAPPL holds the job's lock here: the message is set once it is free.
            std::thread([printer, id = papplJobGetID(job), what = std::string(format), taken = FormatsTaken()] {
                if (pappl_job_t *found = papplPrinterFindJob(printer, id))
                    papplJobSetMessage(found, "Documents in %s cannot be printed here: send %s", what.c_str(),
                                       taken.c_str());
            }).detach();
        },
        nullptr);
}

bool StartPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned page) {
    return Run(JobOf(job), [&](Job &j) { return j.StartPage(*options, page); });
}

bool WriteLine(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned y, const unsigned char *line) {
    return Run(JobOf(job), [&](Job &j) { return j.WriteLine(y, line); });
}

bool EndPage(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned page) {
    return Run(JobOf(job), [&](Job &j) { return j.EndPage(page); });
}

void FailJob(pappl_job_t *job, const std::string &why) {
    Run(JobOf(job), [&](Job &j) { return j.Fail(why); });
}

bool EndJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *) {
    std::unique_ptr<Job> done(JobOf(job));
    SetRunState(job, nullptr);
    if (!done) return false;
    const bool ok = Run(done.get(), [&](Job &j) { return j.EndJob(); });
    if (!ok && !done->failure().empty()) papplJobSetMessage(job, "%s", done->failure().c_str());
    // PAPPL counts each page as it begins; a job that failed published none of them.
    if (!ok) papplJobSetImpressionsCompleted(job, -papplJobGetImpressionsCompleted(job));
    EndRun(job, ok);
    return ok;
}

}  // namespace vad3printer
