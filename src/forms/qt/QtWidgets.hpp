// The form layer's widgets over Qt Widgets. Handlers run on user actions only: the signals
// used (textEdited, activated, clicked, idClicked) are not emitted for changes the program makes.
#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "forms/Forms.hpp"

namespace kiv::forms {

class QtTextField : public TextField {
public:
    explicit QtTextField(QLineEdit *edit) : edit_(edit) {}
    std::string Text() const override { return edit_->text().toStdString(); }
    void SetText(const std::string &text) override { edit_->setText(QString::fromStdString(text)); }
    void SelectAll() override { edit_->selectAll(); }
    void BecomeFocus() override { edit_->setFocus(Qt::OtherFocusReason); }
    void OnUserEdit(std::function<void()> handler) override {
        QObject::connect(edit_, &QLineEdit::textEdited, edit_, [handler](const QString &) { handler(); });
    }

private:
    QLineEdit *edit_;
};

class QtMenu : public PopUpMenu {
public:
    explicit QtMenu(QComboBox *box) : box_(box) {}
    int Count() const override { return box_->count(); }
    // A separator carries no tag; it reads as one no controller uses.
    int64_t TagAt(int index) const override {
        const QVariant tag = box_->itemData(index);
        return tag.isValid() ? tag.toLongLong() : kNoTag;
    }
    void RemoveAt(int index) override { box_->removeItem(index); }
    void RemoveAll() override { box_->clear(); }
    void Insert(const std::string &title, int64_t tag, int index) override {
        box_->insertItem(index, QString::fromStdString(title), QVariant::fromValue<qlonglong>(tag));
    }
    void Append(const std::string &title, int64_t tag) override {
        box_->addItem(QString::fromStdString(title), QVariant::fromValue<qlonglong>(tag));
    }
    bool SelectTag(int64_t tag) override {
        const int index = box_->findData(QVariant::fromValue<qlonglong>(tag));
        if (index >= 0) box_->setCurrentIndex(index);
        return index >= 0;
    }
    std::optional<int64_t> SelectedTag() const override {
        if (box_->currentIndex() < 0 || !box_->currentData().isValid()) return std::nullopt;
        return box_->currentData().toLongLong();
    }
    void SynchronizeTitle() override {}  // a combo box always shows its current item
    void OnChoose(std::function<void()> handler) override {
        QObject::connect(box_, &QComboBox::activated, box_, [handler](int) { handler(); });
    }

private:
    static constexpr int64_t kNoTag = -1000;
    QComboBox *box_;
};

class QtCheck : public CheckBox {
public:
    explicit QtCheck(QCheckBox *box) : box_(box) {}
    bool IsOn() const override { return box_->isChecked(); }
    void SetOn(bool on) override { box_->setChecked(on); }
    void OnToggle(std::function<void()> handler) override {
        QObject::connect(box_, &QCheckBox::clicked, box_, [handler](bool) { handler(); });
    }

private:
    QCheckBox *box_;
};

class QtRadio : public RadioGroup {
public:
    explicit QtRadio(QButtonGroup *group) : group_(group) {}
    int64_t SelectedTag() const override { return group_->checkedId(); }
    void SelectTag(int64_t tag) override {
        if (QAbstractButton *b = group_->button(static_cast<int>(tag))) b->setChecked(true);
    }
    void OnChange(std::function<void()> handler) override {
        QObject::connect(group_, &QButtonGroup::idClicked, group_, [handler](int) { handler(); });
    }

private:
    QButtonGroup *group_;
};

class QtButton : public Button {
public:
    explicit QtButton(QPushButton *button) : button_(button) {}
    bool IsEnabled() const override { return button_->isEnabled(); }
    void SetEnabled(bool enabled) override { button_->setEnabled(enabled); }
    void OnPress(std::function<void()> handler) override {
        QObject::connect(button_, &QPushButton::clicked, button_, [handler](bool) { handler(); });
    }

private:
    QPushButton *button_;
};

}  // namespace kiv::forms
