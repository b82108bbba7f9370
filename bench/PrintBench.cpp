// End to end: the three synthetic A3 pages printed through the driver's entry points in
// bands of 256 rows, beside the same pixels written as PWG raster with libcups and the same
// number of bytes written plainly in 64 KiB blocks. Medians of several runs; then the peak
// resident memory of `kivhost print` for a 20-page job. The driver column is measured again in
// a child process with the scalar encoders forced (KIV_LINE_ENCODERS=scalar), so that every
// row shows what the processor's encoder set gains, side by side in one run.
//   bench_print [RUNS]
//   bench_print --driver-ms PAGE MODE RUNS   (the child: the driver's median time alone)
#include <cups/raster.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "SyntheticPages.hpp"
#include "common/DriverModule.hpp"
#include "common/PngWriter.hpp"
#include "format/Codecs.hpp"

namespace {

namespace fs = std::filesystem;
using kivbench::kPageHeight;
using kivbench::kPageWidth;
using kivbench::PageKind;
using kivbench::SyntheticPage;
using Clock = std::chrono::steady_clock;

constexpr int kBandRows = 256;

enum class Mode { Argb, Bw, Cmyk };

struct Result {
    double ms;
    uintmax_t bytes;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The page's pixels as the host sends them: ARGB, or CMYK converted once beforehand.
std::vector<uint8_t> BandPixels(const SyntheticPage &page, Mode mode) {
    std::vector<uint8_t> out(page.Bytes());
    for (std::size_t i = 0; i < page.Bytes(); i += 4) {
        const uint8_t *p = page.Line(0) + i;
        uint8_t *o = out.data() + i;
        if (mode != Mode::Cmyk) {
            std::copy(p, p + 4, o);
        } else {
            const int c = 255 - p[1], m = 255 - p[2], y = 255 - p[3], k = std::min({c, m, y});
            const auto under = [k](int v) { return static_cast<uint8_t>(k == 255 ? 0 : (v - k) * 255 / (255 - k)); };
            o[0] = under(c), o[1] = under(m), o[2] = under(y), o[3] = static_cast<uint8_t>(k);
        }
    }
    return out;
}

class DriverPrinter {
public:
    DriverPrinter(kivhost::DriverModule &driver, KIVBundleRef bundle, const fs::path &folder)
        : driver_(driver), bundle_(bundle), folder_(folder) {}

