// The exported entry points of the driver session and the status model they share.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <kiv/KIVPrinterDriver.h>

#include "DriverRecord.hpp"
#include "JobSettings.hpp"
#include "PageSetup.hpp"
#include "platform/FailureDetail.hpp"
#include "platform/Preferences.hpp"
#include "platform/Utf8.hpp"

namespace kiv {

int32_t FoldResult(DriverRecord &record, int16_t result) {
    if (result != kNoErr && record.mState == kStateRunning) {
        record.mState = result == kUserCanceledErr ? kStateCancelled : kStateFailed;
        record.mError = result;
        record.mErrorDetail = TakeFailureDetail();
        if (record.mErrorDetail.empty()) record.mErrorDetail = StatusText(result);
    }
    return record.mError;
}

}  // namespace kiv

using namespace kiv;

extern "C" {

int32_t KIVPrOpen(KIVBundleRef bundle, DriverRecord **outRecord) {
    if (!outRecord) return kParamErr;
    *outRecord = nullptr;
    const char *identifier = KIVBundleGetIdentifier(bundle);
    if (!identifier || !identifier[0]) return kParamErr;
    try {
        auto record = std::make_unique<DriverRecord>();
        *outRecord = record.get();
        record->mBundle = bundle;
        record->mPrefsDomain = identifier;
        SynchronizePreferences(record->mPrefsDomain);
        record->mPapers = ReadPageSizeStrings(record->mPrefsDomain, kDefaultPapers);
        record->mResolutions = ReadResolutionStrings(record->mPrefsDomain, kDefaultResolutions);
        int16_t result = record->mPapers && record->mResolutions ? kNoErr : kMemFullErr;
        if (result != kNoErr) {
            *outRecord = nullptr;
            record.reset();
            return result;
        }
        record.release();
        return kNoErr;
    } catch (...) {
        *outRecord = nullptr;
        return kMemFullErr;
    }
}

int32_t KIVPrClose(DriverRecord *record) {
    if (!record) return kParamErr;
    std::unique_ptr<DriverRecord> owned(record);
    // Settings the dialogs left pending (the hot folder) must not be lost when the host exits.
    Guarded<int>(nullptr, 0, [&] { return SynchronizePreferences(owned->mPrefsDomain) ? 0 : 1; });
    // A cancel is not an error at close.
    const int32_t result = owned->mState == kStateCancelled ? 0 : static_cast<int16_t>(owned->mError);
    owned.reset();
    return result;
}

void KIVPrSuggestPage(DriverRecord *record, Handle, const PageGeometry *page, int16_t pixelFormat) {
    if (!record) return;
    if (pixelFormat != 0) record->mPixelFormat = pixelFormat;
    if (page) std::memcpy(&record->mSuggestedPage, page, sizeof(PageGeometry));
}

uint8_t KIVPrValidate(DriverRecord *record, Handle printHandle) {
    if (!Running(record)) return false;
    if (!printHandle) {
        FoldResult(*record, kParamErr);
        return false;
    }
    return Guarded(record, uint8_t{0}, [&] { return static_cast<uint8_t>(ValidatePrintRecord(*record, printHandle)); });
}

void KIVPrDefaults(DriverRecord *record, Handle printHandle) {
    if (!record) return;
    Guarded(record, 0, [&] {
        if (!SetDefaults(*record, printHandle)) FoldResult(*record, printHandle ? kMemFullErr : kParamErr);
        return 0;
    });
}

void KIVPrGetInfo(DriverRecord *, Handle printHandle, PageInfo *outInfo) { GetInfo(printHandle, outInfo); }

int32_t KIVPrSetJobName(DriverRecord *record, Handle, const char *name) {
    if (!record) return kParamErr;
    Guarded(record, 0, [&] {
        record->mJobName = name && name[0] ? name : "Untitled";
        return 0;
    });
    return record->mError;
}

plist_t KIVPrCopyJobSettings(DriverRecord *record, Handle printHandle) {
    if (!record) return nullptr;
    return Guarded<plist_t>(nullptr, nullptr, [&] { return DoCopyJobSettings(*record, printHandle).release(); });
}

uint8_t KIVPrSetJobSettings(DriverRecord *record, Handle printHandle, plist_t settings) {
    if (!record) return false;
    return Guarded(nullptr, uint8_t{0},
                   [&] { return static_cast<uint8_t>(DoSetJobSettings(*record, printHandle, settings)); });
}

void KIVPrJobMerge(DriverRecord *, Handle sourceHandle, Handle destinationHandle) {
    DoJobMerge(sourceHandle, destinationHandle);
}

void KIVPrSetError(DriverRecord *record, int32_t code) {
    if (!Running(record)) return;
    record->mError = code;
    record->mErrorDetail.clear();
    record->mState = kStateHostError;
}

void KIVPrErrorString(DriverRecord *record, int32_t code, unsigned char message[256]) {
    if (!message) return;
    const char *plain = code == kUserCanceledErr ? "Printing cancelled by user" : "An error ocurred while printing";
    std::string_view shown = plain;
    std::string text;
    try {
        // The stored failure's cause, so that the person reading it can act on it. Without
        // memory for it the plain text still says what happened.
        if (record && code != kUserCanceledErr && code == record->mError && !record->mErrorDetail.empty()) {
            text = std::string(plain) + ": " + SanitizeForXml(record->mErrorDetail);
            shown = CutUtf8(text, 255);
        }
    } catch (...) {
    }
    message[0] = static_cast<unsigned char>(shown.size());
    std::memcpy(message + 1, shown.data(), shown.size());
}

char *KIVPrCopyOutputFileName(DriverRecord *record) {
    if (!record || !record->mLastOutputFile) return nullptr;
    const std::string &path = record->mLastOutputFile->native();
    char *copy = static_cast<char *>(std::malloc(path.size() + 1));
    if (copy) std::memcpy(copy, path.c_str(), path.size() + 1);
    return copy;
}

}  // extern "C"
