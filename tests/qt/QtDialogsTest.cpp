// The real windows: the page setup and job dialogs loaded from their .ui files, driven with
// QTest as a person would, behave as they do under the scripted user.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "dialogs/JobDialog.hpp"
#include "dialogs/StyleDialog.hpp"
#include "forms/Forms.hpp"
#include "forms/WindowResources.hpp"
#include "support/DialogFixture.hpp"
#include "support/StyleParamsFor.hpp"

using namespace kiv;
namespace fs = std::filesystem;

namespace {

// The window of a resource while its dialog runs.
QDialog *Window(const char *name) {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible()) return qobject_cast<QDialog *>(w);
    return nullptr;
}

template <class T>
T *Child(QWidget *root, const char *name) {
    T *child = root ? root->findChild<T *>(name) : nullptr;
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void Retype(QWidget *root, const char *field, const QString &text) {
    QLineEdit *edit = Child<QLineEdit>(root, field);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

void Click(QWidget *root, const char *button) { QTest::mouseClick(Child<QPushButton>(root, button), Qt::LeftButton); }

// Runs the user's part once the dialog's window is up, and saves a picture of it first.
void WhenShown(const char *window, std::function<void(QDialog *)> user, const QString &picture = {}) {
    QTimer::singleShot(0, [=] {
        QDialog *dialog = Window(window);
        ASSERT_NE(dialog, nullptr) << window << " is not on screen";
        if (!picture.isEmpty()) dialog->grab().save(picture);
        user(dialog);
    });
}

class QtDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        forms::SetCurrentToolkit(nullptr);  // the bundle's Qt toolkit, loaded on first use
        bundle_ = KIVBundleCreate(KIV_BUNDLE_DIR);
        ASSERT_NE(bundle_, nullptr);
        papers_ = SetPapersFrom("A2 412 553\r*A3 280 390\rA4 210 297");
        resolutions_ = SetResolutionsFrom("600 600\r*300 300\r150 150");
    }
    void TearDown() override { KIVBundleRelease(bundle_); }

    StyleParams Params(double w, double h, int32_t wpx = 0, int32_t hpx = 0) {
        return kivtest::StyleParamsFor(papers_.get(), resolutions_.get(), w, h, wpx, hpx);
    }
    bool Style(StyleParams &p) {
        return StyleDialog(bundle_, KIVBundleGetIdentifier(bundle_), p, 5000.0, 12.7, 500000.0, 12.7);
    }

    kivtest::ScopedEnv locale_{"LC_ALL", "C.UTF-8"};
    kivtest::ScopedEnv language_{"LANGUAGE", "en"};
    kivtest::ScopedConfigHome home_;
    KIVBundleRef bundle_ = nullptr;
    PaperDescriptionPtr papers_;
    ResDescriptionPtr resolutions_;
};

}  // namespace

extern "C" void HostBeep(void);

// The .ui files have every outlet the controllers and the test toolkit expect, of its kind,
// and the menus' fixed items in order.
TEST_F(QtDialogs, EveryResourceHasItsOutlets) {
    forms::PrepareToolkit(bundle_);
    for (const forms::WindowResource &r : forms::kWindowResources) {
        SCOPED_TRACE(r.name);
        auto form = forms::CurrentToolkit().LoadForm(bundle_, r.name);
        for (const char *n : r.fields) EXPECT_NE(form->Field(n), nullptr) << n;
        for (const char *n : r.checks) EXPECT_NE(form->Check(n), nullptr) << n;
        for (const char *n : r.radios) EXPECT_NE(form->Radio(n), nullptr) << n;
        for (const char *n : r.buttons) EXPECT_NE(form->ButtonNamed(n), nullptr) << n;
        for (const forms::MenuOutlet &m : r.menus) {
            forms::PopUpMenu *menu = form->Menu(m.name);
            ASSERT_NE(menu, nullptr) << m.name;
            std::vector<int64_t> tags, expected;
            for (int i = 0; i < menu->Count(); ++i)
                if (menu->TagAt(i) != -1000) tags.push_back(menu->TagAt(i));  // separators carry none
            for (const forms::FixedMenuItem &item : m.fixedItems) expected.push_back(item.tag);
            EXPECT_EQ(tags, expected) << m.name;
        }
    }
}

