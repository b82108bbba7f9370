// The print record: the 306-byte, big-endian, packed block in the host's handle.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <kiv/KIVPlatform.h>

namespace kiv {

inline constexpr long kPrintRecordSize = 306;

// Field offsets in the handle.
inline constexpr std::size_t kOffsetCopies = 24;
inline constexpr std::size_t kOffsetFromPage = 26;
inline constexpr std::size_t kOffsetToPage = 28;

// The print record decoded into host byte order.
struct PrintRecord {
    int32_t pageWidthPixels = 0;
    int32_t pageHeightPixels = 0;
    double pageWidthMM = 0;
    double pageHeightMM = 0;
    int16_t copies = 0;
    int16_t fromPage = 0;
    int16_t toPage = 0;
    bool isBW = false;
    bool isFlipH = false;
    bool collated = false;
    bool isTiled = false;
    double tileWidthMM = 0;
    double tileHeightMM = 0;
    std::array<unsigned char, 256> pageName{};  // Pascal string of UTF-8
};

// True when the handle is large enough to hold a print record.
bool HoldsPrintRecord(Handle h);
// The record in h; nullopt when the handle is too small.
std::optional<PrintRecord> LoadPrintRecord(Handle h);
// Writes the record into the first 306 bytes of h (which must hold them).
void StorePrintRecord(Handle h, const PrintRecord &record);

PrintRecord DecodePrintRecord(const unsigned char *bytes);
void EncodePrintRecord(const PrintRecord &record, unsigned char *bytes);

// The page name as text; nullopt when it is not valid UTF-8.
std::optional<std::string> PageNameString(const PrintRecord &record);
// Clears all 256 bytes and stores name, cut to 255 bytes at a character boundary.
void SetPageName(PrintRecord &record, std::string_view name);

}  // namespace kiv
