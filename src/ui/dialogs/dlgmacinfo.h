// SPDX-License-Identifier: Apache-2.0
// The device-information editor of the service command: device type and serial number of
// the current device, as GBK bytes, limited to what their fields hold.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class CDlgMacInfo : public QDialog {
    Q_OBJECT
  public:
    // Bytes each text may hold (its field less the terminating zero).
    static constexpr int MaxDeviceTypeBytes = 15;
    static constexpr int MaxSerialNumberBytes = 19;

    explicit CDlgMacInfo(QWidget* parent = nullptr);

    // Set before the dialog opens (GBK bytes); OK sets them from the boxes.
    int language = 0;
    std::string deviceType;
    std::string serialNumber;

    QLineEdit* DeviceTypeBox() const { return deviceTypeBox_; }
    QLineEdit* SerialNumberBox() const { return serialNumberBox_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QLabel* deviceTypeLabel_;
    QLabel* serialNumberLabel_;
    QLineEdit* deviceTypeBox_;
    QLineEdit* serialNumberBox_;
    QPushButton* ok_;
    QPushButton* cancel_;
};
