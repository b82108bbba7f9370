// The scripted toolkit: widgets whose state lives in a FormRecord, and a modal loop that
// plays the user's actions.
#include "ScriptedToolkit.hpp"
#include "forms/WindowResources.hpp"

#include <algorithm>
#include <functional>

namespace kiv::forms {
namespace {

// What every scripted control holds: its form's record, its outlet name, and the handler
// the controller gave it (run only for what the user does).
struct Outlet {
    Outlet(FormRecord &record, std::string outlet) : r(record), name(std::move(outlet)) {}
    void Fire() const {
        if (handler) handler();
    }
    FormRecord &r;
    std::string name;
    std::function<void()> handler;
};

class ScriptedTextField : public TextField, Outlet {
public:
    ScriptedTextField(FormRecord &r, std::string n) : Outlet(r, std::move(n)) { r.texts[name]; }
    std::string Text() const override { return r.texts[name]; }
    void SetText(const std::string &text) override { r.texts[name] = text; }
    void SelectAll() override {}
    void BecomeFocus() override { r.focused = name; }
    void OnUserEdit(std::function<void()> h) override { handler = std::move(h); }
    void UserEdit(const std::string &text) {
        r.texts[name] = text;
        r.focused = name;
        Fire();
    }
};

class ScriptedMenu : public PopUpMenu, Outlet {
public:
    ScriptedMenu(FormRecord &r, std::string n, std::vector<ScriptedMenuItem> items) : Outlet(r, std::move(n)) {
        r.menus[name] = std::move(items);
        r.menuSelection[name] = std::nullopt;
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
        if (found) r.menuSelection[name] = tag;
        SynchronizeTitle();
        return found;
    }
    std::optional<int64_t> SelectedTag() const override { return r.menuSelection[name]; }
    void SynchronizeTitle() override {
        r.menuTitles[name].clear();
        for (const auto &i : Items())
            if (r.menuSelection[name] == i.tag) r.menuTitles[name] = i.title;
    }
    void OnChoose(std::function<void()> h) override { handler = std::move(h); }
    void UserChoose(int64_t tag) {
        if (!SelectTag(tag)) throw ToolkitError("menu " + name + " has no item tagged " + std::to_string(tag));
        Fire();
    }

private:
    std::vector<ScriptedMenuItem> &Items() const { return r.menus[name]; }
};

class ScriptedCheck : public CheckBox, Outlet {
public:
    ScriptedCheck(FormRecord &r, std::string n) : Outlet(r, std::move(n)) { r.checks[name] = false; }
    bool IsOn() const override { return r.checks[name]; }
    void SetOn(bool on) override { r.checks[name] = on; }
    void OnToggle(std::function<void()> h) override { handler = std::move(h); }
    void UserToggle() {
        r.checks[name] = !r.checks[name];
        Fire();
    }
};

class ScriptedRadio : public RadioGroup, Outlet {
public:
    ScriptedRadio(FormRecord &r, std::string n) : Outlet(r, std::move(n)) { r.radios[name] = 1; }
    int64_t SelectedTag() const override { return r.radios[name]; }
    void SelectTag(int64_t tag) override { r.radios[name] = tag; }
    void OnChange(std::function<void()> h) override { handler = std::move(h); }
    void UserPick(int64_t tag) {
        r.radios[name] = tag;
        Fire();
    }
};

class ScriptedButton : public Button, Outlet {
public:
    ScriptedButton(FormRecord &r, std::string n) : Outlet(r, std::move(n)) { r.enabled[name] = true; }
    bool IsEnabled() const override { return r.enabled[name]; }
    void SetEnabled(bool enabled) override { r.enabled[name] = enabled; }
    void OnPress(std::function<void()> h) override { handler = std::move(h); }
    void UserPress() {
        if (r.enabled[name]) Fire();  // a disabled button does nothing
    }
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
    void Show() override {}
    void StopModal() override { stopped_ = true; }
    void OrderOut() override {}

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
        case K::Type:
        case K::Retype: {
            auto &field = Target(fields_, a.target);
            if (a.kind == K::Retype) field.UserEdit("");
            for (char c : a.text) field.UserEdit(field.Text() + c);
            break;
        }
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

using K = UserAction::Kind;
UserAction Type(const std::string &field, const std::string &text) { return {K::Type, field, text}; }
UserAction Retype(const std::string &field, const std::string &text) { return {K::Retype, field, text}; }
UserAction Choose(const std::string &menu, int64_t tag) { return {K::Choose, menu, "", tag}; }
UserAction Toggle(const std::string &check) { return {K::Toggle, check}; }
UserAction Pick(const std::string &radio, int64_t tag) { return {K::Pick, radio, "", tag}; }
UserAction Press(const std::string &button) { return {K::Press, button}; }
UserAction Answer(int code) { return {K::Answer, "", "", 0, code}; }
UserAction SaveAs(std::optional<std::filesystem::path> file) {
    return {K::SavePanel, "", "", 0, kFirstButton, std::move(file)};
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
