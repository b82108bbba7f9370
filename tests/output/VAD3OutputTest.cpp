// Whole raster job files: written, read back pixel for pixel, and the failures that must
// leave nothing behind.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>

#include "output/VAD3Output.hpp"
#include "format/VAD3Reader.hpp"
#include "support/FileIOFake.hpp"
#include "support/JobFiles.hpp"
#include "support/TempDir.hpp"

using namespace kiv;
using namespace kivtest;
namespace fs = std::filesystem;

namespace {

// Closes the file and returns the path it was published under.
fs::path Published(OutputRef out) {
    fs::path file;
    EXPECT_EQ(Output_Close(std::move(out), &file), 0);
    return file;
}

// Writes pages of `height` lines: blank, then content lines of the three kinds in turn.
// Returns the lines written, in order.
std::vector<Bytes> WritePages(OutputRecord &out, int16_t format, int width, int height, int pages) {
    std::mt19937 rng(format * 1000 + width);
    std::vector<Bytes> lines;
    for (int p = 0; p < pages; ++p) {
        EXPECT_EQ(Output_AddPage(out), 0);
        for (int y = 0; y < height; ++y) {
            if (y % 4 == 0) {
                EXPECT_EQ(Output_WriteBlankLine(out), 0);
                lines.push_back(BlankLine(format, width));
            } else {
                lines.push_back(ContentLine(format, width, y + p, rng));
                EXPECT_EQ(Output_WriteLine(out, lines.back().data()), 0);
            }
        }
    }
    return lines;
}

class VAD3OutputTest : public ::testing::Test {
protected:
    OutputRef Create(int16_t format, int width, int height, const char *jobName = "Job",
                     std::optional<std::string> fileName = std::nullopt) {
        OutputRef out;
        EXPECT_EQ(
            Output_Create(dir_.path(), fileName, jobName, Geometry(width, height), Format(format, width, height), out),
            0);
        return out;
    }
    TempDir dir_;
};

}  // namespace

TEST_F(VAD3OutputTest, EveryPixelFormatAndTinyWidthReadsBackPixelForPixel) {
    for (int16_t format : kAllPixelFormats) {
        for (int width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 37}) {
            const std::string job = "Job" + std::to_string(format) + "_" + std::to_string(width);
            OutputRef out = Create(format, width, 7, job.c_str());
            ASSERT_TRUE(out);
            std::vector<Bytes> lines = WritePages(*out, format, width, 7, 2);
            for (Bytes &line : lines) line = WithoutAlpha(line, format);
            const fs::path file = Published(std::move(out));
            VAD3Header h;
            EXPECT_EQ(JobLines(file, &h), lines);
            VAD3Reader reader;
            ASSERT_EQ(reader.Open(file), "");
            EXPECT_EQ(
                std::vector<int>({h.width, h.height, h.pixelFormat, h.pageCount, h.copies, h.collate, h.greyscale}),
                std::vector<int>({width, 7, format, 2, 2, 1, format == 8}));
            EXPECT_EQ(std::vector<uint32_t>({h.hResolution, h.vResolution}), std::vector<uint32_t>(2, 300u << 16));
            Plist trailer;
            ASSERT_EQ(reader.ReadTrailer(trailer), "");
            EXPECT_EQ(*StringValue(DictGet(trailer.get(), "KIVPrinterDriver_JobName")), job);
            EXPECT_EQ(*StringValue(DictGet(trailer.get(), "KIVPrinterDriver_PageName")), "A3");
            EXPECT_EQ(StringValue(DictGet(trailer.get(), "KIVPrinterDriver_UUID"))->size(), 36u);
        }
    }
}

TEST_F(VAD3OutputTest, NoiseIsStoredRawAndUniformLinesEncoded) {
    OutputRef out = Create(33, 100, 2);
    std::mt19937 rng(3);
    Output_AddPage(*out);
    Bytes noise = ContentLine(33, 100, 1, rng), flat = ContentLine(33, 100, 0, rng);
    Output_WriteLine(*out, noise.data());
    Output_WriteLine(*out, flat.data());
    const fs::path file = Published(std::move(out));
    const std::string bytes = ReadFile(file);
    EXPECT_EQ(LoadBigEndian(reinterpret_cast<const uint8_t *>(bytes.data()) + 64, 4), 400u);
    EXPECT_EQ(LoadBigEndian(reinterpret_cast<const uint8_t *>(bytes.data()) + 64 + 4 + 400, 4), 16u);  // 12 + 4
}

TEST_F(VAD3OutputTest, BlankLinesThatWouldLookRawAreStoredRaw) {
    // Grey 8 pixels, 4-byte 4 pixels, 8-byte 3 pixels: a blank encoding's length word would
    // equal the line size.
    for (auto [format, width] : {std::pair<int16_t, int>{8, 8}, {32, 4}, {33, 4}, {34, 3}, {64, 3}}) {
        OutputRef out = Create(format, width, 1, ("B" + std::to_string(format)).c_str());
        Output_AddPage(*out);
        Output_WriteBlankLine(*out);
        const fs::path file = Published(std::move(out));
        VAD3Reader reader;
        ASSERT_EQ(reader.Open(file), "");
        Bytes pixels;
        LineKind kind;
        ASSERT_EQ(reader.ReadLine(pixels, &kind), "");
        EXPECT_EQ(kind, LineKind::Raw) << format;
        EXPECT_EQ(pixels, BlankLine(format, width)) << format;
    }
}

