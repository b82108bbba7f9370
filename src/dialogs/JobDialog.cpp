// The print job dialog controller and its entry function.
#include "JobDialog.hpp"

#include <cstdio>
#include <cstdlib>

#include "forms/WindowResources.hpp"
#include "platform/Diagnostics.hpp"

namespace kiv {
namespace {

namespace outlet = forms::outlet;

constexpr int64_t kAllPages = 1, kPageRange = 2;

// A field's text as a decimal integer; 0 when it holds none.
long IntegerValue(const forms::TextField &field) { return std::strtol(field.Text().c_str(), nullptr, 10); }

}  // namespace

std::filesystem::path UserTrashDirectory() {
    const char *data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return std::filesystem::path(data) / "Trash";
    const char *home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "/") / ".local/share/Trash";
}

VarnelPrinterDriverJobDialogController::VarnelPrinterDriverJobDialogController(KIVBundleRef bundle,
                                                                               const std::string &resource)
    : myBundle_(bundle), form_(forms::CurrentToolkit().LoadForm(bundle, resource)) {
    forms::Form &f = *form_;
    pageModeMatrix_ = forms::Required(f, &forms::Form::Radio, outlet::kPageMode);
    fromPageText_ = forms::Required(f, &forms::Form::Field, outlet::kFromPage);
    toPageText_ = forms::Required(f, &forms::Form::Field, outlet::kToPage);
    numberOfCopiesText_ = f.Field(outlet::kCopies);  // absent without copies
    collateCheckbox_ = f.Check(outlet::kCollate);
    saveButton_ = forms::Required(f, &forms::Form::ButtonNamed, outlet::kSave);
    saveButton_->OnPress([this] { doSave(); });
    forms::Required(f, &forms::Form::ButtonNamed, outlet::kSaveAs)->OnPress([this] { doSaveAs(); });
    forms::Required(f, &forms::Form::ButtonNamed, outlet::kJobCancel)->OnPress([this] { doCancel(); });
    pageModeMatrix_->OnChange([this] { doPageRangeChange(); });
    for (forms::TextField *field : {fromPageText_, toPageText_, numberOfCopiesText_})
        if (field) field->OnUserEdit([this, field] { controlTextDidChange(field); });
}

void VarnelPrinterDriverJobDialogController::doSave() {
    if (validatePageRange() && validateNumberOfCopies()) handleSaveCommand();
}

void VarnelPrinterDriverJobDialogController::doCancel() {
    isOK_ = false;
    form_->StopModal();
}

bool VarnelPrinterDriverJobDialogController::hotFolderIsInTrash() const {
    if (!hotFolder) return false;
    std::error_code ec;
    const auto trash = std::filesystem::weakly_canonical(UserTrashDirectory(), ec);
    if (ec) return false;
    const auto folder = std::filesystem::weakly_canonical(*hotFolder, ec);
    if (ec) return false;
    // Inside the Trash: the Trash's path is a prefix of the folder's, component by component.
    auto f = folder.begin();
    for (auto t = trash.begin(); t != trash.end(); ++t, ++f) {
        if (t->empty()) continue;
        if (f == folder.end() || *f != *t) return false;
    }
    return f != folder.end();
}

void VarnelPrinterDriverJobDialogController::doSaveAs() {
    // The copy count is checked here too: 0 or 70000 copies must not reach the print record.
    if (!validatePageRange() || !validateNumberOfCopies()) return;
    forms::SavePanelSpec panel;
    panel.allowedExtension = fileExtension;
    panel.canCreateFolders = true;
    if (hotFolder && !hotFolderIsInTrash()) panel.startFolder = hotFolder;
    panel.proposedName = suggestedJobName;
    form_->BeginSavePanel(panel, [this](std::optional<std::filesystem::path> chosen) {
        if (!chosen) return;
        hotFolder = chosen->parent_path();
        // Only job files are saved: a name typed with another extension gets ours appended,
        // as save panels do.
        jobName = chosen->filename().string();
        if (chosen->extension() != "." + std::string(fileExtension)) *jobName += "." + std::string(fileExtension);
        handleSaveCommand();
    });
}

void VarnelPrinterDriverJobDialogController::doPageRangeChange() {
    if (pageModeMatrix_->SelectedTag() == kAllPages) {
        fromPageText_->SetText("");
        toPageText_->SetText("");
    } else {
        makeBlankFieldsOne();
    }
}

bool VarnelPrinterDriverJobDialogController::runJobDialog() {
    isOK_ = false;
    saveButton_->SetEnabled(hotFolder.has_value());
    form_->Show();
    form_->RunModal();
    form_->OrderOut();
    return isOK_;
}

void VarnelPrinterDriverJobDialogController::controlTextDidChange(forms::TextField *field) {
    if (field == numberOfCopiesText_) return;
    // Typing a page number switches to a range.
    if (pageModeMatrix_->SelectedTag() == kAllPages) {
        pageModeMatrix_->SelectTag(kPageRange);
        makeBlankFieldsOne();
    }
}

