// The page setup dialog controller and its entry function.
#include "StyleDialog.hpp"

#include <cmath>
#include <cstdio>

#include "dialogs/NumericFields.hpp"
#include "forms/WindowResources.hpp"
#include "media/MenuTags.hpp"
#include "platform/Plist.hpp"
#include "platform/Preferences.hpp"
#include "platform/Diagnostics.hpp"

namespace kiv {
namespace {

namespace outlet = forms::outlet;

std::string InfoString(KIVBundleRef bundle, const char *key) {
    return StringValue(KIVBundleGetValueForInfoDictionaryKey(bundle, key)).value_or("");
}

// ⌈mm × scale − 0.1⌉: a fraction of at most a tenth of a pixel is dropped.
double SnapPixels(double mm, double scale) { return std::ceil(mm * scale - 0.1); }

}  // namespace

VarnelPrinterDriverStyleDialogController::VarnelPrinterDriverStyleDialogController(KIVBundleRef bundle)
    : bundle_(bundle) {}

void VarnelPrinterDriverStyleDialogController::setMinWidth(double minWidth, double maxWidth, double minHeight,
                                                           double maxHeight) {
    minWidth_ = minWidth, maxWidth_ = maxWidth, minHeight_ = minHeight, maxHeight_ = maxHeight;
}

void VarnelPrinterDriverStyleDialogController::setParameters(StyleParams *params) {
    params_ = params;
    pageWidth_mm_ = params->pageWidth_mm;
    pageHeight_mm_ = params->pageHeight_mm;
    tileWidth_mm_ = params->tileWidth_mm;
    tileHeight_mm_ = params->tileHeight_mm;
    setIsTiled(params->isTiled);
    setIsFlipH(params->isFlipH);
    setIsBW(params->isBW);
}

bool VarnelPrinterDriverStyleDialogController::runStyleDialog() {
    isOK_ = false;
    form_ = forms::CurrentToolkit().LoadForm(bundle_, forms::resource::kStyle);
    Connect();
    windowDidLoad();
    form_->Show();
    form_->RunModal();
    form_->OrderOut();
    return isOK_;
}

void VarnelPrinterDriverStyleDialogController::Connect() {
    forms::Form &f = *form_;
    pagesMenu_ = forms::Required(f, &forms::Form::Menu, outlet::kPagesMenu);
    resolutionsMenu_ = forms::Required(f, &forms::Form::Menu, outlet::kResolutionsMenu);
    unitsMenu_ = forms::Required(f, &forms::Form::Menu, outlet::kUnitsMenu);
    version_ = f.Field(outlet::kVersion);
    pageWidth_ = forms::Required(f, &forms::Form::Field, outlet::kPageWidth);
    pageHeight_ = forms::Required(f, &forms::Form::Field, outlet::kPageHeight);
    tileWidth_ = forms::Required(f, &forms::Form::Field, outlet::kTileWidth);
    tileHeight_ = forms::Required(f, &forms::Form::Field, outlet::kTileHeight);
    paperName_ = forms::Required(f, &forms::Form::Field, outlet::kPaperName);
    for (forms::TextField *field : {pageWidth_, pageHeight_, tileWidth_, tileHeight_})
        field->OnUserEdit([this, field] { controlTextDidChange(field); });
    pagesMenu_->OnChoose([this] { doSetPage(); });
    unitsMenu_->OnChoose([this] { doSetUnits(); });
    const struct {
        const char *name;
        bool VarnelPrinterDriverStyleDialogController::*flag;
    } checks[] = {{outlet::kIsTiled, &VarnelPrinterDriverStyleDialogController::isTiled_},
                  {outlet::kIsFlipH, &VarnelPrinterDriverStyleDialogController::isFlipH_},
                  {outlet::kIsBW, &VarnelPrinterDriverStyleDialogController::isBW_}};
    for (const auto &c : checks) {
        forms::CheckBox *box = forms::Required(f, &forms::Form::Check, c.name);
        box->SetOn(this->*c.flag);
        box->OnToggle([this, box, flag = c.flag] { this->*flag = box->IsOn(); });
    }
    forms::Required(f, &forms::Form::ButtonNamed, outlet::kOK)->OnPress([this] { doOK(); });
    forms::Required(f, &forms::Form::ButtonNamed, outlet::kCancel)->OnPress([this] { doCancel(); });
    forms::Required(f, &forms::Form::ButtonNamed, outlet::kPageFromDocument)->OnPress([this] {
        doSetPageFromDocument();
    });
    forms::Required(f, &forms::Form::ButtonNamed, outlet::kPaperNameOK)->OnPress([this] { doNewPaperOK(); });
    forms::Required(f, &forms::Form::ButtonNamed, outlet::kPaperNameCancel)->OnPress([this] { doNewPaperCancel(); });
}

void VarnelPrinterDriverStyleDialogController::windowDidLoad() {
    buildPagesMenu();
    buildResolutionsMenu();
    form_->SetTitle(InfoString(bundle_, "CFBundleName"));
    if (version_) version_->SetText(InfoString(bundle_, "CFBundleShortVersionString"));

    const PaperDescription &papers = *params_->papers;
    lastPaperMenuTag_ = params_->pageName.empty() ? PageTagBySize(papers, pageWidth_mm_, pageHeight_mm_)
                                                  : PageTagByName(papers, params_->pageName);
    pagesMenu_->SelectTag(lastPaperMenuTag_);

    const ResDescription &res = *params_->resolutions;
    const ResEntry &def = GetResolution(res, DefaultResolution(res));
    const double xdpi = params_->pageWidth_pixels ? params_->pageWidth_pixels / params_->pageWidth_mm * 25.4 : def.xdpi;
    const double ydpi =
        params_->pageHeight_pixels ? params_->pageHeight_pixels / params_->pageHeight_mm * 25.4 : def.ydpi;
    resolutionsMenu_->SelectTag(ResolutionTag(res, xdpi, ydpi));
    unitsMenu_->SelectTag(unitMode_);
    setDialog();
}

void VarnelPrinterDriverStyleDialogController::setDialog() {
    StuffUnitNumber(*pageWidth_, unitMode_, pageWidth_mm_);
    StuffUnitNumber(*pageHeight_, unitMode_, pageHeight_mm_);
    StuffUnitNumber(*tileWidth_, unitMode_, tileWidth_mm_);
    StuffUnitNumber(*tileHeight_, unitMode_, tileHeight_mm_);
}

void VarnelPrinterDriverStyleDialogController::doOK() {
    double xdpi = 0, ydpi = 0;
    if (!GetResolutionFromTag(resolutionsMenu_->SelectedTag().value_or(-1), *params_->resolutions, xdpi, ydpi) ||
        !(xdpi > 0 && ydpi > 0)) {
        forms::CurrentToolkit().Beep();
        return;
    }
    const double xScale = xdpi / 25.4, yScale = ydpi / 25.4;
    std::optional<std::string> noText;
    if (!ValidateField(*pageWidth_, unitMode_, pageWidth_mm_, noText, minWidth_, maxWidth_)) return;
    if (!ValidateField(*pageHeight_, unitMode_, pageHeight_mm_, noText, minHeight_, maxHeight_)) return;
    if (isTiled_) {
        if (!ValidateField(*tileWidth_, unitMode_, tileWidth_mm_, noText, 1 / xScale, pageWidth_mm_)) return;
        if (!ValidateField(*tileHeight_, unitMode_, tileHeight_mm_, noText, 1 / yScale, pageHeight_mm_)) return;
    }
    pageWidth_pixels_ = static_cast<int32_t>(SnapPixels(pageWidth_mm_, xScale));
    pageHeight_pixels_ = static_cast<int32_t>(SnapPixels(pageHeight_mm_, yScale));
    pageWidth_mm_ = pageWidth_pixels_ / xScale;
    pageHeight_mm_ = pageHeight_pixels_ / yScale;
    tileWidth_mm_ = SnapPixels(tileWidth_mm_, xScale) / xScale;
    tileHeight_mm_ = SnapPixels(tileHeight_mm_, yScale) / yScale;
    pageWidth_mm_ = std::min(pageWidth_mm_, maxWidth_);
    pageHeight_mm_ = std::min(pageHeight_mm_, maxHeight_);
    tileWidth_mm_ = std::min(tileWidth_mm_, pageWidth_mm_);
    tileHeight_mm_ = std::min(tileHeight_mm_, pageHeight_mm_);
    isOK_ = true;
    form_->StopModal();
}

void VarnelPrinterDriverStyleDialogController::doCancel() {
    isOK_ = false;
    form_->StopModal();
}

void VarnelPrinterDriverStyleDialogController::controlTextDidChange(forms::TextField *field) {
    std::optional<std::string> noText;
    if (field == pageWidth_) {
        if (FetchValue(*field, unitMode_, pageWidth_mm_, noText, false, minWidth_, maxWidth_)) FollowTypedSize();
    } else if (field == pageHeight_) {
        if (FetchValue(*field, unitMode_, pageHeight_mm_, noText, false, minHeight_, maxHeight_)) FollowTypedSize();
    } else if (field == tileWidth_) {
        FetchValue(*field, unitMode_, tileWidth_mm_, noText, false, 0, pageWidth_mm_);
    } else if (field == tileHeight_) {
        FetchValue(*field, unitMode_, tileHeight_mm_, noText, false, 0, pageHeight_mm_);
    }
}

// The paper menu keeps a paper that still has the typed size, else moves to the one that has it.
void VarnelPrinterDriverStyleDialogController::FollowTypedSize() {
    const PaperDescription &papers = *params_->papers;
    if (lastPaperMenuTag_ >= 0 && lastPaperMenuTag_ < CountPaper(papers) &&
        IsSamePaperSize(GetPaper(papers, lastPaperMenuTag_), pageWidth_mm_, pageHeight_mm_)) {
        return;
    }
    SelectPaper(PageTagBySize(papers, pageWidth_mm_, pageHeight_mm_));
}

void VarnelPrinterDriverStyleDialogController::SelectPaper(int64_t tag) {
    lastPaperMenuTag_ = tag;
    pagesMenu_->SelectTag(tag);
}

void VarnelPrinterDriverStyleDialogController::doSetUnits() {
    unitMode_ = static_cast<int32_t>(unitsMenu_->SelectedTag().value_or(unitMode_));
    setDialog();
}

void VarnelPrinterDriverStyleDialogController::doSetPageFromDocument() {
    if (params_->documentWidth_mm > maxWidth_ || params_->documentHeight_mm > maxHeight_) {
        forms::AlertSpec alert;
        alert.message = forms::Localized(bundle_, "The width or height of the document is too large for the printer");
        alert.informative = forms::Localized(bundle_, "Do you want to make the page size as big as possible?");
        alert.buttons = {forms::Localized(bundle_, "OK"), forms::Localized(bundle_, "Cancel")};
        form_->BeginAlertSheet(alert, [this](int code) {
            if (code == forms::kFirstButton) setPageFromDocument();
        });
        return;
    }
    setPageFromDocument();
}

void VarnelPrinterDriverStyleDialogController::setPageFromDocument() {
    pageWidth_mm_ = std::min(params_->documentWidth_mm, maxWidth_);
    if (pageWidth_mm_ > 0) tileWidth_mm_ = pageWidth_mm_;
    pageWidth_mm_ = std::max(pageWidth_mm_, minWidth_);
    pageHeight_mm_ = std::min(params_->documentHeight_mm, maxHeight_);
    if (pageHeight_mm_ > 0) tileHeight_mm_ = pageHeight_mm_;
    pageHeight_mm_ = std::max(pageHeight_mm_, minHeight_);
    SelectPaper(PageTagBySize(*params_->papers, pageWidth_mm_, pageHeight_mm_));
    setDialog();
}

void VarnelPrinterDriverStyleDialogController::buildPagesMenu() {
    for (int n = pagesMenu_->Count(); n > 0 && pagesMenu_->Count() > 0 && pagesMenu_->TagAt(0) >= 0; --n)
        pagesMenu_->RemoveAt(0);
    const PaperDescription &papers = *params_->papers;
    for (int64_t i = 0; i < CountPaper(papers); ++i)
        pagesMenu_->Insert(GetPaper(papers, i).name, i, static_cast<int>(i));
    pagesMenu_->SynchronizeTitle();
}

void VarnelPrinterDriverStyleDialogController::buildResolutionsMenu() {
    resolutionsMenu_->RemoveAll();
    const ResDescription &res = *params_->resolutions;
    for (int64_t i = 0; i < CountResolution(res); ++i) resolutionsMenu_->Append(GetResolution(res, i).name, i);
    resolutionsMenu_->SynchronizeTitle();
}

void VarnelPrinterDriverStyleDialogController::doSetPage() {
    PaperDescription &papers = *params_->papers;
    const int64_t tag = pagesMenu_->SelectedTag().value_or(kCustomPaperTag);
    if (tag == kRemovePaperTag) {
        if (lastPaperMenuTag_ >= 0 && lastPaperMenuTag_ < CountPaper(papers)) {
            RemovePaper(papers, lastPaperMenuTag_);
            WriteNewPaperSettings(preferencesDomain_, papers);
            buildPagesMenu();
        }
        SelectPaper(PageTagBySize(papers, pageWidth_mm_, pageHeight_mm_));
    } else if (tag == kAddPaperTag) {
        // A full catalogue takes no more: say so and show the entry that was there.
        if (CountPaper(papers) >= kCatalogueCapacity) {
            forms::CurrentToolkit().Beep();
            pagesMenu_->SelectTag(lastPaperMenuTag_);
            return;
        }
        form_->BeginSheet(outlet::kPaperNameSheet, [](int) {});
    } else if (tag == kCustomPaperTag) {
        lastPaperMenuTag_ = kCustomPaperTag;
    } else if (tag >= 0 && tag < CountPaper(papers)) {
        lastPaperMenuTag_ = tag;
        pageWidth_mm_ = GetPaper(papers, tag).width;
        pageHeight_mm_ = GetPaper(papers, tag).height;
        setDialog();
    }
}

void VarnelPrinterDriverStyleDialogController::doNewPaperOK() {
    PaperDescription &papers = *params_->papers;
    if (AddNewPaper(papers, PaperEntry{paperName_->Text(), pageWidth_mm_, pageHeight_mm_})) {
        WriteNewPaperSettings(preferencesDomain_, papers);
        buildPagesMenu();
        SelectPaper(CountPaper(papers) - 1);
    } else {
        forms::CurrentToolkit().Beep();
        pagesMenu_->SelectTag(lastPaperMenuTag_);
    }
    form_->EndSheet(outlet::kPaperNameSheet, forms::kFirstButton);
}

void VarnelPrinterDriverStyleDialogController::doNewPaperCancel() {
    pagesMenu_->SelectTag(lastPaperMenuTag_);
    form_->EndSheet(outlet::kPaperNameSheet, forms::kFirstButton + 1);
}

bool StyleDialog(KIVBundleRef bundle, const std::string &preferencesDomain, StyleParams &params, double maxWidth,
                 double minWidth, double maxHeight, double minHeight) {
    if (!params.papers || !params.resolutions || CountResolution(*params.resolutions) == 0) return false;
    try {
        forms::PrepareToolkit(bundle);
        VarnelPrinterDriverStyleDialogController controller(bundle);
        controller.setMinWidth(minWidth, maxWidth, minHeight, maxHeight);
        controller.setParameters(&params);
        controller.setPreferencesDomain(preferencesDomain);
        if (const auto unit = GetPreferenceInteger(preferencesDomain, "Units")) {
            controller.setUnitMode(static_cast<int32_t>(*unit));
        }
        if (!controller.runStyleDialog()) return false;
        params.isTiled = controller.isTiled();
        params.isBW = controller.isBW();
        params.isFlipH = controller.isFlipH();
        params.pageName = GetPaperName(*params.papers, controller.lastPaperMenuSelection());
        params.pageWidth_pixels = controller.pageWidthPixels();
        params.pageHeight_pixels = controller.pageHeightPixels();
        params.pageWidth_mm = controller.pageWidthMM();
        params.pageHeight_mm = controller.pageHeightMM();
        params.tileWidth_mm = controller.tileWidthMM();
        params.tileHeight_mm = controller.tileHeightMM();
        SetPreferenceValue(preferencesDomain, "Units", MakeInteger(controller.unitMode()).get());
        return true;
    } catch (const std::exception &e) {
        Diagnose("StyleDialog: %s", e.what());
        return false;
    }
}

}  // namespace kiv
