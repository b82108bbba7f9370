// PDF through Ghostscript. Ghostscript parses what any client sends, so it runs as a child of
// its own: -dSAFER, no sockets (a seccomp filter refuses them), a private temporary folder
// removed afterwards, limits on memory, processor time and file size, a wall-clock limit, and
// killed when the job is cancelled or the server stops. Its pages
// come back as PWG raster on a pipe and go to the same raster callbacks as a client's raster,
// so a PDF is printed whole or not at all.
#include "PdfFilter.hpp"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/syscall.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <zlib.h>

#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstddef>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "HotFolderJob.hpp"
#include "ImageFilters.hpp"
#include "common/ColourProfiles.hpp"
#include "InterruptedJobs.hpp"

namespace vad3printer {
namespace {

namespace fs = std::filesystem;

// Ghostscript's limits: enough for a large-format page at the printer's finest resolution
// (it renders in bands), and inside the service's MemoryMax= with the server beside it.
constexpr rlim_t kMemoryBytes = rlim_t{768} << 20;
constexpr rlim_t kProcessorSeconds = 600;
constexpr rlim_t kFileBytes = rlim_t{1} << 30;  // its own temporary files
constexpr auto kWallClock = std::chrono::minutes(15);

// A private folder for one rendering, removed with everything in it.
class PrivateFolder {
public:
    explicit PrivateFolder(const std::string &parent) {
        std::string pattern = (parent.empty() ? std::string("/tmp") : parent) + "/pdf-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~PrivateFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

// No network for Ghostscript: socket() fails with EACCES (a namespace would need privileges
// the service's unit does not give).
void RefuseSockets() {
#if defined(__x86_64__) || defined(__aarch64__)
#if defined(__x86_64__)
    constexpr unsigned kArch = AUDIT_ARCH_X86_64;
#else
    constexpr unsigned kArch = AUDIT_ARCH_AARCH64;
#endif
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    if (::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) ::_exit(125);
#endif
}

// The child's side: confined, then Ghostscript. Only async-signal-safe calls before exec.
[[noreturn]] void RunGhostscript(const std::vector<char *> &argv, char *const *env, const char *folder, int out,
                                 int err) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    const int devnull = ::open("/dev/null", O_RDONLY);
    if (devnull >= 0) ::dup2(devnull, STDIN_FILENO);
    ::close_range(3, ~0U, 0);
    RefuseSockets();
    const rlimit memory{kMemoryBytes, kMemoryBytes}, cpu{kProcessorSeconds, kProcessorSeconds},
        files{kFileBytes, kFileBytes}, core{0, 0};
    ::setrlimit(RLIMIT_AS, &memory);
    ::setrlimit(RLIMIT_CPU, &cpu);
    ::setrlimit(RLIMIT_FSIZE, &files);
    ::setrlimit(RLIMIT_CORE, &core);
    if (::chdir(folder) != 0) ::_exit(126);
    ::execve(argv[0], argv.data(), env);
    ::_exit(127);
}

// What Ghostscript said first that is not progress: its complaint, for the job's message.
std::string Complaint(const std::string &file) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const std::size_t start = line.find_first_not_of(" *\t");
        if (start == std::string::npos || line.compare(start, 5, "INFO:") == 0) continue;
        std::string words;
        for (char c : line.substr(start, 200)) words += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        while (!words.empty() && words.back() == ' ') words.pop_back();
        return words;
    }
    return "it failed without a word";
}

// A whole number at text[at] after blanks; at moves past it. -1 when there is none.
long long NumberAt(const std::string &text, std::size_t &at) {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
    if (error != std::errc()) return -1;
    at = static_cast<std::size_t>(end - text.data());
    return value;
}

// The ICC profile of a PDF's output intent (/DestOutputProfile), when its object is stored
// plainly (not inside an object stream) and unfiltered or deflated; empty otherwise. Ghostscript
// checks the rest of the file; Little CMS checks the profile before it is passed on.
kivtools::Bytes OutputIntentProfile(const char *path) {
    constexpr std::uintmax_t kLargest = 256u << 20;
    std::error_code ec;
    if (fs::file_size(path, ec) > kLargest || ec) return {};
    std::ifstream in(path, std::ios::binary);
    const std::string pdf{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::size_t at = pdf.find("/DestOutputProfile");
    if (at == std::string::npos) return {};
    at += 18;
    const long long number = NumberAt(pdf, at), generation = NumberAt(pdf, at);
    if (number < 0 || generation < 0) return {};
    const std::string header = std::to_string(number) + " " + std::to_string(generation) + " obj";
    std::size_t object = 0;
    while ((object = pdf.find(header, object)) != std::string::npos && object > 0 &&
           !std::isspace(static_cast<unsigned char>(pdf[object - 1])))
        object += header.size();
    if (object == std::string::npos) return {};
    const std::size_t stream = pdf.find("stream", object), end = pdf.find("endstream", object);
    if (stream == std::string::npos || end == std::string::npos || end < stream) return {};
    const std::string dictionary = pdf.substr(object, stream - object);
    std::size_t data = stream + 6;
    if (pdf.compare(data, 2, "\r\n") == 0) data += 2;
    else if (pdf[data] == '\n' || pdf[data] == '\r') data += 1;
    std::size_t last = end;
    while (last > data && (pdf[last - 1] == '\n' || pdf[last - 1] == '\r')) --last;
    const std::string raw = pdf.substr(data, last - data);
    if (dictionary.find("/Filter") == std::string::npos) return kivtools::Bytes(raw.begin(), raw.end());
    if (dictionary.find("/FlateDecode") == std::string::npos || dictionary.find("/DecodeParms") != std::string::npos)
        return {};
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return {};
    kivtools::Bytes out(16384);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(raw.data()));
    z.avail_in = static_cast<uInt>(raw.size());
    int status = Z_OK;
    while (status == Z_OK && out.size() <= (64u << 20)) {
        if (z.total_out == out.size()) out.resize(out.size() * 2);
        z.next_out = out.data() + z.total_out;
        z.avail_out = static_cast<uInt>(out.size() - z.total_out);
        status = inflate(&z, Z_NO_FLUSH);
    }
    out.resize(status == Z_STREAM_END ? z.total_out : 0);
    inflateEnd(&z);
    return out;
}

bool PrintPdf(pappl_job_t *job, pappl_device_t *device, void *) {
    const char *document = papplJobGetFilename(job);
    if (!document) return Refuse(job, "The PDF document cannot be read");
    pappl_pr_options_t *options = papplJobCreatePrintOptions(job, INT_MAX, true);
    if (!options) return Refuse(job, "The job's options cannot be used");
    const std::unique_ptr<pappl_pr_options_t, void (*)(pappl_pr_options_t *)> owned(options,
                                                                                    papplJobDeletePrintOptions);
    const PrivateFolder folder(fs::path(document).parent_path().string());  // in the spool folder
    if (folder.path().empty()) return Refuse(job, "No private folder for Ghostscript can be made");

    // Colour as the job asks (sRGB or sGray), at its resolution, on its paper, every page fitted;
    // into the output intent's profile where the PDF has one for these colours, which the job
    // file then carries.
    const bool grey = options->header.cupsColorSpace == CUPS_CSPACE_SW;
    kivtools::Bytes intent = OutputIntentProfile(document);
    const kivtools::Samples samples = grey ? kivtools::Samples::GreyDensity : kivtools::Samples::Rgb;
    if (!intent.empty() && !kivtools::ProfileProblem(intent, samples).empty()) intent.clear();
    const FilteredProfile rendered(job, intent);
    const double points = 72.0 / 2540;
    std::vector<std::string> args = {
        GhostscriptPath(),
        "-q",
        "-dSAFER",
        "-dBATCH",
        "-dNOPAUSE",
        "-dPDFSTOPONERROR",
        "-dPDFFitPage",
        "-dFIXEDMEDIA",
        "-sstdout=%stderr",
        "-sDEVICE=pwgraster",
        "-dcupsBitsPerColor=8",
        std::string("-dcupsColorSpace=") + (grey ? "18" : "19"),
        "-r" + std::to_string(options->printer_resolution[0]) + "x" + std::to_string(options->printer_resolution[1]),
        "-dDEVICEWIDTHPOINTS=" + std::to_string(options->media.size_width * points),
        "-dDEVICEHEIGHTPOINTS=" + std::to_string(options->media.size_length * points),
        "-sOutputFile=-",
        "-f",
        document};
    if (!intent.empty()) args.insert(args.begin() + 1, "-dUsePDFX3Profile");
    const std::string tmp = "TMPDIR=" + folder.path(), home = "HOME=" + folder.path();
    std::vector<std::string> envText = {"PATH=/usr/bin:/bin", tmp, home, "LC_ALL=C"};
    std::vector<char *> argv, env;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string &e : envText) env.push_back(e.data());
    env.push_back(nullptr);
    const std::string errors = folder.path() + "/errors";
    const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int pipeFds[2];
    if (err < 0 || ::pipe2(pipeFds, O_CLOEXEC) != 0) {
        if (err >= 0) ::close(err);
        return Refuse(job, std::string("Ghostscript cannot be started: ") + std::strerror(errno));
    }
    const pid_t child = ::fork();
    if (child == 0) RunGhostscript(argv, env.data(), folder.path().c_str(), pipeFds[1], err);
    ::close(pipeFds[1]);
    ::close(err);
    if (child < 0) {
        ::close(pipeFds[0]);
        return Refuse(job, std::string("Ghostscript cannot be started: ") + std::strerror(errno));
    }

