// A toolkit without a screen: a script of what the user does runs while a dialog is modal,
// and every widget's state, the beeps, the focus and the alerts can be read afterwards.
// The dialog tests install it.
#pragma once

#include <deque>
#include <map>
#include <memory>

#include "forms/Forms.hpp"

namespace kiv::forms {

// One thing the user does.
struct UserAction {
    enum class Kind { Type, Retype, Choose, Toggle, Pick, Press, Answer, SavePanel };
    Kind kind;
    std::string target{};                         // the outlet's name
    std::string text{};                           // Type, Retype: typed key by key
    int64_t tag = 0;                              // Choose, Pick
    int code = kFirstButton;                      // Answer: the button of the alert or sheet
    std::optional<std::filesystem::path> path{};  // SavePanel: the file chosen, or nothing (cancel)
};

// Builders for scripts.
UserAction Type(const std::string &field, const std::string &text);    // one edit per key
UserAction Retype(const std::string &field, const std::string &text);  // select all, delete, then Type
UserAction Choose(const std::string &menu, int64_t tag);
UserAction Toggle(const std::string &check);
UserAction Pick(const std::string &radio, int64_t tag);
UserAction Press(const std::string &button);
UserAction Answer(int code);  // ends the alert up with that button code
UserAction SaveAs(std::optional<std::filesystem::path> file);

struct ScriptedMenuItem {
    std::string title;
    int64_t tag;
};

// Everything a test reads back about a form after its dialog ran.
struct FormRecord {
    std::string resource;
    std::string title;
    std::string focused;  // the outlet that became the focused control last
    std::map<std::string, std::string> texts;
    std::map<std::string, std::vector<ScriptedMenuItem>> menus;
    std::map<std::string, std::optional<int64_t>> menuSelection;
    std::map<std::string, std::string> menuTitles;  // the shown title of each menu
    std::map<std::string, bool> checks;
    std::map<std::string, int64_t> radios;
    std::map<std::string, bool> enabled;
    std::vector<AlertSpec> alerts;
    std::vector<std::string> sheets;  // named sheets begun
    std::vector<SavePanelSpec> savePanels;
};

class ScriptedToolkit : public Toolkit {
public:
    explicit ScriptedToolkit(std::vector<UserAction> script = {});
    std::unique_ptr<Form> LoadForm(KIVBundleRef bundle, const std::string &resource) override;
    void Beep() override;

    int beeps() const { return beeps_; }
    // The state of the last form loaded (kept after the dialog has released it).
    const FormRecord &last() const { return *last_; }

private:
    friend class ScriptedForm;
    std::deque<UserAction> script_;
    int beeps_ = 0;
    std::shared_ptr<FormRecord> last_ = std::make_shared<FormRecord>();
};

}  // namespace kiv::forms
