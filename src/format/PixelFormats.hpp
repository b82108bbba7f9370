// Everything the job file knows about each pixel format, in one table: the writer, the page
// output session, the reader, the tools and the tests all look formats up here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "Codecs.hpp"

namespace kiv {

struct PixelFormatInfo {
    int16_t code;                        // the header's pixelFormat
    uint8_t pixelSize;                   // bytes per pixel
    uint32_t blankFill;                  // the blank pixel's first four bytes, big-endian; the rest are 0
    StuffProc LineEncoderSet::*encoder;  // the line encoder, from the set in use
    BlankProc blank;                     // encodes a blank line
    DecompressProc decode;               // expands an encoded line
    const char *name;                    // as the tools show it
};

// 8, 32, 33, 34, 35, 36 and 64, in that order.
std::span<const PixelFormatInfo> PixelFormats();
// The format of a code; null for a code the file format does not have.
const PixelFormatInfo *FindPixelFormat(int16_t code);

// The blank pixel of a format (pixelSize bytes of the array are used).
std::array<uint8_t, 12> BlankPixel(const PixelFormatInfo &format);

}  // namespace kiv
