// The printer application as a service that runs for months: bad and incomplete documents,
// many clients at once, and kill -9 at any moment. Servers on free loopback ports with
// private folders, stopped whatever happens.
#include <gtest/gtest.h>

#include <sys/un.h>

#include <atomic>
#include <barrier>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "printer/PrinterServer.hpp"

using namespace kivtest;

namespace {

// The error lines of a server's log.
std::string ErrorLines(const fs::path &log) {
    std::istringstream in(ReadFile(log));
    std::string errors;
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("E ")) errors += line + "\n";
    return errors;
}

// A page whose every pixel says which client and round sent it.
auto Stamp(int client, int round) {
    return [=](int x, int y, int page, uint8_t *p) {
        const uint8_t v[4] = {static_cast<uint8_t>(client * 11 + x), static_cast<uint8_t>(round * 7 + y),
                              static_cast<uint8_t>(page * 50 + x * y), 0};
        std::memcpy(p, v, 3);
    };
}

// Sends the first bytes of file as the document of a Print-Job, then hangs up at once, or
// first waits, silent, until the job has ended (or 30 seconds).
void SendPart(const PrinterServer &server, const fs::path &file, std::size_t bytes, const std::string &name,
              bool stall) {
    http_t *http = httpConnect2("localhost", server.port(), nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 10000, nullptr);
    ASSERT_NE(http, nullptr);
    ipp_t *request = ippNewRequest(IPP_OP_PRINT_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 server.PrinterURI("HotFolder").c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "tester");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, name.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, "image/pwg-raster");
    if (cupsSendRequest(http, request, "/ipp/print/HotFolder", CUPS_LENGTH_VARIABLE) == HTTP_STATUS_CONTINUE) {
        const std::string data = ReadFile(file).substr(0, bytes);
        cupsWriteRequestData(http, data.data(), data.size());
        if (stall) server.EndedJobNamed("HotFolder", name);
    }
    ippDelete(request);
    httpClose(http);
}

// Offsets in a PWG raster file: the 4-byte sync word, then the first page header.
constexpr std::size_t kHeader = 4, kHeaderSize = 1796, kWidth = kHeader + 372, kHeight = kHeader + 376,
                      kBytesPerLine = kHeader + 392;

}  // namespace

