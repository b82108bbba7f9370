// The scripted toolkit: widgets whose state lives in a FormRecord, and a modal loop that
// plays the user's actions.
#include "ScriptedToolkit.hpp"
#include "forms/WindowResources.hpp"

#include <algorithm>

namespace kiv::forms {
namespace {

using Handler = std::function<void()>;

class ScriptedTextField : public TextField {
public:
    ScriptedTextField(FormRecord &r, std::string name) : r_(r), name_(std::move(name)) { r_.texts[name_]; }
    std::string Text() const override { return r_.texts[name_]; }
    void SetText(const std::string &text) override {
        r_.texts[name_] = text;
        r_.selectedAll[name_] = false;
    }
    void SelectAll() override { r_.selectedAll[name_] = true; }
    void BecomeFocus() override { r_.focused = name_; }
    void OnUserEdit(Handler handler) override { edit_ = std::move(handler); }
    void UserEdit(const std::string &text) {
        r_.texts[name_] = text;
        r_.selectedAll[name_] = false;
        r_.focused = name_;
        if (edit_) edit_();
    }

private:
    FormRecord &r_;
    std::string name_;
    Handler edit_;
};

class ScriptedMenu : public PopUpMenu {
public:
    ScriptedMenu(FormRecord &r, std::string name, std::vector<ScriptedMenuItem> items) : r_(r), name_(std::move(name)) {
        r_.menus[name_] = std::move(items);
        r_.menuSelection[name_] = std::nullopt;
    }
    int Count() const override { return static_cast<int>(Items().size()); }
    int64_t TagAt(int index) const override { return Items().at(static_cast<std::size_t>(index)).tag; }
    void RemoveAt(int index) override { Items().erase(Items().begin() + index); }
    void RemoveAll() override { Items().clear(); }
    void Insert(const std::string &title, int64_t tag, int index) override {
        Items().insert(Items().begin() + std::clamp(index, 0, Count()), ScriptedMenuItem{title, tag});
    }
    void Append(const std::string &title, int64_t tag) override { Items().push_back({title, tag}); }
    bool SelectTag(int64_t tag) override {
        const bool found = std::any_of(Items().begin(), Items().end(), [&](const auto &i) { return i.tag == tag; });
        if (found) r_.menuSelection[name_] = tag;
        SynchronizeTitle();
        return found;
    }
    std::optional<int64_t> SelectedTag() const override { return r_.menuSelection[name_]; }
    void SynchronizeTitle() override {
        r_.menuTitles[name_].clear();
        for (const auto &i : Items())
            if (r_.menuSelection[name_] == i.tag) r_.menuTitles[name_] = i.title;
    }
    void OnChoose(Handler handler) override { choose_ = std::move(handler); }
    void UserChoose(int64_t tag) {
        if (!SelectTag(tag)) throw ToolkitError("menu " + name_ + " has no item tagged " + std::to_string(tag));
        if (choose_) choose_();
    }

private:
    std::vector<ScriptedMenuItem> &Items() const { return r_.menus[name_]; }
    FormRecord &r_;
    std::string name_;
    Handler choose_;
};

class ScriptedCheck : public CheckBox {
public:
    ScriptedCheck(FormRecord &r, std::string name) : r_(r), name_(std::move(name)) { r_.checks[name_] = false; }
    bool IsOn() const override { return r_.checks[name_]; }
    void SetOn(bool on) override { r_.checks[name_] = on; }
    void OnToggle(Handler handler) override { toggle_ = std::move(handler); }
    void UserToggle() {
        r_.checks[name_] = !r_.checks[name_];
        if (toggle_) toggle_();
    }

private:
    FormRecord &r_;
    std::string name_;
    Handler toggle_;
};

class ScriptedRadio : public RadioGroup {
public:
    ScriptedRadio(FormRecord &r, std::string name) : r_(r), name_(std::move(name)) { r_.radios[name_] = 1; }
    int64_t SelectedTag() const override { return r_.radios[name_]; }
    void SelectTag(int64_t tag) override { r_.radios[name_] = tag; }
    void OnChange(Handler handler) override { change_ = std::move(handler); }
    void UserPick(int64_t tag) {
        r_.radios[name_] = tag;
        if (change_) change_();
    }

private:
    FormRecord &r_;
    std::string name_;
    Handler change_;
};

class ScriptedButton : public Button {
public:
    ScriptedButton(FormRecord &r, std::string name) : r_(r), name_(std::move(name)) { r_.enabled[name_] = true; }
    bool IsEnabled() const override { return r_.enabled[name_]; }
    void SetEnabled(bool enabled) override { r_.enabled[name_] = enabled; }
    void OnPress(Handler handler) override { press_ = std::move(handler); }
    void UserPress() {
        if (r_.enabled[name_] && press_) press_();  // a disabled button does nothing
    }

private:
    FormRecord &r_;
    std::string name_;
    Handler press_;
};

}  // namespace

class ScriptedForm : public Form {
public:
    ScriptedForm(ScriptedToolkit &toolkit, std::shared_ptr<FormRecord> record)
        : toolkit_(toolkit), r_(std::move(record)) {}

