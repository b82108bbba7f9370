// The page output session.
#include "PageOutput.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "format/PixelFormats.hpp"
#include "format/VAD3Format.hpp"
#include "platform/Assert.hpp"
#include "platform/FailureDetail.hpp"
#include "platform/Diagnostics.hpp"

namespace kiv {
namespace {

constexpr std::size_t kLargestPixel = 12;

struct Converters {
    ScaleLineProc scale;
    EraseLineProc erase;
    std::size_t copiedPixelSize = 0;  // scale only copies pixels of this size
};

// The converter pair for a document; the line format matters only for bands of 32 and 33.
std::optional<Converters> ChooseConverters(int16_t bandFormat, int16_t lineFormat) {
    switch (bandFormat) {
    case 8: return Converters{ScaleLine_8, EraseLine_8, 1};
    case 32:
        return lineFormat == 8 ? Converters{ScaleLine_Grey, EraseLine_8} : Converters{ScaleLine_32, EraseLineRGB, 4};
    case 33:
        if (lineFormat == 8) return Converters{ScaleLine_CMYKToGrey, EraseLine_8};
        if (lineFormat == 32) return Converters{ScaleLine_CMYKToRGB, EraseLineRGB};
        return Converters{ScaleLine_32, EraseLine_32, 4};
    case 34:
    case 64: return Converters{ScaleLine_64, EraseLine_64, 8};
    case 35: return Converters{ScaleLine_96, EraseLineRGB96, 12};
    case 36: return Converters{ScaleLine_96, EraseLineCMYK96, 12};
    default: return std::nullopt;
    }
}

int16_t WriteSessionLine(void *refCon, const void *line) {
    return Output_WriteLine(*static_cast<PageOutputSession *>(refCon)->output, line);
}

int16_t WriteSessionBlankLine(void *refCon) {
    return Output_WriteLineOfBlanks(*static_cast<PageOutputSession *>(refCon)->output);
}

// The band's blank pixel, when the converter turns it into exactly the line's blank pixel.
std::optional<std::array<uint8_t, 12>> BandBlank(int16_t bandFormat, int16_t lineFormat, ScaleLineProc scale) {
    const PixelFormatInfo *band = FindPixelFormat(bandFormat), *line = FindPixelFormat(lineFormat);
    if (!band || !line) return std::nullopt;
    const std::array<uint8_t, 12> blank = BlankPixel(*band), wanted = BlankPixel(*line);
    std::array<uint8_t, 12> converted{};
    scale(blank.data(), ScalePair{0, 0}, ScalePair{1, 0}, 1, 0, 1, converted.data());
    if (std::memcmp(converted.data(), wanted.data(), line->pixelSize) != 0) return std::nullopt;
    return blank;
}

// A band must lie inside its bitmap: the bitmap's extent is its bounds, and each row holds
// at least the bounds' width of pixels.
bool BandInsideBitmap(const HostBitmap &bitmap, const LongRect &src, std::size_t pixelSize) {
    const LongRect &b = bitmap.bounds;
    if (!bitmap.baseAddr || b.top > b.bottom || b.left > b.right) return false;
    if (src.top > src.bottom || src.left > src.right) return false;  // inverted
    if (src.top < b.top || src.bottom > b.bottom || src.left < b.left || src.right > b.right) return false;
    return uint64_t{bitmap.rowBytes} >= (int64_t{b.right} - b.left) * pixelSize;
}

// "WHERE returned: STATUS" on standard error, and the status.
int16_t LogFailure(const char *where, int16_t status) {
    Diagnose("%s returned: %d", where, static_cast<int>(status));
    return status;
}

}  // namespace

std::size_t BandPixelSize(int16_t bandFormat) {
    return ChooseConverters(bandFormat, bandFormat) ? PixelSizeFromFormat(bandFormat) : 0;
}

int16_t OpenDocument(std::string_view jobName, const std::optional<std::string> &fileName, const PageGeometry &geometry,
                     int16_t bandFormat, int16_t lineFormat, const OutputFormat &format,
                     const std::optional<std::filesystem::path> &folder, PageOutputSessionPtr &out) {
    out.reset();
    const std::optional<Converters> converters = ChooseConverters(bandFormat, lineFormat);
    if (!converters) return kParamErr;
    if (!folder) {
        Diagnose("PrinterDriver OpenDocument: no hot folder to write into");
        NoteFailure("no hot folder was chosen");
        return kOutputNotCreatedErr;
    }
    PageOutputSessionPtr session;
    try {
        session = std::make_unique<PageOutputSession>();
        session->lineBuffer.assign(static_cast<std::size_t>(std::max(geometry.widthPixels, 0)) * kLargestPixel, 0);
    } catch (const std::bad_alloc &) {
        return kMemFullErr;
    }
    session->bandFormat = bandFormat;
    session->lineFormat = lineFormat;
    session->pageWidth = geometry.widthPixels;
    session->pageHeight = geometry.heightPixels;
    session->zoom = ZoomProcs{WriteSessionLine,
                              converters->scale,
                              converters->erase,
                              session->lineBuffer.data(),
                              static_cast<uint32_t>(std::max(geometry.widthPixels, 0)),
                              session.get(),
                              converters->copiedPixelSize};
    if (const auto blank = BandBlank(bandFormat, lineFormat, converters->scale)) {
        session->zoom.writeBlankLine = WriteSessionBlankLine;
        session->zoom.bandBlank = *blank;
        session->zoom.bandPixelSize = BandPixelSize(bandFormat);
    }

    if (const int16_t status = Output_Create(*folder, fileName, jobName, geometry, format, session->output)) {
        return LogFailure("PrinterDriver Output_Create", status);
    }
    out = std::move(session);
    return 0;
}

int16_t OpenPage(PageOutputSession &session) {
    session.pageRect = LongRect{0, 0, session.pageHeight, session.pageWidth};
    if (const int16_t status = Output_AddPage(*session.output)) {
        NoteFailure("a job file holds at most 65535 pages");
        return LogFailure("PrinterDriver OpenPage", status);
    }
    return 0;
}

int16_t PrintBits(PageOutputSession &session, const HostBitmap &bitmap, const LongRect &src, const LongRect &dst) {
    if (bitmap.pixelFormat != session.bandFormat) {
        NoteFailure("a band in pixel format " + std::to_string(bitmap.pixelFormat) + " in a document of format " +
                    std::to_string(session.bandFormat));
        return LogFailure("PrinterDriver PrintBits", kBadPixelFormatErr);
    }
    // Reading outside the host's bitmap is never right: refuse before anything is written.
    if (!BandInsideBitmap(bitmap, src, BandPixelSize(session.bandFormat)) ||
        int64_t{dst.right} - dst.left > INT32_MAX || int64_t{dst.bottom} - dst.top > INT32_MAX) {
        NoteFailure("a band rectangle outside its bitmap");
        return LogFailure("PrinterDriver PrintBits", kParamErr);
    }
    LongRect clip;
    if (!SectLongRects(session.pageRect, dst, clip)) return 0;
    if (src.top == src.bottom || src.left == src.right) return 0;  // nothing to draw

    for (; session.pageRect.top < clip.top; ++session.pageRect.top) {
        if (const int16_t status = Output_WriteBlankLine(*session.output)) {
            session.pageRect.top = clip.bottom;
            return LogFailure("PrinterDriver PrintBits", status);
        }
    }
    const int16_t status = ZoomRect(bitmap, src, dst, clip, session.zoom);
    session.pageRect.top = clip.bottom;
    return status ? LogFailure("PrinterDriver PrintBits", status) : 0;
}

int16_t ClosePage(PageOutputSession &session) {
    for (; session.pageRect.top < session.pageRect.bottom; ++session.pageRect.top) {
        if (const int16_t status = Output_WriteBlankLine(*session.output)) {
            return LogFailure("ClosePage", status);
        }
    }
    return 0;
}

// Nothing to undo for a page: its lines are already in the file, which the document's end
// abandons as a whole.
void KillPage(PageOutputSession &) {}

int16_t CloseDocument(PageOutputSessionPtr session, std::filesystem::path *published) {
    KIV_ASSERT(session != nullptr);
    return Output_Close(std::move(session->output), published);
}

void KillDocument(PageOutputSessionPtr session) {
    if (session && session->output) Output_Kill(std::move(session->output));
}

int16_t SetProfile(PageOutputSession &session, plist_t profile) { return Output_SetProfile(*session.output, profile); }

int16_t SetMetadata(PageOutputSession &session, const char *key, plist_t value) {
    return Output_SetMetadata(*session.output, key, value);
}

}  // namespace kiv
