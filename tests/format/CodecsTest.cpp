// Line codecs through the exported interface: exact encodings, blank lines and malformed
// input (the encoder sets' round trips and budget rule are checked with the sets).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include <kiv/VAD3Codecs.h>

#include "format/Codecs.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

// Each decoder and its pixel size.
const std::pair<int (*)(const void *, void *, size_t, size_t), std::size_t> kDecoders[] = {
    {Decompress8, 1}, {Decompress32, 4}, {Decompress64, 8}, {Decompress96, 12}};

}  // namespace

TEST(Codecs, ExactEncodings) {
    Bytes grey(300, 7), out(1000);
    ASSERT_EQ(Stuff8(grey.data(), 300, out.data(), 1000), 6u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), (Bytes{7, 255, 7, 45, 0, 0}));

    Bytes wide(65536 * 4, 0x11);
    ASSERT_EQ(Stuff32(wide.data(), 65536, out.data(), 1000), 18u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 18),
              (Bytes{0xFF, 0xFF, 0x11, 0x11, 0x11, 0x11, 0, 1, 0x11, 0x11, 0x11, 0x11, 0, 0, 0, 0, 0, 0}));

    Bytes alternating(100 * 4);
    for (std::size_t i = 0; i < 100; ++i) alternating[i * 4] = i % 2;
    EXPECT_EQ(Stuff32(alternating.data(), 100, out.data(), 392), 0u);

    const Bytes one = {1, 2, 3, 4};
    EXPECT_EQ(Stuff32(one.data(), 1, out.data(), 18), 12u);
    EXPECT_EQ(Stuff32(one.data(), 1, out.data(), 17), 0u);
    EXPECT_EQ(Stuff32(one.data(), 0, out.data(), 100), 0u);

    const Bytes rgb = {0x00, 0x10, 0x20, 0x30, 0x7F, 0x10, 0x20, 0x30};
    ASSERT_EQ(StuffRGB32(rgb.data(), 2, out.data(), 100), 12u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), (Bytes{0, 2, 0x00, 0x10, 0x20, 0x30}));
    EXPECT_EQ(Stuff32(rgb.data(), 2, out.data(), 100), 18u);

    // 12-byte pixels that differ only in their last byte are two runs.
    Bytes twelve(24, 5);
    twelve[23] = 6;
    EXPECT_EQ(Stuff96(twelve.data(), 2, out.data(), 100), 42u);
}

TEST(Codecs, BlankLines) {
    Bytes out(64);
    ASSERT_EQ(Blank8(600, out.data()), 8u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), (Bytes{0, 255, 0, 255, 0, 90, 0, 0}));
    std::fill(out.begin(), out.end(), 0xEE);
    ASSERT_EQ(Blank32(0, 0xFFFFFFFF, out.data()), 6u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), Bytes(6, 0));
    ASSERT_EQ(Blank32(65536, 0xFFFFFFFF, out.data()), 18u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    ASSERT_EQ(Blank96(3, 0xFFFFFFFF, out.data()), 28u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 14), (Bytes{0, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(Blank64(1, out.data()), 20u);
    Bytes pixels(8, 0xEE);
    EXPECT_EQ(Decompress64(out.data(), pixels.data(), 20, 1), 0);
    EXPECT_EQ(pixels, Bytes(8, 0));
    EXPECT_EQ(WorstCaseBufferSize8(10), 20u);
    EXPECT_EQ(WorstCaseBufferSize32(10), 60u);
    EXPECT_EQ(WorstCaseBufferSize64(10), 100u);
    EXPECT_EQ(WorstCaseBufferSize96(10), 140u);
}

TEST(Codecs, DecodersRefuseCountsThatDoNotAddUp) {
    const Bytes records = {0, 2, 1, 2, 3, 4, 0, 3, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0};  // 2 + 3 pixels
    Bytes out(4 * 4, 0xEE);
    EXPECT_EQ(Decompress32(records.data(), out.data(), records.size(), 4), 999);
    // The first record's pixels were written; nothing of the one that overflows.
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), (Bytes{1, 2, 3, 4, 1, 2, 3, 4}));
    EXPECT_EQ(Bytes(out.begin() + 8, out.end()), Bytes(8, 0xEE));
    Bytes six(6 * 4);
    EXPECT_EQ(Decompress32(records.data(), six.data(), records.size(), 6), 999);
    Bytes five(5 * 4);
    EXPECT_EQ(Decompress32(records.data(), five.data(), records.size(), 5), 0);
    EXPECT_EQ(Decompress32(records.data(), five.data(), records.size() - 1, 5), 0);  // a partial record is ignored
    EXPECT_EQ(Decompress32(records.data(), five.data(), 5, 0), 0);
    EXPECT_EQ(Decompress32(records.data(), five.data(), 5, 1), 999);
    EXPECT_EQ(Decompress8(records.data(), five.data(), 1, 0), 0);

    const Bytes grey = {0, 1, 255, 1, 0, 0};
    Bytes rgb(8);
    ASSERT_EQ(Decompress8ToRGB(grey.data(), rgb.data(), grey.size(), 2), 0);
    EXPECT_EQ(rgb, (Bytes{0, 255, 255, 255, 0, 0, 0, 0}));
}

TEST(Codecs, RandomInputNeverEscapesTheBuffers) {
    std::mt19937 rng(11);
    for (int round = 0; round < 2000; ++round) {
        Bytes in(rng() % 64);
        for (auto &b : in) b = static_cast<uint8_t>(rng() % 4 == 0 ? 0 : rng());
        const std::size_t pixels = rng() % 40;
        // Guard bytes after each output: a decoder that writes past its line changes them.
        for (const auto &[decode, pixel] : kDecoders) {
            Bytes out(pixels * pixel + 64, 0xA5);
            const int r = decode(in.data(), out.data(), in.size(), pixels);
            EXPECT_TRUE(r == 0 || r == 999) << r;
            EXPECT_EQ(Bytes(out.begin() + pixels * pixel, out.end()), Bytes(64, 0xA5)) << "round " << round;
        }
        Bytes rgb(pixels * 4 + 64, 0xA5);
        Decompress8ToRGB(in.data(), rgb.data(), in.size(), pixels);
        EXPECT_EQ(Bytes(rgb.begin() + pixels * 4, rgb.end()), Bytes(64, 0xA5));
    }
}
