// The page setup dialog: page size, resolution, tiling, mirroring, black and white, units,
// and the user's named papers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <kiv/KIVPlatform.h>

#include "forms/Forms.hpp"
#include "media/Catalogue.hpp"

namespace kiv {

// What the caller hands the dialog and reads back after OK (fields 1–10).
struct StyleParams {
    int32_t pageWidth_pixels = 0;
    int32_t pageHeight_pixels = 0;
    double pageWidth_mm = 0;
    double pageHeight_mm = 0;
    unsigned char isBW = 0;
    unsigned char isFlipH = 0;
    unsigned char isTiled = 0;
    double tileWidth_mm = 0;
    double tileHeight_mm = 0;
    std::string pageName;  // the paper in use; "Custom" or a catalogue name after OK
    double documentWidth_mm = 0;
    double documentHeight_mm = 0;
    int32_t documentWidth_pixels = 0;
    int32_t documentHeight_pixels = 0;
    ResDescription *resolutions = nullptr;
    PaperDescription *papers = nullptr;  // may change: papers added and removed are saved at once
};

// Runs the dialog on params; true when the user confirmed (params then hold the new page and
// "Units" is set in the domain). A toolkit failure counts as a cancel.
bool StyleDialog(KIVBundleRef bundle, const std::string &preferencesDomain, StyleParams &params, double maxWidth,
                 double minWidth, double maxHeight, double minHeight);

class VarnelPrinterDriverStyleDialogController {
public:
    explicit VarnelPrinterDriverStyleDialogController(KIVBundleRef bundle);

    void setMinWidth(double minWidth, double maxWidth, double minHeight, double maxHeight);
    void setParameters(StyleParams *params);
    void setPreferencesDomain(std::string domain) { preferencesDomain_ = std::move(domain); }
    void setUnitMode(int32_t unit) { unitMode_ = unit; }
    bool runStyleDialog();

    // Results.
    bool isTiled() const { return isTiled_; }
    bool isFlipH() const { return isFlipH_; }
    bool isBW() const { return isBW_; }
    void setIsTiled(bool v) { isTiled_ = v; }
    void setIsFlipH(bool v) { isFlipH_ = v; }
    void setIsBW(bool v) { isBW_ = v; }
    int64_t lastPaperMenuSelection() const { return lastPaperMenuTag_; }
    int32_t pageWidthPixels() const { return pageWidth_pixels_; }
    int32_t pageHeightPixels() const { return pageHeight_pixels_; }
    double pageWidthMM() const { return pageWidth_mm_; }
    double pageHeightMM() const { return pageHeight_mm_; }
    double tileWidthMM() const { return tileWidth_mm_; }
    double tileHeightMM() const { return tileHeight_mm_; }
    int32_t unitMode() const { return unitMode_; }

    // What the form's controls do.
    void windowDidLoad();
    void setDialog();
    void doOK();
    void doCancel();
    void controlTextDidChange(forms::TextField *field);
    void doSetUnits();
    void doSetPageFromDocument();
    void setPageFromDocument();
    void buildPagesMenu();
    void buildResolutionsMenu();
    void doSetPage();
    void doNewPaperOK();
    void doNewPaperCancel();

private:
    void Connect();
    void FollowTypedSize();
    void SelectPaper(int64_t tag);

    KIVBundleRef bundle_;
    std::unique_ptr<forms::Form> form_;
    bool isOK_ = false;
    int32_t unitMode_ = 2;
    bool isTiled_ = false, isFlipH_ = false, isBW_ = false;
    double minWidth_ = 0, maxWidth_ = 0, minHeight_ = 0, maxHeight_ = 0;
    double pageWidth_mm_ = 0, pageHeight_mm_ = 0;
    int32_t pageWidth_pixels_ = 0, pageHeight_pixels_ = 0;
    double tileWidth_mm_ = 0, tileHeight_mm_ = 0;
    int64_t lastPaperMenuTag_ = -2;
    StyleParams *params_ = nullptr;
    std::string preferencesDomain_;

    // Outlets.
    forms::PopUpMenu *pagesMenu_ = nullptr, *resolutionsMenu_ = nullptr, *unitsMenu_ = nullptr;
    forms::TextField *version_ = nullptr, *pageWidth_ = nullptr, *pageHeight_ = nullptr, *tileWidth_ = nullptr,
                     *tileHeight_ = nullptr, *paperName_ = nullptr;
};

}  // namespace kiv
