// An independent model of what a page looks like after a series of bands: the expected
// pixels for comparing job files with, computed straight from the rules (nearest-lower
// sampling of the whole destination rectangle, page lines in order, blank where no band
// reached) without any of the driver's code.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include <kiv/KIVPrinterDriver.h>

#include "format/PixelFormats.hpp"
#include "format/VAD3Format.hpp"

namespace kivtest {

using Pixels = std::vector<uint8_t>;

// A source image in a band format: every pixel's bytes vary with row and column, with runs
// so that some lines compress and some do not.
struct SourceImage {
    int width = 0, height = 0, pixelSize = 0;
    Pixels bytes;
    SourceImage(int w, int h, int size)
        : width(w), height(h), pixelSize(size), bytes(static_cast<std::size_t>(w) * h * size) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int b = 0; b < size; ++b)
                    bytes[(static_cast<std::size_t>(y) * w + x) * size + b] =
                        static_cast<uint8_t>(y % 3 == 0 ? (y * 11 + b * 40) : (x / (1 + y % 4)) * 23 + y * 5 + b * 67);
    }
    const uint8_t *At(int x, int y) const {
        return bytes.data() + (static_cast<std::size_t>(y) * width + x) * pixelSize;
    }
};

struct BandSpec {
    int srcTop, srcRows;  // whole source rows make the band's bitmap
    LongRect src;         // in bitmap (= source image) coordinates
    LongRect dst;         // page pixels
};

// Output pixel from a source pixel: the conversions of the pixel formats.
inline Pixels ConvertPixel(const uint8_t *s, int16_t bandFormat, int16_t lineFormat) {
    const auto under = [&](int c) { return c * (255 - s[3]) / 255 + s[3]; };
    if (bandFormat == 32 && lineFormat == 8) return {static_cast<uint8_t>(255 - s[2])};
    if (bandFormat == 33 && lineFormat == 8)
        return {static_cast<uint8_t>((5 * under(s[0]) + 9 * under(s[1]) + 2 * under(s[2])) / 16)};
    if (bandFormat == 33 && lineFormat == 32)
        return {255, static_cast<uint8_t>(255 - under(s[0])), static_cast<uint8_t>(255 - under(s[1])),
                static_cast<uint8_t>(255 - under(s[2]))};
    return Pixels(s, s + kiv::PixelSizeFromFormat(bandFormat));
}

inline Pixels BlankOf(int16_t lineFormat) {
    const kiv::PixelFormatInfo &info = *kiv::FindPixelFormat(lineFormat);
    const auto pixel = kiv::BlankPixel(info);
    return Pixels(pixel.begin(), pixel.begin() + info.pixelSize);
}

// The page's lines after the bands, in order.
inline std::vector<Pixels> ExpectedPage(const SourceImage &image, const std::vector<BandSpec> &bands, int pageWidth,
                                        int pageHeight, int16_t bandFormat, int16_t lineFormat) {
    const Pixels blank = BlankOf(lineFormat);
    Pixels blankLine;
    for (int x = 0; x < pageWidth; ++x) blankLine.insert(blankLine.end(), blank.begin(), blank.end());
    std::vector<Pixels> lines;
    int next = 0;
    for (const BandSpec &b : bands) {
        const int top = std::max(next, b.dst.top), bottom = std::min(pageHeight, b.dst.bottom);
        const int left = std::max(0, b.dst.left), right = std::min(pageWidth, b.dst.right);
        if (top >= bottom || left >= right) continue;
        while (next < top) lines.push_back(blankLine), ++next;
        const int64_t dW = b.dst.right - b.dst.left, dH = b.dst.bottom - b.dst.top;
        const int64_t sW = b.src.right - b.src.left, sH = b.src.bottom - b.src.top;
        for (int y = top; y < bottom; ++y) {
            Pixels line = blankLine;
            const int row = b.src.top + static_cast<int>(sH * (y - b.dst.top) / dH);
            for (int x = left; x < right; ++x) {
                const int col = b.src.left + static_cast<int>(sW * (x - b.dst.left) / dW);
                const Pixels p = ConvertPixel(image.At(col, row), bandFormat, lineFormat);
                std::copy(p.begin(), p.end(), line.begin() + static_cast<std::ptrdiff_t>(x * p.size()));
            }
            lines.push_back(line);
        }
        next = bottom;
    }
    while (next < pageHeight) lines.push_back(blankLine), ++next;
    return lines;
}

// Bands of uneven heights and sizes over a 160 × 170 page from an 80 × 85 image: enlarged,
// beside rows already written, reduced, clipped at both sides and the bottom, overlapping,
// unscaled but not at the left edge, with gaps.
inline std::vector<BandSpec> UnevenBands() {
    return {
        {0, 10, {0, 0, 10, 80}, {0, 0, 25, 160}},      // enlarged
        {0, 10, {0, 0, 10, 40}, {0, 100, 25, 160}},    // beside it: those rows are written, dropped
        {10, 27, {10, 5, 37, 75}, {25, 10, 34, 150}},  // reduced, narrower
        {37, 1, {37, 0, 38, 80}, {40, -20, 47, 180}},  // after a gap, wider than the page
        {38, 42, {38, 0, 80, 80}, {45, 0, 120, 160}},  // overlaps the band before by two rows
        {0, 10, {0, 0, 10, 40}, {125, 50, 135, 90}},   // one to one, from column 50
        {80, 5, {80, 3, 85, 40}, {150, 30, 200, 70}},  // past the bottom of the page
    };
}

}  // namespace kivtest
