// SPDX-License-Identifier: Apache-2.0
#include "ui/ops/connection_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/gbk.h"
#include "model/texts.h"
#include "ui/dialogs/dialog_util.h"

namespace corvix::ui {

CConnectionDlg::CConnectionDlg(CBrondaleDoc& doc, int slot, const std::vector<std::string>& portNames, QWidget* parent)
    : QDialog(parent), doc_(doc), slot_(slot) {
    const int lang = doc_.Language();
    const std::string name = PrintableText(GbkToUtf8(FieldText(doc_.Device(slot).name, DeviceNameSize)));
    setWindowTitle(Text(txt::ConnDlgTitle, lang) + QStringLiteral(" - ") + QString::fromUtf8(name.c_str()));
    auto* layout = new QVBoxLayout(this);
    common_ = new QCheckBox(Text(txt::ConnDlgUseCommon, lang), this);
    layout->addWidget(common_);
    auto* form = new QFormLayout;
    port_ = new QComboBox(this);
    port_->setEditable(true);
    for (const std::string& p : portNames) port_->addItem(QString::fromUtf8(p.c_str()));
    baud_ = new QComboBox(this);
    baud_->setEditable(true);
    for (int b : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) baud_->addItem(QString::number(b));
    dataBits_ = new QComboBox(this);
    dataBits_->addItems({QStringLiteral("8"), QStringLiteral("9")});
    parity_ = new QComboBox(this);
    for (const BiText& p : txt::ConnDlgParities) parity_->addItem(Text(p, lang));
    stopBits_ = new QComboBox(this);
    stopBits_->addItems({QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")});
    form->addRow(Text(txt::ConnDlgPort, lang), port_);
    form->addRow(Text(txt::ConnDlgBaud, lang), baud_);
    form->addRow(Text(txt::ConnDlgDataBits, lang), dataBits_);
    form->addRow(Text(txt::ConnDlgParity, lang), parity_);
    form->addRow(Text(txt::ConnDlgStopBits, lang), stopBits_);
    layout->addLayout(form);
    auto* row = new QHBoxLayout;
    QPushButton *ok = nullptr, *cancel = nullptr;
    AddOkCancel(this, row, 0, ok, cancel);
    layout->addLayout(row);

    const std::optional<DeviceConnection> now = doc_.Connections().For(doc_.Project(), slot);
    const DeviceConnection line = now.value_or(DeviceConnection{});
    common_->setChecked(!now);
    port_->setEditText(QString::fromUtf8(line.port.c_str()));
    baud_->setEditText(QString::number(line.baudRate));
    dataBits_->setCurrentIndex(line.dataBits == 9 ? 1 : 0);
    parity_->setCurrentIndex(std::clamp(line.parity, 0, 2));
    stopBits_->setCurrentIndex(std::clamp(line.stopBits, 0, 2));
    connect(common_, &QCheckBox::toggled, this, [this] { FollowCommon(); });
    FollowCommon();
}

void CConnectionDlg::FollowCommon() {
    const bool own = !common_->isChecked();
    for (QComboBox* box : {port_, baud_, dataBits_, parity_, stopBits_}) box->setEnabled(own);
}

void CConnectionDlg::accept() {
    ProjectConnections& connections = doc_.Connections();
    if (common_->isChecked()) {
        connections.Clear(doc_.Project(), slot_);
    } else {
        DeviceConnection line;
        line.port = port_->currentText().trimmed().toStdString();
        line.baudRate = LeadingInt(baud_->currentText());
        line.dataBits = dataBits_->currentIndex() == 1 ? 9 : 8;
        line.parity = parity_->currentIndex();
        line.stopBits = stopBits_->currentIndex();
        // An empty port or a rate of 0 cannot reach any device: keep the dialog open.
        if (line.port.empty() || line.baudRate <= 0) {
            (line.port.empty() ? port_ : baud_)->setFocus();
            return;
        }
        connections.Set(doc_.Project(), slot_, line);
    }
    // The connections are no part of the project file: they reach their own file at once.
    std::string reason;
    if (!doc_.ProjectPath().empty() && !connections.SaveFor(doc_.ProjectPath(), doc_.Project(), &reason)) {
        char text[2048];
        std::snprintf(text, sizeof text, Pick(txt::ConnectionsWriteFailed, doc_.Language()),
                      ProjectConnections::SidecarPath(doc_.ProjectPath()).c_str(), reason.c_str());
        QMessageBox::warning(this, QString::fromUtf8(txt::AppName), QString::fromUtf8(text));
    }
    QDialog::accept();
}

}  // namespace corvix::ui
