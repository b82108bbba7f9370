// Printing end to end through the module loaded from its bundle, read back with the reader.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <regex>

#include "common/ColourProfiles.hpp"
#include "common/PngWriter.hpp"
#include "common/PrintRecordView.hpp"
#include "format/VAD3Reader.hpp"
#include "support/BandReference.hpp"
#include "support/Commands.hpp"
#include "support/JobFiles.hpp"
#include "support/LoadedDriver.hpp"
#include "support/PrintPages.hpp"
#include "support/TempDir.hpp"

using namespace kivtest;
namespace fs = std::filesystem;

namespace {

constexpr int kPageWidth = 160, kPageHeight = 170;

int PixelSize(int16_t format) { return static_cast<int>(kiv::PixelSizeFromFormat(format)); }

// The bands of UnevenBands() cut from image, in the band format.
Page Bands(const SourceImage &image, int16_t bandFormat) {
    Page page;
    for (const BandSpec &b : UnevenBands())
        page.push_back(
            {{const_cast<uint8_t *>(image.At(0, b.srcTop)), LongRect{b.srcTop, 0, b.srcTop + b.srcRows, image.width},
              static_cast<uint32_t>(image.width * image.pixelSize), bandFormat},
             b.src,
             b.dst});
    return page;
}

class Printing : public LoadedDriver {
protected:
    void TearDown() override {
        if (record_) driver_.KIVPrClose(record_);
        LoadedDriver::TearDown();
    }

    // Opens the driver on a 160 × 170 page at 300 dpi in the given band format.
    void OpenFor(int16_t bandFormat, bool bw = false, bool withFolder = true) {
        ASSERT_EQ(driver_.KIVPrOpen(bundle_, &record_), 0);
        const PageGeometry page{kPageWidth, kPageHeight, kPageWidth / 300.0 * 25.4, kPageHeight / 300.0 * 25.4};
        driver_.KIVPrSuggestPage(record_, print_, &page, bandFormat);
        driver_.KIVPrValidate(record_, print_);
        kivhost::PrintRecordView(print_).setBlackAndWhite(bw);
        driver_.KIVPrSetJobName(record_, print_, "Job");
        if (withFolder) {
            plist_t settings = plist_new_dict();
            plist_dict_set_item(settings, "outputFolder", KIVCreateBookmarkDataForPath(hot_.path().c_str()));
            ASSERT_TRUE(driver_.KIVPrSetJobSettings(record_, print_, settings));
            plist_free(settings);
        }
    }

    int32_t PrintBands(const SourceImage &image, int16_t bandFormat) {
        for (const Band &b : Bands(image, bandFormat))
            if (const int32_t e = driver_.KIVPrPrintBitmap(record_, &b.bitmap, &b.src, &b.dst)) return e;
        return 0;
    }

    int32_t Close() {
        const int32_t e = driver_.KIVPrClose(record_);
        record_ = nullptr;
        return e;
    }

    TempDir hot_;
    DriverRecord *record_ = nullptr;
};

void ExpectFileHolds(const fs::path &file, const std::vector<Pixels> &expected, int16_t lineFormat) {
    kiv::VAD3Header h;
    const std::vector<Pixels> lines = JobLines(file, &h);
    EXPECT_EQ(std::vector<int>({h.pixelFormat, h.copies, h.collate}), std::vector<int>({lineFormat, 1, 1}));
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t y = 0; y < expected.size(); ++y)
        ASSERT_EQ(lines[y], WithoutAlpha(expected[y], lineFormat)) << "format " << lineFormat << ", line " << y;
}

}  // namespace

TEST_F(Printing, EveryPixelFormatArrivesPixelForPixel) {
    const struct {
        int16_t band;
        bool bw;
        int16_t line;
    } cases[] = {{8, false, 8},   {32, false, 32}, {32, true, 8},   {33, true, 33},
                 {34, false, 34}, {35, false, 35}, {36, false, 36}, {64, false, 64}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "band " << c.band << (c.bw ? " bw" : ""));
        OpenFor(c.band, c.bw);
        const SourceImage image(80, 85, PixelSize(c.band));
        ASSERT_EQ(PrintPages(driver_, record_, print_, {Bands(image, c.band), {}}), 0);  // the second page blank
        ASSERT_EQ(Close(), 0);

        auto expected = ExpectedPage(image, UnevenBands(), kPageWidth, kPageHeight, c.band, c.line);
        const auto blankPage = ExpectedPage(image, {}, kPageWidth, kPageHeight, c.band, c.line);
        expected.insert(expected.end(), blankPage.begin(), blankPage.end());
        const auto files = FolderEntries(hot_.path());
        ASSERT_EQ(files.size(), 1u);
        ExpectFileHolds(files[0], expected, c.line);
        fs::remove(files[0]);
    }
}

