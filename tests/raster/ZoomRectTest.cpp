// Band scaling's edges through a recording line sink; the scaling itself is checked page by
// page against an independent model by the printing tests.
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

}  // namespace

TEST(ZoomRect, StopsAtTheFirstFailureAndErasesEvenWhenEmpty) {
    Band band(0, 0, 5, 5);
    Bytes buffer(5, 0xEE);
    Recorder recorder{{}, 2, 5};
    ZoomProcs procs{Recorder::Write, ScaleLine_8, EraseLine_8, buffer.data(), 5, &recorder};
    EXPECT_EQ(ZoomRect(band.bitmap, {0, 0, 5, 5}, {0, 0, 5, 5}, {0, 0, 5, 5}, procs), -36);
    EXPECT_EQ(recorder.lines.size(), 3u);

    recorder = Recorder{{}, -1, 4};
    buffer.assign(5, 0xEE);
    procs.lineWidth = 4;
    EXPECT_EQ(ZoomRect(band.bitmap, {0, 0, 5, 5}, {0, 0, 5, 5}, {3, 0, 3, 4}, procs), 0);
    EXPECT_EQ(buffer, (Bytes{0, 0, 0, 0, 0xEE}));
    EXPECT_TRUE(recorder.lines.empty());
}

TEST(ZoomRect, RectanglesAndScale) {
    LongRect out{9, 9, 9, 9};
    EXPECT_FALSE(SectLongRects({0, 0, 10, 10}, {0, 10, 10, 20}, out));
    EXPECT_EQ(out.top + out.left + out.bottom + out.right, 0);
    LongRect a{0, 0, 10, 10};
    EXPECT_TRUE(SectLongRects(a, {5, -5, 20, 7}, a));
    EXPECT_EQ(std::vector<int32_t>({a.top, a.left, a.bottom, a.right}), std::vector<int32_t>({5, 0, 10, 7}));
    EXPECT_EQ(Scale(7, 3, 2).whole, 10);
    EXPECT_EQ(Scale(7, 3, 2).remainder, 1);
    EXPECT_EQ(Scale(-7, 3, 2).whole, -10);
    EXPECT_EQ(Scale(-7, 3, 2).remainder, -1);
}
