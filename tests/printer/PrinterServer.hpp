// A vad3-printer server for tests: started on a free loopback port with private folders,
// driven over IPP with libcups and with its own sub-commands, and stopped whatever happens.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <cups/cups.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "common/ColourProfiles.hpp"
#include "common/PngWriter.hpp"
#include "support/Commands.hpp"
#include "support/JobFiles.hpp"
#include "support/TempDir.hpp"

namespace kivtest {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using Clock = std::chrono::steady_clock;

// How long one request may take: a sanitized server is several times slower.
#if defined(KIV_SANITIZED)
inline constexpr int kRequestSeconds = 150;
#else
inline constexpr int kRequestSeconds = 30;
#endif

inline std::string Quote(const std::string &s) { return "'" + s + "'"; }

inline sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

// A loopback port of the test's own: kept bound, never listening, for as long as it is held,
// so that no test running alongside is given it while its server starts, runs or restarts;
// the server still binds it, since both sockets allow the address to be reused.
class Port {
public:
    Port() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        const int reuse = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
        sockaddr_in a = Loopback(0);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len);
        number_ = ntohs(a.sin_port);
    }
    ~Port() { ::close(fd_); }
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;
    int number() const { return number_; }
    std::string text() const { return std::to_string(number_); }

private:
    int fd_, number_ = 0;
};

inline bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = Loopback(port);
    const bool ok = ::connect(s, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

using Env = std::vector<std::pair<std::string, std::string>>;

// A child process, stopped (TERM, then KILL) at the end of its scope.
class Process {
public:
    // Its output goes to output (a file), or nowhere.
    Process(std::vector<std::string> argv, const Env &env, const std::string &output = "/dev/null") {
        pid_ = fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a test that is killed
            for (const auto &[k, v] : env) setenv(k.c_str(), v.c_str(), 1);
            const int null = ::open("/dev/null", O_RDWR);
            const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            ::dup2(null, STDIN_FILENO), ::dup2(out, STDOUT_FILENO), ::dup2(out, STDERR_FILENO);
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

    pid_t pid() const { return pid_; }
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
    // The most memory the process has held (VmHWM), in KiB; 0 when it cannot be read.
    long PeakKiB() const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
        return 0;
    }

private:
    pid_t pid_ = -1;
};

// PWG raster (or Apple raster) from libcups' writer: pixel(x, y, page) gives each pixel's bytes.
inline void WritePwg(const fs::path &file, const char *type, int width, int height, int dpi, int pages,
                     const std::function<void(int x, int y, int page, uint8_t *pixel)> &pixel,
                     cups_mode_t mode = CUPS_RASTER_WRITE_PWG) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    cups_raster_t *raster = cupsRasterOpen(fd, mode);
    pwg_media_t *media =
        pwgMediaForSize(static_cast<int>(width * 2540.0 / dpi + 0.5), static_cast<int>(height * 2540.0 / dpi + 0.5));
    cups_page_header2_t h;
    cupsRasterInitPWGHeader(&h, media, type, dpi, dpi, "one-sided", nullptr);
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBytesPerLine = (width * h.cupsBitsPerPixel + 7) / 8;
    h.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] = static_cast<unsigned>(pages);
    std::vector<uint8_t> line(h.cupsBytesPerLine + 8);
    const int bpp = static_cast<int>(h.cupsBitsPerPixel / 8);
    for (int p = 0; p < pages; ++p) {
        cupsRasterWriteHeader2(raster, &h);
        for (int y = 0; y < height; ++y) {
            if (bpp == 0) std::fill(line.begin(), line.end(), static_cast<uint8_t>(y & 8 ? 0xF0 : 0x0F));  // 1 bit
            for (int x = 0; bpp && x < width; ++x) pixel(x, y, p, &line[static_cast<std::size_t>(x) * bpp]);
            cupsRasterWritePixels(raster, line.data(), h.cupsBytesPerLine);
        }
    }
    cupsRasterClose(raster);
    ::close(fd);
}

