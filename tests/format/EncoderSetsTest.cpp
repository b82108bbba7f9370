// Every encoder set (the scalar one included) encodes each line in the fewest records an
// independent run count allows, decodes back to the line and gives up one byte short of the
// budget rule; the vector sets write exactly the scalar set's bytes for every budget from none
// to more than the line needs, and never write past the budget. Lines are random, adversarial and
// page-like, of every pixel size, widths 1 to 70 and beyond; lines are allocated to their exact
// size, so that the sanitizers catch a read outside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include <kiv/VAD3Codecs.h>

#include "format/Codecs.hpp"

using namespace kiv;

namespace {

using Bytes = std::vector<uint8_t>;
using Member = StuffProc LineEncoderSet::*;

struct Size {
    const char *name;
    Member stuff;
    std::size_t pixel, record;
    DecompressProc decode;
    bool clearsFirstByte;  // StuffRGB32 ignores and zeroes each pixel's first byte
};

const Size kSizes[] = {{"Stuff8", &LineEncoderSet::stuff8, 1, 2, Decompress8, false},
                       {"Stuff32", &LineEncoderSet::stuff32, 4, 6, Decompress32, false},
                       {"StuffRGB32", &LineEncoderSet::stuffRGB32, 4, 6, Decompress32, true},
                       {"Stuff64", &LineEncoderSet::stuff64, 8, 10, Decompress64, false},
                       {"Stuff96", &LineEncoderSet::stuff96, 12, 14, Decompress96, false}};

// Records a line needs: its runs, each split at the maximum count.
std::size_t RecordsNeeded(const Size &size, const uint8_t *line, std::size_t width) {
    const std::size_t max = size.pixel == 1 ? 255 : 65535, first = size.clearsFirstByte ? 1 : 0;
    std::size_t records = 0, run = 0;
    for (std::size_t i = 0; i < width; ++i, ++run) {
        if (i == 0 || run == max ||
            !std::equal(line + i * size.pixel + first, line + (i + 1) * size.pixel,
                        line + (i - 1) * size.pixel + first))
            ++records, run = 0;
    }
    return records;
}

// The fewest records, the zero terminator, the budget rule (a record to spare) and the
// decoded pixels.
void ExpectModelEncoding(const LineEncoderSet &set, const Size &size, const uint8_t *line, std::size_t width) {
    const std::size_t k = RecordsNeeded(size, line, width), budget = (k + 2) * size.record;
    Bytes out(budget);
    ASSERT_EQ((set.*size.stuff)(line, width, out.data(), budget - 1), 0u) << set.name << " " << size.name << width;
    ASSERT_EQ((set.*size.stuff)(line, width, out.data(), budget), (k + 1) * size.record)
        << set.name << " " << size.name << " width " << width;
    EXPECT_TRUE(std::all_of(out.end() - 2 * size.record, out.end() - size.record, [](uint8_t b) { return !b; }));
    Bytes decoded(width * size.pixel, 0xAA), expected(line, line + width * size.pixel);
    for (std::size_t i = 0; size.clearsFirstByte && i < width; ++i) expected[i * size.pixel] = 0;
    ASSERT_EQ(size.decode(out.data(), decoded.data(), (k + 1) * size.record, width), 0);
    ASSERT_EQ(decoded, expected) << set.name << " " << size.name << " width " << width;
}

// A pixel of colour v, with every byte position depending on v.
void Put(Bytes &line, std::size_t pixel, std::size_t i, unsigned v) {
    for (std::size_t b = 0; b < pixel; ++b) line[i * pixel + b] = static_cast<uint8_t>(v * 37 + b * (v + 1));
}

// Lines of `width` pixels where colour(i) gives pixel i's colour.
template <class Colour>
Bytes Line(std::size_t pixel, std::size_t width, Colour colour) {
    Bytes line(width * pixel);
    for (std::size_t i = 0; i < width; ++i) Put(line, pixel, i, colour(i));
    return line;
}

std::vector<Bytes> Lines(std::size_t pixel) {
    std::mt19937 rng(static_cast<unsigned>(pixel));
    std::vector<Bytes> lines;
    for (std::size_t width = 1; width <= 70; ++width)
        for (unsigned values : {1u, 2u, 3u, 50u})
            lines.push_back(Line(pixel, width, [&](std::size_t) { return rng() % values; }));
    // Runs of exactly the maximum counts and one more, and a change at every block boundary
    // of every vector width (a new colour at pixels 1 + k·n).
    for (std::size_t run : {254, 255, 256, 511, 65535, 65536})
        lines.push_back(Line(pixel, run + 3, [&](std::size_t i) { return i < run ? 1u : 2u; }));
    for (std::size_t n : {2, 4, 8, 16, 32, 64})
        for (std::size_t offset : {std::size_t{0}, std::size_t{1}, n - 1})
            lines.push_back(Line(pixel, 5 * n + 3, [&](std::size_t i) { return unsigned((i + offset) / n); }));
    // The same kind of line at every alignment (each line starts 7 bytes on from the one before),
    // so that blocks full of records end where the line ends.
    for (int k = 0; k < 64; ++k) lines.push_back(Line(pixel, 200, [&](std::size_t) { return rng() % 3; }));
    // Pixels that differ in one byte only, at each byte position (the first one does not
    // count for StuffRGB32).
    for (std::size_t b = 0; b < pixel; ++b) {
        Bytes line(100 * pixel, 0x40);
        for (std::size_t i = 3; i < 100; i += 7) line[i * pixel + b] ^= 1;
        lines.push_back(line);
    }
    // A page's kinds of line, 3307 pixels wide: white, text, a gradient, noise.
    const std::size_t w = 3307;
    lines.push_back(Line(pixel, w, [](std::size_t) { return 0u; }));
    lines.push_back(Line(pixel, w, [&](std::size_t i) { return i > 150 && i < 3150 && rng() % 7 < 3 ? 1u : 0u; }));
    lines.push_back(Line(pixel, w, [](std::size_t i) { return unsigned(i * 255 / 3307); }));
    lines.push_back(Line(pixel, w, [&](std::size_t) { return unsigned(rng()); }));
    return lines;
}

}  // namespace