    TextField *Field(const std::string &name) override { return Find(fields_, name); }
    PopUpMenu *Menu(const std::string &name) override { return Find(menus_, name); }
    CheckBox *Check(const std::string &name) override { return Find(checks_, name); }
    RadioGroup *Radio(const std::string &name) override { return Find(radios_, name); }
    Button *ButtonNamed(const std::string &name) override { return Find(buttons_, name); }

    void SetTitle(const std::string &title) override { r_->title = title; }
    void Show() override { r_->shown = true; }
    void StopModal() override { stopped_ = true; }
    void OrderOut() override { r_->orderedOut = true; }

    void RunModal() override {
        stopped_ = false;
        while (!stopped_) {
            if (toolkit_.script_.empty()) throw ToolkitError("the script ended while " + r_->resource + " was open");
            const UserAction action = toolkit_.script_.front();
            toolkit_.script_.pop_front();
            Perform(action);
        }
    }

    void BeginAlertSheet(const AlertSpec &alert, std::function<void(int)> completion) override {
        r_->alerts.push_back(alert);
        sheetUp_ = completion ? std::move(completion) : [](int) {};
        sheetName_.clear();
    }
    void BeginSheet(const std::string &sheet, std::function<void(int)> completion) override {
        r_->sheets.push_back(sheet);
        sheetUp_ = completion ? std::move(completion) : [](int) {};
        sheetName_ = sheet;
    }
    void EndSheet(const std::string &sheet, int code) override {
        if (!sheetUp_ || sheet != sheetName_) return;
        auto completion = std::move(sheetUp_);
        sheetUp_ = nullptr;
        completion(code);
    }
    void BeginSavePanel(const SavePanelSpec &panel,
                        std::function<void(std::optional<std::filesystem::path>)> completion) override {
        r_->savePanels.push_back(panel);
        panelUp_ = std::move(completion);
    }

    void Build(const std::string &resource);

private:
    template <class T>
    static T *Find(std::map<std::string, std::unique_ptr<T>> &widgets, const std::string &name) {
        auto it = widgets.find(name);
        return it == widgets.end() ? nullptr : it->second.get();
    }
    template <class T>
    T &Target(std::map<std::string, std::unique_ptr<T>> &widgets, const std::string &name) {
        T *widget = Find(widgets, name);
        if (!widget) throw ToolkitError(r_->resource + " has no control " + name);
        // While an alert or the save panel is up the window takes no input; a named sheet takes
        // input for its own controls only.
        const bool sheetControl = !sheetName_.empty() && name.rfind(outlet::kPaperName, 0) == 0;
        if (panelUp_ || (sheetUp_ && !sheetControl)) throw ToolkitError("a sheet is up: " + name + " takes no input");
        return *widget;
    }

