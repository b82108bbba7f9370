// The scalar encoder set: the portable reference every vector set writes exactly as.
#include <algorithm>
#include <cstring>

#include "format/Codecs.hpp"
#include "format/PixelRecords.hpp"

namespace kiv {
namespace {

using namespace records;

// The end of the run of `value` that continues at pixel `from`: eight bytes at a time where
// a pixel is smaller than a word (mask clears bytes that do not count), then pixel by pixel.
template <class P>
std::size_t RunEnd(const uint8_t *line, std::size_t from, std::size_t width, typename P::Value value) {
    std::size_t end = from;
    // Noise ends most runs at the first pixel: check it alone before loading words.
    if (end >= width || !(P::Load(line + end * P::kSize) == value)) return end;
    ++end;
    if constexpr (P::kSize < 8) {
        constexpr std::size_t kPerWord = 8 / P::kSize;
        const uint64_t splat = P::Splat(value);
        for (; end + kPerWord <= width; end += kPerWord) {
            uint64_t word;
            std::memcpy(&word, line + end * P::kSize, 8);
            if ((word & P::kWordMask) != splat) break;
        }
    }
    while (end < width && P::Load(line + end * P::kSize) == value) ++end;
    return end;
}

// The one encoder loop: finds each run, splits it at the maximum count and stops as soon as
// a record would be the (N - 1)-th of a budget of N records.
template <class P>
std::size_t Encode(const void *linePtr, std::size_t width, void *outPtr, std::size_t budget) {
    const auto *line = static_cast<const uint8_t *>(linePtr);
    auto *out = static_cast<uint8_t *>(outPtr);
    const std::size_t n = budget / P::kRecord;
    if (width == 0 || n < 3) return 0;
    const std::size_t maxRecords = n - 2;
    std::size_t records = 0;
    for (std::size_t i = 0; i < width;) {
        const uint8_t *pixel = line + i * P::kSize;
        const auto value = P::Load(pixel);
        const std::size_t end = RunEnd<P>(line, i + 1, width, value);
        for (std::size_t run = end - i; run > 0;) {
            const std::size_t count = std::min(run, P::kMaxCount);
            if (++records > maxRecords) return 0;
            P::Emit(out, count, pixel);
            out += P::kRecord;
            run -= count;
        }
        i = end;
    }
    std::memset(out, 0, P::kRecord);
    return (records + 1) * P::kRecord;
}

void DensityFromArgb(const uint8_t *argb, std::size_t pixels, uint8_t *density) {
    for (std::size_t i = 0; i < pixels; ++i) density[i] = static_cast<uint8_t>(255 - argb[4 * i + 2]);
}

const LineEncoderSet kScalar = {"scalar",        Encode<Grey>,    Encode<Pixel32>, Encode<PixelRGB32>,
                                Encode<Pixel64>, Encode<Pixel96>, DensityFromArgb};

}  // namespace

const LineEncoderSet &ScalarLineEncoders() { return kScalar; }

}  // namespace kiv
