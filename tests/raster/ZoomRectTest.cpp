// Band scaling through a recording line sink.
#include <gtest/gtest.h>

#include <vector>

#include "raster/ZoomRect.hpp"

using namespace kiv;
using Bytes = std::vector<uint8_t>;

namespace {

// A bitmap of 16-bit pixels would not fit the 1-byte converters, so each grey source pixel
// holds a code: row × 16 + column (rows and columns below 16).
struct Band {
    Band(int top, int left, int rows, int cols) : pixels(static_cast<std::size_t>(rows) * cols) {
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) pixels[r * cols + c] = static_cast<uint8_t>((top + r) * 16 + left + c);
        bitmap =
            HostBitmap{pixels.data(), LongRect{top, left, top + rows, left + cols}, static_cast<uint32_t>(cols), 8};
    }
    Bytes pixels;
    HostBitmap bitmap;
};

struct Recorder {
    std::vector<Bytes> lines;
    int failAt = -1;  // 0-based line whose write fails
    uint32_t width = 0;
    static int16_t Write(void *refCon, const void *line) {
        auto *self = static_cast<Recorder *>(refCon);
        const auto *p = static_cast<const uint8_t *>(line);
        self->lines.emplace_back(p, p + self->width);
        return static_cast<int>(self->lines.size()) - 1 == self->failAt ? -36 : 0;
    }
};

std::vector<Bytes> Zoom(const Band &band, LongRect src, LongRect dst, LongRect clip, uint32_t width,
                        int16_t *status = nullptr, int failAt = -1) {
    Recorder recorder;
    recorder.width = width;
    recorder.failAt = failAt;
    Bytes buffer(width, 0xEE);
    ZoomProcs procs{Recorder::Write, ScaleLine_8, EraseLine_8, buffer.data(), width, &recorder};
    const int16_t s = ZoomRect(band.bitmap, src, dst, clip, procs);
    if (status) *status = s;
    return recorder.lines;
}

uint8_t Code(int row, int col) { return static_cast<uint8_t>(row * 16 + col); }

}  // namespace

TEST(ZoomRect, SameSizeCopiesPixelForPixel) {
    Band band(2, 3, 4, 5);
    const LongRect src{2, 3, 6, 8}, dst{10, 1, 14, 6};
    const auto lines = Zoom(band, src, dst, dst, 8);
    ASSERT_EQ(lines.size(), 4u);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(lines[y][0], 0);  // blank outside the clip
        for (int x = 0; x < 5; ++x) EXPECT_EQ(lines[y][1 + x], Code(2 + y, 3 + x));
        EXPECT_EQ(lines[y][6], 0);
    }
}

TEST(ZoomRect, EnlargingRepeatsAndReducingDrops) {
    Band band(0, 0, 4, 4);
    const auto big = Zoom(band, {0, 0, 4, 4}, {0, 0, 8, 8}, {0, 0, 8, 8}, 8);
    ASSERT_EQ(big.size(), 8u);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(big[y][x], Code(y / 2, x / 2));
    const auto small = Zoom(band, {0, 0, 4, 4}, {0, 0, 2, 2}, {0, 0, 2, 2}, 2);
    ASSERT_EQ(small.size(), 2u);
    EXPECT_EQ(small[1], (Bytes{Code(2, 0), Code(2, 2)}));
    // Three rows onto seven lines: nearest-lower rows 0,0,0,1,1,2,2.
    const auto odd = Zoom(band, {0, 0, 3, 1}, {0, 0, 7, 1}, {0, 0, 7, 1}, 1);
    std::vector<int> rows;
    for (const Bytes &l : odd) rows.push_back(l[0] / 16);
    EXPECT_EQ(rows, (std::vector<int>{0, 0, 0, 1, 1, 2, 2}));
}

TEST(ZoomRect, ClippingSelectsWhatTheWholeBandWouldShow) {
    Band band(0, 0, 10, 10);
    const LongRect src{0, 0, 10, 10}, dst{0, 0, 15, 15};
    const auto whole = Zoom(band, src, dst, dst, 15);
    const auto clipped = Zoom(band, src, dst, {4, 3, 15, 11}, 15);
    ASSERT_EQ(clipped.size(), 11u);
    for (int y = 0; y < 11; ++y)
        for (int x = 3; x < 11; ++x) EXPECT_EQ(clipped[y][x], whole[y + 4][x]) << y << "," << x;
    EXPECT_EQ(clipped[0][2], 0);
}

TEST(ZoomRect, StopsAtTheFirstFailureAndErasesEvenWhenEmpty) {
    Band band(0, 0, 5, 5);
    int16_t status = 0;
    const auto lines = Zoom(band, {0, 0, 5, 5}, {0, 0, 5, 5}, {0, 0, 5, 5}, 5, &status, 2);
    EXPECT_EQ(status, -36);
    EXPECT_EQ(lines.size(), 3u);

    Bytes buffer(4, 0xEE);
    Recorder recorder;
    ZoomProcs procs{Recorder::Write, ScaleLine_8, EraseLine_8, buffer.data(), 4, &recorder};
    EXPECT_EQ(ZoomRect(band.bitmap, {0, 0, 5, 5}, {0, 0, 5, 5}, {3, 0, 3, 4}, procs), 0);
    EXPECT_EQ(buffer, Bytes(4, 0));
    EXPECT_TRUE(recorder.lines.empty());
}

TEST(ZoomRect, RectanglesAndScale) {
    LongRect out{9, 9, 9, 9};
    EXPECT_FALSE(SectLongRects({0, 0, 10, 10}, {0, 10, 10, 20}, out));
    EXPECT_EQ(out.top + out.left + out.bottom + out.right, 0);
    LongRect a{0, 0, 10, 10};
    EXPECT_TRUE(SectLongRects(a, {5, -5, 20, 7}, a));
    EXPECT_EQ(a.top, 5);
    EXPECT_EQ(a.left, 0);
    EXPECT_EQ(a.bottom, 10);
    EXPECT_EQ(a.right, 7);
    EXPECT_EQ(Scale(7, 3, 2).whole, 10);
    EXPECT_EQ(Scale(7, 3, 2).remainder, 1);
    EXPECT_EQ(Scale(-7, 3, 2).whole, -10);
    EXPECT_EQ(Scale(-7, 3, 2).remainder, -1);
}
