// The page output session: one per document, between the host's bands and the job file.
// It keeps the next line to write on the current page, fills what no band covers with blank
// lines and hands every line, in page order and exactly once, to the file writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <kiv/KIVPrinterDriver.h>

#include "ZoomRect.hpp"
#include "output/VAD3Output.hpp"
#include "platform/Status.hpp"

namespace kiv {

struct PageOutputSession {
    int16_t bandFormat = 0;           // of the host's bands
    int16_t lineFormat = 0;           // of the lines written
    std::vector<uint8_t> lineBuffer;  // pageWidth × 12 bytes: room for any pixel
    LongRect pageRect{};              // top: the next line to write on this page
    int32_t pageWidth = 0;
    int32_t pageHeight = 0;
    ZoomProcs zoom;
    OutputRef output;  // dropping a session abandons its file
};

using PageOutputSessionPtr = std::unique_ptr<PageOutputSession>;

// Bytes per pixel of a band format; 0 for a format the session does not take.
std::size_t BandPixelSize(int16_t bandFormat);

// Creates the job file and picks the converters. 0, -108, -50 for a band format the session
// does not take, -1 without a folder, or the writer's status. On failure out is null and no
// file remains.
int16_t OpenDocument(std::string_view jobName, const std::optional<std::string> &fileName, const PageGeometry &geometry,
                     int16_t bandFormat, int16_t lineFormat, const OutputFormat &format,
                     const std::optional<std::filesystem::path> &folder, PageOutputSessionPtr &out);
int16_t OpenPage(PageOutputSession &session);
// One band. -157 for a band of another pixel format and -50 for a source rectangle that is
// inverted or reaches outside the bitmap, both before anything is written.
int16_t PrintBits(PageOutputSession &session, const HostBitmap &bitmap, const LongRect &src, const LongRect &dst);
int16_t ClosePage(PageOutputSession &session);
void KillPage(PageOutputSession &session);
// Finishes the file and names it (published receives its path); the writer's status (a
// failed close has removed the file).
int16_t CloseDocument(PageOutputSessionPtr session, std::filesystem::path *published = nullptr);
void KillDocument(PageOutputSessionPtr session);
int16_t SetProfile(PageOutputSession &session, plist_t profile);
int16_t SetMetadata(PageOutputSession &session, const char *key, plist_t value);

}  // namespace kiv
