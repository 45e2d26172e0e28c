// SPDX-License-Identifier: Apache-2.0
// The PC serial port settings dialog: port name, baud rate, data bits, parity and stop bits.
// The creator fills the texts, positions, port list and language, runs the dialog and reads
// the texts and positions back after OK.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "present/port_choices.h"

class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QPushButton;
class QTimer;

class CCommDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CCommDlg(QWidget* parent = nullptr);

    // ---- filled by the creator before the dialog opens; texts and positions read back on OK ----
    std::vector<std::string> portNames;  // offered in this order (locale bytes, e.g. "/dev/ttyS0")
    // When set, the port list comes from here instead, each entry with the port name it stands
    // for, and follows adapters being plugged and unplugged: it is asked again whenever one
    // of `watchedFolders` (or a folder among them that appears later) changes.
    std::function<std::vector<corvix::PortChoice>()> listPorts;
    std::vector<std::string> watchedFolders;
    std::string portText;                // the port box's text
    std::string baudRateText;
    std::string dataBitsText;
    int parityPosition = 0;    // position in "NONE", "EVEN", "ODD"
    int stopBitsPosition = 0;  // position in "1", "1.5", "2"
    int language = 0;          // UiLanguage

    QComboBox* PortBox() const { return port_; }
    QComboBox* BaudRateBox() const { return baudRate_; }
    QComboBox* DataBitsBox() const { return dataBits_; }
    QComboBox* ParityBox() const { return parity_; }
    QComboBox* StopBitsBox() const { return stopBits_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Initialise();
    void FillPortList(const std::vector<corvix::PortChoice>& choices);
    void WatchFolders();
    void RefreshPorts();

    bool initialised_ = false;
    QLabel* labels_[5];
    QComboBox* port_;
    QComboBox* baudRate_;
    QComboBox* dataBits_;
    QComboBox* parity_;
    QComboBox* stopBits_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* refresh_ = nullptr;  // one refresh per burst of changes (udev makes several)
    std::vector<corvix::PortChoice> shownPorts_;
};
