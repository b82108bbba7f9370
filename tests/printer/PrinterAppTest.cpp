// The printer application for real: a vad3-printer server (and, for CUPS, a private cupsd)
// started on free loopback ports with private folders, driven over IPP, with lp and the
// application's own sub-commands, and stopped whatever happens.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <sstream>

#include "printer/PrinterServer.hpp"

using namespace kivtest;

namespace {

using Output = CommandOutput;

// The printer application with one printer, HotFolder, for a private folder.
class PrinterApp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Start()) << "the server did not start";
        ASSERT_TRUE(server_.AddPrinter("HotFolder", dir_ / "hot"));
    }

    std::string PrinterURI() const { return server_.PrinterURI("HotFolder"); }
    std::vector<fs::path> JobFiles() const { return FolderEntries(dir_ / "hot"); }

    // Prints file, expects it completed and returns the one job file it became: saved, or the
    // job's name, with ".vad3".
    fs::path PrintToFile(const fs::path &file, const std::string &format, const std::string &jobName, int copies = 1,
                         std::string saved = "") {
        const Job ended = server_.WaitForJob("HotFolder", server_.Print("HotFolder", file, format, jobName, copies));
        saved = (saved.empty() ? jobName : saved) + ".vad3";
        EXPECT_EQ(ended.state, "completed");
        EXPECT_EQ(ended.message, "Saved as " + saved);  // the file, not where the server keeps it
        const fs::path job = dir_ / "hot" / saved;
        EXPECT_EQ(kiv::VerifyVAD3(job), "");
        return job;
    }

    TempDir dir_;
    PrinterServer server_{dir_.path()};
};

// Compares every line of a PWG raster with the job file it became, sample for sample (grey
// luminance against the driver's density).
std::string SameSamples(const fs::path &pwg, const fs::path &job) {
    kiv::VAD3Header v;
    const std::vector<Bytes> lines = JobLines(job, &v);
    const int fd = ::open(pwg.c_str(), O_RDONLY);
    cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t h;
    std::string problem;
    Bytes in;
    for (unsigned page = 0; problem.empty() && cupsRasterReadHeader2(raster, &h); ++page) {
        if (static_cast<int>(h.cupsWidth) != v.width || static_cast<int>(h.cupsHeight) != v.height)
            problem = "page of " + std::to_string(h.cupsWidth) + " x " + std::to_string(h.cupsHeight) + " became " +
                      std::to_string(v.width) + " x " + std::to_string(v.height);
        in.resize(h.cupsBytesPerLine);
        const unsigned channels = h.cupsBitsPerPixel / 8;
        for (unsigned y = 0; problem.empty() && y < h.cupsHeight; ++y) {
            cupsRasterReadPixels(raster, in.data(), h.cupsBytesPerLine);
            const Bytes &out = lines.at(page * h.cupsHeight + y);
            for (unsigned x = 0; problem.empty() && x < h.cupsWidth; ++x) {
                const uint8_t *a = &in[x * channels], *b = &out[x * (channels == 1 ? 1 : 4)];
                const bool same = channels == 1   ? b[0] == 255 - a[0]
                                  : channels == 3 ? std::memcmp(b + 1, a, 3) == 0
                                                  : std::memcmp(b, a, 4) == 0;
                if (!same)
                    problem = "page " + std::to_string(page + 1) + " differs at " + std::to_string(x) + "," +
                              std::to_string(y);
            }
        }
    }
    cupsRasterClose(raster);
    ::close(fd);
    return problem;
}

}  // namespace

TEST_F(PrinterApp, OffersTheDriversCatalogues) {
    const Output attrs = RunCommand("ipptool -t " + PrinterURI() + " " + Quote(TestFile("catalogues.test")));
    EXPECT_EQ(attrs.status, 0) << attrs.text;
}

TEST_F(PrinterApp, KeepsEveryPixelAtEveryResolution) {
    // Ghostscript's rasters of the printer's own 280 x 390 mm paper: each page becomes a job
    // page of exactly its pixels, every sample kept, pages counted once.
    // Each carries the profile that says what its samples mean; device CMYK none.
    const auto text = [](const kivtools::Bytes &b) { return "data:" + std::string(b.begin(), b.end()); };
    const struct {
        const char *type;
        int space;
        int16_t format;
        std::string profile;
    } types[] = {{"srgb_8", 19, 32, text(kivtools::SrgbProfile())},
                 {"sgray_8", 18, 8, text(kivtools::GreyDensityProfile())},
                 {"cmyk_8", 6, 33, ""}};
    for (const auto &t : types) {
        for (int dpi : {150, 300, 600}) {
            SCOPED_TRACE(std::string(t.type) + " at " + std::to_string(dpi) + " dpi");
            const std::string name = std::string(t.type) + "-" + std::to_string(dpi);
            const fs::path pwg = dir_ / (name + ".pwg");
            const Output gs = RunCommand(
                "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pwgraster -dcupsBitsPerColor=8 -dcupsColorSpace=" +
                std::to_string(t.space) + " -r" + std::to_string(dpi) +
                " -dDEVICEWIDTHPOINTS=793.7 -dDEVICEHEIGHTPOINTS=1105.5 -sOutputFile=" + Quote(pwg.string()) +
                " -c '0.2 0.5 0.9 setrgbcolor 40 60 300 500 rectfill 0 0 0 0.3 setcmykcolor 400 700 moveto 780 20 "
                "lineto 5 setlinewidth stroke showpage 0.9 0.1 0.1 setrgbcolor 10 10 100 100 rectfill showpage'");
            ASSERT_EQ(gs.status, 0) << gs.text;
            const Job ended =
                server_.WaitForJob("HotFolder", server_.Print("HotFolder", pwg, "image/pwg-raster", name));
            EXPECT_EQ(ended.state, "completed");
            EXPECT_EQ(ended.impressions, 2);
            const fs::path job = dir_ / "hot" / (name + ".vad3");
            kiv::VAD3Reader reader;
            ASSERT_EQ(reader.Open(job), "");
            EXPECT_EQ(reader.header().pixelFormat, t.format);
            EXPECT_EQ(reader.header().pageCount, 2);
            EXPECT_EQ(reader.header().hResolution, static_cast<uint32_t>(dpi) << 16);
            EXPECT_EQ(SameSamples(pwg, job), "");
            EXPECT_EQ(TrailerValue(job, "KIVPrinterDriver_ICCProfile"), t.profile);
            fs::remove(job);
            fs::remove(pwg);
        }
    }
}

