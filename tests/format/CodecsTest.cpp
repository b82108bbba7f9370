// Line codecs: exact encodings, round trips, the budget rule and malformed input.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include <kiv/VAD3Codecs.h>

#include "format/Codecs.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

struct Member {
    const char *name;
    std::size_t pixel, record;
    size_t (*stuff)(const void *, size_t, void *, size_t);
    int (*decode)(const void *, void *, size_t, size_t);
    bool clearsFirstByte;
};

const Member kMembers[] = {
    {"Stuff8", 1, 2, Stuff8, Decompress8, false},         {"Stuff32", 4, 6, Stuff32, Decompress32, false},
    {"StuffRGB32", 4, 6, StuffRGB32, Decompress32, true}, {"Stuff64", 8, 10, Stuff64, Decompress64, false},
    {"Stuff96", 12, 14, Stuff96, Decompress96, false},
};

// A line of width pixels drawn from `values` distinct pixels, each pixel's bytes varied so that
// every byte position matters.
Bytes Line(const Member &m, std::size_t width, unsigned values, std::mt19937 &rng) {
    Bytes line(width * m.pixel);
    for (std::size_t i = 0; i < width; ++i) {
        const unsigned v = rng() % values;
        for (std::size_t b = 0; b < m.pixel; ++b) line[i * m.pixel + b] = static_cast<uint8_t>(v * 37 + b * (v + 1));
    }
    return line;
}

// Encodes into a buffer of exactly `budget` bytes (so that any overrun is caught) and decodes.
std::size_t RoundTrip(const Member &m, const Bytes &line, std::size_t width, std::size_t budget, Bytes *decoded) {
    Bytes out(budget);
    const std::size_t n = m.stuff(line.data(), width, out.data(), budget);
    if (n == 0) return 0;
    EXPECT_LE(n, budget - m.record) << m.name;
    EXPECT_EQ(n % m.record, 0u);
    EXPECT_TRUE(std::all_of(out.begin() + n - m.record, out.begin() + n, [](uint8_t b) { return b == 0; }));
    decoded->assign(width * m.pixel, 0xAA);
    EXPECT_EQ(m.decode(out.data(), decoded->data(), n, width), 0) << m.name;
    return n;
}

// Number of records a line needs: runs, each split at the maximum count.
std::size_t RecordsNeeded(const Member &m, const Bytes &line, std::size_t width) {
    const std::size_t max = m.pixel == 1 ? 255 : 65535;
    std::size_t records = 0, run = 0;
    for (std::size_t i = 0; i < width; ++i) {
        auto same = [&](std::size_t a, std::size_t b) {
            for (std::size_t k = m.clearsFirstByte ? 1 : 0; k < m.pixel; ++k)
                if (line[a * m.pixel + k] != line[b * m.pixel + k]) return false;
            return true;
        };
        if (i == 0 || !same(i, i - 1) || run == max) {
            ++records;
            run = 0;
        }
        ++run;
    }
    return records;
}

}  // namespace

TEST(Codecs, RoundTripsAndTheBudgetRuleForEveryMember) {
    std::mt19937 rng(7);
    for (const Member &m : kMembers) {
        for (std::size_t width = 1; width <= 20; ++width) {
            for (unsigned values : {1u, 2u, 3u, 50u}) {
                const Bytes line = Line(m, width, values, rng);
                const std::size_t k = RecordsNeeded(m, line, width);
                Bytes expected = line;
                if (m.clearsFirstByte)
                    for (std::size_t i = 0; i < width; ++i) expected[i * m.pixel] = 0;
                Bytes decoded;
                // Exactly enough: k runs plus the terminator, one record short of the budget.
                const std::size_t n = RoundTrip(m, line, width, (k + 2) * m.record, &decoded);
                ASSERT_EQ(n, (k + 1) * m.record) << m.name << " width " << width;
                EXPECT_EQ(decoded, expected) << m.name << " width " << width;
                // One byte less and the encoder gives up.
                EXPECT_EQ(RoundTrip(m, line, width, (k + 2) * m.record - 1, &decoded), 0u) << m.name;
            }
        }
    }
}

TEST(Codecs, RunsSplitAtTheMaximumCount) {
    for (const Member &m : kMembers) {
        const std::size_t max = m.pixel == 1 ? 255 : 65535;
        for (std::size_t width : {max - 1, max, max + 1, 2 * max, 2 * max + 1}) {
            const Bytes line(width * m.pixel, 9);
            Bytes decoded;
            const std::size_t n = RoundTrip(m, line, width, width * m.record + 2 * m.record, &decoded);
            EXPECT_EQ(n / m.record - 1, (width + max - 1) / max) << m.name << " " << width;
            Bytes expected = line;
            if (m.clearsFirstByte)
                for (std::size_t i = 0; i < width; ++i) expected[i * m.pixel] = 0;
            EXPECT_EQ(decoded, expected);
        }
    }
}

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
        for (const Member &m : kMembers) {
            Bytes out(pixels * m.pixel);
            const int r = m.decode(in.data(), out.data(), in.size(), pixels);
            EXPECT_TRUE(r == 0 || r == 999);
        }
        Bytes rgb(pixels * 4);
        Decompress8ToRGB(in.data(), rgb.data(), in.size(), pixels);
    }
}
