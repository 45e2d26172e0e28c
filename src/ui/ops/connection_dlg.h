// SPDX-License-Identifier: Apache-2.0
// Connection… of a device: its own port and line settings, or the common port of the serial
// settings dialog. Reads and writes the document's per-device connections.
#pragma once

#include <QDialog>

#include "model/doc.h"

class QCheckBox;
class QComboBox;

namespace corvix::ui {

class CConnectionDlg : public QDialog {
    Q_OBJECT
  public:
    CConnectionDlg(CBrondaleDoc& doc, int slot, const std::vector<std::string>& portNames, QWidget* parent = nullptr);

    QCheckBox* UseCommonBox() const { return common_; }
    QComboBox* PortBox() const { return port_; }
    QComboBox* BaudRateBox() const { return baud_; }
    QComboBox* DataBitsBox() const { return dataBits_; }
    QComboBox* ParityBox() const { return parity_; }
    QComboBox* StopBitsBox() const { return stopBits_; }

    // Stores the choice in the document, and beside the project file when it has one.
    void accept() override;

  private:
    void FollowCommon();

    CBrondaleDoc& doc_;
    const int slot_;
    QCheckBox* common_;
    QComboBox* port_;
    QComboBox* baud_;
    QComboBox* dataBits_;
    QComboBox* parity_;
    QComboBox* stopBits_;
};

}  // namespace corvix::ui
