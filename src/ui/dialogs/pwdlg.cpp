// SPDX-License-Identifier: Apache-2.0
#include "ui/dialogs/pwdlg.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialogs/dialog_util.h"

using corvix::ui::AddOkCancel;
using corvix::ui::DialogUnits;
using corvix::ui::Text;
namespace txt = corvix::txt;

CPWDlg::CPWDlg(QWidget* parent) : QDialog(parent) {
    edit_ = new QLineEdit(this);
    edit_->setEchoMode(QLineEdit::Password);
    edit_->setMinimumWidth(DialogUnits(this, 120, 0).width());

    auto* editRow = new QHBoxLayout;
    editRow->addWidget(edit_);
    editRow->addStretch(1);
    auto* buttons = new QHBoxLayout;
    AddOkCancel(this, buttons, 0, ok_, cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(DialogUnits(this, 24, 0).width(), DialogUnits(this, 0, 18).height(),
                               DialogUnits(this, 22, 0).width(), DialogUnits(this, 0, 22).height());
    layout->addLayout(editRow);
    layout->addSpacing(DialogUnits(this, 0, 22).height());
    layout->addLayout(buttons);
    setMinimumWidth(DialogUnits(this, 186, 0).width());
}

void CPWDlg::showEvent(QShowEvent* event) {
    setWindowTitle(Text(txt::PwDlgCaption, language));
    ok_->setText(Text(txt::DlgOk, language));
    cancel_->setText(Text(txt::DlgCancel, language));
    edit_->setAccessibleName(Text(txt::AccPasswordEdit, language));
    edit_->setFocus();
    QDialog::showEvent(event);
}

void CPWDlg::accept() {
    password = edit_->text().toStdString();
    QDialog::accept();
}