// An RGB image (rows of R, G, B) as a PNG or, at quality 100, a JPEG, both at 300 dpi, with
// the ICC profile given, if any.
inline void WriteImage(const fs::path &file, int width, int height, const std::vector<uint8_t> &rgb,
                       const std::string &profile = {}) {
    if (file.extension() == ".png") {
        kivtools::PngWriter png;
        png.Open(file.string(), width, height, PNG_COLOR_TYPE_RGB, 300, 300, profile);
        for (int y = 0; y < height; ++y) png.WriteRow(&rgb[static_cast<std::size_t>(y) * width * 3]);
        png.Finish();
        return;
    }
    std::FILE *out = std::fopen(file.c_str(), "wb");
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    info.density_unit = 1;
    info.X_density = info.Y_density = 300;
    jpeg_start_compress(&info, TRUE);
    if (!profile.empty())
        jpeg_write_icc_profile(&info, reinterpret_cast<const JOCTET *>(profile.data()),
                               static_cast<unsigned>(profile.size()));
    for (int y = 0; y < height; ++y) {
        JSAMPROW row = const_cast<uint8_t *>(&rgb[static_cast<std::size_t>(y) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);
}

// A flat-coloured image.
inline void WriteImage(const fs::path &file, int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < rgb.size(); i += 3) rgb[i] = r, rgb[i + 1] = g, rgb[i + 2] = b;
    WriteImage(file, width, height, rgb);
}

// A PDF made by Ghostscript from a PostScript program (kept beside it as .ps); false when gs
// fails. gsOptions as Ghostscript takes them.
inline bool WritePdf(const fs::path &pdf, const std::string &postscript, const std::string &gsOptions = "") {
    fs::path ps = pdf;
    ps.replace_extension(".ps");
    WriteFile(ps, postscript);
    return RunCommand("gs -q -dNOPAUSE -dBATCH -dSAFER " + gsOptions +
                      " -sDEVICE=pdfwrite -sOutputFile=" + Quote(pdf.string()) + " " + Quote(ps.string()))
               .status == 0;
}

// The pixels of page 1 of a job file that verifies, as R, G, B (grey density shown as its grey).
inline std::vector<uint8_t> PageRgb(const fs::path &file, int &width, int &height) {
    kiv::VAD3Header h;
    const std::vector<Bytes> lines = JobLines(file, &h);
    width = h.width, height = h.height;
    std::vector<uint8_t> rgb;
    for (int y = 0; y < height && y < static_cast<int>(lines.size()); ++y)
        for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
            if (h.pixelFormat == 8) rgb.insert(rgb.end(), 3, static_cast<uint8_t>(255 - lines[y][x]));
            if (h.pixelFormat != 8) rgb.insert(rgb.end(), &lines[y][x * 4 + 1], &lines[y][x * 4 + 4]);
        }
    return rgb;
}

using IppPtr = std::unique_ptr<ipp_t, decltype(&ippDelete)>;

// A connection to the server of uri (a printer's or the system's), or null when none answers.
inline http_t *Connect(const std::string &uri) {
    char scheme[16], userpass[64], host[256], resource[1024];
    int port = 0;
    httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, userpass, sizeof userpass, host,
                    sizeof host, &port, resource, sizeof resource);
    http_t *http = httpConnect2(host, port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr);
    if (http) httpSetTimeout(http, kRequestSeconds, nullptr, nullptr);
    return http;
}

// An IPP request of `user` to a printer (or the system) at uri, with what `add` adds and file
// as its document, over a connection of its own or the caller's; the response, or null when
// there was none.
inline IppPtr Ask(const std::string &uri, ipp_op_t op, const std::function<void(ipp_t *)> &add = {},
                  const fs::path &file = {}, const std::string &user = "tester", http_t *connection = nullptr) {
    http_t *http = connection ? connection : Connect(uri);
    if (!http) return {nullptr, ippDelete};
    ipp_t *request = ippNewRequest(op);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, user.c_str());
    if (add) add(request);
    const std::string resource = uri.substr(uri.find('/', uri.find("://") + 3));
    IppPtr response(cupsDoFileRequest(http, request, resource.c_str(), file.empty() ? nullptr : file.c_str()),
                    ippDelete);
    if (!connection) httpClose(http);
    return response;
}

// An attribute's value as text (enums by their keywords, several values joined by commas).
inline std::string Value(ipp_t *ipp, const char *name) {
    ipp_attribute_t *a = ipp ? ippFindAttribute(ipp, name, IPP_TAG_ZERO) : nullptr;
    char text[4096] = "";
    if (a) ippAttributeString(a, text, sizeof text);
    return text;
}

struct Job {
    std::string name, state, message;
    int impressions = 0;
};
inline Job JobOf(ipp_t *ipp) {
    return {Value(ipp, "job-name"), Value(ipp, "job-state"), Value(ipp, "job-state-message"),
            std::atoi(Value(ipp, "job-impressions-completed").c_str())};
}

