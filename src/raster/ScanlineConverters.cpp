// The scanline converters: one stepping loop, instantiated per pixel size and conversion.
#include "ScanlineConverters.hpp"

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "PixelFormulas.hpp"
#include "format/Codecs.hpp"

namespace kiv {
namespace {

template <std::size_t N>
struct Copy {
    static constexpr std::size_t kSrc = N, kDst = N;
    static void Convert(const uint8_t *s, uint8_t *d) { std::memcpy(d, s, N); }
};

struct RgbToGrey {
    static constexpr std::size_t kSrc = 4, kDst = 1;
    static void Convert(const uint8_t *s, uint8_t *d) { *d = ArgbToDensity(s); }
};

struct CmykToGrey {
    static constexpr std::size_t kSrc = 4, kDst = 1;
    static void Convert(const uint8_t *s, uint8_t *d) { *d = CmykToDensity(s); }
};

struct CmykToRgb {
    static constexpr std::size_t kSrc = 4, kDst = 4;
    static void Convert(const uint8_t *s, uint8_t *d) { CmykToArgb(s, d); }
};

// Nearest-lower stepping with an error term: one addition and one comparison per pixel.
// Positions are kept as column indices so that nothing points outside the row.
template <class Op>
int16_t Scale(const void *srcRow, ScalePair start, ScalePair step, int32_t denominator, int32_t dstStart, int32_t count,
              void *dstLine) {
    if (count < 1) return 0;
    const auto *src = static_cast<const uint8_t *>(srcRow);
    auto *dst = static_cast<uint8_t *>(dstLine) + static_cast<std::ptrdiff_t>(dstStart) * Op::kDst;
    std::ptrdiff_t column = start.whole;
    if constexpr (Op::kSrc == Op::kDst && std::is_same_v<Op, Copy<Op::kSrc>>) {
        if (step.whole == 1 && step.remainder == 0) {  // one to one: a straight copy
            std::memcpy(dst, src + column * static_cast<std::ptrdiff_t>(Op::kSrc), count * Op::kSrc);
            return 0;
        }
    }
    int32_t e = start.remainder - denominator;
    for (int32_t i = 0; i < count; ++i, dst += Op::kDst) {
        Op::Convert(src + column * static_cast<std::ptrdiff_t>(Op::kSrc), dst);
        column += step.whole;
        e += step.remainder;
        if (e >= 0) {
            ++column;
            e -= denominator;
        }
    }
    return 0;
}

template <std::size_t N>
void FillPixels(void *line, int32_t width, const uint8_t (&pixel)[N]) {
    auto *d = static_cast<uint8_t *>(line);
    for (int32_t i = 0; i < width; ++i, d += N) std::memcpy(d, pixel, N);
}

void FillBytes(void *line, int32_t width, std::size_t size, uint8_t value) {
    if (width > 0) std::memset(line, value, static_cast<std::size_t>(width) * size);
}

}  // namespace

int16_t ScaleLine_8(const void *s, ScalePair a, ScalePair b, int32_t d, int32_t x, int32_t n, void *o) {
    return Scale<Copy<1>>(s, a, b, d, x, n, o);
}
int16_t ScaleLine_32(const void *s, ScalePair a, ScalePair b, int32_t d, int32_t x, int32_t n, void *o) {
    return Scale<Copy<4>>(s, a, b, d, x, n, o);
}
int16_t ScaleLine_64(const void *s, ScalePair a, ScalePair b, int32_t d, int32_t x, int32_t n, void *o) {
    return Scale<Copy<8>>(s, a, b, d, x, n, o);
}
int16_t ScaleLine_96(const void *s, ScalePair a, ScalePair b, int32_t d, int32_t x, int32_t n, void *o) {
    return Scale<Copy<12>>(s, a, b, d, x, n, o);
}
int16_t ScaleLine_Grey(const void *s, ScalePair a, ScalePair b, int32_t d, int32_t x, int32_t n, void *o) {
    if (n > 0 && b.whole == 1 && b.remainder == 0) {  // one to one: the processor's vector conversion
        LineEncoders().densityFromArgb(static_cast<const uint8_t *>(s) + 4 * static_cast<std::ptrdiff_t>(a.whole),
                                       static_cast<std::size_t>(n), static_cast<uint8_t *>(o) + x);
        return 0;
    }
    return Scale<RgbToGrey>(s, a, b, d, x, n, o);
}
int16_t ScaleLine_CMYKToGrey(const void *s, ScalePair a, ScalePair b, int32_t d, int32_t x, int32_t n, void *o) {
    return Scale<CmykToGrey>(s, a, b, d, x, n, o);
}
int16_t ScaleLine_CMYKToRGB(const void *s, ScalePair a, ScalePair b, int32_t d, int32_t x, int32_t n, void *o) {
    return Scale<CmykToRgb>(s, a, b, d, x, n, o);
}

void EraseLine_8(void *line, int32_t width) { FillBytes(line, width, 1, 0x00); }
void EraseLine_32(void *line, int32_t width) { FillBytes(line, width, 4, 0x00); }
void EraseLine_64(void *line, int32_t width) { FillBytes(line, width, 8, 0x00); }
void EraseLineRGB(void *line, int32_t width) { FillBytes(line, width, 4, 0xFF); }
void EraseLineCMYK96(void *line, int32_t width) { FillBytes(line, width, 12, 0x00); }
void EraseLineRGB96(void *line, int32_t width) {
    static constexpr uint8_t kPixel[12] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
    FillPixels(line, width, kPixel);
}

}  // namespace kiv