TEST_F(Printing, TilesArePrintedAtTheTileSize) {
    OpenFor(8);
    // A tile of 100 × 120 pixels: the printable page; the header keeps the whole page.
    kivhost::PrintRecordView(print_).setTile(100 / 300.0 * 25.4, 120 / 300.0 * 25.4);
    EXPECT_FALSE(driver_.KIVPrValidate(record_, print_));
    PageInfo info;
    driver_.KIVPrGetInfo(record_, print_, &info);
    EXPECT_EQ(std::vector<double>({double(info.reserved0), double(info.widthPixels), double(info.heightPixels),
                                   info.widthMillimetres, double(info.toPage), double(info.reserved1)}),
              std::vector<double>({0, 100, 120, 100 / 300.0 * 25.4, 999, 1}));
    const SourceImage image(80, 85, 1);
    ASSERT_EQ(PrintPages(driver_, record_, print_, {Bands(image, 8)}), 0);
    ASSERT_EQ(Close(), 0);

    const fs::path file = FolderEntries(hot_.path()).at(0);
    kiv::VAD3Reader reader;
    ASSERT_EQ(reader.Open(file), "");
    EXPECT_EQ(reader.header().width, 100);
    EXPECT_EQ(reader.header().height, 120);
    EXPECT_EQ(reader.header().documentWidth, kPageWidth);
    EXPECT_EQ(reader.header().documentHeight, kPageHeight);
    ExpectFileHolds(file, ExpectedPage(image, UnevenBands(), 100, 120, 8, 8), 8);
}

TEST_F(Printing, HostErrorsAndWrongBandsStopTheJobAndDeleteTheFile) {
    for (int32_t code : {-128, -39}) {
        OpenFor(8);
        ASSERT_EQ(driver_.KIVPrOpenDoc(record_, print_), 0);
        driver_.KIVPrOpenPage(record_);
        driver_.KIVPrSetError(record_, code);
        const SourceImage image(80, 85, 1);
        EXPECT_EQ(PrintBands(image, 8), code);
        EXPECT_EQ(driver_.KIVPrClosePage(record_), code);
        EXPECT_EQ(driver_.KIVPrCloseDoc(record_), code);
        EXPECT_TRUE(FolderEntries(hot_.path()).empty());
        EXPECT_EQ(Close(), code);
    }
    OpenFor(32);
    ASSERT_EQ(driver_.KIVPrOpenDoc(record_, print_), 0);
    driver_.KIVPrOpenPage(record_);
    const SourceImage cmyk(80, 85, 4);
    EXPECT_EQ(PrintBands(cmyk, 33), -157);
    EXPECT_EQ(driver_.KIVPrOpenPage(record_), -157);
    EXPECT_EQ(driver_.KIVPrCloseDoc(record_), -157);
    EXPECT_TRUE(FolderEntries(hot_.path()).empty());
    EXPECT_EQ(Close(), -157);
}

TEST_F(Printing, AHotFolderRemovedMidJobIsAnErrorNamingIt) {
    OpenFor(8);
    ASSERT_EQ(driver_.KIVPrOpenDoc(record_, print_), 0);
    fs::remove_all(hot_.path());
    EXPECT_EQ(driver_.KIVPrCloseDoc(record_), ENOENT);
    unsigned char text[256];
    driver_.KIVPrErrorString(record_, ENOENT, text);
    const std::string message(reinterpret_cast<char *>(text + 1), text[0]);
    EXPECT_NE(message.find(hot_.path().string() + ": No such file or directory"), std::string::npos) << message;
    EXPECT_EQ(driver_.KIVPrCopyOutputFileName(record_), nullptr);
    EXPECT_EQ(Close(), ENOENT);
    EXPECT_FALSE(fs::exists(hot_.path()));
}

