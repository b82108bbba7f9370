// The printer application for real: a vad3-printer server (and, for CUPS, a private cupsd)
// started on free loopback ports with private folders, driven with ipptool, lp and the
// application's own sub-commands, and stopped whatever happens.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <cups/cups.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <png.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "common/PngWriter.hpp"
#include "format/VAD3Reader.hpp"
#include "support/Commands.hpp"
#include "support/TempDir.hpp"

using namespace kivtest;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using Output = CommandOutput;

std::string Quote(const std::string &s) { return "'" + s + "'"; }

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = Loopback(port);
    const bool ok = ::connect(s, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

// Waits up to seconds for check; true when it held.
bool Within(double seconds, const std::function<bool()> &check) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        if (check()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return check();
}

// A child process, stopped (TERM, then KILL) at the end of its scope.
class Process {
public:
    Process(std::vector<std::string> argv, const std::vector<std::pair<std::string, std::string>> &env) {
        pid_ = fork();
        if (pid_ == 0) {
            for (const auto &[k, v] : env) setenv(k.c_str(), v.c_str(), 1);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, STDIN_FILENO), ::dup2(null, STDOUT_FILENO), ::dup2(null, STDERR_FILENO);
            std::vector<char *> args;
            for (auto &a : argv) args.push_back(a.data());
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
    }
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;
    ~Process() { Stop(); }

    bool Running() {
        if (pid_ <= 0) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) pid_ = -1;
        return pid_ > 0;
    }
    void Stop(int signal = SIGTERM) {
        if (pid_ <= 0) return;
        kill(pid_, signal);
        if (!Within(5, [&] { return !Running(); })) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

// A page of PWG raster from libcups' writer: pixel(x, y) gives each pixel's bytes.
void WritePwg(const fs::path &file, const char *type, int width, int height, int dpi, int pages,
              const std::function<void(int x, int y, int page, uint8_t *pixel)> &pixel) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
    pwg_media_t *media =
        pwgMediaForSize(static_cast<int>(width * 2540.0 / dpi + 0.5), static_cast<int>(height * 2540.0 / dpi + 0.5));
    cups_page_header2_t h;
    cupsRasterInitPWGHeader(&h, media, type, dpi, dpi, "one-sided", nullptr);
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBytesPerLine = width * h.cupsBitsPerPixel / 8;
    h.PageSize[0] = static_cast<unsigned>(width * 72.0 / dpi + 0.5);
    h.PageSize[1] = static_cast<unsigned>(height * 72.0 / dpi + 0.5);
    h.cupsPageSize[0] = static_cast<float>(width * 72.0 / dpi);
    h.cupsPageSize[1] = static_cast<float>(height * 72.0 / dpi);
    std::vector<uint8_t> line(h.cupsBytesPerLine);
    const int bpp = static_cast<int>(h.cupsBitsPerPixel / 8);
    for (int p = 0; p < pages; ++p) {
        cupsRasterWriteHeader2(raster, &h);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) pixel(x, y, p, &line[static_cast<std::size_t>(x) * bpp]);
            cupsRasterWritePixels(raster, line.data(), h.cupsBytesPerLine);
        }
    }
    cupsRasterClose(raster);
    ::close(fd);
}

// The pixels of page 1 of a job file as R, G, B (grey density shown as its grey).
std::vector<uint8_t> PageRgb(const fs::path &file, int &width, int &height) {
    kiv::VAD3Reader reader;
    EXPECT_EQ(reader.Open(file), "");
    width = reader.header().width;
    height = reader.header().height;
    std::vector<uint8_t> rgb(static_cast<std::size_t>(width) * height * 3), line;
    for (int y = 0; y < height; ++y) {
        EXPECT_EQ(reader.ReadLine(line), "");
        for (int x = 0; x < width; ++x) {
            uint8_t *o = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            if (reader.header().pixelFormat == 8) {
                o[0] = o[1] = o[2] = static_cast<uint8_t>(255 - line[x]);
            } else {
                std::memcpy(o, &line[static_cast<std::size_t>(x) * 4 + 1], 3);
            }
        }
    }
    return rgb;
}

