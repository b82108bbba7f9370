// A person at the real windows (Qt, offscreen): the steps of a script run in turn once a dialog
// is modal, with QTest's keys and the widgets' own clicks, so every dialog test also runs the
// adapter users run. Alerts, sheets and save panels open without blocking, so one pass runs the
// whole script; a window still up at its end is closed, which is a cancel.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <stdexcept>

#include "dialogs/StyleDialog.hpp"
#include "forms/Forms.hpp"
#include "media/Catalogue.hpp"
#include "support/TempDir.hpp"

extern int gHostBeeps;  // the host's own beep (QtTestMain.cpp)

namespace kivtest {

using Step = std::function<void(QWidget *window)>;

// A widget of the window by name; a missing one ends the script (and fails the test).
template <class T>
T *Child(QWidget *root, const QString &name) {
    if (T *child = root->findChild<T *>(name)) return child;
    throw std::runtime_error("no " + name.toStdString() + " on screen");
}

// The window the next step acts on: an alert or a save panel while one is up, else the dialog.
template <class T>
T *Open(QWidget *root) {
    for (T *w : root->findChildren<T *>())
        if (w->isVisible()) return w;
    throw std::runtime_error(std::string("no ") + T::staticMetaObject.className() + " on screen");
}

inline QString Text(QWidget *w, const char *field) { return Child<QLineEdit>(w, field)->text(); }
inline qlonglong Tag(QWidget *w, const char *menu) { return Child<QComboBox>(w, menu)->currentData().toLongLong(); }

// Keys typed one by one (any character, as an input method gives it), after selecting and
// deleting what the field held when retyping.
inline Step Type(const char *field, const QString &text, bool retype = false) {
    return [=](QWidget *w) {
        QLineEdit *edit = Child<QLineEdit>(w, field);
        edit->setFocus();
        if (retype) edit->selectAll(), QTest::keyClick(edit, Qt::Key_Backspace);
        for (QChar c : text) QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    };
}
inline Step Retype(const char *field, const QString &text) { return Type(field, text, true); }
inline Step Choose(const char *menu, qlonglong tag) {
    return [=](QWidget *w) {
        QComboBox *box = Child<QComboBox>(w, menu);
        const int index = box->findData(QVariant::fromValue(tag));
        if (index < 0) throw std::runtime_error(std::string(menu) + " has no item " + std::to_string(tag));
        box->setCurrentIndex(index);
        emit box->activated(index);  // as when the user picks it
    };
}
inline Step Press(const char *button) {
    return [=](QWidget *w) { Child<QAbstractButton>(w, button)->click(); };
}
inline Step Pick(const char *radio, int tag) {
    return [=](QWidget *w) { Child<QRadioButton>(w, QString("%1_%2").arg(radio).arg(tag))->click(); };
}
inline Step Check(std::function<void(QWidget *)> expectations) { return expectations; }

// Answers the alert up with its button `button`; its texts are kept in `shown`.
inline Step Answer(const QString &button, QStringList *shown = nullptr) {
    return [=](QWidget *w) {
        QMessageBox *box = Open<QMessageBox>(w);
        if (shown) *shown << box->text() << box->informativeText();
        for (QAbstractButton *b : box->buttons())
            if (b->text() == button) return b->click();
        throw std::runtime_error("the alert has no button " + button.toStdString());
    };
}

// Chooses file in the save panel up (nothing: cancels it), after `inspect` has looked at it.
inline Step SaveAs(std::optional<std::filesystem::path> file, std::function<void(QFileDialog *)> inspect = {}) {
    return [=](QWidget *w) {
        QFileDialog *panel = Open<QFileDialog>(w);
        if (inspect) inspect(panel);
        if (!file) return panel->reject();
        panel->setDirectory(QString::fromStdString(file->parent_path().string()));
        panel->selectFile(QString::fromStdString(file->filename().string()));
        static_cast<QDialog *>(panel)->done(QDialog::Accepted);  // as Save does, without its checks
    };
}

// Runs steps on the dialog `window` once it is up, while it is in scope. The script's failures
// fail the test.
class User {
public:
    User(const char *window, std::vector<Step> steps) {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [window, steps = std::move(steps)] {
            QDialog *dialog = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName() == window && w->isVisible()) dialog = qobject_cast<QDialog *>(w);
            if (!dialog) {
                ADD_FAILURE() << window << " is not on screen";
                return;
            }
            try {
                for (const Step &step : steps)
                    if (dialog->isVisible()) step(dialog);
            } catch (const std::exception &e) {
                ADD_FAILURE() << window << ": " << e.what();
            }
            if (dialog->isVisible()) dialog->reject();
        });
        timer_.start(0);
    }

private:
    QTimer timer_;
};

// The real bundle's Qt windows, the built-in catalogues and a private preferences home.
class QtFixture : public ::testing::Test {
protected:
    void SetUp() override {
        kiv::forms::SetCurrentToolkit(nullptr);  // the bundle's Qt toolkit, loaded on first use
        bundle_ = KIVBundleCreate(KIV_BUNDLE_DIR);
        ASSERT_NE(bundle_, nullptr);
        kiv::forms::PrepareToolkit(bundle_);
        papers_ = kiv::SetPapersFrom("A2 412 553\r*A3 280 390\rA4 210 297");
        resolutions_ = kiv::SetResolutionsFrom("600 600\r*300 300\r150 150");
        gHostBeeps = 0;
    }
    void TearDown() override { KIVBundleRelease(bundle_); }

    kiv::StyleParams Params(double w, double h, int32_t wpx = 0, int32_t hpx = 0) {
        kiv::StyleParams p;
        p.pageWidth_mm = p.tileWidth_mm = w;
        p.pageHeight_mm = p.tileHeight_mm = h;
        p.pageWidth_pixels = wpx;
        p.pageHeight_pixels = hpx;
        p.papers = papers_.get();
        p.resolutions = resolutions_.get();
        return p;
    }
    std::string Domain() const { return KIVBundleGetIdentifier(bundle_); }

    ScopedEnv locale_{"LC_ALL", "C.UTF-8"};
    ScopedEnv language_{"LANGUAGE", "en"};
    ScopedConfigHome home_;
    KIVBundleRef bundle_ = nullptr;
    kiv::PaperDescriptionPtr papers_;
    kiv::ResDescriptionPtr resolutions_;
};

}  // namespace kivtest