TEST_F(PrinterApp, PrintsImagesCentredAtTheirOwnSize) {
    // A PNG and a JPEG smaller than the page (through the application's own filters): centred
    // at their own size, pixels intact (the JPEG within its compression's error).
    const int iw = 120, ih = 160;
    std::vector<uint8_t> expected(static_cast<std::size_t>(iw) * ih * 3);
    for (int y = 0; y < ih; ++y)
        for (int x = 0; x < iw; ++x) {
            uint8_t *p = &expected[(static_cast<std::size_t>(y) * iw + x) * 3];
            p[0] = static_cast<uint8_t>(20 + x), p[1] = static_cast<uint8_t>(30 + y), p[2] = 90;
        }
    // Each embeds a profile, passed on as it is (a JPEG's split over markers).
    const std::string profile = ReadFile("/usr/share/color/icc/ghostscript/a98.icc");
    ASSERT_FALSE(profile.empty());
    WriteImage(dir_ / "picture.png", iw, ih, expected, profile);
    WriteImage(dir_ / "picture.jpg", iw, ih, expected, profile + std::string(70000, '\0'));
    for (const auto &[file, format, tolerance] :
         {std::tuple{"picture.png", "image/png", 0}, std::tuple{"picture.jpg", "image/jpeg", 3}}) {
        SCOPED_TRACE(file);
        // Two copies: PAPPL repeats an image's page for each, so the header says one copy.
        const fs::path job = PrintToFile(dir_ / file, format, std::string(file) + "-job", 2);
        EXPECT_EQ(TrailerValue(job, "KIVPrinterDriver_ICCProfile"),
                  "data:" + profile + (format == std::string("image/jpeg") ? std::string(70000, '\0') : ""));
        kiv::VAD3Reader reader;
        ASSERT_EQ(reader.Open(job), "");
        EXPECT_EQ(reader.header().pageCount, 2);
        EXPECT_EQ(reader.header().copies, 1);
        int w = 0, h = 0;
        const std::vector<uint8_t> rgb = PageRgb(job, w, h);
        ASSERT_EQ(w, 3307);  // the default paper, 280 mm at 300 dpi
        const int left = (w - iw) / 2, top = (h - ih) / 2;
        for (int y = 0; y < ih; ++y)
            for (int x = 0; x < iw * 3; ++x)
                ASSERT_NEAR(rgb[(static_cast<std::size_t>(top + y) * w + left) * 3 + x],
                            expected[static_cast<std::size_t>(y) * iw * 3 + x], tolerance)
                    << x / 3 << "," << y;
        EXPECT_EQ(rgb[0], 255);  // white around the picture
    }
    // The job ticket: who sent what, where, and as what, each value of its own type.
    const fs::path job = dir_ / "hot" / "picture.png-job.vad3";
    const std::string media = Value(server_.Attributes("HotFolder").get(), "media-default");
    const std::pair<const char *, std::string> ticket[] = {{"Owner", "string:tester"},
                                                           {"JobName", "string:picture.png-job"},
                                                           {"PrinterName", "string:HotFolder"},
                                                           {"JobID", "integer:1"},
                                                           {"Copies", "integer:2"},
                                                           {"Collate", "bool:true"},
                                                           {"MediaName", "string:" + media},
                                                           {"MediaWidth", "real:280.000000"},
                                                           {"MediaHeight", "real:390.000000"},
                                                           {"PrintColorMode", "string:color"},
                                                           {"DocumentFormat", "string:image/png"},
                                                           {"PrinterURI", "string:" + PrinterURI()}};
    for (const auto &[key, value] : ticket) EXPECT_EQ(TrailerValue(job, "KIVJobTicket_" + std::string(key)), value);
    const std::string received = TrailerValue(job, "KIVJobTicket_Received");
    ASSERT_THAT(received, ::testing::StartsWith("date:"));
    EXPECT_NEAR(std::stoll(received.substr(5)), std::time(nullptr), 300);
}