TEST(PrinterService, BadDocumentsAbortWithTheirReasonAndLeaveNothing) {
    TempDir dir;
    PrinterServer server(dir.path(), {"client-timeout=2"});
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(server.AddPrinter("HotFolder", dir / "hot"));
    const fs::path in = dir / "in";
    fs::create_directories(in);
    const auto pwg = [&](const char *name, const char *type, int w, int h, int dpi, int pages) {
        WritePwg(in / name, type, w, h, dpi, pages, [](int x, int y, int, uint8_t *p) { *p = x * 7 + y * 3; });
        return in / name;
    };
    const auto image = [&](const char *name, int w, int h) {
        WriteImage(in / name, w, h, 10, 200, 30);
        return in / name;
    };
    // A copy of a file, cut to `size` bytes and with big-endian 32-bit values written at offsets.
    const auto edited = [&](const char *name, const fs::path &from, std::size_t size,
                            std::vector<std::pair<std::size_t, uint32_t>> values = {}) {
        std::string bytes = ReadFile(from).substr(0, size);
        for (const auto &[at, value] : values)
            for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
        WriteFile(in / name, bytes);
        return in / name;
    };
    const fs::path page = pwg("page.pwg", "sgray_8", 300, 400, 300, 1),
                   two = pwg("two.pwg", "sgray_8", 300, 400, 300, 2),
                   three = pwg("three.pwg", "sgray_8", 300, 400, 300, 3), png = image("whole.png", 400, 300),
                   jpeg = image("whole.jpg", 400, 300);
    const std::size_t size = fs::file_size(page), firstLine = kHeader + kHeaderSize;
    WriteFile(in / "doc.pdf", "%PDF-1.4\n");
    WriteFile(in / "mixed.pwg",
              ReadFile(page) + ReadFile(pwg("other.pwg", "sgray_8", 400, 300, 300, 1)).substr(kHeader));

    enum class Send { File, HangUp, Stall };
    const char *raster = "image/pwg-raster", *cannotHold = "a page the driver cannot hold";
    const struct Case {
        const char *name;
        fs::path file;
        const char *format;
        Send send;
        const char *message;
    } cases[] = {
        {"short page", edited("short.pwg", page, firstLine + (size - firstLine) / 2), raster, Send::File,
         "page 1 ended after "},
        {"no lines", edited("none.pwg", page, firstLine), raster, Send::File, "page 1 ended after 0 of 400 lines"},
        {"second page short", edited("two-cut.pwg", two, fs::file_size(two) - 200), raster, Send::File,
         "page 2 ended after "},
        {"pages missing", edited("three-cut.pwg", three, fs::file_size(two)), raster, Send::File,
         "the document ended after 2 of its 3 pages"},
        {"hang-up mid-page", page, raster, Send::HangUp, "page 1 ended after "},
        {"stalled client", page, raster, Send::Stall, "page 1 ended after "},
        {"lying width", edited("wide.pwg", page, size, {{kWidth, 20000000}, {kBytesPerLine, 20000000}}), raster,
         Send::File, cannotHold},
        {"lying height", edited("tall.pwg", page, size, {{kHeight, 2000000000}}), raster, Send::File, cannotHold},
        {"too small", pwg("small.pwg", "sgray_8", 100, 100, 300, 1), raster, Send::File, cannotHold},
        {"black_1", pwg("black1.pwg", "black_1", 320, 400, 300, 1), raster, Send::File,
         "page 1 is raster of 1 bit per colour"},
        {"16 bits", pwg("deep.pwg", "srgb_16", 300, 400, 300, 1), raster, Send::File,
         "page 1 is not raster this printer takes"},
        {"resolution not offered", pwg("200dpi.pwg", "sgray_8", 300, 400, 200, 1), raster, Send::File,
         "page 1 is at 200 dpi, which this printer does not offer (it offers 150, 300, 600 dpi)"},
        {"pages unlike", in / "mixed.pwg", raster, Send::File,
         "page 2 is 400 x 300 pixels at 300 dpi in colour space 18, but a job file's pages are all alike"},
        {"truncated PNG", edited("cut.png", png, fs::file_size(png) / 2), "image/png", Send::File,
         "The PNG document is damaged"},
        {"PNG too wide", image("wide.png", 17000, 1), "image/png", Send::File,
         "The PNG is 17000 x 1 pixels, larger than this printer takes"},
        {"truncated JPEG", edited("cut.jpg", jpeg, fs::file_size(jpeg) / 2), "image/jpeg", Send::File,
         "The JPEG document is damaged"},
        // PAPPL 1.3 takes any format at submission and aborts one it cannot convert without a
        // word; a filter of ours would make the format look supported (and CUPS send PDF).
        {"PDF", in / "doc.pdf", "application/pdf", Send::File, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path &file = c.file;
        // A raster cut short is read up to the time limit (PAPPL 1.3 reads on past the end of
        // a chunked document): its client may be hung up on rather than answered.
        if (c.send == Send::File) {
            server.Print("HotFolder", file, c.format, c.name);
        } else {
            SendPart(server, file, fs::file_size(file) * 2 / 3, c.name, c.send == Send::Stall);
        }
        const std::optional<Job> ended = server.EndedJobNamed("HotFolder", c.name);
        ASSERT_TRUE(ended) << "never ended";
        EXPECT_EQ(ended->state, "aborted");
        EXPECT_THAT(ended->message, HasSubstr(c.message));
        EXPECT_EQ(ended->impressions, 0) << "pages counted, none published";
        EXPECT_TRUE(FolderEntries(dir / "hot").empty());
    }
    // The jobs list says why each ended without its file.
    const std::string jobs = server.App("jobs", "-d HotFolder").text;
    EXPECT_THAT(jobs, HasSubstr(" short page: page 1 ended after "));
    // Whatever the headers claimed, the server stayed small, and it still prints.
    const long peak = server.process().PeakKiB();
    std::printf("server's peak resident memory: %ld KiB\n", peak);
#if !defined(KIV_SANITIZED)  // a sanitizer's shadow memory would count too
    EXPECT_LT(peak, 64 * 1024);
#endif
    const int after = server.Print("HotFolder", page, "image/pwg-raster", "after");
    ASSERT_GT(after, 0);
    EXPECT_EQ(server.WaitForJob("HotFolder", after).state, "completed");
    EXPECT_EQ(kiv::VerifyVAD3(dir / "hot" / "after.vad3"), "");
}

TEST(PrinterService, ManyClientsAtOnceGetWholeFilesOrBusyAndKillsLoseNothingElse) {
    // Twenty clients at once, PWG and Apple raster, PNG and JPEG, to three printers of which
    // two share a folder, while others ask for the printer's attributes and the web pages;
    // round after round for VAD3_PRINTER_SOAK_SECONDS (5 by default; make soak runs longer).
    TempDir dir;
    PrinterServer server(dir.path());
    ASSERT_TRUE(server.Start());
    std::vector<std::string> printers = {"A", "B", "C"};
    std::map<std::string, fs::path> folder = {{"A", dir / "shared"}, {"B", dir / "shared"}, {"C", dir / "own"}};
    for (const std::string &p : printers) ASSERT_TRUE(server.AddPrinter(p, folder.at(p)));
    const fs::path in = dir / "in";
    fs::create_directories(in);
    const char *soak = std::getenv("VAD3_PRINTER_SOAK_SECONDS");
    const auto end = Clock::now() + std::chrono::seconds(soak ? std::atoi(soak) : 5);

    struct Sent {
        std::string printer, name;
        fs::path file;
        int client = 0, round = 0;
    };
    // Client c sends in the format c % 4 names.
    static const char *const formats[] = {"image/pwg-raster", "image/urf", "image/png", "image/jpeg"};
    std::vector<Sent> completed, sent(20);
    int busy = 0;
    for (int round = 0; round == 0 || Clock::now() < end; ++round) {
        for (int c = 0; c < 20; ++c) {
            Sent &s = sent[c];
            s.printer = printers[c % 3], s.client = c, s.round = round;
            s.name = "r" + std::to_string(round) + "c" + std::to_string(c);
            switch (c % 4) {
            case 0: WritePwg(s.file = in / (s.name + ".pwg"), "srgb_8", 240, 180, 150, 2, Stamp(c, round)); break;
            case 1:
                WritePwg(s.file = in / (s.name + ".urf"), "srgb_8", 240, 180, 150, 1, Stamp(c, round),
                         CUPS_RASTER_WRITE_APPLE);
                break;
            case 2: WriteImage(s.file = in / (s.name + ".png"), 60, 40, c * 12, round * 9 % 256, 77); break;
            default: WriteImage(s.file = in / (s.name + ".jpg"), 60, 40, c * 12, round * 9 % 256, 77);
            }
        }
        std::atomic<bool> polling = true;
        std::vector<std::thread> threads;
        for (int p = 0; p < 2; ++p)
            threads.emplace_back([&] {
                while (polling) {  // a client asking ten times a second, as a print dialog does
                    server.Attributes("A");
                    server.WebPage("/");
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
            });
        std::vector<int> ids(20);
        std::vector<std::thread> clients;
        for (int c = 0; c < 20; ++c)
            clients.emplace_back(
                [&, c] { ids[c] = server.Print(sent[c].printer, sent[c].file, formats[c % 4], sent[c].name); });
        for (auto &t : clients) t.join();
        polling = false;
        for (auto &t : threads) t.join();
        for (int c = 0; c < 20; ++c) {
            ASSERT_GE(ids[c], 0) << sent[c].name << " was neither accepted nor answered busy; the server's errors:\n"
                                 << ErrorLines(dir / "log");
            if (ids[c] == 0) {
                ++busy;
                continue;
            }
            const Job ended = server.WaitForJob(sent[c].printer, ids[c]);
            ASSERT_EQ(ended.state, "completed") << sent[c].name << ": " << ended.message;
            completed.push_back(sent[c]);
        }
        ASSERT_TRUE(Accepts(server.port()));
    }
    // Exactly one whole file per completed job, holding what its client sent; nothing else.
    std::set<fs::path> expected, found;
    for (const Sent &s : completed) {
        const fs::path job = folder.at(s.printer) / (s.name + ".vad3");
        expected.insert(job);
        int w = 0, h = 0;
        const std::vector<uint8_t> rgb = PageRgb(job, w, h);
        ASSERT_FALSE(rgb.empty()) << job;
        // A raster's pixel at 17,33; an image's centre, within its JPEG's error.
        const bool raster = s.file.extension() == ".pwg" || s.file.extension() == ".urf";
        uint8_t want[3] = {static_cast<uint8_t>(s.client * 12), static_cast<uint8_t>(s.round * 9 % 256), 77};
        if (raster) Stamp(s.client, s.round)(17, 33, 0, want);
        const uint8_t *got = &rgb[(raster ? 33u * w + 17 : static_cast<std::size_t>(h / 2) * w + w / 2) * 3];
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], raster ? 0 : 3) << job << " " << c;
    }
    for (const char *f : {"shared", "own"})
        for (const fs::path &p : FolderEntries(dir / f)) found.insert(p);
    EXPECT_EQ(found, expected);
    EXPECT_GT(completed.size(), 2u);
    std::printf("%zu jobs completed, %d answered busy\n", completed.size(), busy);

    // Killed at a random moment while the clients send the last round again: after each restart
    // every printer is back with its folder, the one added just before too, and the folders
    // hold only whole files.
    std::mt19937 random(20261207);
    for (int kill = 0; kill < 6; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        const std::string added = "P" + std::to_string(kill);
        ASSERT_TRUE(server.AddPrinter(added, folder[added] = dir / added));
        printers.push_back(added);
        ASSERT_TRUE(Within(10, [&] {
            return ReadFile(dir / "state" / "vad3-printer.state").find("name=\"" + added + "\"") != std::string::npos;
        }));
        std::atomic<bool> running = true;
        std::vector<std::thread> clients;
        for (int c = 0; c < 20; ++c)
            clients.emplace_back([&, c] {
                for (int n = 0; running; ++n)
                    server.Print(printers[(c + n) % printers.size()], sent[c].file, formats[c % 4],
                                 "k" + std::to_string(kill) + "c" + std::to_string(c) + "n" + std::to_string(n));
            });
        std::this_thread::sleep_for(std::chrono::milliseconds(300 + random() % 700));
        running = false;
        server.Stop(SIGKILL);
        for (auto &t : clients) t.join();
        ASSERT_TRUE(server.Start());
        for (const std::string &p : printers) {
            EXPECT_EQ(Value(server.Attributes(p).get(), "printer-name"), p);
            EXPECT_THAT(server.WebPage("/" + p + "/hotfolder"), HasSubstr("value=\"" + folder[p].string() + "\"")) << p;
            for (const fs::path &f : FolderEntries(folder[p])) EXPECT_EQ(kiv::VerifyVAD3(f), "") << f;
        }
    }
}

