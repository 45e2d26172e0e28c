// SPDX-License-Identifier: Apache-2.0
// The event window: a modeless window whose text box lists the events the device reported.
// It keeps no state of the frame's: its buttons only signal, and the frame applies the
// effects (shown flag, automatic showing). It destroys itself when closed (Esc, close box),
// and the events it listed go with it.
#pragma once

#include <QDialog>
#include <QStringList>
#include <string>
#include <vector>

#include "model/record.h"

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

class CInfoDlg : public QDialog {
    Q_OBJECT
  public:
    // `noEject`: the initial check mark of "No Eject" (the inverse of automatic showing).
    CInfoDlg(int language, bool noEject, QWidget* parent = nullptr);

    const int language;

    // The whole text, UTF-8 with "\r\n" line ends.
    std::string Text() const;
    void SetText(const std::string& textUtf8);
    // Appends at the end of the text, then keeps the last line in view.
    void AppendText(const std::string& textUtf8);
    // Appends an event's text and keeps the event with it.
    void AppendEvent(const corvix::EventRecord& event, const std::string& textUtf8);
    // The events whose lines still stand in the box as written, in order, for Export CSV:
    // Clear, or deleting or changing an event's lines by hand, takes the event out.
    std::vector<corvix::EventRecord> ListedEvents() const;
    // True (once) when the text changed other than by AppendText since the last call, and
    // for a new window: a copy kept of the text must then be taken again.
    bool TakeChanged();
    void ScrollToEnd();

    QPlainTextEdit* TextBox() const { return text_; }
    QCheckBox* NoEjectBox() const { return noEject_; }
    QPushButton* HideButton() const { return hide_; }
    QPushButton* ClearButton() const { return clear_; }
    QPushButton* ExportButton() const { return export_; }

    // Esc closes (and destroys) the window.
    void reject() override;

  signals:
    void HideClicked();
    void NoEjectClicked();
    void ExportCsvClicked();
    void Cleared();  // Clear emptied the text
    void Closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct KeptEvent {
        corvix::EventRecord event;
        QStringList lines;  // its text in the box
    };

    bool changed_ = true;
    bool appending_ = false;
    QPlainTextEdit* text_;
    QCheckBox* noEject_;
    QPushButton* hide_;
    QPushButton* clear_;
    QPushButton* export_;
    std::vector<KeptEvent> events_;  // appended with their text; they go with the window
};