TEST_F(PrinterApp, FitsAPictureWithoutAResolutionWhole) {
    // A 4:3 landscape PNG without pHYs, each edge its own colour, on the portrait default
    // paper: whole by default (every edge present, its aspect kept); only fill crops it.
    const int iw = 400, ih = 300;
    std::vector<uint8_t> rgb(static_cast<std::size_t>(iw) * ih * 3, 128);
    for (int y = 0; y < ih; ++y)
        for (int x = 0; x < iw; ++x) {
            uint8_t *p = &rgb[(static_cast<std::size_t>(y) * iw + x) * 3];
            if (x < 4) p[0] = 255, p[1] = p[2] = 0;                 // left: red
            if (x >= iw - 4) p[2] = 255, p[0] = p[1] = 0;           // right: blue
            if (y < 4 || y >= ih - 4) p[1] = 255, p[0] = p[2] = 0;  // top and bottom: green
        }
    {
        kivtools::PngWriter png;
        ASSERT_TRUE(png.Open((dir_ / "shot.png").string(), iw, ih, PNG_COLOR_TYPE_RGB, 0, 0));
        for (int y = 0; y < ih; ++y) png.WriteRow(&rgb[static_cast<std::size_t>(y) * iw * 3]);
        ASSERT_TRUE(png.Finish());
    }
    for (const char *scaling : {"auto", "fill"}) {
        SCOPED_TRACE(scaling);
        IppPtr answer = Ask(
            PrinterURI(), IPP_OP_PRINT_JOB,
            [&](ipp_t *q) {
                ippAddString(q, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, scaling);
                ippAddString(q, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, "image/png");
                ippAddString(q, IPP_TAG_JOB, IPP_TAG_KEYWORD, "print-scaling", nullptr, scaling);
            },
            dir_ / "shot.png");
        EXPECT_EQ(server_.WaitForJob("HotFolder", std::atoi(Value(answer.get(), "job-id").c_str())).state, "completed");
        int w = 0, h = 0;
        const std::vector<uint8_t> page = PageRgb(dir_ / "hot" / (std::string(scaling) + ".vad3"), w, h);
        const auto at = [&](int x, int y) { return &page[(static_cast<std::size_t>(y) * w + x) * 3]; };
        int top = 0, bottom = h - 1;  // the picture's rows: the first and last not white
        while (top < h && at(w / 2, top)[0] == 255 && at(w / 2, top)[2] == 255) ++top;
        while (bottom > top && at(w / 2, bottom)[0] == 255 && at(w / 2, bottom)[2] == 255) --bottom;
        const bool whole = std::string(scaling) == "auto";
        // Inside each edge's band (PAPPL's smoothing blends the outermost column with the next row).
        EXPECT_EQ(at(16, h / 2)[0] == 255 && at(16, h / 2)[2] == 0, whole);  // red on the left
        EXPECT_EQ(at(w - 16, h / 2)[2] == 255 && at(w - 16, h / 2)[0] == 0, whole);
        if (whole) {
            EXPECT_NEAR(static_cast<double>(w) / (bottom - top + 1), 4.0 / 3, 0.01);
        }
        EXPECT_EQ(at(w / 2, top)[1], 255);  // green along the top
    }
}

TEST_F(PrinterApp, PrintsPdfsWholeAndRefusesWhatItCannot) {
    // Ghostscript renders each page whole at the job's size and resolution.
    ASSERT_TRUE(
        WritePdf(dir_ / "two.pdf", "%!PS\n72 72 200 200 rectfill showpage 300 300 100 100 rectfill showpage\n"));
    // The document's extension is no part of the file's name; a name that is only one is kept.
    const fs::path job = PrintToFile(dir_ / "two.pdf", "application/pdf", "two.PDF", 1, "two");
    kiv::VAD3Header header;
    EXPECT_EQ(JobLines(job, &header).size(), 2u * 4606);
    EXPECT_EQ(header.width, 3307);  // the default paper, 280 x 390 mm, at 300 dpi
    EXPECT_EQ(TrailerValue(job, "KIVPrinterDriver_ICCProfile"),
              "data:" + std::string(kivtools::SrgbProfile().begin(), kivtools::SrgbProfile().end()));
    // A PDF with an output intent is rendered into it, and its job file carries that profile,
    // stored plain or deflated.
    const std::string a98 = ReadFile("/usr/share/color/icc/ghostscript/a98.icc");
    uLongf packedSize = compressBound(a98.size());
    std::string packed(packedSize, '\0');
    compress(reinterpret_cast<Bytef *>(packed.data()), &packedSize, reinterpret_cast<const Bytef *>(a98.data()),
             a98.size());
    packed.resize(packedSize);
    for (const auto &[name, saved, profile] :
         {std::tuple{".pdf", "_pdf", "<< /N 3 /Length " + std::to_string(a98.size()) + " >>\nstream\n" + a98},
          std::tuple{
              "deflated", "deflated",
              "<< /N 3 /Filter /FlateDecode /Length " + std::to_string(packed.size()) + " >>\nstream\n" + packed}}) {
        const std::string objects[] = {
            "<< /Type /Catalog /Pages 2 0 R /OutputIntents [<< /Type /OutputIntent /S /GTS_PDFX "
            "/OutputConditionIdentifier (A98) /DestOutputProfile 4 0 R >>] >>",
            "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 5 0 R >>", profile + "\nendstream",
            "<< /Length 27 >>\nstream\n1 0 0 rg 10 10 100 100 re f\nendstream"};
        std::string pdf = "%PDF-1.4\n", xref = "xref\n0 6\n0000000000 65535 f \n";
        for (std::size_t i = 0; i < std::size(objects); ++i) {
            char entry[32];
            std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", pdf.size());
            xref += entry;
            pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
        }
        pdf += xref + "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + std::to_string(pdf.size()) + "\n%%EOF\n";
        WriteFile(dir_ / "intent.pdf", pdf);
        EXPECT_EQ(TrailerValue(PrintToFile(dir_ / "intent.pdf", "application/pdf", name, 1, saved),
                               "KIVPrinterDriver_ICCProfile"),
                  "data:" + a98);
    }
    // What cannot be printed ends with its reason and publishes nothing: a damaged PDF, and a
    // format no printer here takes (submit says so before it sends anything).
    WriteFile(dir_ / "damaged.pdf", ReadFile(dir_ / "two.pdf").substr(0, 400));
    WriteFile(dir_ / "page.ps", "%!PS\nshowpage\n");
    for (const auto &[file, format, says] :
         {std::tuple{"damaged.pdf", "application/pdf", "The PDF cannot be printed: Ghostscript says: "},
          std::tuple{"page.ps", "application/postscript",
                     "Documents in application/postscript cannot be printed here: send PDF, PWG raster"}}) {
        const Job ended = server_.WaitForJob("HotFolder", server_.Print("HotFolder", dir_ / file, format, file));
        EXPECT_EQ(ended.state, "aborted");
        EXPECT_THAT(ended.message, HasSubstr(says));
    }
    const Output submit = server_.App("submit", "-d HotFolder " + Quote((dir_ / "page.ps").string()));
    EXPECT_EQ(submit.status, 1);
    EXPECT_THAT(submit.text, HasSubstr("page.ps cannot be printed: it is PostScript; send PDF, PWG raster"));
    // Cancelled while Ghostscript renders a long document: Ghostscript is gone, nothing published.
    ASSERT_TRUE(WritePdf(dir_ / "long.pdf", "%!PS\n1 1 400 { pop 0 0 500 500 rectfill showpage } for\n"));
    const int id = server_.Print("HotFolder", dir_ / "long.pdf", "application/pdf", "long");
    const auto rendering = [&] {
        return RunCommand("pgrep -f " + Quote("^[^ ]*gs .*" + dir_.path().string())).status == 0;
    };
    ASSERT_TRUE(Within(30, rendering));
    Ask(PrinterURI(), IPP_OP_CANCEL_JOB,
        [&](ipp_t *q) { ippAddInteger(q, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id); });
    EXPECT_EQ(server_.WaitForJob("HotFolder", id).state, "canceled");
    EXPECT_TRUE(Within(10, [&] { return !rendering(); }));
    EXPECT_EQ(JobFiles(), (std::vector<fs::path>{dir_ / "hot" / "_pdf.vad3", dir_ / "hot" / "deflated.vad3", job}));
}

