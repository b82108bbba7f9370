// Band clipping and scaling.
#include "ZoomRect.hpp"

#include <algorithm>
#include <cstring>

namespace kiv {

bool SectLongRects(const LongRect &a, const LongRect &b, LongRect &out) {
    const LongRect r{std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom),
                     std::min(a.right, b.right)};
    if (r.top < r.bottom && r.left < r.right) {
        out = r;
        return true;
    }
    out = LongRect{0, 0, 0, 0};
    return false;
}

namespace {

// All `count` pixels at p are `pixel`: the first compared with it, each later one with the one
// before (overlapping compares, so the library's vector compare does the work).
bool AllPixelsAre(const uint8_t *p, int64_t count, const uint8_t *pixel, std::size_t size) {
    return std::memcmp(p, pixel, size) == 0 && std::memcmp(p + size, p, (count - 1) * size) == 0;
}

}  // namespace

ScalePair Scale(int64_t value, int64_t numerator, int64_t denominator) {
    const int64_t product = value * numerator;
    const int64_t whole = product / denominator;
    return ScalePair{static_cast<int32_t>(whole), static_cast<int32_t>(product - whole * denominator)};
}

int16_t ZoomRect(const HostBitmap &bitmap, const LongRect &src, const LongRect &dst, const LongRect &clip,
                 const ZoomProcs &procs) {
    procs.eraseLine(procs.lineBuffer, static_cast<int32_t>(procs.lineWidth));
    const int64_t n = int64_t{clip.bottom} - clip.top;
    if (n < 1) return 0;

    const int64_t dW = int64_t{dst.right} - dst.left, dH = int64_t{dst.bottom} - dst.top;
    const int64_t sW = int64_t{src.right} - src.left, sH = int64_t{src.bottom} - src.top;

    // Horizontal: the same start and step for every line of the band.
    const ScalePair offset = Scale(int64_t{clip.left} - dst.left, sW, dW);
    const ScalePair start{static_cast<int32_t>(offset.whole + (int64_t{src.left} - bitmap.bounds.left)),
                          offset.remainder};
    const ScalePair step = Scale(1, sW, dW);

    // Vertical: the first source row and an error term for the rows that follow.
    const ScalePair down = Scale(int64_t{clip.top} - dst.top, sH, dH);
    const int64_t first = down.whole;
    int64_t e = int64_t{down.remainder} - dH;
    const ScalePair rowScale = Scale(1, sH, dH);
    const int64_t rowStep = rowScale.whole, rowRemainder = rowScale.remainder;
    const auto *base = static_cast<const uint8_t *>(bitmap.baseAddr);
    int64_t row = int64_t{src.top} - bitmap.bounds.top + first;

    // Rows that are already whole page lines: unscaled, covering the page's width.
    const bool direct = procs.copiedPixelSize != 0 && step.whole == 1 && step.remainder == 0 && start.remainder == 0 &&
                        clip.left == 0 && int64_t{clip.right} == procs.lineWidth;
    const std::size_t directOffset = direct ? static_cast<std::size_t>(start.whole) * procs.copiedPixelSize : 0;
    // The columns the line samples: from start to the column of its last pixel.
    const int64_t lastColumn =
        Scale(int64_t{clip.right} - 1 - dst.left, sW, dW).whole + (int64_t{src.left} - bitmap.bounds.left);
    const int64_t sampled = lastColumn - start.whole + 1;

    for (int64_t i = 0; i < n; ++i) {
        const uint8_t *rowAddress = base + row * static_cast<int64_t>(bitmap.rowBytes);
        if (procs.writeBlankLine && AllPixelsAre(rowAddress + start.whole * static_cast<int64_t>(procs.bandPixelSize),
                                                 sampled, procs.bandBlank.data(), procs.bandPixelSize)) {
            if (int16_t status = procs.writeBlankLine(procs.refCon)) return status;
        } else if (direct) {
            if (int16_t status = procs.writeLine(procs.refCon, rowAddress + directOffset)) return status;
        } else if (int16_t status = procs.scaleLine(rowAddress, start, step, static_cast<int32_t>(dW), clip.left,
                                                    clip.right - clip.left, procs.lineBuffer)) {
            return status;
        } else if (int16_t status = procs.writeLine(procs.refCon, procs.lineBuffer)) {
            return status;
        }
        row += rowStep;
        e += rowRemainder;
        if (e >= 0) {
            ++row;
            e -= dH;
        }
    }
    return 0;
}

}  // namespace kiv
