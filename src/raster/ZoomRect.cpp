// Band clipping and scaling.
#include "ZoomRect.hpp"

#include <algorithm>

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

    for (int64_t i = 0; i < n; ++i) {
        const uint8_t *rowAddress = base + row * static_cast<int64_t>(bitmap.rowBytes);
        if (int16_t status = procs.scaleLine(rowAddress, start, step, static_cast<int32_t>(dW), clip.left,
                                             clip.right - clip.left, procs.lineBuffer)) {
            return status;
        }
        if (int16_t status = procs.writeLine(procs.refCon, procs.lineBuffer)) return status;
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