// The printer application with one printer, HotFolder, for a private folder.
class PrinterApp : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = FreePort();
        for (const char *d : {"state", "spool", "hot", "tmp"}) fs::create_directories(dir_ / d);
        StartServer();
        const Output add = App("add -d HotFolder -m hotfolder -v " + Quote("hotfolder://" + (dir_ / "hot").string()));
        ASSERT_EQ(add.status, 0) << add.text;
    }

    void StartServer() {
        server_ = std::make_unique<Process>(
            std::vector<std::string>{VAD3_PRINTER_TOOL, "server", "-o", "server-port=" + std::to_string(port_), "-o",
                                     "listen-hostname=localhost", "-o", "spool-directory=" + (dir_ / "spool").string(),
                                     "-o", "log-file=" + (dir_ / "log").string(), "-o", "log-level=info", "-o",
                                     "state-directory=" + (dir_ / "state").string(), "-o", "server-options=no-tls"},
            Env());
        ASSERT_TRUE(Within(10, [&] { return Accepts(port_); })) << "the server did not start";
    }

    std::vector<std::pair<std::string, std::string>> Env() const {
        // SNAP_COMMON moves PAPPL's local socket (for root /run/vad3-printer.sock) into the test's folder.
        return {{"XDG_CONFIG_HOME", (dir_ / "state").string()},
                {"TMPDIR", (dir_ / "tmp").string()},
                {"SNAP_COMMON", (dir_ / "tmp").string()}};
    }

    std::string Server() const { return "ipp://localhost:" + std::to_string(port_); }
    std::string PrinterURI() const { return Server() + "/ipp/print/HotFolder"; }

    // A sub-command against this server (add takes the server's URI, the others the printer's).
    Output App(const std::string &args) const {
        const std::size_t space = std::min(args.find(' '), args.size());
        const std::string command = args.substr(0, space);
        return RunCommand(std::string(VAD3_PRINTER_TOOL) + " " + command + " -u " +
                          (command == "add" ? Server() : PrinterURI()) + args.substr(space));
    }

    // Print-Job through ipptool; the output of the test (job-id, status).
    Output Print(const fs::path &file, const std::string &format, const std::string &jobName,
                 const std::string &colorMode = "auto", const char *status = "successful-ok") {
        const fs::path test = dir_ / "print.test";
        WriteFile(test, std::string("{\n NAME \"Print-Job\"\n OPERATION Print-Job\n GROUP operation-attributes-tag\n"
                                    " ATTR charset attributes-charset utf-8\n"
                                    " ATTR naturalLanguage attributes-natural-language en\n"
                                    " ATTR uri printer-uri $uri\n ATTR name requesting-user-name $user\n"
                                    " ATTR name job-name $job_name\n ATTR mimeMediaType document-format $format\n"
                                    " GROUP job-attributes-tag\n ATTR keyword print-color-mode $color\n"
                                    " FILE $filename\n STATUS ") +
                            status + "\n DISPLAY job-id\n}\n");
        return RunCommand("ipptool -T 30 -t -f " + Quote(file.string()) + " -d job_name=" + Quote(jobName) +
                          " -d format=" + format + " -d color=" + colorMode + " " + PrinterURI() + " " +
                          Quote(test.string()));
    }

    // The state and message of the last job once it has ended (or after a timeout).
    std::string WaitForJob(int jobId) {
        const fs::path test = dir_ / "job.test";
        WriteFile(test,
                  "{\n NAME \"Get-Job-Attributes\"\n OPERATION Get-Job-Attributes\n"
                  " GROUP operation-attributes-tag\n ATTR charset attributes-charset utf-8\n"
                  " ATTR naturalLanguage attributes-natural-language en\n ATTR uri printer-uri $uri\n"
                  " ATTR integer job-id $job_id\n ATTR name requesting-user-name $user\n STATUS successful-ok\n"
                  " DISPLAY job-state\n DISPLAY job-state-message\n}\n");
        std::string last;
        Within(30, [&] {
            last = RunCommand("ipptool -t -d job_id=" + std::to_string(jobId) + " " + PrinterURI() + " " +
                              Quote(test.string()))
                       .text;
            return last.find("job-state (enum) = completed") != std::string::npos ||
                   last.find("job-state (enum) = aborted") != std::string::npos ||
                   last.find("job-state (enum) = canceled") != std::string::npos;
        });
        return last;
    }

    // A page of the web interface; with a form, posted with the page's session token as a
    // browser does.
    std::string WebPage(const std::string &path, const std::string &form = "") {
        http_t *http = httpConnect2("localhost", port_, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 10000, nullptr);
        if (!http) return "cannot connect";
        const auto get = [&](const std::string &body) {
            httpClearFields(http);
            if (body.empty()) {
                httpGet(http, path.c_str());
            } else {
                httpSetField(http, HTTP_FIELD_CONTENT_TYPE, "application/x-www-form-urlencoded");
                httpSetLength(http, body.size());
                httpPost(http, path.c_str());
                httpWrite2(http, body.data(), body.size());
            }
            while (httpUpdate(http) == HTTP_STATUS_CONTINUE) {
            }
            std::string text;
            char buffer[4096];
            ssize_t n;
            while ((n = httpRead2(http, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
            return text;
        };
        std::string text = get("");
        if (!form.empty()) {
            const std::string field = "name=\"session\" value=\"";
            const std::size_t at = text.find(field), from = at + field.size();
            const std::string token = at == std::string::npos ? "" : text.substr(from, text.find('"', from) - from);
            text = get("session=" + token + "&" + form);
        }
        httpClose(http);
        return text;
    }

    static int JobId(const Output &print) {
        const std::size_t at = print.text.find("job-id (integer) = ");
        return at == std::string::npos ? -1 : std::atoi(print.text.c_str() + at + 19);
    }

    std::vector<fs::path> JobFiles() const { return FolderEntries(dir_ / "hot"); }

    // Prints file and returns the one job file it became (checked by the verifier).
    fs::path PrintToFile(const fs::path &file, const std::string &format, const std::string &jobName,
                         const std::string &colorMode = "auto") {
        const Output print = Print(file, format, jobName, colorMode);
        EXPECT_EQ(print.status, 0) << print.text;
        const std::string state = WaitForJob(JobId(print));
        EXPECT_NE(state.find("= completed"), std::string::npos) << state;
        const fs::path job = dir_ / "hot" / (jobName + ".vad3");
        EXPECT_EQ(kiv::VerifyVAD3(job), "");
        return job;
    }

    TempDir dir_;
    int port_ = 0;
    std::unique_ptr<Process> server_;
};

}  // namespace

TEST_F(PrinterApp, OffersTheDriversCatalogues) {
    const Output attrs = RunCommand("ipptool -tv " + PrinterURI() + " get-printer-attributes.test");
    ASSERT_EQ(attrs.status, 0) << attrs.text;
    for (const char *expected :
         {"media-supported (1setOf keyword) = custom_412x553mm_412x553mm,custom_280x390mm_280x390mm",
          "media-default (keyword) = custom_280x390mm_280x390mm",
          "printer-resolution-supported (1setOf resolution) = 150dpi,300dpi,600dpi",
          "printer-resolution-default (resolution) = 300dpi", "image/pwg-raster", "image/urf", "image/png",
          "image/jpeg", "print-color-mode-supported (1setOf keyword) = auto,color,monochrome", "sgray_8", "srgb_8",
          "cmyk_8"}) {
        EXPECT_NE(attrs.text.find(expected), std::string::npos) << expected;
    }
}

TEST_F(PrinterApp, PrintsPwgRasterAndPngPixelForPixel) {
    // PWG raster, colour and grey: every pixel arrives.
    const auto colour = [](int x, int y, int, uint8_t *p) {
        p[0] = static_cast<uint8_t>(x), p[1] = static_cast<uint8_t>(y), p[2] = static_cast<uint8_t>(x + y);
    };
    const auto grey = [](int x, int y, int, uint8_t *p) { *p = static_cast<uint8_t>(x * 3 + y); };
    struct Case {
        const char *type, *name;
        std::function<void(int, int, int, uint8_t *)> pixel;
        int16_t format;
    } cases[] = {{"srgb_8", "colour raster", colour, 32}, {"sgray_8", "grey raster", grey, 8}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        const fs::path pwg = dir_ / (std::string(c.type) + ".pwg");
        WritePwg(pwg, c.type, 400, 300, 300, 2, c.pixel);
        const fs::path job = PrintToFile(pwg, "image/pwg-raster", c.name);
        kiv::VAD3Reader reader;
        ASSERT_EQ(reader.Open(job), "");
        EXPECT_EQ(reader.header().width, 400);
        EXPECT_EQ(reader.header().height, 300);
        EXPECT_EQ(reader.header().hResolution, 300u << 16);
        EXPECT_EQ(reader.header().pixelFormat, c.format);
        EXPECT_EQ(reader.header().pageCount, 2);
        kiv::Plist trailer;
        ASSERT_EQ(reader.ReadTrailer(trailer), "");
        EXPECT_EQ(*kiv::StringValue(kiv::DictGet(trailer.get(), "KIVPrinterDriver_JobName")), c.name);
        int w = 0, h = 0;
        const std::vector<uint8_t> rgb = PageRgb(job, w, h);
        for (int y = 0; y < h; y += 7) {
            for (int x = 0; x < w; x += 5) {
                uint8_t want[3];
                c.pixel(x, y, 0, want);
                if (c.format == 8) want[1] = want[2] = want[0];
                ASSERT_EQ(std::memcmp(&rgb[(static_cast<std::size_t>(y) * w + x) * 3], want, 3), 0) << x << "," << y;
            }
        }
    }

    // A PNG smaller than the page (through the application's own filter): centred at its own
    // size, pixels intact. JPEG goes through PAPPL's decoder into the same raster callbacks.
    const int iw = 120, ih = 160;
    std::vector<uint8_t> expected(static_cast<std::size_t>(iw) * ih * 3);
    for (int y = 0; y < ih; ++y)
        for (int x = 0; x < iw; ++x) {
            uint8_t *p = &expected[(static_cast<std::size_t>(y) * iw + x) * 3];
            p[0] = static_cast<uint8_t>(20 + x), p[1] = static_cast<uint8_t>(30 + y),
            p[2] = static_cast<uint8_t>(90 + (x ^ y) % 64);
        }
    {
        kivtools::PngWriter png;
        ASSERT_TRUE(png.Open((dir_ / "picture.png").string(), iw, ih, PNG_COLOR_TYPE_RGB, 300, 300));
        for (int y = 0; y < ih; ++y) png.WriteRow(&expected[static_cast<std::size_t>(y) * iw * 3]);
        ASSERT_TRUE(png.Finish());
    }
    const fs::path job = PrintToFile(dir_ / "picture.png", "image/png", "picture");
    int w = 0, h = 0;
    const std::vector<uint8_t> rgb = PageRgb(job, w, h);
    EXPECT_EQ(w, 3307);  // the default paper, A3 at 300 dpi
    const int left = (w - iw) / 2, top = (h - ih) / 2;
    for (int y = 0; y < ih; ++y)
        ASSERT_EQ(std::memcmp(&rgb[(static_cast<std::size_t>(top + y) * w + left) * 3],
                              &expected[static_cast<std::size_t>(y) * iw * 3], iw * 3),
                  0)
            << y;
    EXPECT_EQ(rgb[0], 255);  // white around the picture
}

TEST_F(PrinterApp, FaultsAbortTheJobAndLeaveNothing) {
    const auto grey = [](int x, int y, int, uint8_t *p) { *p = static_cast<uint8_t>(x + y); };
    WritePwg(dir_ / "page.pwg", "sgray_8", 200, 200, 300, 1, grey);

    // A format the printer does not take: PAPPL 1.3 accepts any document-format at submission,
    // so the job is aborted, and the server goes on.
    WriteFile(dir_ / "doc.pdf", "%PDF-1.4\n");
    const std::string pdf = WaitForJob(JobId(Print(dir_ / "doc.pdf", "application/pdf", "pdf")));
    EXPECT_NE(pdf.find("= aborted"), std::string::npos) << pdf;

    // A PNG whose header claims 100000 x 100000 pixels: aborted; the next job prints.
    {
        kivtools::PngWriter png;
        const uint8_t pixel[3] = {};
        ASSERT_TRUE(png.Open((dir_ / "lying.png").string(), 1, 1, PNG_COLOR_TYPE_RGB, 300, 300));
        ASSERT_TRUE(png.WriteRow(pixel) && png.Finish());
    }
    std::string lying = ReadFile(dir_ / "lying.png");  // IHDR's width and height at 16, its CRC at 29
    lying.replace(16, 8, std::string("\0\1\x86\xA0\0\1\x86\xA0", 8));
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(lying.data() + 12), 17);
    for (int i = 0; i < 4; ++i) lying[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
    WriteFile(dir_ / "lying.png", lying);
    const std::string lied = WaitForJob(JobId(Print(dir_ / "lying.png", "image/png", "lying")));
    EXPECT_NE(lied.find("= aborted"), std::string::npos) << lied;
    EXPECT_NE(lied.find("The PNG claims 100000 x 100000 pixels"), std::string::npos) << lied;
    EXPECT_TRUE(JobFiles().empty());
    PrintToFile(dir_ / "page.pwg", "image/pwg-raster", "after");
    fs::remove(dir_ / "hot" / "after.vad3");

    // The folder removed while the printer is idle: a state reason, then an aborted job whose
    // message names the folder.
    fs::remove_all(dir_ / "hot");
    EXPECT_TRUE(Within(10, [&] {
        return RunCommand("ipptool -tv " + PrinterURI() + " get-printer-attributes.test")
                   .text.find("printer-state-reasons (keyword) = other") != std::string::npos;
    }));
    const std::string gone = WaitForJob(JobId(Print(dir_ / "page.pwg", "image/pwg-raster", "gone")));
    EXPECT_NE(gone.find("= aborted"), std::string::npos) << gone;
    EXPECT_NE(gone.find((dir_ / "hot").string()), std::string::npos) << gone;
    EXPECT_FALSE(fs::exists(dir_ / "hot"));

    // The server stopped in the middle of a long job: what remains is nothing, or a whole job.
    fs::create_directory(dir_ / "hot");
    std::mt19937 rng(3);
    WritePwg(dir_ / "long.pwg", "srgb_8", 1200, 1200, 300, 25, [&](int, int, int, uint8_t *p) {
        const uint32_t r = rng();
        std::memcpy(p, &r, 3);
    });
    const Output long_ = Print(dir_ / "long.pwg", "image/pwg-raster", "long");
    ASSERT_EQ(long_.status, 0) << long_.text;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server_->Stop(SIGKILL);
    for (const fs::path &f : JobFiles()) {
        EXPECT_EQ(kiv::VerifyVAD3(f), "") << f;
        kiv::VAD3Reader reader;
        ASSERT_EQ(reader.Open(f), "");
        EXPECT_EQ(reader.header().pageCount, 25);
    }
    EXPECT_TRUE(Within(5, [&] { return !Accepts(port_); }));
}

TEST_F(PrinterApp, TheHotFolderPageChangesTheFolderForGood) {
    fs::create_directory(dir_ / "other");
    const std::string page = "/HotFolder/hotfolder";
    std::string html = WebPage(page);
    EXPECT_NE(html.find("value=\"" + (dir_ / "hot").string() + "\""), std::string::npos) << html;
    const std::string relative = WebPage(page, "folder=relative");
    EXPECT_NE(relative.find("must be an absolute path"), std::string::npos) << relative;
    EXPECT_NE(WebPage(page, "folder=" + (dir_ / "missing").string()).find("No such file or directory"),
              std::string::npos);
    html = WebPage(page, "folder=" + (dir_ / "other").string());
    EXPECT_NE(html.find("Changes saved."), std::string::npos) << html;

    server_->Stop();
    StartServer();
    EXPECT_NE(WebPage(page).find("value=\"" + (dir_ / "other").string() + "\""), std::string::npos);
    const auto grey = [](int x, int y, int, uint8_t *p) { *p = static_cast<uint8_t>(x ^ y); };
    WritePwg(dir_ / "page.pwg", "sgray_8", 200, 200, 300, 1, grey);
    const Output print = Print(dir_ / "page.pwg", "image/pwg-raster", "moved");
    ASSERT_EQ(print.status, 0) << print.text;
    EXPECT_NE(WaitForJob(JobId(print)).find("= completed"), std::string::npos);
    EXPECT_EQ(kiv::VerifyVAD3(dir_ / "other" / "moved.vad3"), "");
    EXPECT_TRUE(JobFiles().empty());
}

TEST_F(PrinterApp, PassesIppEverywhereWithSamplesAt150Dpi) {
    // CUPS' conformance file with its include files, and the 150 dpi samples it looks for.
    const fs::path tests = dir_ / "ipptool";
    fs::create_directories(tests);
    for (const auto &e : fs::directory_iterator("/usr/share/cups/ipptool"))
        if (e.path().extension() == ".test") fs::copy_file(e.path(), tests / e.path().filename());
    const auto paint = [](int x, int y, int page, uint8_t *p, int bytes) {
        for (int k = 0; k < bytes; ++k) p[k] = static_cast<uint8_t>((x / 40 + y / 40 + page + k) % 2 ? 40 * k : 230);
    };
    const struct {
        const char *type, *folder;
        int bytes;
    } types[] = {{"sgray_8", "sgray-8", 1}, {"srgb_8", "srgb-8", 3}, {"cmyk_8", "cmyk-8", 4}};
    const struct {
        const char *name;
        int width, height, pages;
    } samples[] = {{"color.jpg-4x6", 600, 900, 1}, {"gray.jpg-4x6", 600, 900, 1},
                   {"document-a4", 1240, 1754, 2}, {"document-letter", 1275, 1650, 2},
                   {"onepage-a4", 1240, 1754, 1},  {"onepage-letter", 1275, 1650, 1}};
    for (const auto &t : types) {
        const fs::path folder = tests / "pwg-raster-samples-150dpi" / t.folder;
        fs::create_directories(folder);
        for (const auto &s : samples) {
            WritePwg(folder / (std::string(s.name) + "-" + t.folder + "-150dpi.pwg"), t.type, s.width, s.height, 150,
                     s.pages, [&](int x, int y, int page, uint8_t *p) { paint(x, y, page, p, t.bytes); });
        }
    }
    const fs::path any = tests / "pwg-raster-samples-150dpi" / "sgray-8" / "onepage-a4-sgray-8-150dpi.pwg";
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a printer-up-time above 0
    const Output run = RunCommand("cd " + Quote(tests.string()) + " && ipptool -V 2.0 -c -T 30 -t -f " +
                                  Quote(any.string()) + " " + PrinterURI() + " ipp-everywhere.test");
    int passed = 0, failed = 0, skipped = 0;
    std::string failures;
    for (std::size_t at = 0; (at = run.text.find('[', at)) != std::string::npos; ++at) {
        if (run.text.compare(at, 6, "[PASS]") == 0) ++passed;
        if (run.text.compare(at, 6, "[SKIP]") == 0) ++skipped;
        if (run.text.compare(at, 6, "[FAIL]") == 0) {
            ++failed;
            failures += run.text.substr(run.text.rfind('\n', at) + 1, at - run.text.rfind('\n', at) - 1) + "\n";
        }
    }
    std::printf("ipp-everywhere.test: %d passed, %d failed, %d skipped\n", passed, failed, skipped);
    // PAPPL 1.3 has no page overrides ("overrides-supported"), the one check that fails.
    EXPECT_EQ(failed, 1) << failures << run.text.substr(0, 4000);
    EXPECT_NE(failures.find("Required Operations and Attributes"), std::string::npos) << failures;
    EXPECT_GE(passed, 20) << run.text.substr(0, 4000);
}

TEST_F(PrinterApp, PrintsAPdfThroughAPrivateCups) {
    for (const char *tool : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/bin/lp", "/usr/bin/gs"})
        if (::access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is not installed";
    if (!fs::exists("/usr/share/cups/mime/mime.convs")) GTEST_SKIP() << "CUPS' conversions (package cups) are missing";
    // A cupsd of our own: its configuration, spool, state and logs under the test's folder,
    // listening on one loopback port only.
    const fs::path cups = dir_ / "cups";
    for (const char *d : {"etc", "spool", "run", "cache", "tmp", "log"}) fs::create_directories(cups / d);
    for (const auto &e : fs::recursive_directory_iterator(cups)) fs::permissions(e.path(), fs::perms(0755));
    fs::permissions(cups, fs::perms(0755));
    fs::permissions(dir_.path(), fs::perms(0755));
    fs::permissions(cups / "tmp", fs::perms(01777));
    const int cupsPort = FreePort();
    WriteFile(cups / "etc" / "cupsd.conf",
              "Listen 127.0.0.1:" + std::to_string(cupsPort) +
                  "\nLogLevel warn\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
                  "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                  "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
                  "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
    WriteFile(cups / "etc" / "cups-files.conf",
              "ServerRoot " + (cups / "etc").string() + "\nRequestRoot " + (cups / "spool").string() + "\nStateDir " +
                  (cups / "run").string() + "\nCacheDir " + (cups / "cache").string() + "\nTempDir " +
                  (cups / "tmp").string() + "\nDataDir /usr/share/cups\nServerBin /usr/lib/cups\nErrorLog " +
                  (cups / "log" / "error_log").string() + "\nAccessLog " + (cups / "log" / "access_log").string() +
                  "\nPageLog " + (cups / "log" / "page_log").string() + "\nPrintcap " +
                  (cups / "run" / "printcap").string() + "\nFileDevice No\nSandboxing Relaxed\n");
    Process cupsd({"/usr/sbin/cupsd", "-f", "-c", (cups / "etc" / "cupsd.conf").string(), "-s",
                   (cups / "etc" / "cups-files.conf").string()},
                  {});
    ASSERT_TRUE(Within(10, [&] { return Accepts(cupsPort); })) << ReadFile(cups / "log" / "error_log");
    const std::string host = "127.0.0.1:" + std::to_string(cupsPort);
    const Output lpadmin = RunCommand("lpadmin -h " + host + " -p HotFolder -E -v " + PrinterURI() + " -m everywhere");
    ASSERT_EQ(lpadmin.status, 0) << lpadmin.text;

    WriteFile(dir_ / "two.ps",
              "%!PS\n/Helvetica findfont 40 scalefont setfont\n"
              "72 700 moveto (Page one) show showpage\n"
              "72 700 moveto (Page two) show 100 100 200 200 rectfill showpage\n");
    ASSERT_EQ(RunCommand("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile=" +
                         Quote((dir_ / "two.pdf").string()) + " " + Quote((dir_ / "two.ps").string()))
                  .status,
              0);
    const Output lp =
        RunCommand("lp -h " + host + " -d HotFolder -t 'Two pages' " + Quote((dir_ / "two.pdf").string()));
    ASSERT_EQ(lp.status, 0) << lp.text;
    const fs::path job = dir_ / "hot" / "Two pages.vad3";
    ASSERT_TRUE(Within(40, [&] { return fs::exists(job); })) << ReadFile(cups / "log" / "error_log");
    EXPECT_EQ(kiv::VerifyVAD3(job), "");
    kiv::VAD3Reader reader;
    ASSERT_EQ(reader.Open(job), "");
    EXPECT_EQ(reader.header().pageCount, 2);
}