TEST_F(VAD3OutputTest, AbandonedFilesLeaveNothingAndWhatCannotBeWrittenIsRefused) {
    OutputRef killed = Create(32, 50, 3);
    WritePages(*killed, 32, 50, 3, 2);
    Output_Kill(std::move(killed));
    {
        OutputRef dropped = Create(32, 50, 3);
        WritePages(*dropped, 32, 50, 3, 1);
    }
    EXPECT_TRUE(FolderEntries(dir_.path()).empty());
    // The hundred names a job may take all taken: refused before anything is written.
    for (int i = 0; i <= 99; ++i)
        WriteFile(dir_ / ((i ? "Same_" + std::to_string(100 + i).substr(1) : "Same") + ".vad3"), "x");
    OutputRef out;
    EXPECT_EQ(Output_Create(dir_.path(), std::nullopt, "Same", Geometry(4, 1), Format(8, 4, 1), out), -1);
    EXPECT_EQ(Output_Create(dir_.path(), std::nullopt, "J", Geometry(10, 10), Format(16, 10, 10), out), -50);
    EXPECT_EQ(Output_Create(dir_.path(), std::nullopt, "J", Geometry(0, 10), Format(8, 0, 10), out), -50);
    EXPECT_EQ(Output_Create(dir_ / "missing", std::nullopt, "J", Geometry(10, 10), Format(8, 10, 10), out), -1);
    // A line beyond 256 MiB (30 million 12-byte pixels) is refused before anything is allocated.
    EXPECT_EQ(Output_Create(dir_.path(), std::nullopt, "J", Geometry(30'000'000, 1), Format(35, 30'000'000, 1), out),
              -108);
    EXPECT_FALSE(out);
    EXPECT_EQ(FolderEntries(dir_.path()).size(), 100u);
}

TEST_F(VAD3OutputTest, LineWritesReportTheStickyError) {
    FileIOFake fake;
    FileIOFake::failFrom = 1;
    FileIOFake::failErrno = EIO;
    OutputRef out = Create(33, 1000, 1000);
    Output_AddPage(*out);
    std::mt19937 rng(1);
    const Bytes noise = ContentLine(33, 1000, 1, rng);
    int16_t e = 0;
    // More than the 32 blocks in flight, so that the producer must take back a block the
    // writer has already failed on.
    for (int y = 0; y < 1000 && e == 0; ++y) e = Output_WriteLine(*out, noise.data());
    EXPECT_EQ(e, EIO);
    EXPECT_EQ(Output_WriteBlankLine(*out), EIO);
    EXPECT_EQ(Output_Close(std::move(out)), EIO);
    EXPECT_TRUE(FolderEntries(dir_.path()).empty());
}

TEST_F(VAD3OutputTest, PageCountStopsAt65535) {
    OutputRef out = Create(8, 4, 0);
    for (int i = 0; i < 65535; ++i) ASSERT_EQ(Output_AddPage(*out), 0);
    EXPECT_EQ(Output_AddPage(*out), EFBIG);
    const fs::path file = Published(std::move(out));
    VAD3Reader reader;
    ASSERT_EQ(reader.Open(file), "");
    EXPECT_EQ(reader.header().pageCount, 65535);
    EXPECT_EQ(VerifyVAD3(file), "");  // pages of height 0
}

TEST_F(VAD3OutputTest, TrailerHoldsTheMetadataForAnyXmlReader) {
    OutputRef out = Create(8, 4, 1, "Job \x01\x1b[31m with \xFF bytes");
    Output_AddPage(*out);
    Output_WriteBlankLine(*out);
    EXPECT_EQ(Output_SetMetadata(*out, "Count", MakeInteger(-3).get()), 0);
    EXPECT_EQ(Output_SetMetadata(*out, "Count", MakeInteger(4).get()), 0);
    EXPECT_EQ(Output_SetMetadata(*out, "Offset", MakeReal(-279.99266666666665).get()), 0);
    EXPECT_EQ(Output_SetMetadata(*out, nullptr, MakeInteger(4).get()), -50);
    EXPECT_EQ(Output_SetMetadata(*out, "Null", nullptr), -50);
    EXPECT_EQ(Output_SetProfile(*out, nullptr), -50);
    const char icc[] = "icc\0profile";
    EXPECT_EQ(Output_SetProfile(*out, MakeData(icc, sizeof icc).get()), 0);  // after the last line
    const fs::path file = Published(std::move(out));

    VAD3Reader reader;
    ASSERT_EQ(reader.Open(file), "");
    const std::string bytes = ReadFile(file);
    const auto offset = reader.header().trailerOffset;
    const auto length = LoadBigEndian(reinterpret_cast<const uint8_t *>(bytes.data()) + offset, 4);
    WriteFile(dir_ / "trailer.plist", bytes.substr(offset + 4, length));
    const std::string python = RunPython(
        "import plistlib, sys\n"
        "d = plistlib.load(open(sys.argv[1], 'rb'))\n"
        "print(ascii(d['KIVPrinterDriver_JobName']), d['Count'], repr(d['Offset']), "
        "d['KIVPrinterDriver_ICCProfile'])\n",
        dir_ / "trailer.plist");
    EXPECT_EQ(python, "'Job \\ufffd\\ufffd[31m with \\ufffd bytes' 4 -279.99266666666665 b'icc\\x00profile\\x00'\n");
}

TEST_F(VAD3OutputTest, FinishedFilesCarryTypeAndCreator) {
    OutputRef out = Create(8, 4, 1);
    const fs::path file = Published(std::move(out));
    char info[32];
    if (::getxattr(file.c_str(), "user.com.apple.FinderInfo", info, 32) != 32) GTEST_SKIP() << "no user xattrs";
    EXPECT_EQ(std::string(info, 8), "VAD3RIR2");
    EXPECT_EQ(Output_Creator(), 0x52495232u);
    EXPECT_EQ(Output_FileType(), 0u);
}