    // Cancelling the job, stopping the server or the wall-clock limit kill Ghostscript, which
    // ends the pages the loop below reads.
    std::atomic<bool> done{false}, killed{false};
    std::thread watcher([&] {
        const auto deadline = std::chrono::steady_clock::now() + kWallClock;
        while (!done) {
            if (papplJobIsCanceled(job) || ServerStopping() || std::chrono::steady_clock::now() > deadline) {
                killed = true;
                ::kill(child, SIGKILL);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });

    bool ok = StartJob(job, options, device);
    std::string why;
    cups_raster_t *raster = cupsRasterOpen(pipeFds[0], CUPS_RASTER_READ);
    cups_page_header2_t header;
    std::vector<unsigned char> line;
    unsigned page = 0;
    while (ok && raster && cupsRasterReadHeader2(raster, &header)) {
        options->header = header;
        ok = StartPage(job, options, device, ++page);
        line.resize(header.cupsBytesPerLine);
        for (unsigned y = 0; ok && y < header.cupsHeight; ++y) {
            if (cupsRasterReadPixels(raster, line.data(), header.cupsBytesPerLine) != header.cupsBytesPerLine) {
                ok = false;
                why = "Ghostscript's page " + std::to_string(page) + " ended early";
            } else {
                ok = WriteLine(job, options, device, y, line.data());
            }
        }
        if (ok) ok = EndPage(job, options, device, page);
        if (ok) papplJobSetImpressionsCompleted(job, 1);
    }
    if (raster) cupsRasterClose(raster);
    ::close(pipeFds[0]);  // a Ghostscript still writing gets SIGPIPE
    if (!ok) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    done = true;
    watcher.join();

    if (killed) {  // a cancelled job, or a stopping server, is said so by EndJob
        if (!papplJobIsCanceled(job) && !ServerStopping())
            why = "Ghostscript took longer than " +
                  std::to_string(std::chrono::duration_cast<std::chrono::minutes>(kWallClock).count()) + " minutes";
    } else if (ok && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        why = WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU ? "Ghostscript ran out of processor time"
              : WIFSIGNALED(status) ? "Ghostscript ended by signal " + std::to_string(WTERMSIG(status))
                                    : "Ghostscript says: " + Complaint(errors);
    else if (ok && page == 0)
        why = "it has no pages";
    if (!why.empty()) FailJob(job, "The PDF cannot be printed: " + why);
    return EndJob(job, options, device) && why.empty();
}

}  // namespace

const std::string &GhostscriptPath() {
    static const std::string path = [] {
        const char *list = std::getenv("PATH");
        std::istringstream dirs(list && *list ? list : "/usr/bin:/bin");
        for (std::string dir; std::getline(dirs, dir, ':');)
            if (!dir.empty() && ::access((dir + "/gs").c_str(), X_OK) == 0) return dir + "/gs";
        return std::string();
    }();
    return path;
}

void AddPdfFilter(pappl_system_t *system) {
    if (!GhostscriptPath().empty())
        papplSystemAddMIMEFilter(system, "application/pdf", "application/octet-stream", Guarded<PrintPdf>, nullptr);
}

std::string FormatsTaken() {
    return GhostscriptPath().empty() ? "PWG raster, Apple raster, PNG or JPEG"
                                     : "PDF, PWG raster, Apple raster, PNG or JPEG";
}

}  // namespace vad3printer