TEST_F(Printing, CallsOutsideADocumentAreRefused) {
    OpenFor(8, false, false);
    EXPECT_EQ(driver_.KIVPrOpenPage(record_), -50);
    const SourceImage image(80, 85, 1);
    EXPECT_EQ(PrintBands(image, 8), -50);
    plist_t value = plist_new_uint(1);
    EXPECT_EQ(driver_.KIVPrSetMetadata(record_, "k", value), -50);
    EXPECT_EQ(driver_.KIVPrSetProfile(record_, value), -50);
    plist_free(value);
    EXPECT_EQ(driver_.KIVPrClosePage(record_), -50);
    EXPECT_EQ(driver_.KIVPrCloseDoc(record_), 0);
    // No hot folder: refused before any file operation.
    EXPECT_EQ(driver_.KIVPrOpenDoc(record_, print_), -1);
    EXPECT_EQ(Close(), -1);
    OpenFor(16);
    EXPECT_EQ(driver_.KIVPrOpenDoc(record_, print_), -50);
    EXPECT_EQ(Close(), -50);
}

TEST_F(Printing, ClosingTheDriverAbandonsAnOpenDocument) {
    OpenFor(8);
    ASSERT_EQ(driver_.KIVPrOpenDoc(record_, print_), 0);
    driver_.KIVPrOpenPage(record_);
    const SourceImage image(80, 85, 1);
    PrintBands(image, 8);
    EXPECT_TRUE(FolderEntries(hot_.path()).empty());  // nothing shows while the job is written
    EXPECT_EQ(Close(), 0);
    EXPECT_TRUE(FolderEntries(hot_.path()).empty());
}

TEST_F(Printing, MetadataReachesTheTrailer) {
    OpenFor(8);
    ASSERT_EQ(driver_.KIVPrOpenDoc(record_, print_), 0);
    plist_t profile = plist_new_data("ICC", 3);
    EXPECT_EQ(driver_.KIVPrSetProfile(record_, profile), 0);
    plist_free(profile);
    plist_t note = plist_new_string("from the host");
    EXPECT_EQ(driver_.KIVPrSetMetadata(record_, "Note", note), 0);
    EXPECT_EQ(driver_.KIVPrSetMetadata(record_, nullptr, note), -50);
    plist_free(note);
    ASSERT_EQ(driver_.KIVPrCloseDoc(record_), 0);
    ASSERT_EQ(Close(), 0);
    kiv::VAD3Reader reader;
    ASSERT_EQ(reader.Open(FolderEntries(hot_.path()).at(0)), "");
    kiv::Plist trailer;
    ASSERT_EQ(reader.ReadTrailer(trailer), "");
    EXPECT_EQ(*kiv::StringValue(kiv::DictGet(trailer.get(), "Note")), "from the host");
    EXPECT_EQ(*kiv::DataValue(kiv::DictGet(trailer.get(), "KIVPrinterDriver_ICCProfile")), "ICC");
    EXPECT_EQ(*kiv::StringValue(kiv::DictGet(trailer.get(), "KIVPrinterDriver_JobName")), "Job");
}

TEST_F(Printing, DestinationNamesAreTimeStampedAndShort) {
    const std::regex suffix(R"(\(\d\d_\d\d_\d\d\)$)");
    const auto name = [&](const char *in) {
        char *out = driver_.MakeDestFileName(in);
        std::string s(out);
        free(out);
        return s;
    };
    const std::string sixty(60, 'a');
    EXPECT_EQ(name(sixty.c_str()).size(), 70u);
    EXPECT_TRUE(std::regex_search(name(sixty.c_str()), suffix));
    EXPECT_EQ(name((sixty + "b").c_str()).substr(0, 61), sixty + "(");
    EXPECT_EQ(name("").size(), 10u);
    // 59 letters and a character outside the BMP (two UTF-16 units): it does not fit and is
    // dropped whole rather than cut in half.
    const std::string emoji = std::string(59, 'x') + "\xF0\x9F\x98\x80";
    EXPECT_EQ(name(emoji.c_str()).substr(0, 60), std::string(59, 'x') + "(");
    const std::string fits = std::string(58, 'x') + "\xF0\x9F\x98\x80";
    EXPECT_EQ(name(fits.c_str()).substr(0, 62), fits);
}