TEST_F(PrinterApp, PrintsEverySizeInsideTheRange) {
    // A picture printed on each paper, asked for by name or by its size: the page is that size
    // at the printer's 300 dpi; a size outside the driver's range is refused by Validate-Job,
    // which CUPS asks first (PAPPL's Print-Job ignores it, as the README's table of faults says).
    WriteImage(dir_ / "small.png", 40, 30, 200, 40, 40);
    const struct {
        const char *media;  // a media keyword, or empty for media-col with the size below
        int width, height;  // hundredths of millimetres
        bool taken;
    } sizes[] = {{"iso_a4_210x297mm", 21000, 29700, true},
                 {"na_letter_8.5x11in", 21590, 27940, true},
                 {"custom_a2_412x553mm", 41200, 55300, true},
                 {"", 50000, 70000, true},
                 {"", 1270, 1270, true},
                 {"", 1269, 5000, false},
                 {"", 500100, 70000, false}};
    for (const auto &size : sizes) {
        const std::string name =
            std::string(size.media) + std::to_string(size.width) + "x" + std::to_string(size.height);
        SCOPED_TRACE(name);
        IppPtr answer = Ask(
            PrinterURI(), size.taken ? IPP_OP_PRINT_JOB : IPP_OP_VALIDATE_JOB,
            [&](ipp_t *q) {
                ippAddString(q, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, name.c_str());
                ippAddString(q, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, "image/png");
                ippAddBoolean(q, IPP_TAG_OPERATION, "ipp-attribute-fidelity", 1);
                if (size.media[0]) {
                    ippAddString(q, IPP_TAG_JOB, IPP_TAG_KEYWORD, "media", nullptr, size.media);
                    return;
                }
                ipp_t *dimensions = ippNew(), *col = ippNew();
                ippAddInteger(dimensions, IPP_TAG_ZERO, IPP_TAG_INTEGER, "x-dimension", size.width);
                ippAddInteger(dimensions, IPP_TAG_ZERO, IPP_TAG_INTEGER, "y-dimension", size.height);
                ippAddCollection(col, IPP_TAG_ZERO, "media-size", dimensions);
                ippAddCollection(q, IPP_TAG_JOB, "media-col", col);
                ippDelete(dimensions);
                ippDelete(col);
            },
            dir_ / "small.png");
        if (!size.taken) {
            EXPECT_EQ(ippGetStatusCode(answer.get()), IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES);
            continue;
        }
        const Job ended = server_.WaitForJob("HotFolder", std::atoi(Value(answer.get(), "job-id").c_str()));
        EXPECT_EQ(ended.state, "completed") << ended.message;
        kiv::VAD3Reader reader;
        ASSERT_EQ(reader.Open(dir_ / "hot" / (name + ".vad3")), "");
        EXPECT_NEAR(reader.header().width, size.width * 300 / 2540.0, 1);
        EXPECT_NEAR(reader.header().height, size.height * 300 / 2540.0, 1);
        EXPECT_EQ(TrailerValue(dir_ / "hot" / (name + ".vad3"), "KIVJobTicket_MediaWidth"),
                  "real:" + std::to_string(size.width / 100.0));
    }
}