TEST(EncoderSets, EncodeAsFewRecordsAsTheRunsNeedInTheScalarSetsBytes) {
    const LineEncoderSet &scalar = ScalarLineEncoders();
    ASSERT_EQ(AvailableLineEncoders().front(), &scalar);
    for (const LineEncoderSet *set : AvailableLineEncoders()) {
        for (const Size &size : kSizes) {
            std::size_t shift = 0;
            for (const Bytes &source : Lines(size.pixel)) {
                const std::size_t width = source.size() / size.pixel;
                // The line ends where its allocation ends, starting at every offset from a
                // cache line in turn (the sets align their loads to cache lines).
                shift = (shift + 7) % 64;
                const auto storage = std::make_unique<uint8_t[]>(source.size() + shift);
                uint8_t *line = storage.get() + shift;
                std::copy(source.begin(), source.end(), line);
                ExpectModelEncoding(*set, size, line, width);
                if (set == &scalar) continue;
                Bytes want(width * size.record + 2 * size.record);
                const std::size_t needed = (scalar.*size.stuff)(line, width, want.data(), want.size());
                // No records, a few, one byte either side of just enough, the line's own size.
                std::vector<std::size_t> budgets = {
                    0,          2 * size.record, 3 * size.record, 4 * size.record - 1, source.size(), source.size() - 8,
                    want.size()};
                if (needed) budgets.insert(budgets.end(), {needed + size.record - 1, needed + size.record});
                for (const std::size_t budget : budgets) {
                    if (budget > want.size()) continue;
                    const std::size_t expected = (scalar.*size.stuff)(line, width, want.data(), budget);
                    // Guard bytes past the budget: nothing may be written there, in any build.
                    const auto out = std::make_unique<uint8_t[]>(budget + 128);
                    std::fill(out.get(), out.get() + budget + 128, 0xA5);
                    const std::size_t got = (set->*size.stuff)(line, width, out.get(), budget);
                    ASSERT_EQ(got, expected)
                        << set->name << " " << size.name << " width " << width << " budget " << budget;
                    ASSERT_TRUE(
                        std::equal(out.get(), out.get() + got, want.data()) &&
                        std::all_of(out.get() + budget, out.get() + budget + 128, [](uint8_t b) { return b == 0xA5; }))
                        << set->name << " " << size.name << " width " << width << " budget " << budget;
                }
            }
        }
    }
}

TEST(EncoderSets, ConvertToTheScalarSetsDensities) {
    std::mt19937 rng(5);
    for (const LineEncoderSet *set : AvailableLineEncoders().subspan(1)) {
        for (std::size_t pixels : {0, 1, 15, 16, 17, 63, 64, 65, 200, 3307}) {
            const auto argb = std::make_unique<uint8_t[]>(4 * pixels);
            for (std::size_t i = 0; i < 4 * pixels; ++i) argb[i] = static_cast<uint8_t>(rng());
            const auto want = std::make_unique<uint8_t[]>(pixels), got = std::make_unique<uint8_t[]>(pixels);
            ScalarLineEncoders().densityFromArgb(argb.get(), pixels, want.get());
            set->densityFromArgb(argb.get(), pixels, got.get());
            EXPECT_TRUE(std::equal(got.get(), got.get() + pixels, want.get())) << set->name << " " << pixels;
        }
    }
}

TEST(EncoderSets, KIV_LINE_ENCODERSChoosesAmongThoseThisProcessorRuns) {
    std::string message;
    const auto sets = AvailableLineEncoders();
    EXPECT_EQ(&ChooseLineEncoders(nullptr, message), sets.back());
    EXPECT_EQ(&ChooseLineEncoders("", message), sets.back());
    for (const LineEncoderSet *set : sets) {
        EXPECT_EQ(&ChooseLineEncoders(set->name, message), set);
        EXPECT_EQ(message, "");
    }
    EXPECT_EQ(&ChooseLineEncoders("mmx", message), sets.back());
    EXPECT_EQ(message,
              std::string("KIV_LINE_ENCODERS=mmx: no such set (scalar, sse, avx2, avx512, avx512vbmi); using ") +
                  sets.back()->name);
}