    Result Print(const std::vector<uint8_t> &pixels, Mode mode) {
        for (const auto &e : fs::directory_iterator(folder_)) fs::remove(e.path());
        const auto start = Clock::now();
        DriverRecord *record = nullptr;
        driver_.KIVPrOpen(bundle_, &record);
        Handle print = NewHandle(0);
        const int16_t format = mode == Mode::Cmyk ? 33 : 32;
        const PageGeometry page{kPageWidth, kPageHeight, kPageWidth / 300.0 * 25.4, kPageHeight / 300.0 * 25.4};
        driver_.KIVPrSuggestPage(record, print, &page, format);
        driver_.KIVPrValidate(record, print);
        (*print)[30] = mode == Mode::Bw;
        plist_t settings = plist_new_dict();
        plist_dict_set_item(settings, "outputFolder", KIVCreateBookmarkDataForPath(folder_.c_str()));
        driver_.KIVPrSetJobSettings(record, print, settings);
        plist_free(settings);
        int32_t e = driver_.KIVPrOpenDoc(record, print);
        if (e == 0) e = driver_.KIVPrOpenPage(record);
        for (int y = 0; y < kPageHeight && e == 0; y += kBandRows) {
            const int rows = std::min(kBandRows, kPageHeight - y);
            const HostBitmap bitmap{const_cast<uint8_t *>(pixels.data()) + static_cast<std::size_t>(y) * kPageWidth * 4,
                                    LongRect{y, 0, y + rows, kPageWidth}, kPageWidth * 4, format};
            const LongRect rect{y, 0, y + rows, kPageWidth};
            e = driver_.KIVPrPrintBitmap(record, &bitmap, &rect, &rect);
        }
        if (e == 0) e = driver_.KIVPrClosePage(record);
        const int32_t closed = driver_.KIVPrCloseDoc(record);
        char *file = driver_.KIVPrCopyOutputFileName(record);
        driver_.KIVPrClose(record);
        DisposeHandle(print);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (e || closed) std::fprintf(stderr, "bench_print: the driver failed (%d, %d)\n", e, closed);
        std::error_code ec;
        const uintmax_t bytes = file ? fs::file_size(file, ec) : 0;
        std::free(file);
        return {ms, ec ? 0 : bytes};
    }

private:
    kivhost::DriverModule &driver_;
    KIVBundleRef bundle_;
    fs::path folder_;
};

// The same pixels as PWG raster: sRGB, grey or CMYK, 8 bits, one cupsRasterWritePixels a line.
Result WritePwg(const SyntheticPage &page, Mode mode, const std::vector<uint8_t> &cmyk, const fs::path &file) {
    const int channels = mode == Mode::Argb ? 3 : mode == Mode::Bw ? 1 : 4;
    std::vector<std::vector<uint8_t>> lines(kPageHeight,
                                            std::vector<uint8_t>(static_cast<std::size_t>(kPageWidth) * channels));
    for (int y = 0; y < kPageHeight; ++y) {
        const uint8_t *argb = page.Line(y);
        for (int x = 0; x < kPageWidth; ++x) {
            const uint8_t *p = argb + 4 * x;
            uint8_t *o = lines[y].data() + static_cast<std::size_t>(x) * channels;
            if (mode == Mode::Argb) {
                o[0] = p[1], o[1] = p[2], o[2] = p[3];
            } else if (mode == Mode::Bw) {
                o[0] = p[2];
            } else {
                std::copy_n(cmyk.data() + (static_cast<std::size_t>(y) * kPageWidth + x) * 4, 4, o);
            }
        }
    }
    const auto start = Clock::now();
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
    cups_page_header2_t header;
    cupsRasterInitPWGHeader(&header, pwgMediaForPWG("iso_a3_297x420mm"),
                            mode == Mode::Argb ? "srgb_8"
                            : mode == Mode::Bw ? "sgray_8"
                                               : "cmyk_8",
                            300, 300, "one-sided", nullptr);
    header.cupsWidth = kPageWidth;
    header.cupsHeight = kPageHeight;
    header.cupsBytesPerLine = static_cast<unsigned>(kPageWidth * channels);
    cupsRasterWriteHeader2(raster, &header);
    for (auto &line : lines) cupsRasterWritePixels(raster, line.data(), header.cupsBytesPerLine);
    cupsRasterClose(raster);
    ::fsync(fd);  // the driver syncs each job file before naming it: compare like with like
    ::close(fd);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return {ms, static_cast<uintmax_t>(fs::file_size(file))};
}

// The disk's own speed: the same number of bytes in 64 KiB writes.
double WritePlain(uintmax_t bytes, const fs::path &file) {
    std::vector<uint8_t> block(65536, 0x5A);
    const auto start = Clock::now();
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (uintmax_t done = 0; done < bytes;) {
        const std::size_t n = static_cast<std::size_t>(std::min<uintmax_t>(block.size(), bytes - done));
        if (::write(fd, block.data(), n) <= 0) break;
        done += n;
    }
    ::fsync(fd);
    ::close(fd);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs fn in a child process and waits for it; the child's peak resident memory in MiB. The
// child's peak includes what it shares with this process when it starts, so this is called
// before the pages are made.
template <class Fn>
double InChild(Fn fn) {
    const pid_t pid = fork();
    if (pid == 0) {
        fn();
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Peak resident memory (MiB) of kivhost printing `copies` times a PNG of width × height pixels
// at 300 dpi (the document page, repeated across and down), which another child writes first.
double KivhostPeakMiB(const fs::path &dir, int width, int height, int copies) {
    const fs::path png = dir / "picture.png";
    InChild([&] {
        const SyntheticPage page(PageKind::Document, 4);
        kivtools::PngWriter writer;
        writer.Open(png.string(), width, height, PNG_COLOR_TYPE_RGB, 300, 300);
        std::vector<uint8_t> rgb(static_cast<std::size_t>(width) * 3);
        for (int y = 0; y < height; ++y) {
            const uint8_t *line = page.Line(y % kPageHeight);
            for (int x = 0; x < width; ++x) std::copy_n(line + 4 * (x % kPageWidth) + 1, 3, rgb.data() + 3 * x);
            writer.WriteRow(rgb.data());
        }
        _exit(writer.Finish() ? 0 : 1);
    });
    return InChild([&] {
        std::vector<std::string> args = {KIVHOST_TOOL,           "print",    "--hot-folder",
                                         (dir / "rss").string(), "--bundle", KIV_BUNDLE_DIR};
        for (int i = 0; i < copies; ++i) args.push_back(png.string());
        std::vector<char *> argv;
        for (auto &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, STDOUT_FILENO);
        ::dup2(devnull, STDERR_FILENO);
        ::execv(argv[0], argv.data());
    });
}

// The driver's median time for one page and mode in a child process with the scalar set forced.
double ScalarDriverMs(const char *self, int page, int mode, int runs) {
    const std::string command = std::string("KIV_LINE_ENCODERS=scalar '") + self + "' --driver-ms " +
                                std::to_string(page) + " " + std::to_string(mode) + " " + std::to_string(runs);
    FILE *child = ::popen(command.c_str(), "r");
    double ms = 0;
    if (!child || std::fscanf(child, "%lf", &ms) != 1) ms = 0;
    if (child) ::pclose(child);
    return ms;
}

}  // namespace

int main(int argc, char **argv) {
    const bool child = argc == 5 && std::string(argv[1]) == "--driver-ms";
    const int runs = child ? std::max(1, std::atoi(argv[4])) : argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const fs::path dir = fs::absolute(child ? "bench-print-scalar.tmp" : "bench-print.tmp");
    fs::remove_all(dir);
    fs::create_directories(dir / "hot");
    KIVBundleRef bundle = KIVBundleCreate(KIV_BUNDLE_DIR);
    kivhost::DriverModule driver;
    if (!bundle || !driver.Load(bundle)) {
        std::fprintf(stderr, "bench_print: cannot load the driver from %s\n", KIV_BUNDLE_DIR);
        return 1;
    }
    DriverPrinter printer(driver, bundle, dir / "hot");
    // Before the pages are made: a child's peak counts what it shares with this process.
    const double a3MiB = child ? 0 : KivhostPeakMiB(dir, kPageWidth, kPageHeight, 20);
    const double metreMiB = child ? 0 : KivhostPeakMiB(dir, 11811, 11811, 1);
    const struct {
        const char *name;
        PageKind kind;
    } pages[] = {{"white", PageKind::White}, {"document", PageKind::Document}, {"noise", PageKind::Noise}};
    const struct {
        const char *name;
        Mode mode;
    } modes[] = {{"ARGB", Mode::Argb}, {"grey (B&W)", Mode::Bw}, {"CMYK", Mode::Cmyk}};
    if (child) {
        const auto &p = pages[std::atoi(argv[2]) % 3];
        const auto &m = modes[std::atoi(argv[3]) % 3];
        const SyntheticPage page(p.kind, 4);
        const std::vector<uint8_t> pixels = BandPixels(page, m.mode);
        std::vector<double> driverMs;
        for (int r = 0; r < runs; ++r) driverMs.push_back(printer.Print(pixels, m.mode).ms);
        std::printf("%.3f\n", Median(driverMs));
        KIVBundleRelease(bundle);
        fs::remove_all(dir);
        return 0;
    }
    std::printf("A3 at 300 dpi (%d x %d), bands of %d rows, medians of %d runs; line encoders %s\n\n", kPageWidth,
                kPageHeight, kBandRows, runs, kiv::DescribeLineEncoders().c_str());
    std::printf(
        "| page | mode | driver ms | scalar driver ms | input MB/s | job file | PWG ms | PWG file | plain write ms | "
        "driver ÷ scalar | driver ÷ PWG | driver ÷ write |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const auto &p : pages) {
        const SyntheticPage page(p.kind, 4);
        for (const auto &m : modes) {
            const std::vector<uint8_t> pixels = BandPixels(page, m.mode);
            std::vector<double> driverMs, pwgMs, plainMs;
            uintmax_t jobBytes = 0, pwgBytes = 0;
            for (int r = 0; r < runs; ++r) {
                const Result job = printer.Print(pixels, m.mode);
                driverMs.push_back(job.ms);
                jobBytes = job.bytes;
                const Result pwg = WritePwg(page, m.mode, pixels, dir / "page.pwg");
                pwgMs.push_back(pwg.ms);
                pwgBytes = pwg.bytes;
                plainMs.push_back(WritePlain(jobBytes, dir / "plain.bin"));
            }
            const double d = Median(driverMs), c = Median(pwgMs), w = Median(plainMs);
            const double scalar =
                ScalarDriverMs(argv[0], static_cast<int>(&p - pages), static_cast<int>(&m - modes), runs);
            std::printf("| %s | %s | %.1f | %.1f | %.0f | %.2f MB | %.1f | %.2f MB | %.1f | %.2f | %.2f | %.2f |\n",
                        p.name, m.name, d, scalar, page.Bytes() / d / 1000.0, jobBytes / 1e6, c, pwgBytes / 1e6, w,
                        d / scalar, d / c, d / w);
            std::fflush(stdout);
        }
    }
    std::printf(
        "\nkivhost print, peak resident memory: 20 A3 pages from a PNG %.0f MiB; one 1 m x 1 m page at 300 dpi "
        "%.0f MiB\n",
        a3MiB, metreMiB);
    KIVBundleRelease(bundle);
    fs::remove_all(dir);
    return 0;
}