TEST(Kivhost, PrintsAPngThatRendersBackTheSame) {
    TempDir dir;
    const int w = 160, h = 170;
    std::vector<uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t *p = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / w);
            p[1] = static_cast<uint8_t>((y / 10) * 15);
            p[2] = static_cast<uint8_t>((x + y) % 3 == 0 ? 200 : 40);
        }
    {
        kivtools::PngWriter png;
        ASSERT_TRUE(png.Open((dir / "in.png").string(), w, h, PNG_COLOR_TYPE_RGB, 300, 300)) << png.error();
        for (int y = 0; y < h; ++y) ASSERT_TRUE(png.WriteRow(&rgb[static_cast<std::size_t>(y) * w * 3]));
        ASSERT_TRUE(png.Finish());
    }
    const fs::path hot = dir / "hot";
    // A private home: a page setup saved by `kivhost page-setup` would otherwise be used.
    const std::string command = "XDG_CONFIG_HOME='" + dir.path().string() + "' " + std::string(KIVHOST_TOOL) +
                                " print '" + (dir / "in.png").string() + "' --band-rows 37 --hot-folder '" +
                                hot.string() + "' --bundle '" KIV_BUNDLE_DIR "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const fs::path job = hot / "in.vad3";
    ASSERT_EQ(kiv::VerifyVAD3(job), "");
    // Rendered whole, and at a third of the size (every third pixel of every third line).
    for (const unsigned scale : {1u, 3u}) {
        const fs::path out = dir / ("out" + std::to_string(scale) + ".png");
        ASSERT_EQ(RunCommand(std::string(VAD3_TOOL) + " render '" + job.string() + "' --scale " +
                             std::to_string(scale) + " -o '" + out.string() + "'")
                      .status,
                  0);
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&image, out.c_str()));
        image.format = PNG_FORMAT_RGB;
        std::vector<uint8_t> back(PNG_IMAGE_SIZE(image)), expected;
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
        for (int y = 0; y < h; y += scale)
            for (int x = 0; x < w; x += scale)
                expected.insert(expected.end(), &rgb[(static_cast<std::size_t>(y) * w + x) * 3],
                                &rgb[(static_cast<std::size_t>(y) * w + x) * 3 + 3]);
        EXPECT_EQ(image.width, (w + scale - 1) / scale);
        EXPECT_EQ(image.height, (h + scale - 1) / scale);
        EXPECT_EQ(back, expected) << "scale " << scale;
    }
}

TEST(Kivhost, TheTestPageIsTheReferenceChart) {
    // RIP set-ups and make demo compare against the built-in test page: a change to the chart
    // must be deliberate, and this value changes with it.
    TempDir dir;
    ASSERT_EQ(RunCommand("cd '" + dir.path().string() + "' && XDG_CONFIG_HOME=. " + KIVHOST_TOOL +
                         " print --job-name chart --hot-folder hot --bundle '" KIV_BUNDLE_DIR "'")
                  .status,
              0);
    uLong crc = 0;
    for (const Bytes &line : JobLines(dir / "hot" / "chart.vad3"))
        crc = crc32(crc, line.data(), static_cast<uInt>(line.size()));
    EXPECT_EQ(crc, 419300283u);
}

TEST(Tools, HelpAndMistakesInTheUsersWords) {
    const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";
    const struct {
        std::string command;
        int status;
        const char *text;
    } cases[] = {
        {"(" + std::string(KIVHOST_TOOL) + " --help 2>/dev/null)", 0, "usage: kivhost info"},
        {"(" + std::string(VAD3_TOOL) + " --help 2>/dev/null)", 0, "usage: vad3 info"},
        {std::string(VAD3_TOOL) + " --version", 0, KIV_VERSION "\n"},
        {std::string(KIVHOST_TOOL) + " --version", 0, KIV_VERSION "\n"},
        {std::string(VAD3_TOOL) + " info /etc/hostname", 1, "/etc/hostname: not a vad3 job file"},
        {std::string(VAD3_TOOL) + " render /etc/hostname", 2, "render takes one job file and -o OUT.png"},
        {std::string(KIVHOST_TOOL) + " print x.png --format rgb", 2, "--format takes argb, grey or cmyk, not rgb"},
        {noDisplay + KIVHOST_TOOL + " page-setup", 1, "the dialogs need a display"},
        {noDisplay + KIVHOST_TOOL + " print --dialog", 1, "the dialogs need a display"},
    };
    for (const auto &c : cases) {
        const CommandOutput run = RunCommand(c.command);
        EXPECT_EQ(run.status, c.status) << c.command;
        EXPECT_NE(run.text.find(c.text), std::string::npos) << c.command << ": " << run.text;
    }
}

