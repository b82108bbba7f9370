// Page output sessions, read back from the job file they write.
#include <gtest/gtest.h>

#include <memory>
#include <span>

#include "raster/PageOutput.hpp"
#include "format/VAD3Reader.hpp"
#include "support/BandReference.hpp"
#include "support/FileIOFake.hpp"
#include "support/JobFiles.hpp"
#include "support/TempDir.hpp"

using namespace kiv;
using namespace kivtest;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 20, kHeight = 300;

// A grey band whose pixel at bitmap row r, column c is (r × 7 + c) mod 251 + 1 (never blank).
struct GreyBand {
    GreyBand(int top, int rows, int cols = kWidth) : pixels(static_cast<std::size_t>(rows) * cols) {
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) pixels[r * cols + c] = Value(top + r, c);
        bitmap = HostBitmap{pixels.data(), LongRect{top, 0, top + rows, cols}, static_cast<uint32_t>(cols), 8};
    }
    static uint8_t Value(int row, int col) { return static_cast<uint8_t>((row * 7 + col) % 251 + 1); }
    Bytes pixels;
    HostBitmap bitmap;
};

class PageOutputTest : public ::testing::Test {
protected:
    PageOutputSessionPtr Open(int16_t bandFormat = 8, int16_t lineFormat = 8) {
        PageOutputSessionPtr session;
        EXPECT_EQ(OpenDocument("Doc", std::string("doc.vad3"), Geometry(kWidth, kHeight), bandFormat, lineFormat,
                               Format(lineFormat, kWidth, kHeight), dir_.path(), session),
                  0);
        return session;
    }
    std::vector<Bytes> Lines() { return JobLines(dir_ / "doc.vad3"); }
    TempDir dir_;
};

}  // namespace

TEST_F(PageOutputTest, BadBandsAreRefusedBeforeAnythingIsWritten) {
    auto session = Open();
    OpenPage(*session);
    GreyBand band(0, 10);
    HostBitmap wrongFormat = band.bitmap;
    wrongFormat.pixelFormat = 32;
    EXPECT_EQ(PrintBits(*session, wrongFormat, {0, 0, 10, kWidth}, {50, 0, 60, kWidth}), -157);
    EXPECT_EQ(PrintBits(*session, band.bitmap, {0, 5, 10, 2}, {50, 0, 60, kWidth}), -50);        // inverted
    EXPECT_EQ(PrintBits(*session, band.bitmap, {0, 0, 11, kWidth}, {50, 0, 60, kWidth}), -50);   // below the bitmap
    EXPECT_EQ(PrintBits(*session, band.bitmap, {-1, 0, 10, kWidth}, {50, 0, 60, kWidth}), -50);  // above it
    EXPECT_EQ(PrintBits(*session, band.bitmap, {0, 0, 10, kWidth + 1}, {50, 0, 60, kWidth}), -50);
    HostBitmap narrowRows = band.bitmap, none = band.bitmap;
    narrowRows.rowBytes = kWidth - 1;
    none.baseAddr = nullptr;
    EXPECT_EQ(PrintBits(*session, narrowRows, {0, 0, 10, kWidth}, {50, 0, 60, kWidth}), -50);
    EXPECT_EQ(PrintBits(*session, none, {0, 0, 10, kWidth}, {50, 0, 60, kWidth}), -50);
    EXPECT_EQ(session->pageRect.top, 0);
    // The page goes on where it was.
    ASSERT_EQ(PrintBits(*session, band.bitmap, {0, 0, 10, kWidth}, {0, 0, 10, kWidth}), 0);
    ClosePage(*session);
    ASSERT_EQ(CloseDocument(std::move(session)), 0);
    EXPECT_EQ(Lines()[0][0], GreyBand::Value(0, 0));
}

