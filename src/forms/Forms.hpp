// The form layer: the few window-toolkit operations the two dialogs need, as interfaces that
// a toolkit implements (Qt in forms/qt).
//
// A form is loaded by its window resource name ("StyleDialog", "JobDialog", "JobDialog_NC")
// and gives the controller its outlets by name. Controllers connect to user actions through
// the On… callbacks; only what the user does runs them, never what the program sets.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <kiv/KIVPlatform.h>

namespace kiv::forms {

// A failure of the toolkit itself (a form that cannot be loaded, a script that ran out).
// The dialogs' entry functions turn it into a cancel.
struct ToolkitError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class TextField {
public:
    virtual ~TextField() = default;
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string &text) = 0;  // not an edit: OnUserEdit does not run
    virtual void SelectAll() = 0;
    virtual void BecomeFocus() = 0;  // the focused control of its window
    virtual void OnUserEdit(std::function<void()> handler) = 0;
};

class PopUpMenu {
public:
    virtual ~PopUpMenu() = default;
    virtual int Count() const = 0;
    virtual int64_t TagAt(int index) const = 0;
    virtual void RemoveAt(int index) = 0;
    virtual void RemoveAll() = 0;
    virtual void Insert(const std::string &title, int64_t tag, int index) = 0;
    virtual void Append(const std::string &title, int64_t tag) = 0;
    virtual bool SelectTag(int64_t tag) = 0;  // false when no item has the tag
    virtual std::optional<int64_t> SelectedTag() const = 0;
    virtual void SynchronizeTitle() = 0;  // the shown title follows the selection
    virtual void OnChoose(std::function<void()> handler) = 0;
};

class CheckBox {
public:
    virtual ~CheckBox() = default;
    virtual bool IsOn() const = 0;
    virtual void SetOn(bool on) = 0;
    virtual void OnToggle(std::function<void()> handler) = 0;
};

class RadioGroup {
public:
    virtual ~RadioGroup() = default;
    virtual int64_t SelectedTag() const = 0;
    virtual void SelectTag(int64_t tag) = 0;
    virtual void OnChange(std::function<void()> handler) = 0;
};

class Button {
public:
    virtual ~Button() = default;
    virtual bool IsEnabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual void OnPress(std::function<void()> handler) = 0;
};

struct AlertSpec {
    std::string message;
    std::string informative;
    std::vector<std::string> buttons;  // empty: one default button
};

struct SavePanelSpec {
    std::optional<std::filesystem::path> startFolder;
    std::optional<std::string> proposedName;
    std::string allowedExtension;
    bool canCreateFolders = true;
};

// Button codes of alerts and sheets: the first button is 1000, the next 1001, …
inline constexpr int kFirstButton = 1000;

// One loaded window resource.
class Form {
public:
    virtual ~Form() = default;
    // Outlets; nullptr when the resource has none of that name and kind.
    virtual TextField *Field(const std::string &name) = 0;
    virtual PopUpMenu *Menu(const std::string &name) = 0;
    virtual CheckBox *Check(const std::string &name) = 0;
    virtual RadioGroup *Radio(const std::string &name) = 0;
    virtual Button *ButtonNamed(const std::string &name) = 0;

    virtual void SetTitle(const std::string &title) = 0;
    virtual void Show() = 0;
    // Runs the application-modal loop until StopModal.
    virtual void RunModal() = 0;
    virtual void StopModal() = 0;
    virtual void OrderOut() = 0;
    // A window-modal alert on this window; completion gets the code of the button pressed.
    virtual void BeginAlertSheet(const AlertSpec &alert, std::function<void(int)> completion) = 0;
    // The named sub-window of this form (the new-paper sheet) as a sheet on this window.
    virtual void BeginSheet(const std::string &sheet, std::function<void(int)> completion) = 0;
    virtual void EndSheet(const std::string &sheet, int code) = 0;
    // A save panel as a sheet; completion gets the chosen file, or nothing when cancelled.
    virtual void BeginSavePanel(const SavePanelSpec &panel,
                                std::function<void(std::optional<std::filesystem::path>)> completion) = 0;
};

class Toolkit {
public:
    virtual ~Toolkit() = default;
    // The form of a window resource of the bundle; ToolkitError when it cannot be loaded.
    virtual std::unique_ptr<Form> LoadForm(KIVBundleRef bundle, const std::string &resource) = 0;
    virtual void Beep() = 0;
};

// The outlet of that name and kind, for the outlets a dialog cannot do without; ToolkitError
// naming it when the resource lacks it.
template <class Widget>
Widget *Required(Form &form, Widget *(Form::*kind)(const std::string &), const char *name) {
    if (Widget *widget = (form.*kind)(name)) return widget;
    throw ToolkitError(std::string("the window has no outlet ") + name);
}

// The toolkit the dialogs use. Until one is installed, a toolkit without windows, whose
// forms fail to load: every dialog counts as cancelled.
Toolkit &CurrentToolkit();
void SetCurrentToolkit(std::shared_ptr<Toolkit> toolkit);

// Before a dialog: when no toolkit is installed and a display is available (DISPLAY,
// WAYLAND_DISPLAY or QT_QPA_PLATFORM), loads the bundle's interactive toolkit and installs it.
void PrepareToolkit(KIVBundleRef bundle);
bool InteractiveDisplayAvailable();
// The interactive toolkit's library in the bundle, and its factory (extern "C").
inline constexpr const char *kQtToolkitLibrary = "libkivqtforms.so";

// The bundle's "Localizable" text for english, or english itself.
std::string Localized(KIVBundleRef bundle, const std::string &english);

}  // namespace kiv::forms
