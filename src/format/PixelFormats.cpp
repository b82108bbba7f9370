// The pixel format table.
#include "PixelFormats.hpp"

#include <kiv/VAD3Codecs.h>

#include "VAD3Format.hpp"

namespace kiv {
namespace {

constexpr PixelFormatInfo kPixelFormats[] = {
    {8, 1, 0, &LineEncoderSet::stuff8, BlankProc8, Decompress8, "grey density"},
    {32, 4, 0xFFFFFFFF, &LineEncoderSet::stuffRGB32, BlankProc32, Decompress32, "A, R, G, B"},
    {33, 4, 0, &LineEncoderSet::stuff32, BlankProc32, Decompress32, "C, M, Y, K"},
    {34, 8, 0, &LineEncoderSet::stuff64, BlankProc64, Decompress64, "8 bytes, passed through"},
    {35, 12, 0xFFFFFFFF, &LineEncoderSet::stuff96, BlankProc96, Decompress96, "12 bytes, white blank"},
    {36, 12, 0, &LineEncoderSet::stuff96, BlankProc96, Decompress96, "12 bytes, zero blank"},
    {64, 8, 0, &LineEncoderSet::stuff64, BlankProc64, Decompress64, "8 bytes, passed through"},
};

}  // namespace

std::span<const PixelFormatInfo> PixelFormats() { return kPixelFormats; }

const PixelFormatInfo *FindPixelFormat(int16_t code) {
    for (const PixelFormatInfo &f : kPixelFormats)
        if (f.code == code) return &f;
    return nullptr;
}

std::array<uint8_t, 12> BlankPixel(const PixelFormatInfo &format) {
    std::array<uint8_t, 12> pixel{};
    StoreBigEndian(pixel.data(), format.blankFill, 4);
    return pixel;
}

std::size_t PixelSizeFromFormat(int16_t pixelFormat) {
    const PixelFormatInfo *f = FindPixelFormat(pixelFormat);
    return f ? f->pixelSize : 0;
}

}  // namespace kiv
