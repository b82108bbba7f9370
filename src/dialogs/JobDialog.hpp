// The print job dialog: page range, copies, collation and the hot folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <kiv/KIVPlatform.h>

#include "forms/Forms.hpp"

namespace kiv {

// Runs the dialog; true when the user confirmed a save. Only then are the in/out values
// written: the page range (1, 999 for all pages), copies and collate when given (without
// them the window has neither), the hot folder, and jobName when a file name was chosen in
// the save panel. A toolkit failure counts as a cancel.
bool JobDialog(KIVBundleRef bundle, const std::string &preferenceDomain, const std::string &title,
               std::optional<std::filesystem::path> &hotFolder, const std::string &suggestedJobName,
               const std::string &fileExtension, std::optional<std::string> &jobName, uint16_t *copies,
               uint8_t *collate, int16_t &fromPage, int16_t &toPage);

// The folder of the user's desktop Trash: $XDG_DATA_HOME/Trash (~/.local/share/Trash).
std::filesystem::path UserTrashDirectory();

class VarnelPrinterDriverJobDialogController {
public:
    VarnelPrinterDriverJobDialogController(KIVBundleRef bundle, const std::string &resource);

    // Actions.
    void doSave();
    void doCancel();
    bool hotFolderIsInTrash() const;
    void doSaveAs();
    void doPageRangeChange();
    bool runJobDialog();
    void controlTextDidChange(forms::TextField *field);
    void makeBlankFieldsOne();
    void setWindowTitle(const std::string &title);
    bool validatePageRange();
    bool validateNumberOfCopies();
    void setPageRangeFrom(int16_t from, int16_t to);
    void getPageRangeFrom(int16_t &from, int16_t &to) const;
    void setNumberOfCopies(uint16_t copies);
    uint16_t numberOfCopies() const;
    void handleSaveCommand();
    bool collated() const;
    void setCollated(bool collated);

    // Properties.
    std::optional<std::filesystem::path> hotFolder;
    std::string fileExtension;
    std::optional<std::string> jobName;
    std::optional<std::string> suggestedJobName;

private:
    void ShowAlert(const std::string &english);

    KIVBundleRef myBundle_;
    std::unique_ptr<forms::Form> form_;
    bool isOK_ = false;
    forms::RadioGroup *pageModeMatrix_ = nullptr;
    forms::TextField *fromPageText_ = nullptr, *toPageText_ = nullptr, *numberOfCopiesText_ = nullptr;
    forms::CheckBox *collateCheckbox_ = nullptr;
    forms::Button *saveButton_ = nullptr;
};

}  // namespace kiv
