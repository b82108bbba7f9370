// Encoding and decoding of the print record.
#include "PrintRecord.hpp"

#include <bit>
#include <cstring>

#include "platform/BigEndian.hpp"
#include "platform/Utf8.hpp"

namespace kiv {
namespace {

double LoadDouble(const unsigned char *p) { return std::bit_cast<double>(LoadBigEndian(p, 8)); }
void StoreDouble(unsigned char *p, double v) { StoreBigEndian(p, std::bit_cast<uint64_t>(v), 8); }

}  // namespace

bool HoldsPrintRecord(Handle h) { return h && *h && GetHandleSize(h) >= kPrintRecordSize; }

std::optional<PrintRecord> LoadPrintRecord(Handle h) {
    if (!HoldsPrintRecord(h)) return std::nullopt;
    return DecodePrintRecord(reinterpret_cast<const unsigned char *>(*h));
}

void StorePrintRecord(Handle h, const PrintRecord &record) {
    if (HoldsPrintRecord(h)) EncodePrintRecord(record, reinterpret_cast<unsigned char *>(*h));
}

PrintRecord DecodePrintRecord(const unsigned char *b) {
    PrintRecord r;
    r.pageWidthPixels = static_cast<int32_t>(LoadBigEndian(b + 0, 4));
    r.pageHeightPixels = static_cast<int32_t>(LoadBigEndian(b + 4, 4));
    r.pageWidthMM = LoadDouble(b + 8);
    r.pageHeightMM = LoadDouble(b + 16);
    r.copies = static_cast<int16_t>(LoadBigEndian(b + kOffsetCopies, 2));
    r.fromPage = static_cast<int16_t>(LoadBigEndian(b + kOffsetFromPage, 2));
    r.toPage = static_cast<int16_t>(LoadBigEndian(b + kOffsetToPage, 2));
    r.isBW = b[30] != 0;
    r.isFlipH = b[31] != 0;
    r.collated = b[32] != 0;
    r.isTiled = b[33] != 0;
    r.tileWidthMM = LoadDouble(b + 34);
    r.tileHeightMM = LoadDouble(b + 42);
    std::memcpy(r.pageName.data(), b + 50, 256);
    return r;
}

void EncodePrintRecord(const PrintRecord &r, unsigned char *b) {
    StoreBigEndian(b + 0, static_cast<uint32_t>(r.pageWidthPixels), 4);
    StoreBigEndian(b + 4, static_cast<uint32_t>(r.pageHeightPixels), 4);
    StoreDouble(b + 8, r.pageWidthMM);
    StoreDouble(b + 16, r.pageHeightMM);
    StoreBigEndian(b + kOffsetCopies, static_cast<uint16_t>(r.copies), 2);
    StoreBigEndian(b + kOffsetFromPage, static_cast<uint16_t>(r.fromPage), 2);
    StoreBigEndian(b + kOffsetToPage, static_cast<uint16_t>(r.toPage), 2);
    b[30] = r.isBW;
    b[31] = r.isFlipH;
    b[32] = r.collated;
    b[33] = r.isTiled;
    StoreDouble(b + 34, r.tileWidthMM);
    StoreDouble(b + 42, r.tileHeightMM);
    std::memcpy(b + 50, r.pageName.data(), 256);
}

std::optional<std::string> PageNameString(const PrintRecord &record) {
    std::string name(reinterpret_cast<const char *>(record.pageName.data() + 1), record.pageName[0]);
    if (!IsValidUtf8(name)) return std::nullopt;
    return name;
}

void SetPageName(PrintRecord &record, std::string_view name) {
    record.pageName.fill(0);
    const std::string_view cut = IsValidUtf8(name) ? CutUtf8(name, 255) : std::string_view();
    record.pageName[0] = static_cast<unsigned char>(cut.size());
    std::memcpy(record.pageName.data() + 1, cut.data(), cut.size());
}

}  // namespace kiv
