// The interactive toolkit: the form layer over Qt Widgets, with the window resources loaded at
// run time from the bundle's Resources/<name>.ui. Built as its own library, which the driver
// loads only when a dialog is first shown.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QUiLoader>
#include <QVBoxLayout>

#include <map>

#include "QtWidgets.hpp"
#include "forms/Forms.hpp"
#include "forms/WindowResources.hpp"

namespace kiv::forms {
namespace {

QString Tr(KIVBundleRef bundle, const QString &english) {
    return QString::fromStdString(Localized(bundle, english.toStdString()));
}

// Every visible text of a loaded window, through the bundle's "Localizable" table.
void LocalizeTexts(KIVBundleRef bundle, QWidget *root) {
    root->setWindowTitle(Tr(bundle, root->windowTitle()));
    for (QLabel *l : root->findChildren<QLabel *>()) l->setText(Tr(bundle, l->text()));
    for (QAbstractButton *b : root->findChildren<QAbstractButton *>()) b->setText(Tr(bundle, b->text()));
    for (QGroupBox *g : root->findChildren<QGroupBox *>()) g->setTitle(Tr(bundle, g->title()));
}

class QtForm : public Form {
public:
    QtForm(KIVBundleRef bundle, std::unique_ptr<QWidget> root) : bundle_(bundle), root_(std::move(root)) {
        for (QLineEdit *e : root_->findChildren<QLineEdit *>())
            fields_[e->objectName().toStdString()] = std::make_unique<QtTextField>(e);
        for (QComboBox *c : root_->findChildren<QComboBox *>())
            menus_[c->objectName().toStdString()] = std::make_unique<QtMenu>(c);
        for (QCheckBox *c : root_->findChildren<QCheckBox *>())
            checks_[c->objectName().toStdString()] = std::make_unique<QtCheck>(c);
        for (QPushButton *b : root_->findChildren<QPushButton *>())
            buttons_[b->objectName().toStdString()] = std::make_unique<QtButton>(b);
        // Radio cells named <group>_<tag> form the group <group>, each cell's id its tag.
        for (QRadioButton *r : root_->findChildren<QRadioButton *>()) {
            const QString name = r->objectName();
            const int underscore = name.lastIndexOf('_');
            if (underscore < 0) continue;
            const std::string group = name.left(underscore).toStdString();
            if (!groups_.count(group)) {
                groups_[group] = new QButtonGroup(root_.get());
                radios_[group] = std::make_unique<QtRadio>(groups_[group]);
            }
            groups_[group]->addButton(r, name.mid(underscore + 1).toInt());
        }
        if (auto *dialog = qobject_cast<QDialog *>(root_.get())) {
            // Closing the window or Escape is a cancel: the modal run ends with nothing confirmed.
            QObject::connect(dialog, &QDialog::finished, dialog, [this](int) { loop_.quit(); });
        }
    }
    ~QtForm() override { root_.reset(); }

    TextField *Field(const std::string &name) override { return Find(fields_, name); }
    PopUpMenu *Menu(const std::string &name) override { return Find(menus_, name); }
    CheckBox *Check(const std::string &name) override { return Find(checks_, name); }
    RadioGroup *Radio(const std::string &name) override { return Find(radios_, name); }
    Button *ButtonNamed(const std::string &name) override { return Find(buttons_, name); }

    void SetTitle(const std::string &title) override { root_->setWindowTitle(QString::fromStdString(title)); }
    void Show() override {
        root_->setWindowModality(Qt::ApplicationModal);
        root_->show();
        root_->raise();
        root_->activateWindow();
    }
    void RunModal() override { loop_.exec(QEventLoop::DialogExec); }
    void StopModal() override { loop_.quit(); }
    void OrderOut() override { root_->hide(); }

