// SPDX-License-Identifier: Apache-2.0
#include "ui/dialogs/dlgmacinfo.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/gbk.h"
#include "ui/dialogs/dialog_util.h"

using corvix::ui::AddOkCancel;
using corvix::ui::DialogUnits;
using corvix::ui::Text;
namespace txt = corvix::txt;

namespace {

// GBK bytes of a box's text, cut to `maxBytes` without splitting a character.
std::string BoxGbk(const QLineEdit* box, int maxBytes) {
    const std::string gbk = corvix::Utf8ToGbk(box->text().toStdString());
    return gbk.substr(0, corvix::GbkPrefixLength(gbk, static_cast<std::size_t>(maxBytes)));
}

// Keeps a box within its field as the user types or pastes.
void LimitBox(QLineEdit* box, int maxBytes) {
    QObject::connect(box, &QLineEdit::textChanged, box, [box, maxBytes](const QString& text) {
        const std::string gbk = corvix::Utf8ToGbk(text.toStdString());
        if (gbk.size() <= static_cast<std::size_t>(maxBytes)) return;
        const int cursor = box->cursorPosition();
        box->setText(QString::fromStdString(corvix::GbkToUtf8(BoxGbk(box, maxBytes))));
        box->setCursorPosition(std::min(cursor, static_cast<int>(box->text().size())));
    });
}

}  // namespace

CDlgMacInfo::CDlgMacInfo(QWidget* parent) : QDialog(parent) {
    deviceTypeLabel_ = new QLabel(this);
    serialNumberLabel_ = new QLabel(this);
    deviceTypeBox_ = new QLineEdit(this);
    serialNumberBox_ = new QLineEdit(this);
    deviceTypeLabel_->setBuddy(deviceTypeBox_);
    serialNumberLabel_->setBuddy(serialNumberBox_);
    LimitBox(deviceTypeBox_, MaxDeviceTypeBytes);
    LimitBox(serialNumberBox_, MaxSerialNumberBytes);
    const int boxWidth = DialogUnits(this, 96, 0).width();
    deviceTypeBox_->setMinimumWidth(boxWidth);
    serialNumberBox_->setMinimumWidth(boxWidth);

    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(DialogUnits(this, 0, 6).height());
    grid->addWidget(deviceTypeLabel_, 0, 0);
    grid->addWidget(deviceTypeBox_, 0, 1);
    grid->addWidget(serialNumberLabel_, 1, 0);
    grid->addWidget(serialNumberBox_, 1, 1);
    grid->setColumnMinimumWidth(0, DialogUnits(this, 72, 0).width());
    auto* buttons = new QHBoxLayout;
    buttons->addSpacing(DialogUnits(this, 12, 0).width());
    AddOkCancel(this, buttons, 1, ok_, cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(DialogUnits(this, 12, 0).width(), DialogUnits(this, 0, 12).height(),
                               DialogUnits(this, 30, 0).width(), DialogUnits(this, 0, 10).height());
    layout->addLayout(grid);
    layout->addSpacing(DialogUnits(this, 0, 14).height());
    layout->addLayout(buttons);
    setMinimumWidth(DialogUnits(this, 211, 0).width());
}

void CDlgMacInfo::showEvent(QShowEvent* event) {
    setWindowTitle(Text(txt::MacInfoCaption, language));
    deviceTypeLabel_->setText(Text(txt::MacInfoDeviceType, language));
    serialNumberLabel_->setText(Text(txt::MacInfoSerialNumber, language));
    ok_->setText(Text(txt::DlgOk, language));
    cancel_->setText(Text(txt::DlgCancel, language));
    deviceTypeBox_->setAccessibleName(deviceTypeLabel_->text());
    serialNumberBox_->setAccessibleName(serialNumberLabel_->text());
    deviceTypeBox_->setText(QString::fromStdString(corvix::GbkToUtf8(deviceType)));
    serialNumberBox_->setText(QString::fromStdString(corvix::GbkToUtf8(serialNumber)));
    QDialog::showEvent(event);
}

void CDlgMacInfo::accept() {
    deviceType = BoxGbk(deviceTypeBox_, MaxDeviceTypeBytes);
    serialNumber = BoxGbk(serialNumberBox_, MaxSerialNumberBytes);
    QDialog::accept();
}
