// The page setup in the print record: validity, defaults, fitting to a document, saving.
#include "PageSetup.hpp"

#include <cmath>
#include <cstring>
#include <limits>

#include "media/PreferenceValues.hpp"
#include "platform/Preferences.hpp"

namespace kiv {
namespace {

constexpr double kMmPerInch = 25.4;

// ceil(mm ÷ 25.4 × dpi − 0.1): the smallest whole number of pixels covering the size less a
// tenth of a pixel, kept within 32 bits (an absurd size fails validation instead of overflowing).
int32_t FitPixels(double mm, double dpi) {
    const double pixels = std::ceil(mm / kMmPerInch * dpi - 0.1);
    if (!(pixels > 0)) return 0;
    if (pixels > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(pixels);
}

void FitPage(PrintRecord &p, double widthMM, double heightMM, double rx, double ry) {
    const int32_t w = FitPixels(widthMM, rx);
    const int32_t h = FitPixels(heightMM, ry);
    p.pageWidthPixels = w;
    p.pageHeightPixels = h;
    p.pageWidthMM = w * kMmPerInch / rx;
    p.pageHeightMM = h * kMmPerInch / ry;
}

}  // namespace

void FindNearestResolution(const ResDescription &resolutions, double x, double y, double &rx, double &ry) {
    double best = std::numeric_limits<double>::infinity();
    for (int64_t i = 0; i < CountResolution(resolutions); ++i) {
        const ResEntry &r = GetResolution(resolutions, i);
        const double d = (x - r.xdpi) * (x - r.xdpi) + (y - r.ydpi) * (y - r.ydpi);
        if (d < best) {
            best = d;
            rx = r.xdpi;
            ry = r.ydpi;
        }
    }
}

bool HPrintIsBad(const DriverRecord &record, Handle h) {
    if (!h || GetHandleSize(h) != kPrintRecordSize) return true;
    const PrintRecord p = *LoadPrintRecord(h);
    const double W = p.pageWidthPixels, H = p.pageHeightPixels;
    const double Wmm = p.pageWidthMM, Hmm = p.pageHeightMM;
    // Written so that NaN fails every check.
    constexpr double lo = kMinPageMillimetres - kPageLimitTolerance;
    if (!(Wmm <= kMaxPageWidthMillimetres + kPageLimitTolerance &&
          Hmm <= kMaxPageHeightMillimetres + kPageLimitTolerance && Wmm >= lo && Hmm >= lo)) {
        return true;
    }
    if (W < 1 || H < 1) return true;
    if (p.isTiled) {
        if (!(Wmm + 0.0001 >= p.tileWidthMM && Hmm + 0.0001 >= p.tileHeightMM)) return true;
        if (!(std::trunc(p.tileWidthMM * W / Wmm) >= 1 && std::trunc(p.tileHeightMM * H / Hmm) >= 1)) return true;
    }
    const double xdpi = W / Wmm * kMmPerInch;
    const double ydpi = H / Hmm * kMmPerInch;
    if (!record.mResolutions) return true;
    double rx = 0, ry = 0;
    FindNearestResolution(*record.mResolutions, xdpi, ydpi, rx, ry);
    if (!(std::fabs(xdpi - rx) <= 0.1 && std::fabs(ydpi - ry) <= 0.1)) return true;
    if (!p.isTiled) return false;
    const double tx = xdpi * p.tileWidthMM / kMmPerInch;
    const double ty = ydpi * p.tileHeightMM / kMmPerInch;
    return !(std::fabs(tx - std::round(tx)) <= 0.0001 && std::fabs(ty - std::round(ty)) <= 0.0001);
}

namespace {

// The page setup saved as "DefaultPageSetup" (dict), or the built-in one (null), into p.
void FillDefaults(DriverRecord &record, PrintRecord &p, plist_t dict) {
    const int32_t W = GetSInt32FromDictionaryWithChecking(dict, "Width", 3968, 1, 2147483647);
    const int32_t H = GetSInt32FromDictionaryWithChecking(dict, "Height", 5527, 1, 2147483647);
    const double Wmm =
        GetDoubleFromDictionaryWithChecking(dict, "Width_mm", 280.0, kMinPageMillimetres, kMaxPageWidthMillimetres);
    const double Hmm =
        GetDoubleFromDictionaryWithChecking(dict, "Height_mm", 390.0, kMinPageMillimetres, kMaxPageHeightMillimetres);
    double rx = W * kMmPerInch / Wmm, ry = H * kMmPerInch / Hmm;
    if (record.mResolutions) FindNearestResolution(*record.mResolutions, rx, ry, rx, ry);
    FitPage(p, Wmm, Hmm, rx, ry);

    p.copies = 1;
    p.fromPage = 1;
    p.toPage = 999;
    p.collated = true;
    p.isBW = GetBooleanFromDictionary(dict, "B&W", false);
    p.isFlipH = GetBooleanFromDictionary(dict, "FlipH", false);
    p.isTiled = false;
    p.tileWidthMM = p.pageWidthMM;
    p.tileHeightMM = p.pageHeightMM;

    const unsigned char empty[1] = {0};
    Str255 name{};
    GetStr255FromDictionary(dict, "PageName", empty, name);
    std::memcpy(p.pageName.data(), name, 256);
    SyncPageName(record, p);
}

}  // namespace

bool SetDefaults(DriverRecord &record, Handle h) {
    SynchronizePreferences(record.mPrefsDomain);
    Plist saved = CopyPreferenceValue(record.mPrefsDomain, "DefaultPageSetup");
    plist_t dict = IsDict(saved.get()) ? saved.get() : nullptr;

    if (!h) return false;
    if (GetHandleSize(h) != kPrintRecordSize) {
        SetHandleSize(h, kPrintRecordSize);
        if (GetHandleSize(h) != kPrintRecordSize) return false;
        std::memset(*h, 0, kPrintRecordSize);
    }

    const PrintRecord loaded = *LoadPrintRecord(h);
    PrintRecord p = loaded;
    FillDefaults(record, p, dict);
    StorePrintRecord(h, p);
    // A saved setup is refitted (pixels from its size, the nearest catalogue resolution, its
    // name synced); only one that is still unusable then (absurd sizes, a resolution no fit
    // can reach) gives way to the built-in setup.
    if (!dict || !HPrintIsBad(record, h)) return true;
    p = loaded;
    FillDefaults(record, p, nullptr);
    StorePrintRecord(h, p);
    return true;
}

void SetSuggestions(DriverRecord &record, Handle h, const PageGeometry &page) {
    if (page.widthPixels < 1 || page.heightPixels < 1 || !record.mResolutions) return;
    auto loaded = LoadPrintRecord(h);
    if (!loaded) return;
    PrintRecord &p = *loaded;
    const ResDescription &res = *record.mResolutions;

    const double xdpi = page.widthPixels * kMmPerInch / page.widthMillimetres;
    const double ydpi = page.heightPixels * kMmPerInch / page.heightMillimetres;
    double rx = 0, ry = 0;
    if (CountResolution(res) > 0) {
        const ResEntry &def = GetResolution(res, DefaultResolution(res));
        rx = def.xdpi;
        ry = def.ydpi;
    }
    // Never print below the document's own resolution when the catalogue goes high enough.
    // The document's resolution went through millimetres and back: a 300 dpi page may come
    // out a hair above 300, which must not send it to the next resolution up.
    constexpr double kDpiTolerance = 0.001;
    double best = std::numeric_limits<double>::infinity();
    for (int64_t i = 0; i < CountResolution(res); ++i) {
        const ResEntry &r = GetResolution(res, i);
        if (!(r.xdpi >= xdpi - kDpiTolerance && r.ydpi >= ydpi - kDpiTolerance)) continue;
        const double d = (xdpi - r.xdpi) * (xdpi - r.xdpi) + (ydpi - r.ydpi) * (ydpi - r.ydpi);
        if (d < best) {
            best = d;
            rx = r.xdpi;
            ry = r.ydpi;
        }
    }
    FitPage(p, page.widthMillimetres, page.heightMillimetres, rx, ry);
    p.isTiled = false;
    p.tileWidthMM = p.pageWidthMM;
    p.tileHeightMM = p.pageHeightMM;
    SyncPageName(record, p);
    StorePrintRecord(h, p);
}

void SaveDefaults(DriverRecord &record, Handle h) {
    const auto p = LoadPrintRecord(h);
    Plist dict = MakeDict();
    if (!p || !dict) return;
    PutSInt32InDictionary(dict.get(), "Width", p->pageWidthPixels);
    PutSInt32InDictionary(dict.get(), "Height", p->pageHeightPixels);
    PutDoubleInDictionary(dict.get(), "Width_mm", p->pageWidthMM);
    PutDoubleInDictionary(dict.get(), "Height_mm", p->pageHeightMM);
    PutBooleanInDictionary(dict.get(), "B&W", p->isBW);
    PutBooleanInDictionary(dict.get(), "FlipH", p->isFlipH);
    PutStr255InDictionary(dict.get(), "PageName", p->pageName.data());
    SetPreferenceValue(record.mPrefsDomain, "DefaultPageSetup", dict.get());
    SynchronizePreferences(record.mPrefsDomain);
}

PageGeometry GetPageGeometry(const PrintRecord &p) {
    if (!p.isTiled) return PageGeometry{p.pageWidthPixels, p.pageHeightPixels, p.pageWidthMM, p.pageHeightMM};
    // A tile validated as a whole number of pixels may compute a hair below it (99.99999 for
    // 100); the same tolerance as the validation keeps that pixel.
    const auto pixels = [](double v) {
        v = std::trunc(v + 0.0001);
        if (!(v >= 0)) return 0;
        return v > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(v);
    };
    return PageGeometry{pixels(p.tileWidthMM * p.pageWidthPixels / p.pageWidthMM),
                        pixels(p.tileHeightMM * p.pageHeightPixels / p.pageHeightMM), p.tileWidthMM, p.tileHeightMM};
}

void GetInfo(Handle h, PageInfo *info) {
    if (!info) return;
    std::memset(info, 0, sizeof *info);
    info->reserved1 = 1;
    const auto p = LoadPrintRecord(h);
    if (!p) return;
    const PageGeometry g = GetPageGeometry(*p);
    info->widthPixels = g.widthPixels;
    info->heightPixels = g.heightPixels;
    info->widthMillimetres = g.widthMillimetres;
    info->heightMillimetres = g.heightMillimetres;
    info->fromPage = p->fromPage;
    info->toPage = p->toPage;
}

void SyncPageName(const DriverRecord &record, PrintRecord &p) {
    std::string chosen;
    const std::string name = PageNameString(p).value_or("");
    if (record.mPapers) {
        const PaperDescription &papers = *record.mPapers;
        if (const PaperEntry *byName = GetPaperByName(papers, name)) {
            if (IsSamePaperSize(*byName, p.pageWidthMM, p.pageHeightMM)) {
                chosen = byName->name;
            } else if (const PaperEntry *bySize = GetPaperBySize(papers, p.pageWidthMM, p.pageHeightMM)) {
                chosen = bySize->name;
            }
        }
    }
    SetPageName(p, chosen);
}

bool ValidatePrintRecord(DriverRecord &record, Handle h) {
    const bool forced = KIVIsOptionKeyPressed();
    if (forced) KIVBeep();
    if (!forced && !HPrintIsBad(record, h)) return false;
    if (!SetDefaults(record, h)) {
        FoldResult(record, kMemFullErr);
        return true;
    }
    SetSuggestions(record, h, record.mSuggestedPage);
    if (HPrintIsBad(record, h)) SetDefaults(record, h);
    return true;
}

}  // namespace kiv
