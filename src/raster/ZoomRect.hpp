// Mapping one host band onto page lines: rectangle intersection, exact integer stepping, and
// the loop that scales, converts and hands over each line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include <kiv/KIVPrinterDriver.h>

#include "ScanlineConverters.hpp"

namespace kiv {

// Called once per finished line with the line buffer.
using WriteLineProc = int16_t (*)(void *refCon, const void *line);
// Called instead for a line that is known to be all blank.
using WriteBlankLineProc = int16_t (*)(void *refCon);

struct ZoomProcs {
    WriteLineProc writeLine = nullptr;
    ScaleLineProc scaleLine = nullptr;
    EraseLineProc eraseLine = nullptr;
    void *lineBuffer = nullptr;
    uint32_t lineWidth = 0;  // pixels in a page line
    void *refCon = nullptr;
    // Bytes per pixel when scaleLine only copies (the band's pixels are the line's), else 0:
    // then a band row that maps one to one onto a whole page line is written straight from
    // the host's bitmap, without the copy into the line buffer.
    std::size_t copiedPixelSize = 0;
    // When set, a row whose pixels in the band are all bandBlank (bandPixelSize bytes, which
    // the converter turns into the line's blank pixel) costs a compare: no conversion, no
    // encoding.
    WriteBlankLineProc writeBlankLine = nullptr;
    std::array<uint8_t, 12> bandBlank{};
    std::size_t bandPixelSize = 0;
};

// The intersection of a and b into out; false (out all zero) when it is empty. out may be a or b.
bool SectLongRects(const LongRect &a, const LongRect &b, LongRect &out);

// value × numerator ÷ denominator as whole and remainder (64-bit product, truncating division).
ScalePair Scale(int64_t value, int64_t numerator, int64_t denominator);

// Writes page lines clip.top … clip.bottom − 1: the band scaled from src (bitmap coordinates)
// to dst (page pixels), blank outside clip's columns. The line buffer is erased once first.
// The caller keeps clip inside dst and the page, and src inside the bitmap.
// Returns 0 or the first failing status of scaleLine or writeLine. writeLine is handed either
// the line buffer or, when copiedPixelSize allows, the row in the bitmap: the same bytes.
int16_t ZoomRect(const HostBitmap &bitmap, const LongRect &src, const LongRect &dst, const LongRect &clip,
                 const ZoomProcs &procs);

}  // namespace kiv