// A server with its folders under dir: state/, spool/, tmp/ and the hot folders.
class PrinterServer {
public:
    explicit PrinterServer(fs::path dir, std::vector<std::string> extraOptions = {})
        : dir_(std::move(dir)), options_(std::move(extraOptions)) {
        for (const char *d : {"state", "spool", "tmp"}) fs::create_directories(dir_ / d);
    }

    PrinterServer(const PrinterServer &) = delete;
    PrinterServer &operator=(const PrinterServer &) = delete;
    ~PrinterServer() { CheckNotEnded(); }

    // Starts the server; false when it does not accept connections within 10 seconds.
    bool Start(const Env &extraEnvironment = {}) {
        std::vector<std::string> argv{VAD3_PRINTER_TOOL, "server"};
        for (const std::string &o :
             {"server-port=" + port_.text(), std::string("listen-hostname=localhost"),
              "spool-directory=" + (dir_ / "spool").string(), "log-file=" + (dir_ / "log").string(),
              "state-directory=" + (dir_ / "state").string(), std::string("server-options=no-tls"),
              "hot-folders=" + dir_.string()})
            argv.insert(argv.end(), {"-o", o});
        for (const std::string &o : options_) argv.insert(argv.end(), {"-o", o});
        Env environment = Environment();
        environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
        process_ = std::make_unique<Process>(argv, environment, (dir_ / "stderr").string());
        return Within(10, [&] { return Accepts(port_.number()); });
    }
    void Stop(int signal = SIGTERM) {
        CheckNotEnded();
        if (process_) process_->Stop(signal);
    }
    // A server that ended before it was stopped (a crash, a sanitizer's report) fails the test.
    void CheckNotEnded() {
        if (process_ && process_->pid() > 0 && !process_->Running())
            ADD_FAILURE() << "the server ended on its own:\n" << ReadFile(dir_ / "stderr");
    }
    Process &process() { return *process_; }

    // SNAP_COMMON moves PAPPL's local socket (for root /run/vad3-printer.sock) into the folder.
    Env Environment() const {
        return {{"XDG_CONFIG_HOME", (dir_ / "state").string()},
                {"TMPDIR", (dir_ / "tmp").string()},
                {"SNAP_COMMON", (dir_ / "tmp").string()}};
    }

    std::string URI() const { return "ipp://localhost:" + port_.text(); }
    std::string PrinterURI(const std::string &printer) const { return URI() + "/ipp/print/" + printer; }
    int port() const { return port_.number(); }
    const fs::path &dir() const { return dir_; }

    // A sub-command against this server.
    CommandOutput App(const std::string &command, const std::string &args) const {
        return RunCommand(std::string(VAD3_PRINTER_TOOL) + " " + command + " -u " + URI() + " " + args);
    }
    // A sub-command through the server's local socket, as its administrator runs it.
    CommandOutput LocalApp(const std::string &command, const std::string &args) const {
        return RunCommand("SNAP_COMMON=" + Quote((dir_ / "tmp").string()) + " " + VAD3_PRINTER_TOOL + " " + command +
                          " " + args);
    }
    // Adds a printer for folder (made if missing).
    bool AddPrinter(const std::string &name, const fs::path &folder) const {
        fs::create_directories(folder);
        return App("add", "-d " + name + " -m hotfolder -v " + Quote("hotfolder://" + folder.string())).status == 0;
    }