TEST_F(PageOutputTest, OpeningRefusesWhatCannotBePrinted) {
    PageOutputSessionPtr session;
    const auto format = Format(8, kWidth, kHeight);
    EXPECT_EQ(OpenDocument("Doc", std::nullopt, Geometry(kWidth, kHeight), 16, 16, format, dir_.path(), session), -50);
    EXPECT_EQ(OpenDocument("Doc", std::nullopt, Geometry(kWidth, kHeight), 8, 8, format, std::nullopt, session), -1);
    EXPECT_EQ(OpenDocument("Doc", std::nullopt, Geometry(kWidth, kHeight), 8, 8, format, dir_ / "missing", session),
              -1);
    EXPECT_FALSE(session);
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(PageOutputTest, CmykBandsConvertToGreyAndRgbLines) {
    // Documents the driver opens only for CMYK output; the session also serves grey and RGB.
    for (int16_t lineFormat : {int16_t{8}, int16_t{32}}) {
        PageOutputSessionPtr session;
        ASSERT_EQ(OpenDocument("Doc", std::string("doc.vad3"), Geometry(160, 170), 33, lineFormat,
                               Format(lineFormat, 160, 170), dir_.path(), session),
                  0);
        const SourceImage image(80, 85, 4);
        OpenPage(*session);
        for (const BandSpec &b : UnevenBands()) {
            const HostBitmap bitmap{const_cast<uint8_t *>(image.At(0, b.srcTop)),
                                    LongRect{b.srcTop, 0, b.srcTop + b.srcRows, 80}, 320, 33};
            ASSERT_EQ(PrintBits(*session, bitmap, b.src, b.dst), 0);
        }
        ClosePage(*session);
        ASSERT_EQ(CloseDocument(std::move(session)), 0);
        const auto expected = ExpectedPage(image, UnevenBands(), 160, 170, 33, lineFormat);
        const auto lines = Lines();
        ASSERT_EQ(lines.size(), expected.size());
        for (std::size_t y = 0; y < lines.size(); ++y)
            ASSERT_EQ(lines[y], WithoutAlpha(expected[y], lineFormat)) << lineFormat << " line " << y;
    }
}

TEST_F(PageOutputTest, ShortcutsWriteTheSameFile) {
    // Whole-width unscaled bands go straight from the host's rows, and blank rows become blank
    // lines without conversion or encoding; the reference prints the same bands through the
    // line buffer. Bitmaps are allocated to their exact size, so that a read past the last
    // row is caught. The bitmaps are 170 pixels wide, the page 160; rows 30 to 69 are blank,
    // but for the last pixel the first band reads of row 35.
    const BandSpec bands[] = {{0, 40, {0, 0, 40, 160}, {0, 0, 40, 160}},            // straight
                              {40, 20, {40, 0, 60, 160}, {40, 0, 80, 160}},         // enlarged
                              {60, 40, {60, 7, 100, 167}, {80, 0, 120, 160}},       // straight, from column 7
                              {100, 10, {100, 0, 110, 150}, {120, 5, 130, 155}},    // narrower
                              {110, 40, {110, 10, 150, 170}, {130, 0, 170, 160}}};  // straight, to the end
    // A page of 6 pixels: lines too short to encode, whose blank is stored raw.
    const BandSpec narrow[] = {{0, 40, {0, 0, 40, 6}, {0, 0, 170, 6}}};
    const std::pair<int, std::span<const BandSpec>> pages[] = {{160, bands}, {6, narrow}};
    for (const int16_t format : {int16_t{8}, int16_t{32}, int16_t{33}, int16_t{64}, int16_t{36}}) {
        for (const auto &[pageWidth, specs] : pages) {
            const std::size_t pixel = BandPixelSize(format);
            SourceImage image(170, 150, static_cast<int>(pixel));
            const Bytes blank = BlankOf(format);
            for (int y = 30; y < 70; ++y)
                for (int x = 0; x < 170; ++x)
                    if (y != 35 || x != 159)
                        std::copy(blank.begin(), blank.end(), image.bytes.begin() + (y * 170 + x) * pixel);
            std::string files[2];
            for (const bool shortcuts : {true, false}) {
                PageOutputSessionPtr session;
                ASSERT_EQ(OpenDocument("Doc", std::string("doc.vad3"), Geometry(pageWidth, 170), format, format,
                                       Format(format, pageWidth, 170), dir_.path(), session),
                          0);
                // Both shortcuts are in use, or the comparison would say nothing.
                ASSERT_NE(session->zoom.writeBlankLine, nullptr);
                ASSERT_EQ(session->zoom.copiedPixelSize, pixel);
                if (!shortcuts) session->zoom.copiedPixelSize = 0, session->zoom.writeBlankLine = nullptr;
                OpenPage(*session);
                for (const BandSpec &b : specs) {
                    const std::size_t rowBytes = 170 * pixel, size = rowBytes * static_cast<std::size_t>(b.srcRows);
                    const auto rows = std::make_unique<uint8_t[]>(size);
                    std::copy(image.At(0, b.srcTop), image.At(0, b.srcTop) + size, rows.get());
                    const HostBitmap bitmap{rows.get(), LongRect{b.srcTop, 0, b.srcTop + b.srcRows, 170},
                                            static_cast<uint32_t>(rowBytes), format};
                    ASSERT_EQ(PrintBits(*session, bitmap, b.src, b.dst), 0);
                }
                ClosePage(*session);
                ASSERT_EQ(CloseDocument(std::move(session)), 0);
                VAD3Reader reader;
                ASSERT_EQ(reader.Open(dir_ / "doc.vad3"), "");
                files[shortcuts] = ReadFile(dir_ / "doc.vad3").substr(0, reader.header().trailerOffset);
                fs::remove(dir_ / "doc.vad3");
            }
            EXPECT_TRUE(files[true] == files[false]) << "format " << format << ", width " << pageWidth;
        }
    }
}