    void BeginAlertSheet(const AlertSpec &alert, std::function<void(int)> completion) override {
        auto *box = new QMessageBox(root_.get());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->setText(QString::fromStdString(alert.message));
        box->setInformativeText(QString::fromStdString(alert.informative));
        QList<QAbstractButton *> buttons;
        if (alert.buttons.empty()) buttons << box->addButton(QMessageBox::Ok);
        for (std::size_t i = 0; i < alert.buttons.size(); ++i) {
            buttons << box->addButton(QString::fromStdString(alert.buttons[i]),
                                      i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        }
        QObject::connect(box, &QMessageBox::finished, box, [box, buttons, completion](int) {
            const int index = static_cast<int>(buttons.indexOf(box->clickedButton()));
            if (completion) completion(kFirstButton + std::max(index, 0));
        });
        box->open();
    }

    void BeginSheet(const std::string &sheet, std::function<void(int)> completion) override {
        QDialog *window = root_->findChild<QDialog *>(QString::fromStdString(sheet));
        if (!window) throw ToolkitError("no sheet named " + sheet);
        sheetCompletion_[sheet] = std::move(completion);
        window->setWindowModality(Qt::WindowModal);
        // Escape or the close control mean the sheet's own Cancel button.
        QObject::disconnect(window, &QDialog::rejected, nullptr, nullptr);
        QObject::connect(window, &QDialog::rejected, window, [window] {
            for (QPushButton *b : window->findChildren<QPushButton *>())
                if (b->objectName().endsWith("Cancel")) b->click();
        });
        window->open();
    }

    void EndSheet(const std::string &sheet, int code) override {
        if (QDialog *window = root_->findChild<QDialog *>(QString::fromStdString(sheet))) window->hide();
        auto it = sheetCompletion_.find(sheet);
        if (it == sheetCompletion_.end()) return;
        auto completion = std::move(it->second);
        sheetCompletion_.erase(it);
        if (completion) completion(code);
    }

    void BeginSavePanel(const SavePanelSpec &panel,
                        std::function<void(std::optional<std::filesystem::path>)> completion) override {
        auto *dialog = new QFileDialog(root_.get());
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setOption(QFileDialog::ShowDirsOnly, false);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setOption(QFileDialog::ReadOnly, !panel.canCreateFolders);
        const QString ext = QString::fromStdString(panel.allowedExtension);
        dialog->setDefaultSuffix(ext);
        dialog->setNameFilter(Tr(bundle_, "Job files") + " (*." + ext + ")");
        if (panel.startFolder) dialog->setDirectory(QString::fromStdString(panel.startFolder->string()));
        if (panel.proposedName) dialog->selectFile(QString::fromStdString(*panel.proposedName));
        dialog->setWindowModality(Qt::WindowModal);
        QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, completion](int result) {
            std::optional<std::filesystem::path> chosen;
            if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
                chosen = dialog->selectedFiles().first().toStdString();
            completion(chosen);
        });
        dialog->open();
    }

    QWidget *root() const { return root_.get(); }

private:
    template <class T>
    static T *Find(std::map<std::string, std::unique_ptr<T>> &widgets, const std::string &name) {
        auto it = widgets.find(name);
        return it == widgets.end() ? nullptr : it->second.get();
    }

    KIVBundleRef bundle_;
    std::unique_ptr<QWidget> root_;
    QEventLoop loop_;
    std::map<std::string, std::unique_ptr<QtTextField>> fields_;
    std::map<std::string, std::unique_ptr<QtMenu>> menus_;
    std::map<std::string, std::unique_ptr<QtCheck>> checks_;
    std::map<std::string, std::unique_ptr<QtRadio>> radios_;
    std::map<std::string, std::unique_ptr<QtButton>> buttons_;
    std::map<std::string, QButtonGroup *> groups_;
    std::map<std::string, std::function<void(int)>> sheetCompletion_;
};

// Menu items that carry tags: the fixed items of the resource's menus.
void AddFixedItems(KIVBundleRef bundle, QWidget *root, const std::string &resource) {
    const WindowResource *window = FindWindowResource(resource);
    if (!window) return;
    for (const MenuOutlet &menu : window->menus) {
        auto *box = root->findChild<QComboBox *>(menu.name);
        if (!box || menu.fixedItems.empty()) continue;
        box->clear();
        for (const FixedMenuItem &item : menu.fixedItems) {
            if (item.separatorBefore) box->insertSeparator(box->count());
            box->addItem(Tr(bundle, item.title), QVariant::fromValue<qlonglong>(item.tag));
        }
    }
}

class QtToolkit : public Toolkit {
public:
    QtToolkit() {
        if (!QCoreApplication::instance()) {
            // The host has no QApplication: one is made for the dialogs and kept.
            static int argc = 1;
            static char name[] = "kiv";
            static char *argv[] = {name, nullptr};
            application_ = std::make_unique<QApplication>(argc, argv);
        }
        // Qt's beep and option key only where the host installed none of its own.
        if (!KIVGetBeepProc()) KIVSetBeepProc([] { QApplication::beep(); });
        if (!KIVGetOptionKeyProc()) {
            KIVSetOptionKeyProc(
                []() -> uint8_t { return (QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier) ? 1 : 0; });
        }
    }

    std::unique_ptr<Form> LoadForm(KIVBundleRef bundle, const std::string &resource) override {
        const char *dir = KIVBundleGetPath(bundle);
        QFile file(QString(dir ? dir : "") + "/Resources/" + QString::fromStdString(resource) + ".ui");
        if (!file.open(QFile::ReadOnly)) throw ToolkitError("cannot open the window resource " + resource);
        QUiLoader loader;
        std::unique_ptr<QWidget> root(loader.load(&file));
        if (!root) throw ToolkitError("cannot load " + resource + ": " + loader.errorString().toStdString());
        LocalizeTexts(bundle, root.get());
        AddFixedItems(bundle, root.get(), resource);
        return std::make_unique<QtForm>(bundle, std::move(root));
    }

    // The host's beep where it installed one: a host with a sound of its own keeps it.
    void Beep() override { KIVBeep(); }

private:
    std::unique_ptr<QApplication> application_;
};

}  // namespace
}  // namespace kiv::forms

extern "C" KIV_EXPORT kiv::forms::Toolkit *KIVCreateQtToolkit() {
    try {
        return std::make_unique<kiv::forms::QtToolkit>().release();
    } catch (...) {
        return nullptr;
    }
}
