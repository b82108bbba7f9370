// Scanline converters: the formulas and the stepping.
#include <gtest/gtest.h>

#include <vector>

#include "raster/ScanlineConverters.hpp"

using namespace kiv;
using Bytes = std::vector<uint8_t>;

namespace {

// Source columns read for a span, from a row whose pixel i is the byte i.
std::vector<int> Columns(ScalePair start, ScalePair step, int32_t denominator, int32_t count) {
    Bytes row(64);
    for (int i = 0; i < 64; ++i) row[i] = static_cast<uint8_t>(i);
    Bytes line(count > 0 ? count : 1, 0xEE);
    EXPECT_EQ(ScaleLine_8(row.data(), start, step, denominator, 0, count, line.data()), 0);
    return std::vector<int>(line.begin(), line.begin() + std::max(count, 0));
}

Bytes Cmyk(uint8_t c, uint8_t m, uint8_t y, uint8_t k, ScaleLineProc proc, std::size_t outSize) {
    const Bytes src = {c, m, y, k};
    Bytes out(outSize, 0xEE);
    proc(src.data(), ScalePair{0, 0}, ScalePair{1, 0}, 1, 0, 1, out.data());
    return out;
}

}  // namespace

TEST(Converters, SteppingEnlargesReducesAndOffsets) {
    EXPECT_EQ(Columns({0, 0}, {0, 3}, 5, 5), (std::vector<int>{0, 0, 1, 1, 2}));
    EXPECT_EQ(Columns({0, 0}, {2, 1}, 2, 2), (std::vector<int>{0, 2}));
    EXPECT_EQ(Columns({7, 0}, {1, 0}, 1, 4), (std::vector<int>{7, 8, 9, 10}));
    EXPECT_EQ(Columns({3, 2}, {1, 1}, 3, 4), (std::vector<int>{3, 5, 6, 7}));  // (3+2/3) + i·(4/3)
    Bytes row(8, 1), line(4, 0xEE);
    EXPECT_EQ(ScaleLine_32(row.data(), {0, 0}, {1, 0}, 1, 0, 0, line.data()), 0);
    EXPECT_EQ(ScaleLine_32(row.data(), {0, 0}, {1, 0}, 1, 0, -3, line.data()), 0);
    EXPECT_EQ(line, Bytes(4, 0xEE));
}

TEST(Converters, WideCopiesKeepEveryByteAndTheDestinationOffset) {
    Bytes row(5 * 12);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i);
    Bytes line(6 * 12, 0);
    ScaleLine_96(row.data(), {1, 0}, {2, 0}, 1, 3, 2, line.data());
    EXPECT_EQ(Bytes(line.begin() + 36, line.begin() + 48), Bytes(row.begin() + 12, row.begin() + 24));
    EXPECT_EQ(Bytes(line.begin() + 48, line.begin() + 60), Bytes(row.begin() + 36, row.begin() + 48));
    EXPECT_EQ(Bytes(line.begin(), line.begin() + 36), Bytes(36, 0));
    Bytes eight(3 * 8);
    for (std::size_t i = 0; i < eight.size(); ++i) eight[i] = static_cast<uint8_t>(100 + i);
    Bytes out(3 * 8);
    ScaleLine_64(eight.data(), {0, 0}, {1, 0}, 1, 0, 3, out.data());
    EXPECT_EQ(out, eight);
}

TEST(Converters, Formulas) {
    EXPECT_EQ(Cmyk(10, 200, 30, 255, ScaleLine_CMYKToGrey, 1), Bytes{255});
    EXPECT_EQ(Cmyk(255, 0, 0, 0, ScaleLine_CMYKToGrey, 1), Bytes{79});
    EXPECT_EQ(Cmyk(0, 255, 0, 0, ScaleLine_CMYKToGrey, 1), Bytes{143});
    EXPECT_EQ(Cmyk(0, 0, 255, 0, ScaleLine_CMYKToGrey, 1), Bytes{31});
    EXPECT_EQ(Cmyk(0, 0, 0, 0, ScaleLine_CMYKToGrey, 1), Bytes{0});
    EXPECT_EQ(Cmyk(0, 0, 0, 0, ScaleLine_CMYKToRGB, 4), (Bytes{255, 255, 255, 255}));
    EXPECT_EQ(Cmyk(0, 0, 0, 255, ScaleLine_CMYKToRGB, 4), (Bytes{255, 0, 0, 0}));
    EXPECT_EQ(Cmyk(128, 0, 0, 128, ScaleLine_CMYKToRGB, 4)[1], 64);

    Bytes white = {255, 255, 255, 255}, green0 = {9, 200, 0, 100}, out(1);
    ScaleLine_Grey(white.data(), {0, 0}, {1, 0}, 1, 0, 1, out.data());
    EXPECT_EQ(out[0], 0);
    ScaleLine_Grey(green0.data(), {0, 0}, {1, 0}, 1, 0, 1, out.data());
    EXPECT_EQ(out[0], 255);
}

TEST(Converters, Erasers) {
    Bytes line(26, 0x55);
    EraseLineRGB96(line.data(), 2);
    EXPECT_EQ(Bytes(line.begin(), line.begin() + 12), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(line.begin() + 12, line.begin() + 24), Bytes(line.begin(), line.begin() + 12));
    EXPECT_EQ(line[24], 0x55);
    Bytes untouched(12, 0x55);
    EraseLineRGB96(untouched.data(), 0);
    EraseLineCMYK96(untouched.data(), -1);
    EXPECT_EQ(untouched, Bytes(12, 0x55));
    Bytes rgb(9, 0);
    EraseLineRGB(rgb.data(), 2);
    EXPECT_EQ(rgb, (Bytes{255, 255, 255, 255, 255, 255, 255, 255, 0}));
    Bytes zeros(17, 0x55);
    EraseLine_64(zeros.data(), 2);
    EXPECT_EQ(zeros[15], 0);
    EXPECT_EQ(zeros[16], 0x55);
}
