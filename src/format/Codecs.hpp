// The line codecs behind the exported C functions, as procedure tables.
//
// The encoders are reached through LineEncoders(), chosen once per process: a faster
// implementation for the processor at hand can take the place of the scalar one without
// any caller changing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kiv {

using StuffProc = std::size_t (*)(const void *line, std::size_t width, void *out, std::size_t budget);
using BlankProc = std::size_t (*)(std::size_t width, uint32_t fill, void *out);
using DecompressProc = int (*)(const void *in, void *out, std::size_t inBytes, std::size_t pixelCount);

inline constexpr int kDecompressError = 999;

struct LineEncoderSet {
    const char *name;
    StuffProc stuff8, stuff32, stuffRGB32, stuff64, stuff96;
};

// The encoders in use, picked on first call.
const LineEncoderSet &LineEncoders();
// The portable reference implementation.
const LineEncoderSet &ScalarLineEncoders();

// Blank encoders with a common signature (the fill is ignored where the format has none).
std::size_t BlankProc8(std::size_t width, uint32_t fill, void *out);
std::size_t BlankProc32(std::size_t width, uint32_t fill, void *out);
std::size_t BlankProc64(std::size_t width, uint32_t fill, void *out);
std::size_t BlankProc96(std::size_t width, uint32_t fill, void *out);

// Record size of a pixel size (1, 4, 8, 12); 0 for any other.
std::size_t RecordSizeForPixelSize(std::size_t pixelSize);

}  // namespace kiv