TEST_F(PrinterApp, AFolderThatGoesAwayStopsItsJobsUntilItIsBack) {
    // The folder removed while the printer is idle: a state reason, and jobs refused before
    // they are sent (CUPS keeps them and tries again); once the folder is back they print.
    WritePwg(dir_ / "page.pwg", "sgray_8", 200, 200, 300, 1, [](int x, int y, int, uint8_t *p) { *p = x + y; });
    fs::remove_all(dir_ / "hot");
    const std::string why = "Reasons: other. Its hot folder cannot take job files: The hot folder " +
                            (dir_ / "hot").string() + " cannot be used: No such file or directory. Make it usable";
    EXPECT_TRUE(Within(10, [&] { return server_.App("status", "-d HotFolder").text.find(why) != std::string::npos; }))
        << server_.App("status", "-d HotFolder").text;
    EXPECT_EQ(server_.Print("HotFolder", dir_ / "page.pwg", "image/pwg-raster", "refused"), -1);
    const std::string problem = "Hot folder cannot take job files";
    EXPECT_THAT(server_.WebPage("/"),
                ::testing::AllOf(HasSubstr("Idle, 0 jobs, default printer, not accepting jobs.<br>The hot folder " +
                                           (dir_ / "hot").string() + " cannot be used: No such file"),
                                 Not(HasSubstr(".."))));
    fs::create_directory(dir_ / "hot");
    int back = 0;
    EXPECT_TRUE(Within(
        10, [&] { return (back = server_.Print("HotFolder", dir_ / "page.pwg", "image/pwg-raster", "back")) > 0; }));
    EXPECT_EQ(server_.WaitForJob("HotFolder", back).state, "completed");
    EXPECT_EQ(kiv::VerifyVAD3(dir_ / "hot" / "back.vad3"), "");
    EXPECT_THAT(server_.WebPage("/HotFolder/"), Not(HasSubstr(problem)));
    EXPECT_THAT(server_.WebPage("/"),
                HasSubstr("Idle, 1 job, default printer.<br>Writes job files into " + (dir_ / "hot").string()));
}

TEST_F(PrinterApp, TheFolderAndThePapersChangeForGood) {
    // The papers, on their page (also in place of PAPPL's media page) and with the sub-command,
    // checked by the driver's catalogue rules and offered at once.
    EXPECT_THAT(server_.WebPage("/HotFolder/media"), HasSubstr("Add Paper"));
    // The product's own marks in place of PAPPL's placeholders.
    const std::string icons = std::string(PRINTER_TEST_FILES) + "/../../tools/vad3-printer/icons/";
    for (const auto &[path, icon] :
         {std::pair{"/navicon.png", "navicon.png"}, {"/HotFolder/icon-md.png", "printer-128.png"}})
        EXPECT_EQ(RunCommand("curl -s " + server_.URL(path) + " | cmp -s - " + Quote(icons + icon)).status, 0) << path;
    EXPECT_THAT(server_.WebPage("/HotFolder/papers", "action=add&name=Poster&size=500x700mm"),
                HasSubstr("Changes saved."));
    EXPECT_THAT(server_.WebPage("/HotFolder/papers", "action=remove&name=Nope"),
                HasSubstr("Not changed: there is no paper named &quot;Nope&quot;"));
    EXPECT_EQ(server_.App("papers", "-d HotFolder --default Poster").status, 0);
    const Output tiny = server_.App("papers", "-d HotFolder --add Tiny 5x5mm");
    EXPECT_EQ(tiny.status, 1);
    EXPECT_THAT(tiny.text, HasSubstr("a paper is 12.7 to 5000 mm wide and 12.7 to 500000 mm long"));
    EXPECT_EQ(server_.App("papers", "-d HotFolder --remove A2").status, 0);
    IppPtr offered = server_.Attributes("HotFolder");
    EXPECT_EQ(Value(offered.get(), "media-default"), "custom_poster_500x700mm");
    EXPECT_THAT(Value(offered.get(), "media-supported"), Not(HasSubstr("custom_a2_")));

    fs::create_directory(dir_ / "other");
    const std::string page = "/HotFolder/hotfolder";
    std::string html = server_.WebPage(page);
    EXPECT_THAT(html, HasSubstr("value=\"" + (dir_ / "hot").string() + "\""));
    const std::string relative = server_.WebPage(page, "folder=relative");
    EXPECT_THAT(relative, HasSubstr("must be an absolute path"));
    EXPECT_THAT(server_.WebPage(page, "folder=" + (dir_ / "missing").string()), HasSubstr("No such file or directory"));
    html = server_.WebPage(page, "folder=" + (dir_ / "other").string());
    EXPECT_THAT(html, HasSubstr("Changes saved."));

    server_.Stop();
    ASSERT_TRUE(server_.Start());
    EXPECT_THAT(server_.WebPage(page), HasSubstr("value=\"" + (dir_ / "other").string() + "\""));
    EXPECT_EQ(server_.App("papers", "-d HotFolder").text,
              "A3                       280x390mm\nPoster                   500x700mm  (default)\n");
    WritePwg(dir_ / "page.pwg", "sgray_8", 200, 200, 300, 1, [](int x, int y, int, uint8_t *p) { *p = x ^ y; });
    EXPECT_EQ(
        server_.WaitForJob("HotFolder", server_.Print("HotFolder", dir_ / "page.pwg", "image/pwg-raster", "moved"))
            .state,
        "completed");
    EXPECT_EQ(kiv::VerifyVAD3(dir_ / "other" / "moved.vad3"), "");
    EXPECT_TRUE(JobFiles().empty());
}