    // Print-Job: the job's id, 0 when the printer was busy, -1 on failure (said on stderr).
    int Print(const std::string &printer, const fs::path &file, const std::string &format, const std::string &jobName,
              int copies = 1) const {
        IppPtr r = Ask(
            PrinterURI(printer), IPP_OP_PRINT_JOB,
            [&](ipp_t *q) {
                ippAddString(q, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, jobName.c_str());
                ippAddString(q, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, format.c_str());
                ippAddInteger(q, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", copies);
            },
            file);
        if (r && ippGetStatusCode(r.get()) == IPP_STATUS_ERROR_BUSY) return 0;
        if (const int id = std::atoi(Value(r.get(), "job-id").c_str()); id > 0) return id;
        std::fprintf(stderr, "%s: neither accepted nor busy: %s\n", jobName.c_str(), cupsLastErrorString());
        return -1;
    }

    // The job once it has ended (up to a minute).
    Job WaitForJob(const std::string &printer, int jobId) const {
        Job job;
        Within(60, [&] {
            job = JobOf(Ask(PrinterURI(printer), IPP_OP_GET_JOB_ATTRIBUTES, [&](ipp_t *q) {
                            ippAddInteger(q, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
                        }).get());
            return job.state == "completed" || job.state == "aborted" || job.state == "canceled";
        });
        return job;
    }

    // The newest ended job of that name, once there is one (up to 30 seconds).
    std::optional<Job> EndedJobNamed(const std::string &printer, const std::string &name) const {
        std::optional<Job> found;
        Within(30, [&] {
            IppPtr r = Ask(PrinterURI(printer), IPP_OP_GET_JOBS, [](ipp_t *q) {
                ippAddString(q, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "completed");
                ippAddString(q, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "all");
            });
            IppPtr one(ippNew(), ippDelete);  // one job's attributes
            for (ipp_attribute_t *a = r ? ippFirstAttribute(r.get()) : nullptr;; a = ippNextAttribute(r.get())) {
                if (!a || !ippGetName(a)) {  // the end of a job's group
                    if (Value(one.get(), "job-name") == name) found = JobOf(one.get());
                    if (!a || found) break;
                    one.reset(ippNew());
                } else if (ippGetGroupTag(a) == IPP_TAG_JOB) {
                    ippCopyAttribute(one.get(), a, 0);
                }
            }
            return found.has_value();
        });
        return found;
    }

    // A page of the web interface; with a form, posted with the page's session token as a
    // browser does.
    std::string URL(const std::string &path) const { return Quote("http://localhost:" + port_.text() + path); }
    std::string WebPage(const std::string &path, const std::string &form = "") const {
        const std::string url = URL(path);
        std::string text = RunCommand("curl -s " + url).text;
        if (form.empty()) return text;
        const std::string field = "name=\"session\" value=\"";
        const std::size_t at = text.find(field), from = at + field.size();
        const std::string token = at == std::string::npos ? "" : text.substr(from, text.find('"', from) - from);
        return RunCommand("curl -s --data " + Quote("session=" + token + "&" + form) + " " + url).text;
    }

    // Get-Printer-Attributes of a printer.
    IppPtr Attributes(const std::string &printer) const {
        return Ask(PrinterURI(printer), IPP_OP_GET_PRINTER_ATTRIBUTES);
    }

private:
    fs::path dir_;
    std::vector<std::string> options_;
    Port port_;
    std::unique_ptr<Process> process_;
};

inline std::string TestFile(const char *name) { return std::string(PRINTER_TEST_FILES) + "/" + name; }

// A cupsd of the test's own: its configuration, spool, state and logs under dir, listening on
// one loopback port only; stopped with its scope.
class PrivateCups {
public:
    explicit PrivateCups(fs::path dir) : dir_(std::move(dir)) {}
    // Why a private cupsd cannot run here, or empty.
    static std::string Missing() {
        for (const char *tool : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/bin/lp", "/usr/bin/gs"})
            if (::access(tool, X_OK) != 0) return std::string(tool) + " is not installed";
        if (!fs::exists("/usr/share/cups/mime/mime.convs")) return "CUPS' conversions (package cups) are missing";
        return {};
    }
    bool Start() {
        for (const char *d : {"etc", "spool", "run", "cache", "tmp", "log"}) fs::create_directories(dir_ / d);
        // cupsd's filters run as another user: the folders on the way must be open to it.
        for (fs::path p = dir_; p != p.parent_path() && p != fs::temp_directory_path(); p = p.parent_path())
            fs::permissions(p, fs::perms(0755));
        for (const auto &e : fs::recursive_directory_iterator(dir_)) fs::permissions(e.path(), fs::perms(0755));
        fs::permissions(dir_ / "tmp", fs::perms(01777));
        for (const char *conf : {"cupsd.conf", "cups-files.conf"}) {
            std::string text = ReadFile(TestFile("cups/") + conf);
            for (auto [key, value] :
                 {std::pair<std::string, std::string>{"@PORT@", port_.text()}, {"@ROOT@", dir_.string()}})
                for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
            WriteFile(dir_ / "etc" / conf, text);
        }
        process_ = std::make_unique<Process>(
            std::vector<std::string>{"/usr/sbin/cupsd", "-f", "-c", (dir_ / "etc" / "cupsd.conf").string(), "-s",
                                     (dir_ / "etc" / "cups-files.conf").string()},
            Env{});
        return Within(10, [&] { return Accepts(port_.number()); });
    }
    std::string host() const { return "127.0.0.1:" + port_.text(); }

private:
    fs::path dir_;
    Port port_;
    std::unique_ptr<Process> process_;
};

}  // namespace kivtest