namespace {

// A copy of a PNG with one more chunk after its header.
void AddChunk(const fs::path &png, const fs::path &out, const char *type, const std::string &data) {
    std::string bytes = ReadFile(png), chunk(4, '\0');
    for (int i = 0; i < 4; ++i) chunk[i] = static_cast<char>(data.size() >> (24 - 8 * i));
    const std::string body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(body.data()), static_cast<uInt>(body.size()));
    chunk += body;
    for (int i = 0; i < 4; ++i) chunk += static_cast<char>(crc >> (24 - 8 * i));
    WriteFile(out, bytes.insert(8 + 25, chunk));  // after the signature and IHDR
}

}  // namespace

TEST(Kivhost, CarriesColoursAndATicketAndPlacesPicturesWhole) {
    TempDir dir;
    const fs::path icc = "/usr/share/color/icc/ghostscript";  // Ghostscript's profiles, real ones
    const std::string adobe = ReadFile(icc / "a98.icc"), cmyk = ReadFile(icc / "default_cmyk.icc");
    const std::string srgb(kivtools::SrgbProfile().begin(), kivtools::SrgbProfile().end());
    const std::string grey(kivtools::GreyDensityProfile().begin(), kivtools::GreyDensityProfile().end());
    ASSERT_FALSE(adobe.empty() || cmyk.empty() || srgb.empty() || grey.empty());
    WriteFile(dir / "cmyk.icc", cmyk);
    WriteFile(dir / "grey.icc", grey);
    // The Adobe RGB profile with its tags' data gone: libpng takes it, Little CMS cannot use it.
    std::string damaged = adobe;
    const std::size_t tags = 128 + 4 + 12 * static_cast<uint8_t>(adobe[131]);
    std::fill(damaged.begin() + static_cast<std::ptrdiff_t>(tags), damaged.end(), '\0');
    uLongf packedSize = compressBound(damaged.size());
    std::string packed(packedSize, '\0');
    compress(reinterpret_cast<Bytef *>(packed.data()), &packedSize, reinterpret_cast<const Bytef *>(damaged.data()),
             damaged.size());
    packed.resize(packedSize);
    for (const auto &[name, type, profile] : {std::tuple{"plain.png", PNG_COLOR_TYPE_RGB, std::string()},
                                              std::tuple{"tagged.png", PNG_COLOR_TYPE_RGB, adobe},
                                              std::tuple{"grey.png", PNG_COLOR_TYPE_GRAY, std::string()}}) {
        kivtools::PngWriter png;
        const double dpi = std::string(name) == "plain.png" ? 0 : 300;  // plain.png has no resolution
        ASSERT_TRUE(png.Open((dir / name).string(), 40, 30, type, dpi, dpi, profile)) << png.error();
        const std::vector<uint8_t> row(40 * 3, 90);
        for (int y = 0; y < 30; ++y) png.WriteRow(row.data());
        ASSERT_TRUE(png.Finish());
    }
    fs::rename(dir / "tagged.png", dir / "tag\u202Egnp.png");  // a name posing as another
    AddChunk(dir / "plain.png", dir / "marked.png", "sRGB", std::string(1, '\0'));
    AddChunk(dir / "plain.png", dir / "damaged.png", "iCCP", std::string("bad\0\0", 5) + packed);

    const struct {
        const char *args;
        int status;
        std::string profile;  // the bytes the job file carries, empty for none
        const char *says;
    } cases[] = {
        {"tag\u202Egnp.png --copies 2", 0, adobe, ""},
        {"marked.png", 0, srgb, ""},
        {"plain.png", 0, srgb, ""},
        {"grey.png", 0, grey, ""},
        {"plain.png --format cmyk", 0, "", ""},
        {"plain.png --format cmyk --profile cmyk.icc", 0, cmyk, ""},
        {"tag\u202Egnp.png --bw", 0, "", ""},  // the driver's own grey: no profile describes it
        {"damaged.png", 0, "", "damaged.png: the document's colour profile was dropped: Little CMS cannot use it"},
        {"plain.png --profile grey.icc", 1, "", "cannot use grey.icc as the job's colour profile: it is for grey"},
        // A picture without a resolution after one with: as large as the page holds (below).
        {"tag\u202Egnp.png plain.png", 0, adobe, ""},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto &c = cases[i];
        SCOPED_TRACE(c.args);
        const std::string job = "job" + std::to_string(i);
        const CommandOutput run = RunCommand("cd '" + dir.path().string() + "' && XDG_CONFIG_HOME=. " + KIVHOST_TOOL +
                                             " print " + c.args + " --job-name " + job + " --hot-folder hot");
        EXPECT_EQ(run.status, c.status) << run.text;
        EXPECT_THAT(run.text, ::testing::HasSubstr(c.says));
        if (c.status == 0) {
            EXPECT_EQ(TrailerValue(dir / "hot" / (job + ".vad3"), "KIVPrinterDriver_ICCProfile"),
                      c.profile.empty() ? "" : "data:" + c.profile);
        }
    }
    // The last case's pages, both 40 x 30 pictures on the smallest page (150 x 150): the one with
    // a resolution at its own size, the one without as large as the page holds, centred.
    kiv::VAD3Header header;
    const std::vector<Bytes> lines =
        JobLines(dir / "hot" / ("job" + std::to_string(std::size(cases) - 1) + ".vad3"), &header);
    ASSERT_EQ(lines.size(), 2u * header.height);
    const auto inked = [&](int page, int x, int y) { return lines[page * header.height + y][x * 4 + 1] != 255; };
    const int middle = header.height / 2, edge = header.width - 1;
    EXPECT_FALSE(inked(0, 0, middle) || inked(0, edge, middle));
    EXPECT_TRUE(inked(1, 0, middle) && inked(1, edge, middle));
    EXPECT_FALSE(inked(1, header.width / 2, 0));
    const fs::path tagged = dir / "hot" / "job0.vad3";
    const std::pair<const char *, std::string> ticket[] = {{"Images", "array:tag_gnp.png"},
                                                           {"Copies", "integer:2"},
                                                           {"HostFormat", "string:argb"},
                                                           {"BlackAndWhite", "bool:false"},
                                                           {"Application", "string:kivhost " KIV_VERSION}};
    for (const auto &[key, value] : ticket) EXPECT_EQ(TrailerValue(tagged, "KIVJobTicket_" + std::string(key)), value);
    EXPECT_THAT(TrailerValue(tagged, "KIVJobTicket_Owner"), ::testing::StartsWith("string:"));
    EXPECT_THAT(
        RunCommand(std::string(VAD3_TOOL) + " info " + tagged.string()).text,
        ::testing::AllOf(::testing::HasSubstr("colour        Artifex Software A98 ICC Profile (RGB, display profile)"),
                         ::testing::HasSubstr("job ticket\n    Application")));
    EXPECT_THAT(
        RunCommand(std::string(VAD3_TOOL) + " info --json " + tagged.string()).text,
        ::testing::HasSubstr("\"profile\": {\"bytes\": " + std::to_string(adobe.size()) +
                             ", \"readable\": true, \"description\": \"Artifex Software A98 ICC Profile\", "
                             "\"colourSpace\": \"RGB\", \"class\": \"display\"}, \"ticket\": {\"Application\""));
    // Rendered, each picture carries the profile of its own samples: grey turned back from density.
    for (const auto &[job, description] :
         {std::pair{"job0", "Artifex Software A98 ICC Profile"}, std::pair{"job3", "sGray"}}) {
        const fs::path out = dir / (std::string(job) + ".png");
        ASSERT_EQ(
            RunCommand(std::string(VAD3_TOOL) + " render " + (dir / "hot" / job).string() + ".vad3 -o " + out.string())
                .status,
            0);
        const std::string png = ReadFile(out);
        const std::size_t at = png.find("iCCP");
        ASSERT_NE(at, std::string::npos);
        const std::size_t length = (uint8_t(png[at - 4]) << 24) | (uint8_t(png[at - 3]) << 16) |
                                   (uint8_t(png[at - 2]) << 8) | uint8_t(png[at - 1]);
        const std::size_t data = png.find('\0', at + 4) + 2;
        std::string profile(1 << 20, '\0');
        uLongf size = profile.size();
        ASSERT_EQ(uncompress(reinterpret_cast<Bytef *>(profile.data()), &size,
                             reinterpret_cast<const Bytef *>(png.data() + data), at + 4 + length - data),
                  Z_OK);
        profile.resize(size);
        EXPECT_EQ(kivtools::DescribeProfile(profile)->description, description);
    }
}