    void Perform(const UserAction &a) {
        using K = UserAction::Kind;
        switch (a.kind) {
        case K::Type: {
            auto &field = Target(fields_, a.target);
            for (char c : a.text) field.UserEdit(field.Text() + c);
            break;
        }
        case K::Erase: Target(fields_, a.target).UserEdit(""); break;
        case K::Choose: Target(menus_, a.target).UserChoose(a.tag); break;
        case K::Toggle: Target(checks_, a.target).UserToggle(); break;
        case K::Pick: Target(radios_, a.target).UserPick(a.tag); break;
        case K::Press: Target(buttons_, a.target).UserPress(); break;
        case K::Answer: {
            if (!sheetUp_ || !sheetName_.empty()) throw ToolkitError("no alert is up to answer");
            auto completion = std::move(sheetUp_);
            sheetUp_ = nullptr;
            completion(a.code);
            break;
        }
        case K::SavePanel: {
            if (!panelUp_) throw ToolkitError("no save panel is up");
            auto completion = std::move(panelUp_);
            panelUp_ = nullptr;
            completion(a.path);
            break;
        }
        }
    }

    ScriptedToolkit &toolkit_;
    std::shared_ptr<FormRecord> r_;
    bool stopped_ = false;
    std::function<void(int)> sheetUp_;
    std::string sheetName_;
    std::function<void(std::optional<std::filesystem::path>)> panelUp_;
    std::map<std::string, std::unique_ptr<ScriptedTextField>> fields_;
    std::map<std::string, std::unique_ptr<ScriptedMenu>> menus_;
    std::map<std::string, std::unique_ptr<ScriptedCheck>> checks_;
    std::map<std::string, std::unique_ptr<ScriptedRadio>> radios_;
    std::map<std::string, std::unique_ptr<ScriptedButton>> buttons_;
};

// The outlets of the window resource, as the table lists them.
void ScriptedForm::Build(const std::string &resource) {
    const WindowResource *window = FindWindowResource(resource);
    if (!window) throw ToolkitError("no window resource named " + resource);
    FormRecord &r = *r_;
    r.resource = resource;
    for (const char *n : window->fields) fields_[n] = std::make_unique<ScriptedTextField>(r, n);
    for (const char *n : window->checks) checks_[n] = std::make_unique<ScriptedCheck>(r, n);
    for (const char *n : window->radios) radios_[n] = std::make_unique<ScriptedRadio>(r, n);
    for (const char *n : window->buttons) buttons_[n] = std::make_unique<ScriptedButton>(r, n);
    for (const MenuOutlet &m : window->menus) {
        std::vector<ScriptedMenuItem> items;
        for (const FixedMenuItem &i : m.fixedItems) items.push_back({i.title, i.tag});
        menus_[m.name] = std::make_unique<ScriptedMenu>(r, m.name, std::move(items));
    }
}

namespace {
UserAction Action(UserAction::Kind kind, const std::string &target, const std::string &text = "", int64_t tag = 0) {
    UserAction a{kind, target, text, tag, kFirstButton, std::nullopt};
    return a;
}
}  // namespace

UserAction Type(const std::string &field, const std::string &text) {
    return Action(UserAction::Kind::Type, field, text);
}
UserAction Erase(const std::string &field) { return Action(UserAction::Kind::Erase, field); }
UserAction Choose(const std::string &menu, int64_t tag) { return Action(UserAction::Kind::Choose, menu, "", tag); }
UserAction Toggle(const std::string &check) { return Action(UserAction::Kind::Toggle, check); }
UserAction Pick(const std::string &radio, int64_t tag) { return Action(UserAction::Kind::Pick, radio, "", tag); }
UserAction Press(const std::string &button) { return Action(UserAction::Kind::Press, button); }
UserAction Answer(int code) {
    UserAction a = Action(UserAction::Kind::Answer, "");
    a.code = code;
    return a;
}
UserAction SaveAs(std::optional<std::filesystem::path> file) {
    UserAction a = Action(UserAction::Kind::SavePanel, "");
    a.path = std::move(file);
    return a;
}

ScriptedToolkit::ScriptedToolkit(std::vector<UserAction> script) : script_(script.begin(), script.end()) {}

std::unique_ptr<Form> ScriptedToolkit::LoadForm(KIVBundleRef, const std::string &resource) {
    last_ = std::make_shared<FormRecord>();
    auto form = std::make_unique<ScriptedForm>(*this, last_);
    form->Build(resource);
    return form;
}

void ScriptedToolkit::Beep() { ++beeps_; }

}  // namespace kiv::forms
