// The state behind a host's driver handle, and the status model every entry point shares.
#pragma once

#include <cstdint>
#include <filesystem>
#include <new>
#include <optional>
#include <string>

#include <kiv/KIVPrinterDriver.h>

#include "media/Catalogue.hpp"
#include "raster/PageOutput.hpp"
#include "platform/Status.hpp"

// One per KIVPrOpen; the host never looks inside.
struct DriverRecord {
    uint32_t mState = 0;             // a kiv::DriverState
    int32_t mError = 0;              // the stored OSErr
    std::string mErrorDetail;        // what failed and why, for the error message
    PageGeometry mSuggestedPage{};   // all zero: no suggestion
    int16_t mPixelFormat = 32;       // of the host's bands
    KIVBundleRef mBundle = nullptr;  // borrowed
    std::string mPrefsDomain;        // the bundle identifier
    std::string mJobName = "Untitled";
    std::optional<std::string> mOutputFileName;            // chosen in the job dialog
    std::optional<std::filesystem::path> mHotFolder;       // receives the output files
    std::optional<std::filesystem::path> mLastOutputFile;  // what the last document became
    kiv::PaperDescriptionPtr mPapers;
    kiv::ResDescriptionPtr mResolutions;
    kiv::PageOutputSessionPtr mPageOutputSession;  // the open document; dropping it abandons the file
};

namespace kiv {

enum DriverState : uint32_t {
    kStateRunning = 0,
    kStateCancelled = 1,
    kStateFailed = 2,
    kStateHostError = 3,
};

// The gate of the entry points that act: without a record they refuse (kParamErr), and once
// the session has stopped (cancel, failure, host error) they do nothing and return the stored
// status. nullopt: go on. Not gated: KIVPrClosePage and KIVPrCloseDoc (they must clean up
// after a failure), KIVPrClose and KIVPrErrorString (they report it).
inline std::optional<int32_t> Gate(const DriverRecord *record) {
    if (!record) return kParamErr;
    if (record->mState != kStateRunning) return record->mError;
    return std::nullopt;
}
// The same for entry points that answer true or false.
inline bool Running(const DriverRecord *record) { return !Gate(record); }

// Records a failed operation's result: -128 cancels, anything else fails. The first non-zero
// status wins. Returns the stored error.
int32_t FoldResult(DriverRecord &record, int16_t result);

// Runs body; an exception escaping it becomes a failed status (-108 for memory, else -50)
// and the call returns onFailure: nothing is thrown across the C interface.
template <class R, class Body>
R Guarded(DriverRecord *record, R onFailure, Body &&body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        if (record) FoldResult(*record, kMemFullErr);
    } catch (...) {
        if (record) FoldResult(*record, kParamErr);
    }
    return onFailure;
}

}  // namespace kiv