void VarnelPrinterDriverJobDialogController::makeBlankFieldsOne() {
    for (forms::TextField *field : {fromPageText_, toPageText_})
        if (field->Text().empty()) field->SetText("1");
}

void VarnelPrinterDriverJobDialogController::setWindowTitle(const std::string &title) { form_->SetTitle(title); }

bool VarnelPrinterDriverJobDialogController::validatePageRange() {
    if (pageModeMatrix_->SelectedTag() == kAllPages) return true;
    const long from = IntegerValue(*fromPageText_);
    if (from < 1 || from > 999) {
        forms::CurrentToolkit().Beep();
        fromPageText_->SelectAll();
        return false;
    }
    const long to = IntegerValue(*toPageText_);
    if (to < from || to > 999) {
        forms::CurrentToolkit().Beep();
        toPageText_->SelectAll();
        return false;
    }
    return true;
}

bool VarnelPrinterDriverJobDialogController::validateNumberOfCopies() {
    if (!numberOfCopiesText_) return true;
    const long copies = IntegerValue(*numberOfCopiesText_);
    if (copies >= 1 && copies <= 999) return true;
    forms::CurrentToolkit().Beep();
    numberOfCopiesText_->SelectAll();
    return false;
}

void VarnelPrinterDriverJobDialogController::setPageRangeFrom(int16_t from, int16_t to) {
    if (from == 1 && to == 999) {
        pageModeMatrix_->SelectTag(kAllPages);
        fromPageText_->SetText("");
        toPageText_->SetText("");
    } else {
        pageModeMatrix_->SelectTag(kPageRange);
        fromPageText_->SetText(std::to_string(from));
        toPageText_->SetText(std::to_string(to));
    }
}

void VarnelPrinterDriverJobDialogController::getPageRangeFrom(int16_t &from, int16_t &to) const {
    if (pageModeMatrix_->SelectedTag() == kAllPages) {
        from = 1, to = 999;
    } else {
        from = static_cast<int16_t>(IntegerValue(*fromPageText_));
        to = static_cast<int16_t>(IntegerValue(*toPageText_));
    }
}

void VarnelPrinterDriverJobDialogController::setNumberOfCopies(uint16_t copies) {
    if (numberOfCopiesText_) numberOfCopiesText_->SetText(std::to_string(copies));
}

uint16_t VarnelPrinterDriverJobDialogController::numberOfCopies() const {
    return numberOfCopiesText_ ? static_cast<uint16_t>(IntegerValue(*numberOfCopiesText_)) : 1;
}

void VarnelPrinterDriverJobDialogController::ShowAlert(const std::string &english) {
    forms::AlertSpec alert;
    alert.message = forms::Localized(myBundle_, english);
    form_->BeginAlertSheet(alert, nullptr);
}

void VarnelPrinterDriverJobDialogController::handleSaveCommand() {
    if (!hotFolder) {
        ShowAlert("Cannot print because the Hot Folder cannot be found");
    } else if (hotFolderIsInTrash()) {
        ShowAlert("Cannot print because the Hot Folder is in the Trash");
    } else {
        isOK_ = true;
        form_->StopModal();
    }
}

bool VarnelPrinterDriverJobDialogController::collated() const { return collateCheckbox_ && collateCheckbox_->IsOn(); }

void VarnelPrinterDriverJobDialogController::setCollated(bool collated) {
    if (collateCheckbox_) collateCheckbox_->SetOn(collated);
}

bool JobDialog(KIVBundleRef bundle, const std::string &, const std::string &title,
               std::optional<std::filesystem::path> &hotFolder, const std::string &suggestedJobName,
               const std::string &fileExtension, std::optional<std::string> &jobName, uint16_t *copies,
               uint8_t *collate, int16_t &fromPage, int16_t &toPage) {
    try {
        forms::PrepareToolkit(bundle);
        VarnelPrinterDriverJobDialogController controller(
            bundle, copies ? forms::resource::kJob : forms::resource::kJobNoCopies);
        controller.setWindowTitle(title);
        controller.setPageRangeFrom(fromPage, toPage);
        controller.hotFolder = hotFolder;
        controller.suggestedJobName = suggestedJobName;
        controller.fileExtension = fileExtension;
        if (copies) {
            controller.setNumberOfCopies(*copies);
            controller.setCollated(collate && *collate);
        }
        if (!controller.runJobDialog()) return false;
        controller.getPageRangeFrom(fromPage, toPage);
        if (copies) {
            *copies = controller.numberOfCopies();
            if (collate) *collate = controller.collated() ? 1 : 0;
        }
        if (controller.jobName) jobName = controller.jobName;
        hotFolder = controller.hotFolder;
        return true;
    } catch (const std::exception &e) {
        Diagnose("JobDialog: %s", e.what());
        return false;
    }
}

}  // namespace kiv
