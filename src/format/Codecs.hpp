// The line codecs behind the exported C functions, as procedure tables.
//
// The encoders are reached through LineEncoders(), chosen once per process: the vector sets
// for the processor at hand (encoders/, beside the scalar one) take the place of the scalar one without any caller
// changing, and every set writes exactly the scalar set's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kiv {

using StuffProc = std::size_t (*)(const void *line, std::size_t width, void *out, std::size_t budget);
using BlankProc = std::size_t (*)(std::size_t width, uint32_t fill, void *out);
using DecompressProc = int (*)(const void *in, void *out, std::size_t inBytes, std::size_t pixelCount);

inline constexpr int kDecompressError = 999;

// density[i] = 255 − G of argb pixel i: the black-and-white page's conversion, which runs on
// every pixel and so belongs with the encoders' per-processor choice.
using DensityProc = void (*)(const uint8_t *argb, std::size_t pixels, uint8_t *density);

struct LineEncoderSet {
    const char *name;
    StuffProc stuff8, stuff32, stuffRGB32, stuff64, stuff96;
    DensityProc densityFromArgb;
};

// The encoders in use, picked on first call: the last of AvailableLineEncoders(), or the one
// KIV_LINE_ENCODERS names ("scalar", "sse", "avx2", "avx512", "avx512vbmi") when this
// processor has it.
const LineEncoderSet &LineEncoders();
// The portable reference implementation.
const LineEncoderSet &ScalarLineEncoders();
// The sets this processor can run: the scalar one first, the fastest last.
std::span<const LineEncoderSet *const> AvailableLineEncoders();
// The set a value of KIV_LINE_ENCODERS (null: unset) chooses; a set the processor lacks, or an
// unknown name, gives the fastest and a message saying why.
const LineEncoderSet &ChooseLineEncoders(const char *forced, std::string &message);
// "avx512vbmi (this processor runs scalar, sse, avx2, avx512, avx512vbmi)", for tools to show.
std::string DescribeLineEncoders();

// Blank encoders with a common signature (the fill is ignored where the format has none).
std::size_t BlankProc8(std::size_t width, uint32_t fill, void *out);
std::size_t BlankProc32(std::size_t width, uint32_t fill, void *out);
std::size_t BlankProc64(std::size_t width, uint32_t fill, void *out);
std::size_t BlankProc96(std::size_t width, uint32_t fill, void *out);

// Record size of a pixel size (1, 4, 8, 12); 0 for any other.
std::size_t RecordSizeForPixelSize(std::size_t pixelSize);

}  // namespace kiv