TEST_F(QtDialogs, PageSetupAsksInAnAlertNamesInASheetAndTakesTypedSizesKeyByKey) {
    StyleParams p = Params(210, 297, 2481, 3508);
    p.documentWidth_mm = 6000;
    p.documentHeight_mm = 300;
    WhenShown(
        "StyleDialog",
        [](QDialog *d) {
            QComboBox *pages = Child<QComboBox>(d, "pagesMenu");
            EXPECT_EQ(pages->currentText(), "A4");
            Click(d, "pageFromDocument");
            QMessageBox *alert = d->findChild<QMessageBox *>();
            ASSERT_NE(alert, nullptr);
            EXPECT_EQ(alert->text(), "The width or height of the document is too large for the printer");
            QTest::mouseClick(alert->buttons().at(0)->text() == "OK" ? alert->buttons().at(0) : alert->buttons().at(1),
                              Qt::LeftButton);
            QApplication::processEvents();
            EXPECT_EQ(Child<QLineEdit>(d, "pageWidth")->text(), "5000.00");

            Retype(d, "pageWidth", "6000");  // 6 refused, 60 and 600 taken, 6000 refused
            EXPECT_EQ(pages->currentText(), "Custom");
            QCheckBox *bw = Child<QCheckBox>(d, "isBW");
            QTest::mouseClick(bw, Qt::LeftButton, {}, QPoint(6, bw->height() / 2));  // on the box itself

            // A new paper named in the sheet; Escape in the sheet is its Cancel, and the menu goes
            // back to the paper shown before.
            for (const char *name : {"Poster", ""}) {
                const int add = pages->findData(QVariant::fromValue<qlonglong>(-3));
                pages->setCurrentIndex(add);
                emit pages->activated(add);  // as when the user picks the item
                QDialog *sheet = Child<QDialog>(d, "paperNameWindow");
                ASSERT_TRUE(sheet->isVisible());
                if (*name) {
                    QTest::keyClicks(Child<QLineEdit>(sheet, "paperName"), name);
                    Click(sheet, "paperNameOK");
                } else {
                    QTest::keyClick(sheet, Qt::Key_Escape);
                }
                EXPECT_FALSE(sheet->isVisible());
                EXPECT_EQ(pages->currentText(), "Poster");
            }
            Click(d, "ok");
        },
        "StyleDialog.png");
    ASSERT_TRUE(Style(p));
    EXPECT_EQ(p.pageWidth_pixels, 7087);
    EXPECT_EQ(p.isBW, 1);
    ASSERT_EQ(CountPaper(*papers_), 4);
    EXPECT_EQ(GetPaper(*papers_, 3).name, "Poster");
}

TEST_F(QtDialogs, TheJobDialogsWindows) {
    // A refused field keeps the window up; the window without copies has no copies field.
    kivtest::TempDir hot;
    std::optional<fs::path> folder = hot.path(), none;
    std::optional<std::string> name;
    uint16_t copies = 1;
    uint8_t collate = 1;
    int16_t from = 3, to = 7;
    WhenShown(
        "JobDialog",
        [](QDialog *d) {
            EXPECT_TRUE(Child<QRadioButton>(d, "pageModeMatrix_2")->isChecked());
            Retype(d, "numberOfCopiesText", "0");
            Click(d, "saveButton");
            EXPECT_TRUE(d->isVisible());
            Retype(d, "numberOfCopiesText", "2");
            Click(d, "saveButton");
        },
        "JobDialog.png");
    ASSERT_TRUE(JobDialog(bundle_, "", "Print", folder, "Report", "vad3", name, &copies, &collate, from, to));
    EXPECT_EQ(copies, 2);
    WhenShown("JobDialog_NC", [](QDialog *d) {
        EXPECT_FALSE(Child<QPushButton>(d, "saveButton")->isEnabled());
        EXPECT_EQ(d->findChild<QLineEdit *>("numberOfCopiesText"), nullptr);
        Click(d, "cancelButton");
    });
    EXPECT_FALSE(JobDialog(bundle_, "", "Print", none, "Report", "vad3", name, nullptr, nullptr, from, to));
}

TEST_F(QtDialogs, GermanTextsAndTheHostsBeep) {
    kivtest::ScopedEnv german("LANGUAGE", "de");
    StyleParams p = Params(210, 297);
    WhenShown("StyleDialog", [](QDialog *d) {
        EXPECT_EQ(Child<QPushButton>(d, "cancel")->text(), "Abbrechen");
        EXPECT_EQ(Child<QCheckBox>(d, "isBW")->text(), "Schwarzweiß");
        Click(d, "cancel");
    });
    EXPECT_FALSE(Style(p));
    EXPECT_EQ(KIVGetBeepProc(), &HostBeep);     // the host's beep survives the toolkit
    EXPECT_NE(KIVGetOptionKeyProc(), nullptr);  // none was installed: Qt's
}