TEST_F(PrinterApp, PassesIppEverywhereWithEverySample) {
    // CUPS' conformance file with its include files, and every sample it names: all five
    // raster types at all six resolutions (ipptool stops at the first it cannot read). The
    // samples are pages of one inch, which spares the time a real A4 page at 720 dpi takes;
    // the file checks the protocol, not the paper.
    const fs::path tests = dir_ / "ipptool";
    fs::create_directories(tests);
    for (const auto &e : fs::directory_iterator("/usr/share/cups/ipptool"))
        if (e.path().extension() == ".test") fs::copy_file(e.path(), tests / e.path().filename());
    const struct {
        const char *type, *folder;
        int bytes;
    } types[] = {{"black_1", "black-1", 0},
                 {"sgray_8", "sgray-8", 1},
                 {"srgb_8", "srgb-8", 3},
                 {"srgb_16", "srgb-16", 6},
                 {"cmyk_8", "cmyk-8", 4}};
    const char *samples[] = {"color.jpg-4x6",   "gray.jpg-4x6", "document-a4",
                             "document-letter", "onepage-a4",   "onepage-letter"};
    for (int dpi : {150, 180, 300, 360, 600, 720})
        for (const auto &t : types) {
            const std::string resolution = std::to_string(dpi) + "dpi";
            const fs::path folder = tests / ("pwg-raster-samples-" + resolution) / t.folder;
            fs::create_directories(folder);
            for (const std::string name : samples)
                WritePwg(folder / (name + "-" + t.folder + "-" + resolution + ".pwg"), t.type, dpi, dpi, dpi,
                         name.starts_with("document") ? 2 : 1, [&](int x, int y, int page, uint8_t *p) {
                             for (int k = 0; k < t.bytes; ++k)
                                 p[k] = static_cast<uint8_t>((x / 40 + y / 40 + page + k) % 2 ? 40 * k : 230);
                         });
        }
    // The documents the files it includes print: JPEG, PostScript and PDF.
    WriteImage(tests / "color.jpg", 300, 200, 200, 40, 90);
    WriteImage(tests / "gray.jpg", 300, 200, 128, 128, 128);
    for (const auto &[name, size] : {std::pair{"document-a4", "595 842"}, {"document-letter", "612 792"}}) {
        ASSERT_TRUE(WritePdf(
            tests / (std::string(name) + ".pdf"),
            std::string("%!PS\n<< /PageSize [") + size + "] >> setpagedevice 72 72 200 200 rectfill showpage\n"));
    }
    ASSERT_TRUE(Within(10, [&] {  // the file wants a printer-up-time above 0
        return std::atoi(Value(server_.Attributes("HotFolder").get(), "printer-up-time").c_str()) > 0;
    }));
    const fs::path any = tests / "pwg-raster-samples-150dpi" / "sgray-8" / "onepage-a4-sgray-8-150dpi.pwg";
    const Output run = RunCommand("cd " + Quote(tests.string()) + " && ipptool -V 2.0 -I -T 30 -t -f " +
                                  Quote(any.string()) + " " + PrinterURI() + " ipp-everywhere.test");
    // What PAPPL 1.3 itself gets wrong: it has no page overrides ("overrides-supported"), and
    // its answer to a Print-Job with job-hold-until leaves out job-state-reasons.
    const std::set<std::string> known = {"Required Operations and Attributes", "Print-Job with job-hold-until"};
    std::istringstream lines(run.text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find("[FAIL]");
        if (at == std::string::npos) continue;
        std::string test = line.substr(0, at);
        test.erase(test.find_last_not_of(' ') + 1);
        EXPECT_TRUE(std::ranges::any_of(known, [&](const std::string &k) { return test.ends_with(k); })) << test;
    }
    EXPECT_THAT(run.text, HasSubstr("[PASS]"));
}

