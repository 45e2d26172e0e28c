// SPDX-License-Identifier: Apache-2.0
// The clock window: picks the program-wide date order, shows the device's clock while it is
// open and sets it, from a typed time or from the PC clock. Modeless; it destroys itself when
// closed (Quit, Esc, close box) and says so with Closed().
#pragma once

#include <QDialog>
#include <QString>

#include "link/engine.h"
#include "link/serial_port.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Reads a typed time into year, month, day, hour, minute and second of `t` from fixed
// character positions for `dateFormat` (China "yyyy.mm.dd hh:mm:ss", World "dd.mm.yyyy
// hh:mm:ss"); the characters between the pieces and after position 18 are not looked at. A
// piece lying past the end of the text gives 0. Day of week and milliseconds stay.
void ReadClockEntry(const QString& text, int dateFormat, corvix::LocalTime& t);

class CDlgTime : public QDialog {
    Q_OBJECT
  public:
    // `doc` holds the program's date order, `engine` the time last set; both outlive the window.
    CDlgTime(corvix::CBrondaleDoc& doc, corvix::ProtocolEngine& engine, corvix::LocalClockFn localClock,
             int language, QWidget* parent = nullptr);

    int dateFormat;  // DateFormat of this window (reading typed times)
    const int language;

    bool UsePcClock() const;
    // Box 1001 (time to set) and box 1000 (device time).
    void SetSystemTimeText(const QString& text);
    void SetDeviceTimeText(const QString& text);
    // The device clock's offset from the PC clock, beside the device time.
    void SetDeviceOffsetText(const QString& text);
    // The line the clock frames travel on (outlives the window): setting the device to the PC
    // clock sends the time the device will have when the frame has arrived. Null: no allowance.
    void SetLineSettings(const corvix::SerialSettings* settings) { lineSettings_ = settings; }

    QRadioButton* ChinaButton() const { return china_; }
    QRadioButton* WorldButton() const { return world_; }
    QLineEdit* DeviceTimeBox() const { return deviceTime_; }
    QLabel* OffsetLabel() const { return offset_; }
    QLineEdit* SystemTimeBox() const { return systemTime_; }
    QLabel* Hint() const { return hint_; }
    QCheckBox* UsePcClockBox() const { return usePcClock_; }
    QPushButton* SetButton() const { return set_; }
    QPushButton* QuitButton() const { return quit_; }

    // Esc ends the window like Quit.
    void reject() override;

  signals:
    void Closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ChooseOrder(int order);
    void OnSet();

    corvix::CBrondaleDoc& doc_;
    corvix::ProtocolEngine& engine_;
    corvix::LocalClockFn localClock_;
    const corvix::SerialSettings* lineSettings_ = nullptr;
    QLabel* offset_;
    QGroupBox* formatGroup_;
    QGroupBox* deviceGroup_;
    QGroupBox* pcGroup_;
    QRadioButton* china_;
    QRadioButton* world_;
    QLineEdit* deviceTime_;
    QLineEdit* systemTime_;
    QLabel* hint_;
    QCheckBox* usePcClock_;
    QPushButton* set_;
    QPushButton* quit_;
};
