// Running the two dialogs on the print record: page setup and print job.
#include <kiv/KIVPrinterDriver.h>

#include "DriverRecord.hpp"
#include "PageSetup.hpp"
#include "dialogs/JobDialog.hpp"
#include "dialogs/StyleDialog.hpp"
#include "media/PreferenceValues.hpp"
#include "platform/Bookmark.hpp"
#include "platform/Preferences.hpp"

namespace kiv {
namespace {

// Locks the host's handle for the scope and restores its lock state afterwards.
class HandleLock {
public:
    explicit HandleLock(Handle h) : h_(h), state_(HGetState(h)) { HLock(h); }
    ~HandleLock() { HSetState(h_, state_); }
    HandleLock(const HandleLock &) = delete;
    HandleLock &operator=(const HandleLock &) = delete;

private:
    Handle h_;
    signed char state_;
};

}  // namespace

namespace {

// The page setup dialog's parameters from a print record and the session's suggestion.
StyleParams StyleParamsFromRecord(const PrintRecord &p, const DriverRecord &record) {
    StyleParams params;
    params.pageWidth_pixels = p.pageWidthPixels;
    params.pageHeight_pixels = p.pageHeightPixels;
    params.pageWidth_mm = p.pageWidthMM;
    params.pageHeight_mm = p.pageHeightMM;
    params.isBW = p.isBW;
    params.isFlipH = p.isFlipH;
    params.isTiled = p.isTiled;
    params.tileWidth_mm = p.tileWidthMM;
    params.tileHeight_mm = p.tileHeightMM;
    params.pageName = PageNameString(p).value_or("");
    params.documentWidth_mm = record.mSuggestedPage.widthMillimetres;
    params.documentHeight_mm = record.mSuggestedPage.heightMillimetres;
    params.documentWidth_pixels = record.mSuggestedPage.widthPixels;
    params.documentHeight_pixels = record.mSuggestedPage.heightPixels;
    params.resolutions = record.mResolutions.get();
    params.papers = record.mPapers.get();
    return params;
}

// What the accepted dialog changed, back into the print record.
void ApplyStyleParams(const StyleParams &params, PrintRecord &p) {
    p.pageWidthPixels = params.pageWidth_pixels;
    p.pageHeightPixels = params.pageHeight_pixels;
    p.pageWidthMM = params.pageWidth_mm;
    p.pageHeightMM = params.pageHeight_mm;
    p.isBW = params.isBW;
    p.isFlipH = params.isFlipH;
    p.isTiled = params.isTiled;
    p.tileWidthMM = params.tileWidth_mm;
    p.tileHeightMM = params.tileHeight_mm;
    SetPageName(p, params.pageName);  // cut to 255 bytes at a character boundary
}

}  // namespace

bool DoStyle(DriverRecord &record, Handle h) {
    if (!HoldsPrintRecord(h)) return false;
    HandleLock lock(h);
    PrintRecord p = *LoadPrintRecord(h);
    StyleParams params = StyleParamsFromRecord(p, record);
    if (!StyleDialog(record.mBundle, record.mPrefsDomain, params, kMaxPageWidthMillimetres, kMinPageMillimetres,
                     kMaxPageHeightMillimetres, kMinPageMillimetres)) {
        return false;
    }
    ApplyStyleParams(params, p);
    StorePrintRecord(h, p);
    return true;
}

bool DoJob(DriverRecord &record, Handle h) {
    SynchronizePreferences(record.mPrefsDomain);
    auto p = LoadPrintRecord(h);
    if (!p) return false;
    const std::string title =
        StringValue(KIVBundleGetValueForInfoDictionaryKey(record.mBundle, "CFBundleName")).value_or("Job Dialog");

    std::optional<std::filesystem::path> hotFolder;
    if (Plist bookmark = CopyFileLocationPreference(record.mPrefsDomain, "HotFolderBookmark", "HotFolder")) {
        hotFolder = ResolveBookmarkData(bookmark.get());
    }
    uint16_t copies = static_cast<uint16_t>(p->copies);
    uint8_t collated = p->collated ? 1 : 0;
    std::optional<std::string> fileName;
    if (!JobDialog(record.mBundle, record.mPrefsDomain, title, hotFolder, record.mJobName, "vad3", fileName, &copies,
                   &collated, p->fromPage, p->toPage)) {
        return false;
    }
    p->copies = static_cast<int16_t>(copies);
    p->collated = collated != 0;
    StorePrintRecord(h, *p);
    if (fileName) record.mOutputFileName = fileName;
    if (hotFolder) {
        if (Plist bookmark = CreateBookmarkData(*hotFolder)) {
            SetFileLocationPreference(record.mPrefsDomain, "HotFolderBookmark", bookmark.get());
        }
        record.mHotFolder = hotFolder;
    }
    return true;
}

}  // namespace kiv

using namespace kiv;

extern "C" {

uint8_t KIVPrStyle(DriverRecord *record, Handle printHandle) {
    if (!Running(record)) return false;
    const bool accepted = Guarded(record, false, [&] {
        if (!DoStyle(*record, printHandle)) return false;
        SaveDefaults(*record, printHandle);
        return true;
    });
    if (!accepted && record->mState == kStateRunning) record->mState = kStateCancelled;
    return accepted;
}

uint8_t KIVPrJob(DriverRecord *record, Handle printHandle) {
    if (!Running(record)) return false;
    const bool accepted = Guarded(record, false, [&] { return DoJob(*record, printHandle); });
    if (!accepted && record->mState == kStateRunning) record->mState = kStateCancelled;
    return accepted;
}

}  // extern "C"
