// The entry points through which the host prints, and the document start behind them.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <kiv/KIVPrinterDriver.h>

#include "DriverRecord.hpp"
#include "PageSetup.hpp"
#include "platform/Assert.hpp"
#include "platform/FailureDetail.hpp"
#include "platform/Utf8.hpp"
#include "platform/Diagnostics.hpp"

namespace kiv {
namespace {

// The pixel format written for the host's band format; black and white turns ARGB into grey.
std::optional<int16_t> OutputPixelFormat(int16_t bandFormat, bool isBW) {
    switch (bandFormat) {
    case 32: return isBW ? int16_t{8} : int16_t{32};
    case 8:
    case 33:
    case 34:
    case 35:
    case 36:
    case 64: return bandFormat;
    default: return std::nullopt;
    }
}

}  // namespace

char *DestFileName(const char *name);

int16_t DoOpenDocument(DriverRecord &record, Handle h) {
    const auto p = LoadPrintRecord(h);
    if (!p) return kParamErr;
    const std::optional<int16_t> lineFormat = OutputPixelFormat(record.mPixelFormat, p->isBW);
    if (!lineFormat) {
        Diagnose("PrinterDriver DoOpenDocument: invalid data format (%d)", record.mPixelFormat);
        return kParamErr;
    }
    OutputFormat format;
    format.flipHorizontal = p->isFlipH ? 1 : 0;
    format.pixelFormat = *lineFormat;
    format.collate = p->collated ? 1 : 0;
    format.copies = static_cast<uint16_t>(p->copies);
    format.documentWidth = p->pageWidthPixels;
    format.documentHeight = p->pageHeightPixels;
    format.pageName = PageNameString(*p).value_or("");
    return OpenDocument(record.mJobName, record.mOutputFileName, GetPageGeometry(*p), record.mPixelFormat, *lineFormat,
                        format, record.mHotFolder, record.mPageOutputSession);
}

}  // namespace kiv

using namespace kiv;

extern "C" {

int32_t KIVPrOpenDoc(DriverRecord *record, Handle printHandle) {
    if (const auto stop = Gate(record)) return *stop;
    // A second document while one is open would lose the first.
    if (record->mPageOutputSession) return FoldResult(*record, kParamErr);
    record->mLastOutputFile.reset();
    TakeFailureDetail();  // a cause left from an earlier call must not be blamed on this one
    Guarded(record, 0, [&] { return FoldResult(*record, DoOpenDocument(*record, printHandle)); });
    if (record->mState == kStateRunning) {
        KIV_ASSERT(record->mPageOutputSession != nullptr);
    }
    return record->mError;
}

int32_t KIVPrOpenPage(DriverRecord *record) {
    if (const auto stop = Gate(record)) return *stop;
    if (!record->mPageOutputSession) return kParamErr;
    return FoldResult(*record, OpenPage(*record->mPageOutputSession));
}

int32_t KIVPrPrintBitmap(DriverRecord *record, const HostBitmap *bitmap, const LongRect *src, const LongRect *dst) {
    if (const auto stop = Gate(record)) return *stop;
    if (!record->mPageOutputSession) return kParamErr;
    if (!bitmap || !src || !dst) return FoldResult(*record, kParamErr);
    Guarded(record, 0,
            [&] { return FoldResult(*record, PrintBits(*record->mPageOutputSession, *bitmap, *src, *dst)); });
    return record->mError;
}

int32_t KIVPrClosePage(DriverRecord *record) {
    if (!record) return kParamErr;
    PageOutputSession *session = record->mPageOutputSession.get();
    if (record->mState == kStateRunning) {
        if (!session) return kParamErr;
        FoldResult(*record, ClosePage(*session));
        if (record->mState == kStateRunning) return record->mError;
    }
    if (session) KillPage(*session);
    return record->mError;
}

int32_t KIVPrCloseDoc(DriverRecord *record) {
    if (!record) return kParamErr;
    if (record->mState == kStateRunning) {
        if (!record->mPageOutputSession) return record->mError;
        // A failed close has already deleted the file; its status reaches the host.
        Guarded(record, 0, [&] {
            std::filesystem::path published;
            const int16_t status = CloseDocument(std::move(record->mPageOutputSession), &published);
            if (status == kNoErr) record->mLastOutputFile = std::move(published);
            return FoldResult(*record, status);
        });
        record->mPageOutputSession.reset();
        return record->mError;
    }
    KillDocument(std::move(record->mPageOutputSession));
    return record->mError;
}

int32_t KIVPrSetProfile(DriverRecord *record, plist_t profile) {
    if (!record || !record->mPageOutputSession) return kParamErr;
    return Guarded<int32_t>(nullptr, kMemFullErr, [&] { return SetProfile(*record->mPageOutputSession, profile); });
}

int32_t KIVPrSetMetadata(DriverRecord *record, const char *key, plist_t value) {
    if (!record || !record->mPageOutputSession) return kParamErr;
    return Guarded<int32_t>(nullptr, kMemFullErr, [&] { return SetMetadata(*record->mPageOutputSession, key, value); });
}

char *MakeDestFileName(const char *name) {
    return Guarded<char *>(nullptr, nullptr, [&] { return DestFileName(name); });
}

}  // extern "C"

namespace kiv {

char *DestFileName(const char *name) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "(%02d_%02d_%02d)", local.tm_hour, local.tm_min, local.tm_sec);
    const std::size_t suffixUnits = std::strlen(suffix);

    // Count UTF-16 code units character by character, so that a cut never splits a pair.
    const std::string text = SanitizeForXml(name ? name : "");
    std::size_t units = 0, keep = 0;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::size_t bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::size_t charUnits = bytes == 4 ? 2 : 1;
        if (units + charUnits + suffixUnits > 70) break;
        units += charUnits;
        i += bytes;
        keep = i;
    }
    const std::string result = text.substr(0, keep) + suffix;
    char *out = static_cast<char *>(std::malloc(result.size() + 1));
    if (out) std::memcpy(out, result.c_str(), result.size() + 1);
    return out;
}

}  // namespace kiv