TEST(PrinterService, AJobPapplStartsTwiceIsPrintedOnce) {
    // PAPPL starts a waiting job again when its scheduler is asked before the job's thread has
    // begun: twelve clients releasing a held job at the same moment make that happen to most.
    TempDir dir;
    PrinterServer server(dir.path());
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(server.AddPrinter("A", dir / "hot"));
    WriteImage(dir / "a.png", 60, 40, 10, 200, 30);
    const std::string uri = server.PrinterURI("A");
    for (int n = 0; n < 10; ++n) {
        IppPtr held = Ask(
            uri, IPP_OP_PRINT_JOB,
            [&](ipp_t *q) {
                ippAddString(q, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, "image/png");
                ippAddString(q, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "held");
                ippAddString(q, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-hold-until", nullptr, "indefinite");
            },
            dir / "a.png");
        const int id = std::atoi(Value(held.get(), "job-id").c_str());
        ASSERT_GT(id, 0) << cupsLastErrorString();
        std::barrier ready(12);
        std::vector<std::thread> releasing;
        for (int c = 0; c < 12; ++c)
            releasing.emplace_back([&] {
                http_t *http = Connect(uri);
                ready.arrive_and_wait();
                if (!http) return;
                Ask(
                    uri, IPP_OP_RELEASE_JOB,
                    [&](ipp_t *q) { ippAddInteger(q, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id); }, {}, "tester",
                    http);
                httpClose(http);
            });
        for (std::thread &t : releasing) t.join();
        EXPECT_EQ(server.WaitForJob("A", id).state, "completed");
    }
    EXPECT_EQ(FolderEntries(dir / "hot").size(), 10u);
}

TEST(PrinterService, AJobCutOffByAStopEndsSayingSoAndThePrintersPrintAgain) {
    TempDir dir;
    PrinterServer server(dir.path());
    const fs::path page = dir / "page.pwg";
    WritePwg(page, "srgb_8", 200, 300, 150, 2, Stamp(1, 1));
    std::mt19937 random(20261207);
    // First a spooled image printing on one printer while another completes a job, so that the
    // state is saved with it printing: after kill -9 it has ended, saying why, and both print.
    std::vector<uint8_t> noise(3600u * 3600 * 3);
    std::generate(noise.begin(), noise.end(), [&] { return static_cast<uint8_t>(random()); });
    WriteImage(dir / "big.png", 3600, 3600, noise);
    std::vector<std::string> printers = {"Big", "Small"};
    ASSERT_TRUE(server.Start());
    for (const std::string &p : printers) ASSERT_TRUE(server.AddPrinter(p, dir / p));
    const int big = server.Print("Big", dir / "big.png", "image/png", "big", 4);  // four pages: long enough
    const auto printing = [&](int id) {
        return Within(30, [&] {
            return Value(Ask(server.PrinterURI("Big"), IPP_OP_GET_JOB_ATTRIBUTES,
                             [&](ipp_t *q) { ippAddInteger(q, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id); })
                             .get(),
                         "job-state") == "processing";
        });
    };
    ASSERT_TRUE(printing(big));
    EXPECT_EQ(server.WaitForJob("Small", server.Print("Small", page, "image/pwg-raster", "small")).state, "completed");
    // The state saved since holds the big job printing, with its document, and the small one
    // completed.
    ASSERT_TRUE(Within(30, [&] {
        std::istringstream state(ReadFile(dir / "state" / "vad3-printer.state"));
        bool big = false, small = false;
        for (std::string line; std::getline(state, line);) {
            big = big || (line.find("name=\"big\"") != std::string::npos &&
                          line.find("state=\"5\"") != std::string::npos && line.find("filename=") != std::string::npos);
            small = small ||
                    (line.find("name=\"small\"") != std::string::npos && line.find("state=\"9\"") != std::string::npos);
        }
        return big && small;
    }));
    server.Stop(SIGKILL);
    // And a job whose document had not all arrived: saved waiting, without a file, part of its
    // document in the spool.
    std::string state = ReadFile(dir / "state" / "vad3-printer.state");
    const std::size_t small = state.rfind("Job ", state.find("name=\"small\""));
    const std::string line = state.substr(small, state.find('\n', small) + 1 - small),
                      waiting =
                          std::regex_replace(line, std::regex(R"( id="\d+"(.*) state="9")"), R"( id="99"$1 state="3")");
    ASSERT_NE(waiting, line);
    WriteFile(dir / "state" / "vad3-printer.state", state.insert(small, waiting));
    WriteFile(dir / "spool" / "p00002j000000099-part.png", "\x89PNG");
    ASSERT_TRUE(server.Start());
    const Job interrupted = server.WaitForJob("Big", big), unreceived = server.WaitForJob("Small", 99);
    EXPECT_EQ(interrupted.state, "aborted");
    EXPECT_EQ(interrupted.message, "the server stopped while this job was printing; nothing was published");
    EXPECT_EQ(unreceived.message, "the server stopped before this job's document had arrived; nothing was published");
    for (const std::string &p : printers)
        EXPECT_EQ(server.WaitForJob(p, server.Print(p, page, "image/pwg-raster", p + "-after")).state, "completed");
    EXPECT_EQ(FolderEntries(dir / "spool").size(), 0u);
    // SIGTERM while a job prints: the job ends at its next line, and the server within seconds.
    ASSERT_TRUE(printing(server.Print("Big", dir / "big.png", "image/png", "stopped", 12)));
    ::kill(server.process().pid(), SIGTERM);
    EXPECT_TRUE(Within(10, [&] { return !server.process().Running(); }));
    EXPECT_FALSE(fs::exists(dir / "Big" / "stopped.vad3"));
}

TEST(PrinterService, TellsSystemdItIsReadyAndStillAnswers) {
    // systemd's notification socket, played by the test: READY=1 once the server answers, then
    // WATCHDOG=1 every half period (here 1 s) while it still answers its home page.
    TempDir dir;
    const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = (dir / "notify").string();
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(notify, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    PrinterServer server(dir.path());
    ASSERT_TRUE(server.Start({{"NOTIFY_SOCKET", path}, {"WATCHDOG_USEC", "1000000"}}));
    std::vector<std::string> said;
    const timeval wait{3, 0};
    ::setsockopt(notify, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char message[256];
    for (ssize_t n; said.size() < 4 && (n = ::recv(notify, message, sizeof message, 0)) > 0;)
        said.emplace_back(message, static_cast<std::size_t>(n));
    ::close(notify);
    ASSERT_EQ(said.size(), 4u);
    EXPECT_EQ(said[0], "READY=1");
    for (std::size_t i = 1; i < said.size(); ++i) EXPECT_EQ(said[i], "WATCHDOG=1");
}

TEST(PrinterService, HotFoldersStayInsideTheServersRoots) {
    TempDir dir;
    const fs::path root = dir / "root", outside = dir / "outside";
    fs::create_directories(outside);
    PrinterServer server(dir.path(), {"hot-folders=" + root.string()});
    fs::create_directories(root);
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(server.AddPrinter("In", root));
    EXPECT_FALSE(server.AddPrinter("Out", outside));
    EXPECT_THAT(server.WebPage("/In/hotfolder", "folder=" + outside.string()),
                HasSubstr("outside the folders this server"));
    // "Add Printer" on the web offers the roots' folders, and makes printers for nothing else.
    fs::create_directories(root / "web");
    EXPECT_THAT(server.WebPage("/addprinter"), HasSubstr(">Hot folder " + (root / "web").string()));
    server.WebPage("/addprinter",
                   "printer_name=Web&driver_name=hotfolder&device_uri=hotfolder://" + (root / "web").string());
    server.WebPage("/addprinter", "printer_name=Net&driver_name=hotfolder&device_uri=socket&hostname=127.0.0.1");
    server.WebPage("/addprinter", "printer_name=Far&driver_name=hotfolder&device_uri=hotfolder://" + outside.string());
    EXPECT_EQ(server.App("printers", "").text, "In\nWeb\n");
    const fs::path page = dir / "page.pwg";
    WritePwg(page, "sgray_8", 200, 200, 300, 1, [](int x, int y, int, uint8_t *p) { *p = x * y; });
    EXPECT_EQ(server.WaitForJob("In", server.Print("In", page, "image/pwg-raster", "first")).state, "completed");
    // The root replaced by a link to another folder: no file goes there.
    fs::rename(root, dir / "old-root");
    fs::create_directory_symlink(outside, root);
    const int second = server.Print("In", page, "image/pwg-raster", "second");
    if (second > 0) {
        EXPECT_EQ(server.WaitForJob("In", second).state, "aborted");
    }
    EXPECT_TRUE(FolderEntries(outside).empty());
    EXPECT_TRUE(Within(10, [&] { return server.Print("In", page, "image/pwg-raster", "third") == -1; }));
    EXPECT_TRUE(FolderEntries(outside).empty());
}