TEST_F(PrinterApp, PrintsAPdfThroughAPrivateCups) {
    if (const std::string missing = PrivateCups::Missing(); !missing.empty()) GTEST_SKIP() << missing;
    PrivateCups cups(dir_ / "cups");
    ASSERT_TRUE(cups.Start()) << ReadFile(dir_ / "cups" / "log" / "error_log");
    const std::string host = cups.host();
    const Output lpadmin = RunCommand("lpadmin -h " + host + " -p HotFolder -E -v " + PrinterURI() + " -m everywhere");
    ASSERT_EQ(lpadmin.status, 0) << lpadmin.text;

    // Two pages of the printer's default paper, 280 x 390 mm, printed with no options: they
    // arrive on that paper at its size.
    ASSERT_TRUE(WritePdf(dir_ / "two.pdf",
                         "%!PS\n<< /PageSize [793.7 1105.5] >> setpagedevice /Helvetica findfont 40 scalefont setfont\n"
                         "72 700 moveto (Page one) show showpage\n"
                         "72 700 moveto (Page two) show 100 100 200 200 rectfill showpage\n",
                         "-dFIXEDMEDIA"));
    const Output lp =
        RunCommand("lp -h " + host + " -d HotFolder -t 'Two pages' " + Quote((dir_ / "two.pdf").string()));
    ASSERT_EQ(lp.status, 0) << lp.text;
    const fs::path job = dir_ / "hot" / "Two pages.vad3";
    ASSERT_TRUE(Within(40, [&] { return fs::exists(job); }))
        << ReadFile(dir_ / "cups" / "log" / "error_log") << ReadFile(dir_ / "log");
    EXPECT_EQ(kiv::VerifyVAD3(job), "");
    kiv::VAD3Reader reader;
    ASSERT_EQ(reader.Open(job), "");
    EXPECT_EQ(reader.header().pageCount, 2);
    EXPECT_EQ(reader.header().width, 3307);
    EXPECT_NEAR(reader.header().height, 4606, 1);  // 390 mm at 300 dpi, as CUPS rounds it
    // A standard paper by its everyday name lands at its size.
    ASSERT_EQ(
        RunCommand("lp -h " + host + " -d HotFolder -o media=A4 -t A4 " + Quote((dir_ / "two.pdf").string())).status,
        0);
    ASSERT_TRUE(Within(40, [&] { return fs::exists(dir_ / "hot" / "A4.vad3"); }))
        << ReadFile(dir_ / "cups" / "log" / "error_log");
    ASSERT_EQ(reader.Open(dir_ / "hot" / "A4.vad3"), "");
    EXPECT_NEAR(reader.header().width, 2480, 1);
    EXPECT_NEAR(reader.header().height, 3508, 1);

    // Without its folder the printer takes no jobs: CUPS keeps the job until the folder is back.
    fs::remove_all(dir_ / "hot");
    ASSERT_TRUE(Within(
        10, [&] { return Value(server_.Attributes("HotFolder").get(), "printer-is-accepting-jobs") == "false"; }));
    const Output kept = RunCommand("lp -h " + host + " -d HotFolder -t Kept " + Quote((dir_ / "two.pdf").string()));
    ASSERT_EQ(kept.status, 0) << kept.text;
    const int keptId = std::atoi(kept.text.c_str() + kept.text.find("HotFolder-") + 10);
    // CUPS has asked the printer (its queue shows the printer's reason) and still holds the job.
    const std::string queue = "ipp://" + host + "/printers/HotFolder";
    EXPECT_TRUE(Within(30, [&] {
        return Value(Ask(queue, IPP_OP_GET_PRINTER_ATTRIBUTES).get(), "printer-state-reasons") == "other";
    }));
    const Job held = JobOf(Ask(queue, IPP_OP_GET_JOB_ATTRIBUTES, [&](ipp_t *r) {
                               ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", keptId);
                           }).get());
    EXPECT_EQ(held.state, "processing");
    fs::create_directory(dir_ / "hot");
    EXPECT_TRUE(Within(60, [&] { return kiv::VerifyVAD3(dir_ / "hot" / "Kept.vad3").empty(); }))
        << ReadFile(dir_ / "cups" / "log" / "error_log");
}

TEST_F(PrinterApp, SubCommandsAnswerForTheServerTheyName) {
    EXPECT_EQ(RunCommand(std::string(VAD3_PRINTER_TOOL) + " --version").text, KIV_VERSION "\n");
    EXPECT_THAT(server_.WebPage("/"), HasSubstr("Varnel printer driver " KIV_VERSION));
    EXPECT_EQ(server_.App("printers", "").text, "HotFolder\n");
    EXPECT_EQ(server_.App("status", "-d HotFolder").text.find("Running, idle since "), 0u);
    // A printer made while the server runs (PAPPL reports its id as 0), named with blanks.
    const std::string second = "-d " + Quote("A  second");
    ASSERT_TRUE(server_.AddPrinter(Quote("A  second"), dir_ / "second"));
    EXPECT_EQ(server_.App("default", second).status, 0);
    EXPECT_THAT(server_.App("default", "").text, HasSubstr("A  second\n"));  // PAPPL's answer
    EXPECT_EQ(server_.App("status", second).text.find("Running, idle since "), 0u);
    EXPECT_EQ(server_.App("delete", second).status, 0);
    EXPECT_THAT(server_.App("delete", second).text, HasSubstr("no printer"));
    const struct {
        std::string args, message;
    } refused[] = {
        {"add -d X -m hotfolder -v hotfolder:relative/x", "must be hotfolder:///absolute/path"},
        {"add -d X -m hotfolder -v file:///tmp", "must be hotfolder:///absolute/path"},
        {"add -d X -m hotfolder -v " + Quote("hotfolder://" + (dir_ / "missing").string()), "No such file"},
        {"modify -d HotFolder -v hotfolder:///tmp", "changed on its \"Hot Folder\" web page"},
        {"modify -d HotFolder -o printer-location=Upstairs", "set on its \"Configuration\" web page"},
    };
    for (const auto &c : refused) {
        const CommandOutput run = server_.App(c.args.substr(0, c.args.find(' ')), c.args.substr(c.args.find(' ') + 1));
        EXPECT_EQ(run.status, 1) << c.args;
        EXPECT_THAT(run.text, HasSubstr(c.message)) << c.args;
    }
    EXPECT_EQ(server_.App("printers", "").text, "HotFolder\n");
}

