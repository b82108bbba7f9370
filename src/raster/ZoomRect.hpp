// Mapping one host band onto page lines: rectangle intersection, exact integer stepping, and
// the loop that scales, converts and hands over each line.
#pragma once

#include <cstdint>

#include <kiv/KIVPrinterDriver.h>

#include "ScanlineConverters.hpp"

namespace kiv {

// Called once per finished line with the line buffer.
using WriteLineProc = int16_t (*)(void *refCon, const void *line);

struct ZoomProcs {
    WriteLineProc writeLine = nullptr;
    ScaleLineProc scaleLine = nullptr;
    EraseLineProc eraseLine = nullptr;
    void *lineBuffer = nullptr;
    uint32_t lineWidth = 0;  // pixels in a page line
    void *refCon = nullptr;
};

// The intersection of a and b into out; false (out all zero) when it is empty. out may be a or b.
bool SectLongRects(const LongRect &a, const LongRect &b, LongRect &out);

// value × numerator ÷ denominator as whole and remainder (64-bit product, truncating division).
ScalePair Scale(int64_t value, int64_t numerator, int64_t denominator);

// Writes page lines clip.top … clip.bottom − 1: the band scaled from src (bitmap coordinates)
// to dst (page pixels), blank outside clip's columns. The line buffer is erased once first.
// The caller keeps clip inside dst and the page, and src inside the bitmap.
// Returns 0 or the first failing status of scaleLine or writeLine.
int16_t ZoomRect(const HostBitmap &bitmap, const LongRect &src, const LongRect &dst, const LongRect &clip,
                 const ZoomProcs &procs);

}  // namespace kiv
