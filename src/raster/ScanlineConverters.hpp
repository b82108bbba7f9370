// Scanline converters: resample one host row into a span of the page line, converting the
// pixel format on the way, and fill a line with a format's blank pixel.
#pragma once

#include <cstdint>

namespace kiv {

// A rational position or increment: whole + remainder / denominator (the denominator travels
// separately), 0 <= remainder < denominator.
struct ScalePair {
    int32_t whole;
    int32_t remainder;
};

// Writes `count` pixels of dstLine from dstStart on; output pixel i takes source column
// start.whole + i·step.whole + ⌊(start.remainder + i·step.remainder) / denominator⌋ of srcRow.
// The caller keeps every column reached inside the row and the span inside the line.
using ScaleLineProc = int16_t (*)(const void *srcRow, ScalePair start, ScalePair step, int32_t denominator,
                                  int32_t dstStart, int32_t count, void *dstLine);
// Fills `width` pixels of a line with the blank pixel.
using EraseLineProc = void (*)(void *line, int32_t width);

int16_t ScaleLine_8(const void *, ScalePair, ScalePair, int32_t, int32_t, int32_t, void *);
int16_t ScaleLine_32(const void *, ScalePair, ScalePair, int32_t, int32_t, int32_t, void *);
int16_t ScaleLine_64(const void *, ScalePair, ScalePair, int32_t, int32_t, int32_t, void *);
int16_t ScaleLine_96(const void *, ScalePair, ScalePair, int32_t, int32_t, int32_t, void *);
int16_t ScaleLine_Grey(const void *, ScalePair, ScalePair, int32_t, int32_t, int32_t, void *);  // ARGB → density
// The two CMYK converters serve a band of format 33 written as grey or ARGB lines; the entry
// points write a CMYK document as CMYK, so only a caller of the page output session reaches them.
// CMYK → density, and CMYK → ARGB.
int16_t ScaleLine_CMYKToGrey(const void *, ScalePair, ScalePair, int32_t, int32_t, int32_t, void *);
int16_t ScaleLine_CMYKToRGB(const void *, ScalePair, ScalePair, int32_t, int32_t, int32_t, void *);

void EraseLine_8(void *line, int32_t width);      // 0x00
void EraseLine_32(void *line, int32_t width);     // 0x00 ×4
void EraseLine_64(void *line, int32_t width);     // 0x00 ×8
void EraseLineRGB(void *line, int32_t width);     // 0xFF ×4
void EraseLineRGB96(void *line, int32_t width);   // 0xFF ×4, 0x00 ×8
void EraseLineCMYK96(void *line, int32_t width);  // 0x00 ×12

}  // namespace kiv
