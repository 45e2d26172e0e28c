// SPDX-License-Identifier: Apache-2.0
#include "ui/views/namedlg.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/gbk.h"
#include "model/texts.h"

CNameDlg::CNameDlg(QWidget* parent) : QDialog(parent) {
    edit_ = new QLineEdit(this);
    ok_ = new QPushButton(this);
    cancel_ = new QPushButton(this);
    ok_->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addStretch(2);
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edit_);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    setMinimumWidth(300);
    connect(ok_, &QPushButton::clicked, this, &CNameDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CNameDlg::reject);
    ApplyLanguage();
}

void CNameDlg::SetName(const std::string& nameGbk) {
    name_ = nameGbk.substr(0, corvix::GbkPrefixLength(nameGbk, MaxNameBytes));
    edit_->setText(QString::fromStdString(corvix::GbkToUtf8(name_)));
}

void CNameDlg::showEvent(QShowEvent* event) {
    // The language is the caller's choice at the moment the dialog opens.
    ApplyLanguage();
    edit_->setFocus();
    QDialog::showEvent(event);
}

void CNameDlg::ApplyLanguage() {
    using corvix::Pick;
    setWindowTitle(QString::fromUtf8(Pick(corvix::txt::NameDlgCaption, language)));
    ok_->setText(QString::fromUtf8(Pick(corvix::txt::NameDlgOk, language)));
    cancel_->setText(QString::fromUtf8(Pick(corvix::txt::NameDlgCancel, language)));
    edit_->setAccessibleName(QString::fromUtf8(Pick(corvix::txt::AccNameEdit, language)));
}

void CNameDlg::accept() {
    // Any text is accepted; it is cut to the field without splitting a character.
    const std::string gbk = corvix::Utf8ToGbk(edit_->text().toStdString());
    name_ = gbk.substr(0, corvix::GbkPrefixLength(gbk, MaxNameBytes));
    QDialog::accept();
}