TEST(PrinterCommands, WithoutAServerEachSaysSoAndStartsNone) {
    // A private local socket folder, temporary folder and home, and a port nothing listens on.
    TempDir dir;
    const std::string app = "SNAP_COMMON=" + Quote(dir.path().string()) + " TMPDIR=" + Quote(dir.path().string()) +
                            " HOME=" + Quote(dir.path().string()) + " " + VAD3_PRINTER_TOOL + " ";
    const Port unused;
    const std::string nowhere = " -u ipp://localhost:" + unused.text() + "/ipp/print/P";
    const struct {
        std::string args, message;
        int status = 1;
    } cases[] = {
        {"drivers", "hotfolder \"hot folder job files\"", 0},  // the table, without a server
        {"devices", "no server answers"},
        {"options -d P", "no server answers"},
        {"submit -d P /etc/hostname", "no server answers at " + (dir / "vad3-printer.sock").string()},
        {"printers", "start one with \"vad3-printer server\""},
        {"printers" + nowhere, "no server answers at ipp://localhost:"},
        {"status" + nowhere, "no server answers at ipp://localhost:"},
        {"shutdown", "no server answers"},
        {"add -d P -m hotfolder -v hotfolder:///tmp", "no server answers"},
        {"server -o bogus=1", "unknown server option 'bogus'"},
        {"server -o listen-hostname=*", "needs logins for administration: add -o auth-service=login"},
        {"server -o listen-hostname=0.0.0.0", "needs logins for administration"},
        {"server -o listen-hostname=* -o auth-service=login -o server-options=no-tls", "needs TLS"},
        {"server -o log-level=loud", "bad log-level value 'loud'"},
        {"server -o server-port=8x", "bad server-port value '8x'"},
    };
    for (const auto &c : cases) {
        const CommandOutput run = RunCommand(app + c.args);
        EXPECT_EQ(run.status, c.status) << c.args;
        EXPECT_THAT(run.text, HasSubstr(c.message)) << c.args;
    }
    // A server a sub-command started is stopped here, so that it cannot fail later runs.
    const CommandOutput stray = RunCommand("pgrep -f 'private-server[=]true'");
    EXPECT_EQ(stray.status, 1) << "a sub-command started a server";
    std::istringstream pids(stray.status == 0 ? stray.text : "");
    for (int pid; pids >> pid;) ::kill(pid, SIGKILL);
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(PrinterReadme, TheCommandsRunAsWritten) {
    // The shell blocks of the README's printer-application section, run in a folder of their
    // own with the build's program, a free port, a private socket folder and a private cupsd.
    if (const std::string missing = PrivateCups::Missing(); !missing.empty()) GTEST_SKIP() << missing;
    TempDir dir;
    PrivateCups cups(dir / "cups");
    ASSERT_TRUE(cups.Start());
    const std::string readme = ReadFile(std::string(PRINTER_TEST_FILES) + "/../../README.md");
    const std::size_t section = readme.find("\n## Printing from any application"),
                      end = readme.find("\n## ", section + 1);
    // The server's id is written however the script ends, so that it is stopped even when a
    // command fails.
    std::string script = "set -e\ntrap 'echo $! > server.pid' EXIT\ntrap 'exit 143' TERM\n";
    for (std::size_t at = section; (at = readme.find("```sh\n", at)) < end;) {
        const std::size_t stop = readme.find("```\n", at + 6);
        script += readme.substr(at + 6, stop - at - 6);
        at = stop;
    }
    ASSERT_NE(script.find("vad3-printer server"), std::string::npos);
    const Port port;
    for (const auto &[from, to] : {std::pair<std::string, std::string>{"8631", port.text()},
                                   {"build/tools/vad3-printer", VAD3_PRINTER_TOOL},
                                   {"lpadmin ", "lpadmin -h " + cups.host() + " "},
                                   {"lp -d", "lp -h " + cups.host() + " -d"}})
        for (std::size_t at = 0; (at = script.find(from, at)) != std::string::npos; at += to.size())
            script.replace(at, from.size(), to);
    WriteFile(dir / "readme.sh", script);
    const std::string env = "SNAP_COMMON=" + Quote(dir.path().string()) + " TMPDIR=" + Quote(dir.path().string()) +
                            " HOME=" + Quote((dir / "home").string());
    const CommandOutput run =
        RunCommand("cd " + Quote(dir.path().string()) + " && " + env + " timeout 120 bash readme.sh >out 2>&1");
    EXPECT_EQ(run.status, 0) << ReadFile(dir / "out");
    // Four job files as the jobs arrive, each whole (CUPS tries a job the printer was busy for
    // again after 30 s, later on a loaded machine); then the server is stopped by its id.
    EXPECT_TRUE(
        Within(std::max(90, kRequestSeconds), [&] { return FolderEntries(dir / "hot" / "HotFolder").size() == 4; }))
        << ReadFile(dir / "out") << ReadFile(dir / "printer-state" / "log");
    for (const fs::path &f : FolderEntries(dir / "hot" / "HotFolder")) EXPECT_EQ(kiv::VerifyVAD3(f), "") << f;
    if (const int pid = std::atoi(ReadFile(dir / "server.pid").c_str()); pid > 0) {
        ::kill(pid, SIGTERM);
        EXPECT_TRUE(Within(10, [&] { return ::kill(pid, 0) != 0; }));
        ::kill(pid, SIGKILL);
    }
    EXPECT_FALSE(fs::exists(dir / "home")) << RunCommand("find " + Quote((dir / "home").string())).text;
}
